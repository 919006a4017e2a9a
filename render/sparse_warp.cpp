#include "render/sparse_warp.hpp"

#include <algorithm>
#include <cstring>

#include <opencv2/core/hal/intrin.hpp>

#include "render/sparse_warp_avx2.hpp"

namespace glintara {
namespace {

// cv::warpAffine's fixed point: 10 fractional bits, with half a table step added for
// rounding.
constexpr int kAbScale = 1 << 10;
constexpr int kRoundDelta = kAbScale / cv::INTER_TAB_SIZE / 2;
constexpr int kWeightBits = 15;
constexpr int kWeightOne = 1 << kWeightBits;

inline uchar weighted(const uchar* v0, const uchar* v1, const uchar* v2, const uchar* v3,
                      const short* w, int c) {
    const int sum = v0[c] * w[0] + v1[c] * w[1] + v2[c] * w[2] + v3[c] * w[3];
    return cv::saturate_cast<uchar>((sum + kWeightOne / 2) >> kWeightBits);
}

#if CV_SIMD128
// The four source pixels' three channels in one go. The top and bottom rows are paired
// channel by channel, so one multiply-add gives top * w0 + bottom * w2 for the left pixel
// (and w1, w3 for the right one); the right pixel's sums are then moved under the left's.
inline unsigned blendInside(const uchar* top, const uchar* bottom,
                            const BilinearWeights::Paired& w) {
    const cv::v_int16x8 topRow = cv::v_reinterpret_as_s16(cv::v_load_expand(top));
    const cv::v_int16x8 bottomRow = cv::v_reinterpret_as_s16(cv::v_load_expand(bottom));
    cv::v_int16x8 low, high;
    cv::v_zip(topRow, bottomRow, low, high);
    const cv::v_int32x4 left = cv::v_dotprod(low, cv::v_load_aligned(w.first));
    const cv::v_int32x4 right = cv::v_dotprod(high, cv::v_load_aligned(w.second));
    const cv::v_int32x4 sum =
        left + cv::v_extract<3>(left, right) + cv::v_setall_s32(kWeightOne / 2);
    const cv::v_int16x8 narrow = cv::v_pack(cv::v_shr<kWeightBits>(sum), cv::v_setzero_s32());
    // The bytes straight from the register: going through memory would stall.
    return cv::v_reinterpret_as_u32(cv::v_pack_u(narrow, narrow)).get0();
}

inline void storeThree(unsigned bgr, uchar* out) {
    out[0] = static_cast<uchar>(bgr);
    out[1] = static_cast<uchar>(bgr >> 8);
    out[2] = static_cast<uchar>(bgr >> 16);
}

// Four neighbouring pixels of a row: their positions worked out together and, when all four
// read inside the source, blended without edge checks. The first three are stored four
// bytes wide, the spare byte landing on the next pixel before it is written itself.
// Returns false, having written nothing, when one of them reads past an edge.
inline bool warpFour(const SourceView& source, const WarpPositions::Row& along, int x,
                     const BilinearWeights& weights, bool lastInSpan, uchar* out) {
    const cv::v_int32x4 fx = cv::v_shr<WarpPositions::kFractionShift>(
        cv::v_load(along.columnX + x) + cv::v_setall_s32(along.rowX));
    const cv::v_int32x4 fy = cv::v_shr<WarpPositions::kFractionShift>(
        cv::v_load(along.columnY + x) + cv::v_setall_s32(along.rowY));
    const cv::v_int32x4 sx = cv::v_shr<cv::INTER_BITS>(fx);
    const cv::v_int32x4 sy = cv::v_shr<cv::INTER_BITS>(fy);
    const cv::v_int32x4 inside =
        cv::v_reinterpret_as_s32(cv::v_reinterpret_as_u32(sx) <
                                 cv::v_setall_u32(static_cast<unsigned>(source.width - 2))) &
        cv::v_reinterpret_as_s32(cv::v_reinterpret_as_u32(sy) <
                                 cv::v_setall_u32(static_cast<unsigned>(source.height - 1)));
    if (!cv::v_check_all(inside)) {
        return false;
    }
    const cv::v_int32x4 mask = cv::v_setall_s32(cv::INTER_TAB_SIZE - 1);
    const cv::v_int32x4 steps = cv::v_shl<cv::INTER_BITS>(fy & mask) | (fx & mask);
    alignas(16) int xs[4], ys[4], stepsOf[4];
    cv::v_store_aligned(xs, sx);
    cv::v_store_aligned(ys, sy);
    cv::v_store_aligned(stepsOf, steps);
    for (int k = 0; k < 4; ++k, out += 3) {
        const uchar* top = source.pixel(xs[k], ys[k]);
        const unsigned bgr = blendInside(top, top + source.step, weights.paired(stepsOf[k]));
        if (k < 3 || !lastInSpan) {
            std::memcpy(out, &bgr, 4);
        } else {
            storeThree(bgr, out);
        }
    }
    return true;
}
#endif

// One destination pixel: four source pixels blended, each read as black where it lies
// outside the source.
inline void blend(const SourceView& source, const SourcePosition& p, const BilinearWeights& weights,
                  uchar* out) {
#if CV_SIMD128
    // Two source pixels side by side are read as 8 bytes, so the last column goes the
    // plain way.
    if (static_cast<unsigned>(p.x) < static_cast<unsigned>(source.width - 2) &&
        static_cast<unsigned>(p.y) < static_cast<unsigned>(source.height - 1)) {
        const uchar* top = source.pixel(p.x, p.y);
        storeThree(blendInside(top, top + source.step, weights.paired(p.step)), out);
        return;
    }
#endif
    const short* w = weights[p.step].data();
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

namespace {

std::vector<int> zeroTo(int count) {
    std::vector<int> numbers(count);
    for (int i = 0; i < count; ++i) {
        numbers[i] = i;
    }
    return numbers;
}

}  // namespace

WarpPositions::WarpPositions(cv::Size destination)
    : WarpPositions(zeroTo(destination.width), zeroTo(destination.height)) {}

WarpPositions::WarpPositions(const std::vector<int>& columns, const std::vector<int>& rows)
    : columns_(columns),
      rows_(rows),
      columnX_(columns.size()),
      columnY_(columns.size()),
      rowX_(rows.size()),
      rowY_(rows.size()) {}

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

    // Each term from the whole destination's column or row number, as warpAffine has it.
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const int x = columns_[i];
        columnX_[i] = cv::saturate_cast<int>(m[0] * x * kAbScale);
        columnY_[i] = cv::saturate_cast<int>(m[3] * x * kAbScale);
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const int y = rows_[i];
        rowX_[i] = cv::saturate_cast<int>((m[1] * y + m[2]) * kAbScale) + kRoundDelta;
        rowY_[i] = cv::saturate_cast<int>((m[4] * y + m[5]) * kAbScale) + kRoundDelta;
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

    paired_.resize(weights_.size());
    for (std::size_t step = 0; step < weights_.size(); ++step) {
        const std::array<short, 4>& w = weights_[step];
        Paired& p = paired_[step];
        for (int k = 0; k < 4; ++k) {
            const bool right = k == 3;
            p.first[2 * k] = right ? w[1] : w[0];
            p.first[2 * k + 1] = right ? w[3] : w[2];
            p.second[2 * k] = w[1];
            p.second[2 * k + 1] = w[3];
        }
    }
}

void warpSpans(const cv::Mat& source, const WarpPositions& positions,
               const BilinearWeights& weights, const SpanList& spans, bool flipRows,
               cv::Mat& destination) {
    CV_Assert(source.type() == CV_8UC3 && destination.type() == CV_8UC3);
    const SourceView view{source.ptr<uchar>(), source.step[0], source.cols, source.rows};
    [[maybe_unused]] const bool eightAtATime = avx2KernelsUsable();
    for (const Span& span : spans) {
        const int row = flipRows ? destination.rows - 1 - span.y : span.y;
        uchar* const rowOut = destination.ptr<uchar>(row);
        const WarpPositions::Row along = positions.row(span.y);
        int x = span.x0;
        while (x < span.x1) {
            // As many pixels as can go the fast way, then a few the careful way: those that
            // read past an edge, or the last few of the span.
#if GLINTARA_AVX2_KERNELS
            if (eightAtATime) {
                x = warpEightsInside(view, along, x, span.x1, rowOut + 3 * x);
            }
#endif
#if CV_SIMD128
            while (x + 4 <= span.x1 &&
                   warpFour(view, along, x, weights, x + 4 == span.x1, rowOut + 3 * x)) {
                x += 4;
            }
#endif
            for (const int careful = std::min(x + 4, span.x1); x < careful; ++x) {
                blend(view, along.at(x), weights, rowOut + 3 * x);
            }
        }
    }
}

void bilinearSources(const WarpPositions& positions, const SpanList& spans, cv::Size source,
                     RowRanges& rows) {
    // Along a row the positions move steadily, so the ends of a short piece of a span bound
    // all of it; pieces are kept short so that a slanted span does not widen every row it
    // crosses by its whole length. A span with the same columns in the row below, as the
    // shrink's pairs of rows come, is taken with it: the four corners bound both.
    constexpr int kPiece = 16;
    rows.assign(source.height, cv::Range(0, 0));
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const Span& span = spans[i];
        const bool withNext = i + 1 < spans.size() && spans[i + 1].y == span.y + 1 &&
                              spans[i + 1].x0 == span.x0 && spans[i + 1].x1 == span.x1;
        const WarpPositions::Row along = positions.row(span.y);
        const WarpPositions::Row below = positions.row(withNext ? span.y + 1 : span.y);
        for (int x0 = span.x0; x0 < span.x1; x0 += kPiece) {
            const int x1 = std::min(x0 + kPiece, span.x1) - 1;
            const SourcePosition corners[4] = {along.at(x0), along.at(x1), below.at(x0),
                                               below.at(x1)};
            int left = corners[0].x, right = corners[0].x, top = corners[0].y,
                bottom = corners[0].y;
            for (const SourcePosition& corner : corners) {
                left = std::min(left, corner.x);
                right = std::max(right, corner.x);
                top = std::min(top, corner.y);
                bottom = std::max(bottom, corner.y);
            }
            left = std::max(left, 0);
            right = std::min(right + 2, source.width);
            top = std::max(top, 0);
            bottom = std::min(bottom + 2, source.height);
            for (int y = top; y < bottom && left < right; ++y) {
                widenRow(rows[y], left, right);
            }
        }
        i += withNext ? 1 : 0;
    }
}

}  // namespace glintara
