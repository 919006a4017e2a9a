// A recording of what the live program shows, made on a thread of its own so that encoding
// never holds the live view up: each frame is copied into one of a few buffers that take
// turns, and a frame that finds them all waiting for the encoder is left out of the
// recording and counted. Frames keep the times the camera gave them.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/platform.hpp"
#include "core/bounded_queue.hpp"
#include "core/user_error.hpp"
#include "media/live_sound.hpp"
#include "media/recording_file.hpp"

namespace glintara {

class Recorder final : public FrameOutput {
  public:
    enum class Picture { Kaleidoscope, Capture };

    // Starts the recording of `picture`, frames of `size`, into `file` (see RecordingFile),
    // with the default sound input when `withSound`; throws UserError naming the file or the
    // sound input.
    Recorder(const std::string& file, Picture picture, cv::Size size, bool withSound);
    ~Recorder() override;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    void take(const ShownFrame& frame) override;
    // Finishes the file and says how many frames it holds and how many were left out.
    std::string finish() override;

  private:
    struct Frame {
        cv::Mat picture;
        std::int64_t time = 0;  // microseconds since the first frame
    };

    void encode();
    void stopEncoding();
    [[noreturn]] void reportFailure() const;
    UserError keptAfter(const std::exception& error) const;

    std::unique_ptr<media::LiveSound> sound_;  // before the file, which reads it
    media::RecordingFile file_;
    Picture picture_;
    BoundedQueue<Frame> free_;
    BoundedQueue<Frame> filled_;
    std::optional<Clock::time_point> start_;
    std::int64_t leftOut_ = 0;
    std::atomic<bool> failed_ = false;
    std::exception_ptr failure_;  // written by the encoding thread before failed_
    bool failureSaid_ = false;    // thrown from take(), and not to be said again
    std::thread thread_;
};

}  // namespace glintara
