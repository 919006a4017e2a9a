// How a video's display matrix says its pictures are turned upright, as players and the
// ffmpeg command line turn them: a quarter turn either way, a half turn, and the mirrored
// forms of each. Angles that are not a quarter turn are left alone.
#pragma once

#include <cstdint>

#include <opencv2/core.hpp>

namespace glintara::media {

enum class Upright {
    AsStored,
    Clockwise,
    Anticlockwise,
    Transpose,
    AntiTranspose,
    HFlip,
    VFlip,
    HalfTurn
};

// The turn for a 3x3 display matrix in FFmpeg's layout (16.16 and 2.30 fixed point, row by
// row); AsStored for none.
Upright uprightFor(const std::int32_t* matrix);

// The stored picture as it is shown; `shown` is left alone for AsStored, where the stored
// picture is already the one shown.
void turnUpright(Upright upright, const cv::Mat& stored, cv::Mat& shown);

}  // namespace glintara::media
