// OUTPUT and the capture file: still images and videos that reach their destination only
// when complete.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "core/pending_file.hpp"
#include "media/containers.hpp"
#include "media/video_file_output.hpp"
#include "render-tool/image_codecs.hpp"
#include "render-tool/webp_animation.hpp"

namespace glintara::tool {

// Throws UserError naming the file when its extension has no image encoder.
void checkImageFormat(const std::string& path, ImageCodecs& codecs);

// Whether the path's extension names a video format: FFmpeg's containers, or animated WebP;
// or the path is a numbered still name.
bool isVideoOutput(const std::string& path);

// Whether the path is a name for numbered stills: a still image's name holding one printf
// number, "%d" or "%0Nd" ("star-%04d.png").
bool isNumberedStills(const std::string& path);

// The numbered still name with `number` in it.
std::string numberedName(const std::string& pattern, long long number);

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
// publishTogether() to put in place once finished; or numbered stills, each frame a still
// image written beside its name, numbered from 1.
class VideoOutput {
  public:
    // Throws UserError when the extension names no video format (for numbered stills, no
    // image format `codecs` write). The input's sound goes in too when `audio` is given (it
    // must outlive the output); stills take none.
    VideoOutput(const std::string& path, const media::VideoStreamFormat& format,
                media::AudioFileInput* audio, ImageCodecs& codecs);
    // A line for the user when the input's sound is left out; empty otherwise.
    const std::string& audioNote() const;
    // An 8-bit BGR frame shown from `time` on, in the format's time base.
    void write(const cv::Mat& frame, std::int64_t time);
    // Ends the video where its last frame ends, the sound cut there too. True when the input's
    // sound went on more than a second past that end.
    bool finish();
    // The files written, to be put in place together.
    std::vector<PendingFile*> files();

  private:
    std::string path_;
    std::optional<PendingFile> file_;                // for a video
    std::unique_ptr<media::VideoFileOutput> video_;  // one of the three
    std::unique_ptr<WebpAnimation> webp_;
    ImageCodecs* stillCodecs_ = nullptr;
    std::vector<std::unique_ptr<PendingFile>> stills_;
    std::string noAudioNote_;
};

}  // namespace glintara::tool
