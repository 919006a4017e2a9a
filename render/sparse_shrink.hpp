// Shrinking only the tile pixels that are needed. cv::resize with INTER_LINEAR blends two
// source columns, then two source rows, in fixed point with weights that depend only on
// the destination column and row; doing the same for chosen pixels gives, there, the very
// bytes the whole shrink gives.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "render/spans.hpp"
#include "render/sparse_shrink_avx2.hpp"

namespace glintara {

// Which source pixels a compact image holds: its column i is source column columns[i], its
// row j source row rows[j].
struct CompactLayout {
    std::vector<int> columns;
    std::vector<int> rows;
    cv::Size size() const {
        return {static_cast<int>(columns.size()), static_cast<int>(rows.size())};
    }
};

class SparseShrink {
  public:
    SparseShrink() = default;
    SparseShrink(cv::Size source, cv::Size destination);

    // A shrink reads only two source columns per destination column and two rows per row.
    // The compact layout holds just those: columns 2d and 2d + 1 are destination column d's
    // two, rows likewise, and one spare column lets the last pair be read 8 bytes at a time.
    CompactLayout compactLayout() const;
    // The same shrink, tap for tap and weight for weight, reading from the compact layout.
    SparseShrink readingCompact() const;

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
    // Reading the compact layout: the column weights laid out four tile pixels at a time.
    std::vector<FourColumnWeights> fourColumns_;
};

}  // namespace glintara
