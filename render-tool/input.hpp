// INPUT: a still image or a video, told apart by content. Decoders stay quiet; what they
// would have printed becomes one clear error.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <opencv2/core.hpp>

#include "render-tool/ffmpeg_input.hpp"
#include "render-tool/image_codecs.hpp"

namespace glintara::tool {

class Input {
  public:
    // Throws ToolError naming the file when it is missing, a folder, empty, unreadable,
    // a damaged image, or neither an image nor a video with a decodable frame.
    // Still images are read with `codecs`.
    static Input open(const std::string& path, ImageCodecs& codecs);

    const std::string& path() const { return path_; }
    bool isStill() const { return !video_; }
    const cv::Mat& still() const { return still_; }

    // From now on a still is read as a whole turn: kFramesPerTurn frames of `picture` at the
    // given rate. Handing in the still already prepared saves preparing it every frame.
    void readStillAsTurn(Ratio framesPerSecond, const cv::Mat& picture);
    static constexpr long long kFramesPerTurn = 360;

    Ratio timeBase() const;   // the unit of the frames' times
    Ratio frameRate() const;  // 30 per second where the file does not say
    // The frame count the container states, if it states one.
    std::optional<long long> frameCount() const;
    // The next frame and its time; false at the end or where the data stops decoding. The
    // frame shares its pixels with nothing else, so it may be kept and drawn on.
    bool readFrame(cv::Mat& frame, std::int64_t& time);
    // Whether reading stopped on data that would not decode.
    bool failed() const { return video_ && video_->failed(); }
    // The input's sound, read on its own; nullptr for a still or a silent video.
    std::unique_ptr<AudioFileInput> openAudio() const;

  private:
    Input() = default;
    static constexpr Ratio kDefaultFrameRate{30, 1};

    std::string path_;
    cv::Mat still_;
    Ratio stillRate_ = kDefaultFrameRate;
    std::unique_ptr<VideoFileInput> video_;
    cv::Mat firstFrame_;  // read while telling a video from other content, handed out first
    std::int64_t firstTime_ = 0;
    long long framesRead_ = 0;
};

}  // namespace glintara::tool
