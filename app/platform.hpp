// The seams between the frame loop and the machine: where frames come from and where
// pictures go. The loop knows nothing of cameras, windows or keyboards beyond these.
#pragma once

#include <string>

#include <opencv2/core.hpp>

namespace glintara {

inline const std::string kCaptureWindow = "Capture";
inline const std::string kKaleidoscopeWindow = "Glintara";

inline constexpr int kNoKey = -1;

class FrameSource {
  public:
    virtual ~FrameSource() = default;
    // The next frame, or false when none can be taken. The frame may be reused by the
    // source on the next call.
    virtual bool read(cv::Mat& frame) = 0;
};

class Screen {
  public:
    virtual ~Screen() = default;
    virtual void show(const std::string& window, const cv::Mat& image) = 0;
    // Waits up to delayMs for a key; its whole code, or kNoKey.
    virtual int waitKey(int delayMs) = 0;
    // Whether the user has closed one of the windows.
    virtual bool windowClosed() = 0;
};

}  // namespace glintara
