#include "app/recorder.hpp"

#include <algorithm>

#include "core/user_error.hpp"

namespace glintara {
namespace {

// A few frames: a quarter of a second at a camera's pace, and no more than 256 MiB however
// large the frames are.
constexpr std::size_t kMostBuffers = 8;
constexpr std::size_t kLeastBuffers = 2;
constexpr std::size_t kBufferBytes = std::size_t{256} << 20;

// The rate the files state; frames keep their own times. AVI, which has a slot per frame,
// puts each in the nearest slot of this rate.
constexpr Ratio kStatedRate{30, 1};
constexpr Ratio kMicroseconds{1, 1000000};

std::size_t buffersFor(cv::Size size) {
    const std::size_t bytes = static_cast<std::size_t>(size.area()) * 3;
    return std::clamp(kBufferBytes / bytes, kLeastBuffers, kMostBuffers);
}

}  // namespace

Recorder::Recorder(const std::string& file, Picture picture, cv::Size size, bool withSound)
    : sound_(withSound ? std::make_unique<media::LiveSound>() : nullptr),
      file_(file, {size, kMicroseconds, kStatedRate}, sound_.get()),
      picture_(picture),
      free_(buffersFor(size)),
      filled_(buffersFor(size)) {
    for (std::size_t i = 0; i < buffersFor(size); ++i) {
        free_.push(Frame{cv::Mat(size, CV_8UC3), 0});
    }
    thread_ = std::thread([this] { encode(); });
}

Recorder::~Recorder() {
    stopEncoding();
}

void Recorder::stopEncoding() {
    filled_.close();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void Recorder::encode() {
    while (std::optional<Frame> frame = filled_.pop()) {
        try {
            file_.write(frame->picture, frame->time);
        } catch (...) {
            failure_ = std::current_exception();
            failed_ = true;
            free_.close();
            return;
        }
        free_.push(std::move(*frame));
    }
}

void Recorder::take(const ShownFrame& shown) {
    if (failed_) {
        stopEncoding();
        failureSaid_ = true;
        reportFailure();
    }
    std::optional<Frame> frame = free_.tryPop();
    if (!frame) {
        ++leftOut_;
        return;
    }
    if (!start_) {
        start_ = shown.takenAt;
        if (sound_) {
            // The sound is timed by the wall clock: the moment the first frame was taken, on it.
            sound_->startAt(std::chrono::system_clock::now() -
                            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                Clock::now() - shown.takenAt));
        }
    }
    (picture_ == Picture::Kaleidoscope ? shown.kaleidoscope : shown.capture).copyTo(frame->picture);
    frame->time =
        std::chrono::duration_cast<std::chrono::microseconds>(shown.takenAt - *start_).count();
    filled_.push(std::move(*frame));
}

// A failure of the file, said with where what was recorded so far is kept.
UserError Recorder::keptAfter(const std::exception& error) const {
    return UserError(std::string(error.what()) + "; what was recorded is kept in " +
                     file_.unfinishedPath());
}

void Recorder::reportFailure() const {
    try {
        std::rethrow_exception(failure_);
    } catch (const std::exception& error) {
        throw keptAfter(error);
    }
}

std::string Recorder::finish() {
    if (sound_) {
        sound_->stop();
    }
    stopEncoding();
    if (failed_) {
        if (failureSaid_) {
            return "";
        }
        reportFailure();
    }
    try {
        file_.finish();
    } catch (const std::exception& error) {
        throw keptAfter(error);
    }
    const std::int64_t written = file_.framesWritten();
    if (written == 0) {
        return "Nothing was recorded to " + file_.destination();
    }
    std::string line = "Recorded " + file_.destination() + ": " + std::to_string(written) +
                       (written == 1 ? " frame" : " frames");
    if (leftOut_ > 0) {
        line += " (" + std::to_string(leftOut_) + " left out while the encoder was behind)";
    }
    if (!file_.soundNote().empty()) {
        line += "; " + file_.soundNote();
    }
    return line;
}

}  // namespace glintara
