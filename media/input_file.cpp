// The input file, opened once and read without ever waiting past a signal.
#include "media/input_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/interruption.hpp"
#include "core/user_error.hpp"

namespace glintara::media {

InputFile::InputFile(std::string path) : path_(std::move(path)) {
    // Without waiting for a FIFO's writer: the first read waits for its bytes instead, where a
    // signal ends the wait.
    fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
    const long n = readOnward(buffer, size);
    if (n > 0 && !seekable_ && keeping_ && !keep(buffer, static_cast<std::size_t>(n))) {
        errno = EFBIG;
        return -1;
    }
    return n;
}

long InputFile::readOnward(unsigned char* buffer, std::size_t size) {
    for (;;) {
        if (!waitUntilReadable(fd_)) {
            errno = EINTR;
            return -1;
        }
        const ssize_t n = ::read(fd_, buffer, size);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;  // another reader was quicker, or a signal that asks nothing
        }
        return n;
    }
}

// A pipe's bytes are kept up to kLargestKept; past that the input is too large to be a still.
bool InputFile::keep(const unsigned char* bytes, std::size_t count) {
    if (consumed_.size() + count > kLargestKept) {
        tooLarge_ = true;
        consumed_ = {};
        return false;
    }
    if (consumed_.size() + count > consumed_.capacity()) {
        consumed_.reserve(
            std::min(kLargestKept, std::max(consumed_.size() + count, 2 * consumed_.capacity())));
    }
    consumed_.insert(consumed_.end(), bytes, bytes + count);
    return true;
}

std::vector<unsigned char> InputFile::firstBytes(std::size_t count) const {
    if (!seekable_) {
        return {consumed_.begin(), consumed_.begin() + std::min(count, consumed_.size())};
    }
    std::vector<unsigned char> bytes(count);
    const ssize_t n = pread(fd_, bytes.data(), count, 0);
    bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return bytes;
}

void InputFile::keepNoMore() {
    keeping_ = false;
    consumed_ = {};
}

std::vector<unsigned char> InputFile::wholeContent() {
    if (tooLarge_) {
        throw tooLargeError();
    }
    if (seekable_) {
        if (lseek(fd_, 0, SEEK_SET) != 0) {
            throw fileError(path_, "cannot be read: " + std::string(std::strerror(errno)));
        }
        consumed_.clear();
    }
    // What a pipe has given so far is kept already; the rest is read on behind it.
    unsigned char buffer[64 * 1024];
    for (;;) {
        const long n = readOnward(buffer, sizeof buffer);
        if (n == 0) {
            break;
        }
        if (n < 0) {
            stopIfInterrupted();
            throw fileError(path_, "cannot be read: " + std::string(std::strerror(errno)));
        }
        if (!keep(buffer, static_cast<std::size_t>(n))) {
            throw tooLargeError();
        }
    }
    keeping_ = false;
    return std::move(consumed_);
}

UserError InputFile::tooLargeError() const {
    return fileError(path_, "holds more than the 512 MiB a still image is read from a pipe in");
}

}  // namespace glintara::media
