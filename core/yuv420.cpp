#include "core/yuv420.hpp"

#include <cmath>

#include "core/yuv420_avx2.hpp"
#include "render/avx2_kernels.hpp"

namespace glintara {

Yuv420Planes yuv420Planes(cv::Size size, const std::array<unsigned char*, 3>& data,
                          const std::array<int, 3>& strides) {
    const cv::Size half((size.width + 1) / 2, (size.height + 1) / 2);
    const auto plane = [&](std::size_t index, cv::Size planeSize) {
        return cv::Mat(planeSize, CV_8UC1, data[index], static_cast<std::size_t>(strides[index]));
    };
    return {plane(0, size), plane(1, half), plane(2, half)};
}

Yuv420Planes packedYuv420Planes(cv::Size size, unsigned char* bytes) {
    const std::size_t area = static_cast<std::size_t>(size.area());
    return yuv420Planes(size, {bytes, bytes + area, bytes + area + area / 4},
                        {size.width, size.width / 2, size.width / 2});
}

namespace {

using W = Yuv420Weights;

uchar brightness(const uchar* p) {
    return static_cast<uchar>((W::kYB * p[0] + W::kYG * p[1] + W::kYR * p[2] + W::kYOffset) >>
                              W::kShift);
}

// One row pair from column `from` on, two pixels at a time; `below` may be `above` itself.
void convertRowPair(const uchar* above, const uchar* below, int width, int from, uchar* yAbove,
                    uchar* yBelow, uchar* cb, uchar* cr) {
    for (int x = from; x < width; x += 2) {
        // An odd last column's block takes its one column twice.
        const int right = x + 1 < width ? x + 1 : x;
        const uchar* block[4] = {above + 3 * x, above + 3 * right, below + 3 * x,
                                 below + 3 * right};
        yAbove[x] = brightness(block[0]);
        yBelow[x] = brightness(block[2]);
        if (right != x) {
            yAbove[right] = brightness(block[1]);
            yBelow[right] = brightness(block[3]);
        }
        int b = 0, g = 0, r = 0;
        for (const uchar* p : block) {
            b += p[0];
            g += p[1];
            r += p[2];
        }
        cb[x / 2] = static_cast<uchar>(
            (W::kCbB * b - W::kCbG * g - W::kCbR * r + W::kColourOffset) >> W::kShift);
        cr[x / 2] = static_cast<uchar>(
            (W::kCrR * r - W::kCrG * g - W::kCrB * b + W::kColourOffset) >> W::kShift);
    }
}

}  // namespace

void bgrToYuv420(const cv::Mat& bgr, cv::Mat& y, cv::Mat& cb, cv::Mat& cr) {
    const cv::Size half((bgr.cols + 1) / 2, (bgr.rows + 1) / 2);
    CV_Assert(bgr.type() == CV_8UC3 && y.type() == CV_8UC1 && y.size() == bgr.size() &&
              cb.type() == CV_8UC1 && cb.size() == half && cr.type() == CV_8UC1 &&
              cr.size() == half);
    const bool avx2 = avx2KernelsUsable();
    for (int row = 0; row < bgr.rows; row += 2) {
        // An odd last row's blocks take their one row twice; its brightness is written once.
        const int below = row + 1 < bgr.rows ? row + 1 : row;
        int x = 0;
#if GLINTARA_AVX2_KERNELS
        if (avx2) {
            x = yuv420SixteensAvx2(bgr.ptr(row), bgr.ptr(below), bgr.cols, y.ptr(row), y.ptr(below),
                                   cb.ptr(row / 2), cr.ptr(row / 2));
        }
#else
        (void)avx2;
#endif
        convertRowPair(bgr.ptr(row), bgr.ptr(below), bgr.cols, x, y.ptr(row), y.ptr(below),
                       cb.ptr(row / 2), cr.ptr(row / 2));
    }
}

namespace {

ToBgrWeights weightsFor(const YuvMatrix& m) {
    const double scale = 1 << ToBgrWeights::kShift;
    const double yScale = m.fullRange ? 1.0 : 255.0 / 219.0;
    const double cScale = m.fullRange ? 1.0 : 255.0 / 224.0;
    const double kg = 1.0 - m.kr - m.kb;
    const auto fixed = [&](double weight) { return static_cast<int>(std::lround(weight * scale)); };
    return {m.fullRange ? 0 : 16,
            128,
            fixed(yScale),
            fixed(2.0 * (1.0 - m.kr) * cScale),
            fixed(2.0 * m.kb * (1.0 - m.kb) / kg * cScale),
            fixed(2.0 * m.kr * (1.0 - m.kr) / kg * cScale),
            fixed(2.0 * (1.0 - m.kb) * cScale)};
}

uchar toByte(int value) {
    constexpr int kHalf = 1 << (ToBgrWeights::kShift - 1);
    return cv::saturate_cast<uchar>((value + kHalf) >> ToBgrWeights::kShift);
}

// The picture's column `column` of one row into the pixel `pixel`.
void toBgr(const uchar* brightness, const uchar* blue, const uchar* red, int column,
           const ToBgrWeights& w, uchar* pixel) {
    const int u = blue[column / 2] - w.grey;
    const int v = red[column / 2] - w.grey;
    const int luma = (brightness[column] - w.black) * w.y;
    pixel[0] = toByte(luma + w.blueU * u);
    pixel[1] = toByte(luma - w.greenU * u - w.greenV * v);
    pixel[2] = toByte(luma + w.redV * v);
}

}  // namespace

void yuv420ToBgr(const cv::Mat& y, const cv::Mat& cb, const cv::Mat& cr, cv::Rect part,
                 const YuvMatrix& matrix, cv::Mat& bgr) {
    const cv::Size half((y.cols + 1) / 2, (y.rows + 1) / 2);
    CV_Assert(y.type() == CV_8UC1 && cb.type() == CV_8UC1 && cr.type() == CV_8UC1 &&
              cb.size() == half && cr.size() == half && (part & cv::Rect({}, y.size())) == part);
    bgr.create(part.size(), CV_8UC3);
    const ToBgrWeights w = weightsFor(matrix);
    const bool avx2 = avx2KernelsUsable();
    const int end = part.x + part.width;
    for (int row = 0; row < part.height; ++row) {
        const uchar* brightness = y.ptr(part.y + row);
        const uchar* blue = cb.ptr((part.y + row) / 2);
        const uchar* red = cr.ptr((part.y + row) / 2);
        uchar* out = bgr.ptr(row);
        // An odd first column shares its colour sample with the column before the part.
        int column = part.x;
        if (column % 2 != 0) {
            toBgr(brightness, blue, red, column, w, out);
            ++column;
            out += 3;
        }
#if GLINTARA_AVX2_KERNELS
        if (avx2) {
            const int from = column;
            column = bgrSixteensAvx2(brightness, blue, red, column, end, w, out);
            out += 3 * (column - from);
        }
#else
        (void)avx2;
#endif
        for (; column < end; ++column, out += 3) {
            toBgr(brightness, blue, red, column, w, out);
        }
    }
}

void packYuyv(const cv::Mat& y, const cv::Mat& cb, const cv::Mat& cr, cv::Mat& yuyv) {
    yuyv.create(y.size(), CV_8UC2);
    for (int row = 0; row < y.rows; ++row) {
        const uchar* luma = y.ptr(row);
        const uchar* blue = cb.ptr(row / 2);
        const uchar* red = cr.ptr(row / 2);
        uchar* out = yuyv.ptr(row);
        for (int x = 0; x + 1 < y.cols; x += 2) {
            out[2 * x] = luma[x];
            out[2 * x + 1] = blue[x / 2];
            out[2 * x + 2] = luma[x + 1];
            out[2 * x + 3] = red[x / 2];
        }
    }
}

}  // namespace glintara
