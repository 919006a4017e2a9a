// The tile's box blur, worked out only where it is needed.
#pragma once

#include <cstddef>
#include <vector>

#include <opencv2/core.hpp>

#include "render/spans.hpp"

namespace glintara {

// The widest blur the renderer makes reaches 16 pixels each way (33x33, at a 4096 canvas).
inline constexpr int kLongestBlurReach = 16;

// The size `sums` takes for a tile `width` pixels wide and a blur of that reach: one column
// sum per channel, with the repeated edge columns on either side.
inline std::size_t blurSumsSize(int width, int reach) {
    return static_cast<std::size_t>(3 * (width + 2 * reach));
}

// Writes to the pixels of `blurred` under `rows` the (2 reach + 1)-square mean of 8-bit BGR
// `tile` that cv::blur with BORDER_REPLICATE gives there: edges repeated at the tile's own
// edges, each channel's sum rounded half up (as OpenCV rounds it for every size). `sums` is
// scratch kept between calls. Every other pixel of `blurred` is left as it was; `tile` and
// `blurred` must be different images.
void blurRows(const cv::Mat& tile, const RowRanges& rows, int reach, std::vector<ushort>& sums,
              cv::Mat& blurred);

}  // namespace glintara
