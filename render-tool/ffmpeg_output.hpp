// Video files written with FFmpeg's own libraries: the container and codecs an OUTPUT
// extension stands for, the frames at their own times, and the input's sound copied or
// re-encoded beside them. Nothing outside the FFmpeg edge sees an FFmpeg type.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <opencv2/core.hpp>

#include "render-tool/ffmpeg_input.hpp"

namespace glintara::tool {

// Whether the path's extension names a video format glintara-render writes.
bool isVideoFormat(const std::string& path);

struct VideoStreamFormat {
    cv::Size size;
    Ratio timeBase;   // the unit of the frames' times
    Ratio frameRate;  // frames per second, stated in the file
};

class VideoFileOutput {
  public:
    // Writes the format `destination`'s extension names into `file`. Failures throw
    // ToolError naming the destination. `audio`, when given, is read as the frames are
    // written and must outlive this writer.
    VideoFileOutput(const std::string& destination, const std::string& file,
                    const VideoStreamFormat& format, AudioFileInput* audio);
    ~VideoFileOutput();
    VideoFileOutput(const VideoFileOutput&) = delete;
    VideoFileOutput& operator=(const VideoFileOutput&) = delete;

    // One line for the user when the input's sound cannot go into this container; empty
    // otherwise.
    const std::string& audioNote() const;

    // An 8-bit BGR frame of the format's size, shown from `time` (in timeBase units) on.
    void write(const cv::Mat& frame, std::int64_t time);
    // Ends the file where the last frame ends, the sound cut there too.
    void finish();

  private:
    struct Muxer;
    std::unique_ptr<Muxer> muxer_;
};

}  // namespace glintara::tool
