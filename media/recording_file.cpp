// Recording into the unfinished form, and turning it into the finished file.
#include "media/recording_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/pending_file.hpp"
#include "core/user_error.hpp"
#include "media/remux.hpp"
#include "media/video_file_output.hpp"

namespace glintara::media {
namespace {

// A power cut loses at most what was written since the last sync.
constexpr std::chrono::seconds kSyncEvery{1};
constexpr int kMostUnfinished = 1000;

const ContainerFormat& checkedContainer(const std::string& destination) {
    const ContainerFormat* container = containerFor(destination);
    if (container == nullptr) {
        throw fileError(destination, "no video format has this extension");
    }
    return *container;
}

std::string unfinishedName(const std::string& destination, int number) {
    std::string name = destination + ".recording";
    if (number > 1) {
        name += "-" + std::to_string(number);
    }
    return name + ".mkv";
}

// Creates the first free unfinished name; its descriptor is kept for syncing.
std::string reserveUnfinished(const std::string& destination, int& fd) {
    for (int number = 1; number <= kMostUnfinished; ++number) {
        const std::string name = unfinishedName(destination, number);
        fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return name;
        }
        if (errno != EEXIST) {
            throw fileError(destination,
                            "cannot be recorded: " + name + ": " + std::strerror(errno));
        }
    }
    throw fileError(destination, "cannot be recorded: too many unfinished recordings beside it");
}

}  // namespace

RecordingFile::RecordingFile(const std::string& destination, const VideoStreamFormat& format,
                             AudioFileInput* sound)
    : destination_(destination),
      finished_(checkedContainer(destination)),
      unfinishedForm_(unfinishedForm(finished_)),
      frameRate_(format.frameRate),
      unfinished_(reserveUnfinished(destination, syncedFd_)),
      lastSync_(std::chrono::steady_clock::now()) {
    try {
        output_ = std::make_unique<VideoFileOutput>(unfinishedForm_, unfinished_, unfinished_,
                                                    format, sound);
        soundNote_ = output_->audioNote();
    } catch (...) {
        close(syncedFd_);
        unlink(unfinished_.c_str());
        throw;
    }
}

RecordingFile::~RecordingFile() {
    if (syncedFd_ >= 0) {
        close(syncedFd_);
    }
    if (output_ && frames_ == 0) {
        output_.reset();
        unlink(unfinished_.c_str());  // no picture in it: nothing of the user's to keep
    }
}

void RecordingFile::write(const cv::Mat& frame, std::int64_t time) {
    output_->write(frame, time);
    ++frames_;
    syncNowAndThen();
}

void RecordingFile::syncNowAndThen() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastSync_ >= kSyncEvery) {
        lastSync_ = now;
        if (fdatasync(syncedFd_) != 0) {
            throw fileError(unfinished_, std::string("cannot be written: ") + std::strerror(errno));
        }
    }
}

void RecordingFile::finish() {
    output_->finish();
    output_.reset();
    if (frames_ == 0) {
        unlink(unfinished_.c_str());
        return;
    }
    PendingFile finished(destination_);
    remux(unfinished_, finished_, destination_, finished.temporaryPath(), frameRate_);
    finished.sync();
    finished.publish();
    unlink(unfinished_.c_str());
}

}  // namespace glintara::media
