#include "core/pending_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/interruption.hpp"
#include "core/user_error.hpp"

namespace glintara {
namespace {

std::string systemError() {
    return std::strerror(errno);
}

// A file that replaces another keeps its permissions; a new one gets the usual ones, as if
// created with open(2) under the umask.
void givePermissions(int fd, const std::string& destination) {
    struct stat existing {};
    if (stat(destination.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        fchmod(fd, existing.st_mode & 07777);
        return;
    }
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
}

// ".NAME.partial-XXXXXX.EXT" beside the destination, its name shortened where the longest
// names a folder takes would otherwise be exceeded.
std::string temporaryPattern(const std::filesystem::path& target) {
    const std::string extension = target.extension().string();
    std::string stem = target.stem().string();
    constexpr std::size_t kLongestName = 255;
    const std::size_t added = std::string(".partial-XXXXXX").size() + 1 + extension.size();
    if (stem.size() + added > kLongestName) {
        stem.resize(kLongestName > added ? kLongestName - added : 0);
        // Not in the middle of a character of several bytes.
        while (!stem.empty() && (static_cast<unsigned char>(stem.back()) & 0xC0) == 0x80) {
            stem.pop_back();
        }
        if (!stem.empty() && static_cast<unsigned char>(stem.back()) >= 0xC0) {
            stem.pop_back();
        }
    }
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "literal" + string.
    std::string hidden = ".";
    hidden += stem;
    hidden += ".partial-XXXXXX";
    hidden += extension;
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    return (folder / hidden).string();
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

// Where a destination's content goes: a symbolic link is written through, to the file it
// points at (along a chain of them), as editors and cp write.
std::filesystem::path resolvedTarget(const std::string& destination) {
    constexpr int kMostLinks = 40;  // as the kernel follows them
    std::filesystem::path target(destination);
    std::error_code error;
    for (int hop = 0; hop < kMostLinks && std::filesystem::is_symlink(target, error); ++hop) {
        const std::filesystem::path next = std::filesystem::read_symlink(target, error);
        if (error) {
            break;
        }
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target;
}

}  // namespace

PendingFile::PendingFile(std::string destination)
    : destination_(std::move(destination)), target_(resolvedTarget(destination_).string()) {
    const std::filesystem::path target(target_);
    if (std::filesystem::is_directory(target)) {
        throw fileError(destination_, "is a directory");
    }
    const std::string pattern = temporaryPattern(target);
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemps(name.data(), static_cast<int>(target.extension().string().size()));
    if (fd < 0) {
        throw fileError(destination_, "cannot be written: " + systemError());
    }
    givePermissions(fd, target_);
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

void PendingFile::sync() const {
    if (!syncFile(temporary_)) {
        throw fileError(destination_, "cannot be written: " + systemError());
    }
}

void PendingFile::publish() {
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        throw fileError(destination_, "cannot be written: " + systemError());
    }
    committed_ = true;
}

void publishTogether(std::initializer_list<PendingFile*> files) {
    publishTogether(std::vector<PendingFile*>(files));
}

void publishTogether(const std::vector<PendingFile*>& files) {
    for (const PendingFile* file : files) {
        if (file != nullptr) {
            file->sync();
        }
    }
    stopIfInterrupted();
    for (PendingFile* file : files) {
        if (file != nullptr) {
            file->publish();
        }
    }
}

}  // namespace glintara
