// Animated WebP, made with libwebp itself rather than through FFmpeg, whose encoder takes the
// frames one after another on one thread. A turning kaleidoscope changes everywhere from one
// frame to the next, so every frame is a whole picture of its own: here they are encoded two
// at a time, each as FFmpeg encoded it, and put together in order at the end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "core/ratio.hpp"

namespace glintara::tool {

class WebpAnimation {
  public:
    // Frames of `size`, their times in `timeBase` units, `frameRate` frames a second (0 when
    // unknown) for the last frame's duration. Failures throw UserError naming `destination`.
    WebpAnimation(const std::string& destination, cv::Size size, Ratio timeBase, Ratio frameRate);
    // Stops the encoding threads, whatever was left unfinished.
    ~WebpAnimation();
    WebpAnimation(const WebpAnimation&) = delete;
    WebpAnimation& operator=(const WebpAnimation&) = delete;

    // An 8-bit BGR frame shown from `time` on; waits while the encoders are behind.
    void write(const cv::Mat& frame, std::int64_t time);
    // The whole file, looping for ever.
    std::vector<unsigned char> finish();

  private:
    struct Encoders;
    std::unique_ptr<Encoders> encoders_;
};

}  // namespace glintara::tool
