#include "render/box_blur.hpp"

#include <algorithm>

#include <opencv2/core/hal/intrin.hpp>

namespace glintara {
namespace {

constexpr int kChannels = 3;
// Where the column sums of column -kBlurReach start.
constexpr int kSumsOrigin = kBlurReach * kChannels;

// A sum s of 25 bytes to round(s / 25), halves up: floor((s + 12) / 25), which for every s up
// to 25 * 255 is ((s + 12) * 10486) >> 18.
constexpr int kHalf = 12;
constexpr int kReciprocal = 10486;
constexpr int kReciprocalShift = 18;

uchar meanOf(int sum) {
    return static_cast<uchar>(((sum + kHalf) * kReciprocal) >> kReciprocalShift);
}

// Byte k of each of the five rows summed into sums[k], for bytes [from, to).
void sumColumns(const uchar* const (&rows)[5], int from, int to, ushort* sums) {
    int k = from;
#if CV_SIMD128
    for (; k + 16 <= to; k += 16) {
        cv::v_uint16x8 low, high;
        cv::v_expand(cv::v_load(rows[0] + k), low, high);
        for (int r = 1; r < 5; ++r) {
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
        sums[k] =
            static_cast<ushort>(rows[0][k] + rows[1][k] + rows[2][k] + rows[3][k] + rows[4][k]);
    }
}

// Bytes [from, to) of the blurred row from the column sums of the five pixels around each.
void sumAcross(const ushort* sums, int from, int to, uchar* out) {
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

}  // namespace

void blurRows(const cv::Mat& tile, const RowRanges& rows, std::vector<ushort>& sums,
              cv::Mat& blurred) {
    CV_Assert(tile.type() == CV_8UC3 && blurred.type() == CV_8UC3 &&
              blurred.size() == tile.size() && tile.data != blurred.data);
    CV_Assert(static_cast<int>(rows.size()) <= tile.rows);
    const int width = tile.cols;
    sums.resize(blurSumsSize(width));
    ushort* const column = sums.data() + kSumsOrigin;  // column[3 * x + c], x from -kBlurReach
    for (int y = 0; y < static_cast<int>(rows.size()); ++y) {
        const cv::Range run = rows[y];
        if (run.start >= run.end) {
            continue;
        }
        const uchar* const around[5] = {tile.ptr<uchar>(std::max(y - 2, 0)),
                                        tile.ptr<uchar>(std::max(y - 1, 0)), tile.ptr<uchar>(y),
                                        tile.ptr<uchar>(std::min(y + 1, tile.rows - 1)),
                                        tile.ptr<uchar>(std::min(y + 2, tile.rows - 1))};
        const int first = std::max(run.start - kBlurReach, 0);
        const int last = std::min(run.end + kBlurReach, width);
        sumColumns(around, kChannels * first, kChannels * last, column);
        // Past the tile's edges the edge column repeats.
        for (int x = run.start - kBlurReach; x < first; ++x) {
            std::copy_n(column, kChannels, column + kChannels * x);
        }
        for (int x = last; x < run.end + kBlurReach; ++x) {
            std::copy_n(column + kChannels * (width - 1), kChannels, column + kChannels * x);
        }
        sumAcross(column, kChannels * run.start, kChannels * run.end, blurred.ptr<uchar>(y));
    }
}

}  // namespace glintara
