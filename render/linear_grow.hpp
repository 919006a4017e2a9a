// Growing a picture, as cv::resize with INTER_LINEAR does: each destination value weighs the
// two source values beside it across in 11-bit fixed point, then the two rows around it down
// as OpenCV's vector loop does (the sums taken to 16 bits and multiplied keeping the high
// halves; that loop ends a row by stepping back over values it has done, so it makes every
// value of all but the shortest rows). Every byte is OpenCV's; unlike cv::resize it can make
// only part of the picture, and where the processor has AVX2 it picks each run of eight
// values' sources out of one small window of the row.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace glintara {

class LinearGrow {
  public:
    LinearGrow() = default;
    // For 8-bit BGR pictures of size `source` grown to `destination`, neither smaller.
    LinearGrow(cv::Size source, cv::Size destination);

    cv::Size source() const { return source_; }
    cv::Size destination() const { return destination_; }

    // Grows 8-bit BGR `from` (of source()) into the pixels of `to` (of destination()) under
    // `region`, all of it by default; the others are left as they were.
    void grow(const cv::Mat& from, cv::Mat& to, cv::Rect region = {});

    // One destination value's two source values across, as offsets in a row of bytes, and
    // their weights in 1/2048.
    struct Across {
        int left;
        int right;
        short leftWeight;
        short rightWeight;
    };
    // One destination row's two source rows and their weights.
    struct Down {
        int top;
        int bottom;
        short topWeight;
        short bottomWeight;
    };

  private:
    struct Stripe;
    void growRows(const cv::Mat& from, cv::Mat& to, cv::Range rows, cv::Range values,
                  Stripe& stripe) const;
    const int* acrossRow(const cv::Mat& from, int row, cv::Range values, Stripe& stripe) const;
    void makeWindows();

    cv::Size source_;
    cv::Size destination_;
    std::vector<Across> across_;  // per destination value
    std::vector<Down> down_;      // per destination row
    // Where OpenCV's vector loop ends in each row: all of it, or none of a row too short for
    // it, whose values are weighed plainly.
    int vectorEnd_ = 0;
    // Per run of eight destination values from the row's start, the first of the sixteen
    // source bytes its values read, -1 where they do not fit; for each, which of the sixteen
    // each value's two sources are, and their weights, side by side.
    std::vector<int> windowStarts_;
    std::vector<signed char> windowPicks_;
    std::vector<short> windowWeights_;
    bool everyRunWindowed_ = false;
    // Per stripe of rows worked on at once: the two source rows weighed across last.
    struct Stripe {
        std::vector<int> across[2];
        int acrossOf[2];
    };
    std::vector<Stripe> stripes_;
};

}  // namespace glintara
