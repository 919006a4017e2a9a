// The rendered pictures in the form video encoders take: BT.601 4:2:0 in video range.
#pragma once

#include <opencv2/core.hpp>

namespace glintara {

// Fixed-point weights, in 1/32768, of BT.601 scaled to video range: brightness runs 16-235
// (219 steps), colour 16-240 around 128 (224 steps). The colour weights apply to the sum of
// a 2x2 block, so each carries a further quarter; each colour's three weights sum to zero,
// so that greys have no colour.
struct Yuv420Weights {
    static constexpr int kShift = 15;
    static constexpr int kYR = 8414, kYG = 16520, kYB = 3208;    // 219/255 x (.299, .587, .114)
    static constexpr int kCbR = 1214, kCbG = 2384, kCbB = 3598;  // 224/255/4 x (.169, .331, .5)
    static constexpr int kCrR = 3598, kCrG = 3013, kCrB = 585;   // 224/255/4 x (.5, .419, .081)
    static constexpr int kYOffset = (16 << kShift) + (1 << (kShift - 1));
    static constexpr int kColourOffset = (128 << kShift) + (1 << (kShift - 1));
};

// An 8-bit BGR picture into its brightness plane `y` (the picture's size) and colour planes
// `cb`, `cr` (half its size each way, rounded up), each colour sample made from the average of
// its 2x2 block; an odd last row or column stands in for its missing neighbour. The planes
// must already have those sizes; they may be views of an encoder's own buffers.
void bgrToYuv420(const cv::Mat& bgr, cv::Mat& y, cv::Mat& cb, cv::Mat& cr);

}  // namespace glintara
