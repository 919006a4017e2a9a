// 4:2:0 pictures to and from BGR: the rendered pictures in the form video encoders take
// (BT.601 in video range), and the 4:2:0 frames a pipeline hands over, in whatever matrix
// and range they say they are.
#pragma once

#include <array>
#include <cstddef>

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

// The three planes of a 4:2:0 picture held elsewhere (an encoder's frame, a pipeline's
// buffer), seen as images without a copy.
struct Yuv420Planes {
    cv::Mat y;   // the picture's size
    cv::Mat cb;  // half its size each way, rounded up
    cv::Mat cr;
};

// Views of the planes of a `size` picture whose rows start at `data`, `strides` bytes apart.
Yuv420Planes yuv420Planes(cv::Size size, const std::array<unsigned char*, 3>& data,
                          const std::array<int, 3>& strides);

// The length of a 4:2:0 picture of even `size` held packed, I420 as devices and PipeWire take
// it: its three planes one after the other, without padding.
inline std::size_t packedYuv420Bytes(cv::Size size) {
    return static_cast<std::size_t>(size.area()) * 3 / 2;
}

// Views of the planes of such a picture at `bytes`.
Yuv420Planes packedYuv420Planes(cv::Size size, unsigned char* bytes);

// An 8-bit BGR picture into its brightness plane `y` (the picture's size) and colour planes
// `cb`, `cr` (half its size each way, rounded up), each colour sample made from the average of
// its 2x2 block; an odd last row or column stands in for its missing neighbour. The planes
// must already have those sizes; they may be views of an encoder's own buffers.
void bgrToYuv420(const cv::Mat& bgr, cv::Mat& y, cv::Mat& cb, cv::Mat& cr);

// A 4:2:0 picture's planes as packed 4:2:2 YUYV (Y0 Cb Y1 Cr for each pair of pixels), each
// colour row serving its two picture rows; `yuyv` becomes 2-channel, of the picture's size.
void packYuyv(const cv::Mat& y, const cv::Mat& cb, const cv::Mat& cr, cv::Mat& yuyv);

// How a 4:2:0 picture's values stand for colours: the matrix's red and blue weights (0.299
// and 0.114 for BT.601, 0.2126 and 0.0722 for BT.709) and whether values take the full 0-255
// or the video range.
struct YuvMatrix {
    double kr = 0.299;
    double kb = 0.114;
    bool fullRange = false;
};

// The part `part` of a 4:2:0 picture (its brightness plane `y`, colour planes `cb` and `cr`
// half its size each way, rounded up) into 8-bit BGR `bgr` of the part's size. Each colour
// sample serves its 2x2 block as it is, as libswscale's unscaled conversion has it.
void yuv420ToBgr(const cv::Mat& y, const cv::Mat& cb, const cv::Mat& cr, cv::Rect part,
                 const YuvMatrix& matrix, cv::Mat& bgr);

}  // namespace glintara
