// The tile's 5x5 box blur, worked out only where it is needed.
#pragma once

#include <cstddef>
#include <vector>

#include <opencv2/core.hpp>

#include "render/spans.hpp"

namespace glintara {

// How far a 5x5 blur reaches each way.
inline constexpr int kBlurReach = 2;

// The size `sums` takes for a tile `width` pixels wide: one column sum per channel, with
// the repeated edge columns on either side.
inline std::size_t blurSumsSize(int width) {
    return static_cast<std::size_t>(3 * (width + 2 * kBlurReach));
}

// Writes to the pixels of `blurred` under `rows` the 5x5 mean of 8-bit BGR `tile` that
// cv::blur with BORDER_REPLICATE gives there: edges repeated at the tile's own edges, each
// channel's sum of 25 rounded half up. `sums` is scratch kept between calls. Every other
// pixel of `blurred` is left as it was; `tile` and `blurred` must be different images.
void blurRows(const cv::Mat& tile, const RowRanges& rows, std::vector<ushort>& sums,
              cv::Mat& blurred);

}  // namespace glintara
