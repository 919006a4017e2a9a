// OUTPUT and the capture file: still images and videos that reach their destination only
// when complete.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <opencv2/core.hpp>

#include "core/pending_file.hpp"
#include "media/containers.hpp"
#include "media/video_file_output.hpp"
#include "render-tool/image_codecs.hpp"
#include "render-tool/webp_animation.hpp"

namespace glintara::tool {

// Throws UserError naming the file when its extension has no image encoder.
void checkImageFormat(const std::string& path, ImageCodecs& codecs);

// Whether the path's extension names a video format: FFmpeg's containers, or animated WebP.
bool isVideoOutput(const std::string& path);

// Encodes the picture in the format of the path's extension and writes it to a temporary
// file beside it, for publishTogether() to put in place.
class StillOutput {
  public:
    StillOutput(const std::string& path, const cv::Mat& picture, ImageCodecs& codecs);
    PendingFile* file() { return &file_; }

  private:
    PendingFile file_;
};

// A video: the container and codecs of the path's extension, written beside it, for
// publishTogether() to put in place once finished.
class VideoOutput {
  public:
    // Throws UserError when the extension names no video format. The input's sound goes in
    // too when `audio` is given (it must outlive the output).
    VideoOutput(const std::string& path, const media::VideoStreamFormat& format,
                media::AudioFileInput* audio = nullptr);
    // A line for the user when the input's sound is left out; empty otherwise.
    const std::string& audioNote() const;
    // An 8-bit BGR frame shown from `time` on, in the format's time base.
    void write(const cv::Mat& frame, std::int64_t time);
    // Ends the video where its last frame ends, the sound cut there too. True when the input's
    // sound went on more than a second past that end.
    bool finish();
    PendingFile* file() { return &file_; }

  private:
    PendingFile file_;
    std::unique_ptr<media::VideoFileOutput> video_;  // one of the two
    std::unique_ptr<WebpAnimation> webp_;
    std::string noAudioNote_;
};

}  // namespace glintara::tool
