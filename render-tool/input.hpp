// INPUT: a still image or a video, told apart by content. Decoders stay quiet; what they
// would have printed becomes one clear error.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

namespace glintara::tool {

class Input {
  public:
    // Throws ToolError naming the file when it is missing, a folder, empty, unreadable,
    // a damaged image, or neither an image nor a video with a decodable frame.
    static Input open(const std::string& path);

    const std::string& path() const { return path_; }
    bool isStill() const { return !video_.isOpened(); }
    const cv::Mat& still() const { return still_; }
    double framesPerSecond() const { return framesPerSecond_; }
    // The frame count the container states, if it states one.
    std::optional<long long> frameCount() const { return frameCount_; }
    // The next frame of a video; false at its end or on a decoding error.
    bool readFrame(cv::Mat& frame);
    long long framesRead() const { return framesRead_; }

  private:
    Input() = default;
    static constexpr double kDefaultFramesPerSecond = 30.0;

    std::string path_;
    cv::Mat still_;
    cv::VideoCapture video_;
    double framesPerSecond_ = kDefaultFramesPerSecond;
    std::optional<long long> frameCount_;
    cv::Mat firstFrame_;  // read while telling a video from other content, handed out first
    long long framesRead_ = 0;
};

}  // namespace glintara::tool
