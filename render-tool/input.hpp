// INPUT: a still image or a video, told apart by content. Decoders stay quiet; what they
// would have printed becomes one clear error.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include <opencv2/core.hpp>

#include "core/frame.hpp"
#include "media/input_file.hpp"
#include "media/video_file_input.hpp"
#include "render-tool/image_codecs.hpp"

namespace glintara::tool {

class Input {
  public:
    // Throws UserError naming the file when it is missing, a folder, empty, unreadable,
    // a damaged image, or neither an image nor a video with a decodable frame.
    // Still images are read with `codecs`. A run of more than one picture (a raw MJPEG
    // stream, say) is a video; an animated PNG is a still, its first picture.
    static Input open(const std::string& path, ImageCodecs& codecs);

    const std::string& path() const { return path_; }
    bool isStill() const { return !video_; }
    const cv::Mat& still() const { return still_; }

    // From now on a still is read as a whole turn: `frames` frames of `picture` at the
    // given rate. Handing in the still already prepared saves preparing it every frame.
    void readStillAsTurn(Ratio framesPerSecond, const cv::Mat& picture, long long frames);

    Ratio timeBase() const;   // the unit of the frames' times
    Ratio frameRate() const;  // 30 per second where the file does not say
    // How wide the pictures' pixels are shown: square for a still.
    Ratio pixelAspect() const { return video_ ? video_->pixelAspect() : kSquarePixels; }
    // The frame count the container states, if it states one.
    std::optional<long long> frameCount() const;
    // The next frame and its time; false at the end or where the data stops decoding. The
    // frame shares its pixels with nothing else, so it may be kept and drawn on.
    bool readFrame(cv::Mat& frame, std::int64_t& time);
    // Whether reading stopped on data that would not decode.
    bool failed() const { return video_ && video_->failed(); }
    // The input's sound, read by the same demuxer as its pictures; nullptr for a still or
    // a silent video.
    media::AudioFileInput* audio() { return video_ ? video_->audio() : nullptr; }
    // No more frames will be read: the sound reads on by itself from here.
    void finishFrames() {
        if (video_) {
            video_->finishPictures();
        }
    }

  private:
    Input() = default;
    static constexpr Ratio kDefaultFrameRate{30, 1};

    // Reads the first frames, so as to tell a video from a picture FFmpeg also reads: true
    // for a video, whose frames are then handed out first.
    bool readsAsVideo();
    // Decodes the first frame into the frames read ahead; false where none decodes.
    bool readFirstFrame();

    std::string path_;
    std::unique_ptr<media::InputFile> file_;
    cv::Mat still_;
    Ratio stillRate_ = kDefaultFrameRate;
    std::unique_ptr<media::VideoFileInput> video_;
    struct TimedFrame {
        cv::Mat picture;
        std::int64_t time = 0;
    };
    std::deque<TimedFrame> readAhead_;  // read while telling a video from a picture
    long long framesRead_ = 0;
    long long turnFrames_ = 360;  // of a still read as a turn
};

}  // namespace glintara::tool
