// Which source pixels a result depends on, worked backwards from the pixels that reach the
// canvas: through the tile shrink, and through the bilinear taps of a turn.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "render/sparse_warp.hpp"
#include "render/spans.hpp"

namespace glintara {

// The source rows and columns cv::resize with INTER_LINEAR reads for each destination row
// and column: two neighbours each, at (d + 0.5) * scale - 0.5 rounded down, kept inside.
class ShrinkTaps {
  public:
    ShrinkTaps() = default;
    ShrinkTaps(cv::Size source, cv::Size destination);

    // The source pixels that the destination pixels under `rows` are made from.
    void sourceSpans(const RowRanges& rows, SpanList& spans) const;

  private:
    std::vector<cv::Range> columns_;  // per destination column: source columns [start, end)
    std::vector<cv::Range> rows_;     // per destination row: source rows [start, end)
};

// The pixels of a `source`-sized image that warping the pixels under `spans` reads, row by
// row: each position, its neighbours to the right and below, where they lie inside.
void bilinearSources(const WarpPositions& positions, const SpanList& spans, cv::Size source,
                     RowRanges& rows);

}  // namespace glintara
