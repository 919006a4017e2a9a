// The seams between the frame loop and the machine: where frames come from, where pictures
// are shown, and where else they go. The loop knows nothing of cameras, windows, keyboards,
// files or virtual cameras beyond these.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include <opencv2/core.hpp>

#include "app/steering.hpp"

namespace glintara {

inline const std::string kCaptureWindow = "Capture";
inline const std::string kKaleidoscopeWindow = "Glintara";

inline constexpr int kNoKey = -1;

using Clock = std::chrono::steady_clock;

class FrameSource {
  public:
    virtual ~FrameSource() = default;
    // The next frame, or false when none can be taken. The frame may be reused by the
    // source on the next call.
    virtual bool read(cv::Mat& frame) = 0;
    // When the camera gave the frame read last, where the source knows; else the loop takes
    // the time it was read.
    virtual std::optional<Clock::time_point> lastTakenAt() const { return std::nullopt; }
    // Whether a frame is waiting to be read now, so that a wait for a key may end early.
    virtual bool frameWaiting() const { return false; }
};

class Screen {
  public:
    virtual ~Screen() = default;
    virtual void show(const std::string& window, const cv::Mat& image) = 0;
    // Waits up to delayMs for a key; its whole code, or kNoKey.
    virtual int waitKey(int delayMs) = 0;
    // The same, except that the wait may end without a key once `enough` says so. A screen
    // that cannot wait in parts waits whole.
    virtual int waitKey(int delayMs, const std::function<bool()>& enough) {
        (void)enough;
        return waitKey(delayMs);
    }
    // Whether the user has closed one of the windows.
    virtual bool windowClosed() = 0;
    // What the mouse asked of the sample since the last call.
    virtual Steering takeSteering() { return {}; }
};

// A frame as it was shown: the kaleidoscope, the camera picture with the guide, and when the
// camera gave it.
struct ShownFrame {
    const cv::Mat& kaleidoscope;
    const cv::Mat& capture;
    Clock::time_point takenAt;
};

// Somewhere else the shown frames go: a recording, a virtual camera. take() must not hold the
// loop up; it throws only when the output has failed for good.
class FrameOutput {
  public:
    virtual ~FrameOutput() = default;
    virtual void take(const ShownFrame& frame) = 0;
    // Ends the output at the end of a run: a line for the user (empty for none), or a
    // UserError.
    virtual std::string finish() = 0;
};

}  // namespace glintara
