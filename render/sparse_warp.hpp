// Turning only the pixels that are needed. cv::warpAffine with bilinear interpolation works
// out, for every destination pixel, a fixed-point source position and sub-pixel step that
// depend on nothing but that pixel's row and column, then blends four source pixels with
// fixed-point weights. Doing the same arithmetic for a chosen set of pixels gives, there,
// the very bytes the whole warp gives.
#pragma once

#include <array>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "render/spans.hpp"

namespace glintara {

// Where a destination pixel reads: the top-left of its four source pixels, and which of the
// 32 x 32 sub-pixel steps it lies at.
struct SourcePosition {
    int x;
    int y;
    int step;  // (y fraction) * 32 + (x fraction)
};

// What cv::warpAffine computes before it blends, for a forward (source to destination)
// matrix: the inverted matrix's per-column and per-row terms in fixed point.
class WarpPositions {
  public:
    // Positions carry 10 fractional bits until they are cut down to the table's 5.
    static constexpr int kFractionShift = 10 - cv::INTER_BITS;
    static constexpr int kStepMask = cv::INTER_TAB_SIZE - 1;

    WarpPositions() = default;
    explicit WarpPositions(cv::Size destination);
    WarpPositions(cv::Size destination, const cv::Matx23f& forward);
    // For a destination that holds only some pixels of the whole one: its column i is the
    // whole destination's column columns[i], its row j row rows[j].
    WarpPositions(const std::vector<int>& columns, const std::vector<int>& rows);

    // Refills the terms for another matrix of the same destination size.
    void set(const cv::Matx23f& forward);

    // One row's terms, for walking along it.
    struct Row {
        const int* columnX;
        const int* columnY;
        int rowX;
        int rowY;

        SourcePosition at(int x) const {
            const int sx = (rowX + columnX[x]) >> kFractionShift;
            const int sy = (rowY + columnY[x]) >> kFractionShift;
            return {sx >> cv::INTER_BITS, sy >> cv::INTER_BITS,
                    (sy & kStepMask) * cv::INTER_TAB_SIZE + (sx & kStepMask)};
        }
    };
    Row row(int y) const { return {columnX_.data(), columnY_.data(), rowX_[y], rowY_[y]}; }
    SourcePosition at(int x, int y) const { return row(y).at(x); }

  private:
    std::vector<int> columns_, rows_;  // the whole destination's columns and rows
    std::vector<int> columnX_, columnY_;
    std::vector<int> rowX_, rowY_;
};

// The bilinear weights of each sub-pixel step, in 15-bit fixed point and summing to exactly
// 1 << 15, as cv::remap's table holds them: top-left, top-right, bottom-left, bottom-right.
class BilinearWeights {
  public:
    BilinearWeights();
    const std::array<short, 4>& operator[](int step) const { return weights_[step]; }

    // The same weights laid out for blending a top and a bottom row of two pixels paired
    // channel by channel: (w0, w2) x 3 then (w1, w3), and (w1, w3) x 4.
    struct Paired {
        alignas(16) short first[8];
        alignas(16) short second[8];
    };
    const Paired& paired(int step) const { return paired_[step]; }

  private:
    std::vector<std::array<short, 4>> weights_;
    std::vector<Paired> paired_;
};

// Warps 8-bit BGR `source` into the pixels of `destination` under `spans`, exactly as
// cv::warpAffine with INTER_LINEAR and a black constant border would; every other pixel is
// left as it was. With `flipRows` the result for row y lands in row (rows - 1 - y) instead:
// cv::flip about the horizontal axis, done on the way out.
void warpSpans(const cv::Mat& source, const WarpPositions& positions,
               const BilinearWeights& weights, const SpanList& spans, bool flipRows,
               cv::Mat& destination);

// The pixels of a `source`-sized image that warping the pixels under `spans` reads, row by
// row: each position, its neighbours to the right and below, where they lie inside.
void bilinearSources(const WarpPositions& positions, const SpanList& spans, cv::Size source,
                     RowRanges& rows);

}  // namespace glintara
