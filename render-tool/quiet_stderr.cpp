#include "render-tool/quiet_stderr.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>

namespace glintara::tool {
QuietStderr::QuietStderr() {
    std::fflush(stderr);
    // A file in memory: no temporary folder is needed, nor one that may be full.
    capture_ = memfd_create("glintara-stderr", MFD_CLOEXEC);
    if (capture_ < 0) {
        return;  // nothing to catch with: let the library speak
    }
    savedStderr_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    dup2(capture_, STDERR_FILENO);
}

QuietStderr::~QuietStderr() {
    finish();
}

std::string QuietStderr::finish() {
    std::string text;
    if (savedStderr_ >= 0) {
        std::fflush(stderr);
        dup2(savedStderr_, STDERR_FILENO);
        close(savedStderr_);
        savedStderr_ = -1;
    }
    if (capture_ >= 0) {
        char buffer[1024];
        ssize_t n = 0;
        lseek(capture_, 0, SEEK_SET);
        while ((n = read(capture_, buffer, sizeof buffer)) > 0 && text.size() < 65536) {
            text.append(buffer, static_cast<std::size_t>(n));
        }
    }
    if (capture_ >= 0) {
        close(capture_);
        capture_ = -1;
    }
    return text;
}

}  // namespace glintara::tool
