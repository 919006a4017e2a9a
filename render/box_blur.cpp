#include "render/box_blur.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

#include <opencv2/core/hal/intrin.hpp>

namespace glintara {
namespace {

constexpr int kChannels = 3;
constexpr int kFastReach = 2;  // the 5x5 blur of the usual canvas has a path of its own

// A sum s of 25 bytes to round(s / 25), halves up: floor((s + 12) / 25), which for every s up
// to 25 * 255 is ((s + 12) * 10486) >> 18.
constexpr int kHalf = 12;
constexpr int kReciprocal = 10486;
constexpr int kReciprocalShift = 18;

uchar meanOf(int sum) {
    return static_cast<uchar>(((sum + kHalf) * kReciprocal) >> kReciprocalShift);
}

// Byte k of each of the `count` rows summed into sums[k], for bytes [from, to).
void sumColumns(const uchar* const* rows, int count, int from, int to, ushort* sums) {
    int k = from;
#if CV_SIMD128
    for (; k + 16 <= to; k += 16) {
        cv::v_uint16x8 low, high;
        cv::v_expand(cv::v_load(rows[0] + k), low, high);
        for (int r = 1; r < count; ++r) {
            cv::v_uint16x8 rowLow, rowHigh;
            cv::v_expand(cv::v_load(rows[r] + k), rowLow, rowHigh);
            low += rowLow;
            high += rowHigh;
        }
        cv::v_store(sums + k, low);
        cv::v_store(sums + k + 8, high);
    }
#endif
    for (; k < to; ++k) {
        int sum = 0;
        for (int r = 0; r < count; ++r) {
            sum += rows[r][k];
        }
        sums[k] = static_cast<ushort>(sum);
    }
}

// Bytes [from, to) of the 5x5-blurred row from the column sums of the five pixels around
// each.
void sumFiveAcross(const ushort* sums, int from, int to, uchar* out) {
    int k = from;
#if CV_SIMD128
    const cv::v_uint16x8 half = cv::v_setall_u16(kHalf);
    const cv::v_uint16x8 reciprocal = cv::v_setall_u16(kReciprocal);
    for (; k + 8 <= to; k += 8) {
        const ushort* at = sums + k;
        const cv::v_uint16x8 sum = cv::v_load(at - 6) + cv::v_load(at - 3) + cv::v_load(at) +
                                   cv::v_load(at + 3) + cv::v_load(at + 6) + half;
        // The high half of the 32-bit product is the product shifted by 16.
        cv::v_pack_store(out + k, cv::v_shr<kReciprocalShift - 16>(cv::v_mul_hi(sum, reciprocal)));
    }
#endif
    for (; k < to; ++k) {
        const ushort* at = sums + k;
        out[k] = meanOf(at[-6] + at[-3] + at[0] + at[3] + at[6]);
    }
}

// Bytes [from, to) of the blurred row for any reach: a window of column sums slides along
// each channel, and each sum s of `area` bytes becomes floor((s + area / 2) / area) by a
// 32-bit reciprocal, exact for every sum these blurs make (below 2^19).
void sumAnyAcross(const ushort* sums, int reach, int from, int to, uchar* out) {
    const std::uint32_t area = static_cast<std::uint32_t>((2 * reach + 1) * (2 * reach + 1));
    const std::uint64_t reciprocal = ((std::uint64_t{1} << 32) + area - 1) / area;
    const std::uint32_t half = area / 2;
    for (int c = 0; c < kChannels && from + c < to; ++c) {
        std::uint32_t window = 0;
        for (int d = -reach; d <= reach; ++d) {
            window += sums[from + c + kChannels * d];
        }
        for (int k = from + c;;) {
            out[k] = static_cast<uchar>(((window + half) * reciprocal) >> 32);
            k += kChannels;
            if (k >= to) {
                break;
            }
            window += sums[k + kChannels * reach];
            window -= sums[k - kChannels * (reach + 1)];
        }
    }
}

// Blurs up to this reach sum their 2 reach + 1 column sums in 16 bits: (15 x 15) x 255 fits.
constexpr int kWordReach = 7;

// As sumAnyAcross for reaches up to kWordReach, eight bytes at a time, as far as whole eights
// go; returns where it stopped. Each byte's window is added up afresh, and its sum s divided
// in float as trunc((s + area / 2 + 0.5) / area): the true quotient then lies at least
// 0.5 / area from a whole number, far more than float's error on it, so the result is
// exactly the rounding above.
int sumWordsAcross(const ushort* sums, int reach, int from, int to, uchar* out) {
    int k = from;
#if CV_SIMD128
    const int area = (2 * reach + 1) * (2 * reach + 1);
    const cv::v_float32x4 offset = cv::v_setall_f32(static_cast<float>(area / 2) + 0.5f);
    const cv::v_float32x4 inverse = cv::v_setall_f32(1.f / static_cast<float>(area));
    const auto divide = [&](const cv::v_uint32x4& sum) {
        return cv::v_trunc((cv::v_cvt_f32(cv::v_reinterpret_as_s32(sum)) + offset) * inverse);
    };
    for (; k + 8 <= to; k += 8) {
        cv::v_uint16x8 sum = cv::v_load(sums + k - kChannels * reach);
        for (int d = 1 - reach; d <= reach; ++d) {
            sum += cv::v_load(sums + k + kChannels * d);
        }
        cv::v_uint32x4 low, high;
        cv::v_expand(sum, low, high);
        cv::v_pack_u_store(out + k, cv::v_pack(divide(low), divide(high)));
    }
#endif
    return k;
}

}  // namespace

void blurRows(const cv::Mat& tile, const RowRanges& rows, int reach, std::vector<ushort>& sums,
              cv::Mat& blurred) {
    CV_Assert(tile.type() == CV_8UC3 && blurred.type() == CV_8UC3 &&
              blurred.size() == tile.size() && tile.data != blurred.data);
    CV_Assert(static_cast<int>(rows.size()) <= tile.rows);
    CV_Assert(reach >= 0 && reach <= kLongestBlurReach);
    const int width = tile.cols;
    sums.resize(blurSumsSize(width, reach));
    // column[3 * x + c], x from -reach
    ushort* const column = sums.data() + reach * kChannels;
    std::array<const uchar*, 2 * kLongestBlurReach + 1> around{};
    const int count = 2 * reach + 1;
    for (int y = 0; y < static_cast<int>(rows.size()); ++y) {
        const cv::Range run = rows[y];
        if (run.start >= run.end) {
            continue;
        }
        for (int r = 0; r < count; ++r) {
            around[r] = tile.ptr<uchar>(std::clamp(y - reach + r, 0, tile.rows - 1));
        }
        const int first = std::max(run.start - reach, 0);
        const int last = std::min(run.end + reach, width);
        sumColumns(around.data(), count, kChannels * first, kChannels * last, column);
        // Past the tile's edges the edge column repeats.
        for (int x = run.start - reach; x < first; ++x) {
            std::copy_n(column, kChannels, column + kChannels * x);
        }
        for (int x = last; x < run.end + reach; ++x) {
            std::copy_n(column + kChannels * (width - 1), kChannels, column + kChannels * x);
        }
        uchar* const out = blurred.ptr<uchar>(y);
        const int from = kChannels * run.start;
        const int to = kChannels * run.end;
        if (reach == kFastReach) {
            sumFiveAcross(column, from, to, out);
        } else if (reach <= kWordReach) {
            sumAnyAcross(column, reach, sumWordsAcross(column, reach, from, to, out), to, out);
        } else {
            sumAnyAcross(column, reach, from, to, out);
        }
    }
}

}  // namespace glintara
