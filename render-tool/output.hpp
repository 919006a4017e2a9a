// OUTPUT and the capture file: still images and videos that reach their destination only
// when complete.
#pragma once

#include <optional>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "render-tool/pending_file.hpp"

namespace glintara::tool {

// Throws ToolError naming the file when its extension has no image encoder.
void checkImageFormat(const std::string& path);

// Encodes the picture in the format of the path's extension and writes it to a temporary
// file beside it; commit() puts it in place.
class StillOutput {
  public:
    StillOutput(const std::string& path, const cv::Mat& picture);
    void commit() { file_.commit(); }

  private:
    PendingFile file_;
};

// The four-character code of the video codec for the path's extension, if there is one.
std::optional<int> videoCodecFor(const std::string& path);

class VideoOutput {
  public:
    // Opens a writer into a temporary file beside the path; throws ToolError when the
    // extension has no working video writer.
    VideoOutput(const std::string& path, double framesPerSecond, cv::Size frameSize);
    void write(const cv::Mat& frame) { writer_.write(frame); }
    // Closes the video and puts it in place.
    void commit();

  private:
    PendingFile file_;
    cv::VideoWriter writer_;
};

}  // namespace glintara::tool
