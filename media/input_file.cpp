#include "media/input_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/interruption.hpp"
#include "core/user_error.hpp"

namespace glintara::media {

InputFile::InputFile(std::string path) : path_(std::move(path)) {
    // Opening a FIFO waits for its writer; Ctrl-C ends the wait (signals interrupt it).
    do {
        fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0 && errno == EINTR) {
            stopIfInterrupted();
        }
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        throw fileError(path_, "cannot be read: " + std::string(std::strerror(errno)));
    }
    struct stat info {};
    seekable_ = fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
}

InputFile::~InputFile() {
    close(fd_);
}

long InputFile::read(unsigned char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, size);
        if (n < 0 && errno == EINTR && interruptionSignal() == 0) {
            continue;
        }
        if (n > 0 && !seekable_ && keeping_) {
            consumed_.insert(consumed_.end(), buffer, buffer + n);
        }
        return n;
    }
}

void InputFile::keepNoMore() {
    keeping_ = false;
    consumed_ = {};
}

std::vector<unsigned char> InputFile::wholeContent() {
    std::vector<unsigned char> content;
    if (seekable_) {
        if (lseek(fd_, 0, SEEK_SET) != 0) {
            throw fileError(path_, "cannot be read: " + std::string(std::strerror(errno)));
        }
    } else {
        // What was kept so far is taken over; the rest is read straight into it.
        content = std::move(consumed_);
        keepNoMore();
    }
    unsigned char buffer[64 * 1024];
    for (;;) {
        const long n = read(buffer, sizeof buffer);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            stopIfInterrupted();
            throw fileError(path_, "cannot be read: " + std::string(std::strerror(errno)));
        }
        content.insert(content.end(), buffer, buffer + n);
    }
    return content;
}

}  // namespace glintara::media
