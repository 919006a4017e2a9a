#include "render/sparse_warp.hpp"

#include <algorithm>

#include <opencv2/core/hal/intrin.hpp>

namespace glintara {
namespace {

// cv::warpAffine's fixed point: 10 fractional bits, with half a table step added for
// rounding.
constexpr int kAbScale = 1 << 10;
constexpr int kRoundDelta = kAbScale / cv::INTER_TAB_SIZE / 2;
constexpr int kWeightBits = 15;
constexpr int kWeightOne = 1 << kWeightBits;

// A source image as the blend reads it, held in locals so that writing the destination
// cannot make the compiler reload it.
struct SourceView {
    const uchar* data;
    std::size_t step;
    int width;
    int height;

    const uchar* pixel(int x, int y) const { return data + y * step + 3 * x; }
};

inline uchar weighted(const uchar* v0, const uchar* v1, const uchar* v2, const uchar* v3,
                      const short* w, int c) {
    const int sum = v0[c] * w[0] + v1[c] * w[1] + v2[c] * w[2] + v3[c] * w[3];
    return cv::saturate_cast<uchar>((sum + kWeightOne / 2) >> kWeightBits);
}

#if CV_SIMD128
// The four pixels' three channels in one go: each channel of the left pixel paired with the
// same channel of the right one, multiplied by the pair of weights and summed.
inline void blendInside(const uchar* top, const uchar* bottom, const short* w, uchar* out) {
    const cv::v_int16x8 topRow = cv::v_reinterpret_as_s16(cv::v_load_expand(top));
    const cv::v_int16x8 bottomRow = cv::v_reinterpret_as_s16(cv::v_load_expand(bottom));
    cv::v_int16x8 topPairs, bottomPairs, unused;
    cv::v_zip(topRow, cv::v_rotate_right<3>(topRow), topPairs, unused);
    cv::v_zip(bottomRow, cv::v_rotate_right<3>(bottomRow), bottomPairs, unused);
    const cv::v_int16x8 topWeights = cv::v_reinterpret_as_s16(
        cv::v_setall_s32(static_cast<ushort>(w[0]) | (static_cast<int>(w[1]) << 16)));
    const cv::v_int16x8 bottomWeights = cv::v_reinterpret_as_s16(
        cv::v_setall_s32(static_cast<ushort>(w[2]) | (static_cast<int>(w[3]) << 16)));
    const cv::v_int32x4 sum = cv::v_dotprod(topPairs, topWeights) +
                              cv::v_dotprod(bottomPairs, bottomWeights) +
                              cv::v_setall_s32(kWeightOne / 2);
    const cv::v_int16x8 narrow = cv::v_pack(cv::v_shr<kWeightBits>(sum), cv::v_setzero_s32());
    alignas(16) uchar bytes[16];
    cv::v_store_aligned(bytes, cv::v_pack_u(narrow, narrow));
    out[0] = bytes[0];
    out[1] = bytes[1];
    out[2] = bytes[2];
}
#endif

// One destination pixel: four source pixels blended, each read as black where it lies
// outside the source.
inline void blend(const SourceView& source, const SourcePosition& p, const short* w,
                  uchar* out) {
#if CV_SIMD128
    // Two source pixels side by side are read as 8 bytes, so the last column goes the
    // plain way.
    if (static_cast<unsigned>(p.x) < static_cast<unsigned>(source.width - 2) &&
        static_cast<unsigned>(p.y) < static_cast<unsigned>(source.height - 1)) {
        const uchar* top = source.pixel(p.x, p.y);
        blendInside(top, top + source.step, w, out);
        return;
    }
#endif
    if (static_cast<unsigned>(p.x) < static_cast<unsigned>(source.width - 1) &&
        static_cast<unsigned>(p.y) < static_cast<unsigned>(source.height - 1)) {
        const uchar* top = source.pixel(p.x, p.y);
        const uchar* bottom = top + source.step;
        for (int c = 0; c < 3; ++c) {
            out[c] = weighted(top, top + 3, bottom, bottom + 3, w, c);
        }
        return;
    }
    static constexpr uchar kBlack[3] = {0, 0, 0};
    const auto pixel = [&](int x, int y) -> const uchar* {
        return x >= 0 && x < source.width && y >= 0 && y < source.height ? source.pixel(x, y)
                                                                         : kBlack;
    };
    const uchar* v0 = pixel(p.x, p.y);
    const uchar* v1 = pixel(p.x + 1, p.y);
    const uchar* v2 = pixel(p.x, p.y + 1);
    const uchar* v3 = pixel(p.x + 1, p.y + 1);
    for (int c = 0; c < 3; ++c) {
        out[c] = weighted(v0, v1, v2, v3, w, c);
    }
}

}  // namespace

WarpPositions::WarpPositions(cv::Size destination)
    : columnX_(destination.width),
      columnY_(destination.width),
      rowX_(destination.height),
      rowY_(destination.height) {}

WarpPositions::WarpPositions(cv::Size destination, const cv::Matx23f& forward)
    : WarpPositions(destination) {
    set(forward);
}

void WarpPositions::set(const cv::Matx23f& forward) {
    // The inverse of the forward map, in double, in cv::warpAffine's own order of operations.
    double m[6];
    for (int i = 0; i < 6; ++i) {
        m[i] = forward.val[i];
    }
    double determinant = m[0] * m[4] - m[1] * m[3];
    determinant = determinant != 0 ? 1. / determinant : 0;
    const double a11 = m[4] * determinant;
    const double a22 = m[0] * determinant;
    m[0] = a11;
    m[1] *= -determinant;
    m[3] *= -determinant;
    m[4] = a22;
    const double b1 = -m[0] * m[2] - m[1] * m[5];
    const double b2 = -m[3] * m[2] - m[4] * m[5];
    m[2] = b1;
    m[5] = b2;

    for (int x = 0; x < static_cast<int>(columnX_.size()); ++x) {
        columnX_[x] = cv::saturate_cast<int>(m[0] * x * kAbScale);
        columnY_[x] = cv::saturate_cast<int>(m[3] * x * kAbScale);
    }
    for (int y = 0; y < static_cast<int>(rowX_.size()); ++y) {
        rowX_[y] = cv::saturate_cast<int>((m[1] * y + m[2]) * kAbScale) + kRoundDelta;
        rowY_[y] = cv::saturate_cast<int>((m[4] * y + m[5]) * kAbScale) + kRoundDelta;
    }
}

BilinearWeights::BilinearWeights() : weights_(cv::INTER_TAB_SIZE2) {
    // Each axis splits one into (1 - f, f) at steps of 1/32. cv::remap's table takes the
    // 2 x 2 products in float and rounds them to 15 bits; at these steps every product is
    // exact, so the weights are whole numbers that sum to exactly 1 << 15.
    constexpr int kSteps = cv::INTER_TAB_SIZE;
    constexpr int kScale = kWeightOne / (kSteps * kSteps);
    for (int fy = 0; fy < kSteps; ++fy) {
        for (int fx = 0; fx < kSteps; ++fx) {
            weights_[fy * kSteps + fx] = {
                cv::saturate_cast<short>((kSteps - fy) * (kSteps - fx) * kScale),
                cv::saturate_cast<short>((kSteps - fy) * fx * kScale),
                cv::saturate_cast<short>(fy * (kSteps - fx) * kScale),
                cv::saturate_cast<short>(fy * fx * kScale)};
        }
    }
    // All but one: a whole pixel's weight of one does not fit in 16 bits and is held as
    // 32767. The table then makes the sum whole again by giving the missing unit to the
    // bottom-right weight.
    weights_[0][3] = static_cast<short>(kWeightOne - weights_[0][0]);
}

void warpSpans(const cv::Mat& source, const WarpPositions& positions,
               const BilinearWeights& weights, const SpanList& spans, bool flipRows,
               cv::Mat& destination) {
    CV_Assert(source.type() == CV_8UC3 && destination.type() == CV_8UC3);
    const SourceView view{source.ptr<uchar>(), source.step[0], source.cols, source.rows};
    const short* table = weights[0].data();
    for (const Span& span : spans) {
        const int row = flipRows ? destination.rows - 1 - span.y : span.y;
        uchar* out = destination.ptr<uchar>(row) + 3 * span.x0;
        const WarpPositions::Row along = positions.row(span.y);
        for (int x = span.x0; x < span.x1; ++x, out += 3) {
            const SourcePosition p = along.at(x);
            blend(view, p, table + 4 * p.step, out);
        }
    }
}

}  // namespace glintara
