// Shrinking a picture by area, as cv::resize with INTER_AREA does at a scale that is not a
// whole number: every destination pixel is the mean of the source area it covers, weighed
// across in floats, then down, then rounded. OpenCV's own loop weighs a source row across
// once for every destination row that reads it and reads its taps one by one; here each row
// is weighed across once, eight values at a time where the processor has AVX2. The arithmetic,
// and so every byte, is OpenCV's.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace glintara {

class AreaShrink {
  public:
    AreaShrink() = default;
    // For 8-bit BGR pictures of size `source` shrunk to `destination`.
    AreaShrink(cv::Size source, cv::Size destination);

    // Whether cv::resize takes this general path for these sizes: both ways a shrink, and not
    // by a whole number both ways (a whole number takes OpenCV's own quick path).
    static bool takesThisPath(cv::Size source, cv::Size destination);

    cv::Size source() const { return source_; }
    cv::Size destination() const { return destination_; }

    // Shrinks 8-bit BGR `from` (of source()) into the pixels of `to` (of destination()) under
    // `region`, all of it by default; the others are left as they were.
    void shrink(const cv::Mat& from, cv::Mat& to, cv::Rect region = {});

    // One destination value's share of a source value: where it is read, and its weight.
    struct Tap {
        int source;
        float weight;
    };

  private:
    struct Stripe;
    void shrinkRows(const cv::Mat& from, cv::Mat& to, cv::Range rows, cv::Range columns,
                    Stripe& stripe) const;
    const float* acrossRow(const cv::Mat& from, int row, cv::Range columns, Stripe& stripe) const;
    void weighRowAcross(const uchar* bytes, cv::Range columns, float* values, float* out) const;
    void toFloats(const uchar* bytes, cv::Range columns, float* values) const;

    void makeWindows(int rowLength);

    cv::Size source_;
    cv::Size destination_;
    // Across, per tap slot, for every destination value (three per pixel): where its source
    // value is and its weight, a weight of 0 where a value has fewer taps. Each destination
    // column's first and last source column.
    int acrossTaps_ = 0;
    std::vector<cv::Range> acrossSpan_;
    std::vector<int> acrossSources_;
    std::vector<float> acrossWeights_;
    // How many consecutive source values a run of eight values picks its taps from; per run,
    // the first of them, -1 where its taps do not fit; and, laid out as the sources are, each
    // tap's place among them.
    int window_ = 0;
    std::vector<int> windowStarts_;
    std::vector<int> windowIndices_;
    bool everyRunWindowed_ = false;
    // Down, per destination row, its source rows and weights in OpenCV's order.
    std::vector<std::vector<Tap>> downTaps_;
    // Per stripe of rows worked on at once: the source row as floats, and the rows weighed
    // across, one per tap slot down and one kept from the row before.
    struct Stripe {
        std::vector<float> sourceRow;
        std::vector<std::vector<float>> across;
        std::vector<int> acrossOf;  // which source row each holds, -1 for none
        std::vector<float> sums;
    };
    std::vector<Stripe> stripes_;
};

}  // namespace glintara
