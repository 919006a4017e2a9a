#include "render-tool/pending_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "render-tool/tool_error.hpp"

namespace glintara::tool {
namespace {

std::string systemError() {
    return std::strerror(errno);
}

// New files get the usual permissions, as if created with open(2) under the umask.
void giveUsualPermissions(int fd) {
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
}

// Whether the file's content reached the disk: a full disk can first show here.
bool syncFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = fsync(fd) == 0;
    return close(fd) == 0 && synced;
}

}  // namespace

PendingFile::PendingFile(std::string destination) : destination_(std::move(destination)) {
    const std::filesystem::path target(destination_);
    if (std::filesystem::is_directory(target)) {
        throw fileError(destination_, "is a directory");
    }
    const std::string extension = target.extension().string();
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "literal" + string.
    std::string hidden = ".";
    hidden += target.stem().string();
    hidden += ".partial-XXXXXX";
    hidden += extension;
    std::string pattern = (folder / hidden).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemps(name.data(), static_cast<int>(extension.size()));
    if (fd < 0) {
        throw fileError(destination_, "cannot be written: " + systemError());
    }
    giveUsualPermissions(fd);
    close(fd);
    temporary_ = name.data();
}

PendingFile::~PendingFile() {
    if (!committed_) {
        unlink(temporary_.c_str());
    }
}

void PendingFile::write(std::span<const unsigned char> bytes) {
    const int fd = open(temporary_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        throw fileError(destination_, "cannot be written: " + systemError());
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const std::string reason = n < 0 ? systemError() : "nothing written";
            close(fd);
            throw fileError(destination_, "cannot be written: " + reason);
        }
        done += static_cast<std::size_t>(n);
    }
    if (close(fd) != 0) {
        throw fileError(destination_, "cannot be written: " + systemError());
    }
}

void PendingFile::commit() {
    if (!syncFile(temporary_) || std::rename(temporary_.c_str(), destination_.c_str()) != 0) {
        throw fileError(destination_, "cannot be written: " + systemError());
    }
    committed_ = true;
}

}  // namespace glintara::tool
