// Turning only the pixels that are needed. cv::warpAffine hands cv::remap, for every
// destination pixel, a fixed-point source position and a bilinear-table index that depend
// on nothing but that pixel's row and column. Building the same two values for a chosen
// set of pixels and remapping just those gives, there, the very bytes the whole warp gives.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "render/spans.hpp"

namespace glintara {

// What cv::warpAffine computes before it remaps, for a forward (source to destination)
// matrix: the inverted matrix's per-column and per-row terms in fixed point.
class WarpPositions {
  public:
    WarpPositions() = default;
    explicit WarpPositions(cv::Size destination);
    WarpPositions(cv::Size destination, const cv::Matx23f& forward);

    // Refills the terms for another matrix of the same destination size.
    void set(const cv::Matx23f& forward);

    // The source positions (whole pixels) and table indices of pixels x0..x1-1 of row y.
    void fill(int y, int x0, int x1, cv::Vec2s* positions, ushort* tableIndices) const;

  private:
    std::vector<int> columnX_, columnY_;
    std::vector<int> rowX_, rowY_;
};

// One sparse warp's working memory: source positions, table indices and warped pixels for
// up to a whole image, one entry per listed pixel in span order. Kept so no frame allocates.
class SparseWarp {
  public:
    SparseWarp() = default;
    explicit SparseWarp(cv::Size image);

    // Works out where each pixel under `spans` comes from.
    void map(const WarpPositions& positions, const SpanList& spans);

    // Where the mapped pixels come from, as whole source pixels (bilinear reads this one and
    // the next to the right and below).
    const cv::Vec2s* sourcePositions() const { return positions_.ptr<cv::Vec2s>(); }
    int mappedPixels() const { return count_; }

    // Warps `source` into the pixels of `destination` under `spans`, the spans last mapped,
    // exactly as cv::warpAffine with INTER_LINEAR and a black constant border would; every
    // other pixel is left as it was. With `flipRows` the result for row y lands in row
    // (rows - 1 - y) instead: cv::flip about the horizontal axis, done on the way out.
    void remapInto(const cv::Mat& source, const SpanList& spans, bool flipRows,
                   cv::Mat& destination);

  private:
    cv::Mat positions_;     // 1 x capacity, CV_16SC2
    cv::Mat tableIndices_;  // 1 x capacity, CV_16UC1
    cv::Mat pixels_;        // 1 x capacity, CV_8UC3
    int count_ = 0;
};

}  // namespace glintara
