// Shrinking only the tile pixels that are needed. cv::resize with INTER_LINEAR blends two
// source columns, then two source rows, in fixed point with weights that depend only on
// the destination column and row; doing the same for chosen pixels gives, there, the very
// bytes the whole shrink gives.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "render/spans.hpp"

namespace glintara {

class SparseShrink {
  public:
    SparseShrink() = default;
    SparseShrink(cv::Size source, cv::Size destination);

    // The source pixels that the destination pixels under `rows` are made from.
    void sourceSpans(const RowRanges& rows, SpanList& spans) const;

    // Shrinks 8-bit BGR `source` into the pixels of `destination` under `rows`; every other
    // pixel is left as it was.
    void shrink(const cv::Mat& source, const RowRanges& rows, cv::Mat& destination) const;

    // Where one destination column (or row) reads: two source columns (rows) with 11-bit
    // weights. At the image's edges both can be the same one.
    struct Tap {
        int first;
        int second;
        short weights[2];
    };

  private:
    std::vector<Tap> columns_;
    std::vector<Tap> rows_;
};

}  // namespace glintara
