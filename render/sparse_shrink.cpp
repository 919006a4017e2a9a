#include "render/sparse_shrink.hpp"

#include <algorithm>
#include <cmath>

#include <opencv2/core/hal/intrin.hpp>

namespace glintara {
namespace {

constexpr int kWeightBits = 11;
constexpr int kWeightOne = 1 << kWeightBits;

enum class Axis { Columns, Rows };

// cv::resize's taps along one axis, worked out as it works them out: the scale in double,
// the position in float, rounded down, and each weight rounded from float on its own.
// Columns past an edge are pinned to it with all the weight; rows are only pinned.
std::vector<SparseShrink::Tap> linearTaps(int source, int destination, Axis axis) {
    const double scale = 1.0 / (static_cast<double>(destination) / source);
    std::vector<SparseShrink::Tap> taps(destination);
    for (int d = 0; d < destination; ++d) {
        float fraction = static_cast<float>((d + 0.5) * scale - 0.5);
        int first = static_cast<int>(std::floor(fraction));
        fraction -= static_cast<float>(first);
        int second = first + 1;
        if (axis == Axis::Columns && first < 0) {
            first = 0;
            second = 1;
            fraction = 0.f;
        }
        if (axis == Axis::Columns && second >= source) {
            first = std::min(first, source - 1);
            second = first;
            fraction = 0.f;
        }
        SparseShrink::Tap& tap = taps[d];
        tap.first = std::clamp(first, 0, source - 1);
        tap.second = std::clamp(second, 0, source - 1);
        tap.weights[0] = cv::saturate_cast<short>((1.f - fraction) * kWeightOne);
        tap.weights[1] = cv::saturate_cast<short>(fraction * kWeightOne);
    }
    return taps;
}

// One source row blended along x for a destination column: 11 fractional bits kept.
inline int blendAlong(const uchar* row, const SparseShrink::Tap& column, int channel) {
    return row[3 * column.first + channel] * column.weights[0] +
           row[3 * column.second + channel] * column.weights[1];
}

#if CV_SIMD128
// One destination pixel's three channels in one go, for a column whose two source columns
// are neighbours away from the right edge: each row blended along x with one
// multiply-add per channel pair, then the two rows weighted with 16-bit high multiplies,
// which is what cv::resize's own vector code does.
inline unsigned shrinkPixel(const uchar* top, const uchar* bottom, const cv::v_int16x8& along,
                            const cv::v_int16x8& across) {
    const auto blendRow = [&](const uchar* row) {
        const cv::v_int16x8 pixels = cv::v_reinterpret_as_s16(cv::v_load_expand(row));
        cv::v_int16x8 pairs, unused;
        cv::v_zip(pixels, cv::v_rotate_right<3>(pixels), pairs, unused);
        return cv::v_shr<4>(cv::v_dotprod(pairs, along));
    };
    const cv::v_int16x8 rows = cv::v_pack(blendRow(top), blendRow(bottom));
    const cv::v_int16x8 weighted = cv::v_mul_hi(rows, across);
    const cv::v_int16x8 sum =
        cv::v_shr<2>(weighted + cv::v_rotate_right<4>(weighted) + cv::v_setall_s16(2));
    return cv::v_reinterpret_as_u32(cv::v_pack_u(sum, sum)).get0();
}
#endif

}  // namespace

SparseShrink::SparseShrink(cv::Size source, cv::Size destination)
    : columns_(linearTaps(source.width, destination.width, Axis::Columns)),
      rows_(linearTaps(source.height, destination.height, Axis::Rows)) {}

CompactLayout SparseShrink::compactLayout() const {
    CompactLayout layout;
    for (const Tap& column : columns_) {
        layout.columns.push_back(column.first);
        layout.columns.push_back(column.second);
    }
    layout.columns.push_back(layout.columns.back());  // the spare, never written or weighed
    for (const Tap& row : rows_) {
        layout.rows.push_back(row.first);
        layout.rows.push_back(row.second);
    }
    return layout;
}

SparseShrink SparseShrink::readingCompact() const {
    SparseShrink compact = *this;
    const auto renumber = [](std::vector<Tap>& taps) {
        for (int d = 0; d < static_cast<int>(taps.size()); ++d) {
            taps[d].first = 2 * d;
            taps[d].second = 2 * d + 1;
        }
    };
    renumber(compact.columns_);
    renumber(compact.rows_);
    // Each group of four reads its pixels' channel pairs as 0 0 0 1 | 1 1 2 2 | 2 3 3 3.
    constexpr int kPixelOfPair[12] = {0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3};
    const int width = static_cast<int>(columns_.size());
    compact.fourColumns_.resize(std::max(width - 3, 0));
    for (int d = 0; d + 3 < width; ++d) {
        for (int pair = 0; pair < 12; ++pair) {
            const Tap& column = columns_[d + kPixelOfPair[pair]];
            compact.fourColumns_[d].pairs[2 * pair] = column.weights[0];
            compact.fourColumns_[d].pairs[2 * pair + 1] = column.weights[1];
        }
    }
    return compact;
}

void SparseShrink::sourceSpans(const RowRanges& rows, SpanList& spans) const {
    // Neighbouring destination columns read source columns at most two apart, so the
    // columns a run of destination pixels reads are taken as one run: the few in between
    // cost less than the bookkeeping of leaving them out.
    spans.clear();
    for (int y = 0; y < static_cast<int>(rows.size()); ++y) {
        const cv::Range& columns = rows[y];
        if (columns.start >= columns.end) {
            continue;
        }
        const Tap& left = columns_[columns.start];
        const Tap& right = columns_[columns.end - 1];
        const int x0 = std::min(left.first, left.second);
        const int x1 = std::max(right.first, right.second) + 1;
        const Tap& row = rows_[y];
        spans.push_back({row.first, x0, x1});
        if (row.second != row.first) {
            spans.push_back({row.second, x0, x1});
        }
    }
}

void SparseShrink::shrink(const cv::Mat& source, const RowRanges& rows,
                          cv::Mat& destination) const {
    CV_Assert(source.type() == CV_8UC3 && destination.type() == CV_8UC3);
    [[maybe_unused]] const bool fourAtATime = !fourColumns_.empty() && avx2KernelsUsable();
    for (int y = 0; y < static_cast<int>(rows.size()); ++y) {
        const Tap& row = rows_[y];
        const uchar* top = source.ptr<uchar>(row.first);
        const uchar* bottom = source.ptr<uchar>(row.second);
        const int b0 = row.weights[0];
        const int b1 = row.weights[1];
        uchar* out = destination.ptr<uchar>(y);
#if CV_SIMD128
        const cv::v_int16x8 across(static_cast<short>(b0), static_cast<short>(b0),
                                   static_cast<short>(b0), static_cast<short>(b0),
                                   static_cast<short>(b1), static_cast<short>(b1),
                                   static_cast<short>(b1), static_cast<short>(b1));
#endif
        int x = rows[y].start;
#if GLINTARA_AVX2_KERNELS
        if (fourAtATime) {
            x = shrinkFoursCompact(top, bottom, fourColumns_.data(), static_cast<short>(b0),
                                   static_cast<short>(b1), x, rows[y].end, out);
        }
#endif
        for (; x < rows[y].end; ++x) {
            const Tap& column = columns_[x];
#if CV_SIMD128
            // Eight bytes are read from the first source column, so the last ones go the
            // plain way.
            if (column.second == column.first + 1 && column.first + 3 <= source.cols) {
                const cv::v_int16x8 along = cv::v_reinterpret_as_s16(
                    cv::v_setall_s32(static_cast<ushort>(column.weights[0]) |
                                     (static_cast<int>(column.weights[1]) << 16)));
                const unsigned bgr =
                    shrinkPixel(top + 3 * column.first, bottom + 3 * column.first, along, across);
                out[3 * x] = static_cast<uchar>(bgr);
                out[3 * x + 1] = static_cast<uchar>(bgr >> 8);
                out[3 * x + 2] = static_cast<uchar>(bgr >> 16);
                continue;
            }
#endif
            for (int c = 0; c < 3; ++c) {
                // The rows are blended with the sums cut to 16 bits first, as cv::resize's
                // 8-bit path does.
                const int upper = blendAlong(top, column, c);
                const int lower = blendAlong(bottom, column, c);
                out[3 * x + c] = static_cast<uchar>(
                    (((b0 * (upper >> 4)) >> 16) + ((b1 * (lower >> 4)) >> 16) + 2) >> 2);
            }
        }
    }
}

}  // namespace glintara
