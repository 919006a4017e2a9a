#include "render/linear_grow.hpp"

#include <algorithm>

#include "render/avx2_kernels.hpp"
#include "render/linear_grow_avx2.hpp"
#include "render/row_stripes.hpp"

namespace glintara {
namespace {

constexpr int kChannels = 3;
constexpr int kWeightBits = 11;  // OpenCV's INTER_RESIZE_COEF_BITS
constexpr int kWeightScale = 1 << kWeightBits;
// Source bytes held in one vector, from which a run of eight values picks its sources.
constexpr int kWindow = 16;

// A destination position's first source and its share of the next, as cv::resize works it out
// for linear growth: in floats, from the centres of the pixels.
struct Position {
    int source;
    float fraction;
};

Position positionOf(int destination, double scale) {
    const auto at = static_cast<float>((destination + 0.5) * scale - 0.5);
    const int source = cvFloor(at);
    return {source, at - static_cast<float>(source)};
}

std::pair<short, short> weightsOf(float fraction) {
    return {cv::saturate_cast<short>((1.0f - fraction) * kWeightScale),
            cv::saturate_cast<short>(fraction * kWeightScale)};
}

double scaleOf(int source, int destination) {
    const double inverse = static_cast<double>(destination) / source;
    return 1.0 / inverse;
}

// Across, a position before the first pixel or at or after the last takes that pixel whole.
std::vector<LinearGrow::Across> acrossTable(int source, int destination) {
    const double scale = scaleOf(source, destination);
    std::vector<LinearGrow::Across> table;
    for (int x = 0; x < destination; ++x) {
        Position p = positionOf(x, scale);
        if (p.source < 0) {
            p = {0, 0.0f};
        }
        if (p.source >= source - 1) {
            p = {source - 1, 0.0f};
        }
        const auto [left, right] = weightsOf(p.fraction);
        const int next = std::min(p.source + 1, source - 1);
        for (int c = 0; c < kChannels; ++c) {
            table.push_back({p.source * kChannels + c, next * kChannels + c, left, right});
        }
    }
    return table;
}

// Down, the rows are only kept inside the picture: the weights stay as they fell.
std::vector<LinearGrow::Down> downTable(int source, int destination) {
    const double scale = scaleOf(source, destination);
    std::vector<LinearGrow::Down> table;
    for (int y = 0; y < destination; ++y) {
        const Position p = positionOf(y, scale);
        const auto [top, bottom] = weightsOf(p.fraction);
        table.push_back({std::clamp(p.source, 0, source - 1),
                         std::clamp(p.source + 1, 0, source - 1), top, bottom});
    }
    return table;
}

void weighAcross(const uchar* row, const LinearGrow::Across* across, int begin, int end, int* out) {
    for (int e = begin; e < end; ++e) {
        out[e] = row[across[e].left] * across[e].leftWeight +
                 row[across[e].right] * across[e].rightWeight;
    }
}

// OpenCV's vector loop: each sum to 16 bits, the high half of its product with the weight,
// and the two rounded by a quarter.
void weighDownAsVectors(const int* top, const int* bottom, short topWeight, short bottomWeight,
                        int begin, int end, uchar* out) {
    for (int e = begin; e < end; ++e) {
        const int upper = (cv::saturate_cast<short>(top[e] >> 4) * topWeight) >> 16;
        const int lower = (cv::saturate_cast<short>(bottom[e] >> 4) * bottomWeight) >> 16;
        out[e] = cv::saturate_cast<uchar>((upper + lower + 2) >> 2);
    }
}

// Rows too short for that loop, in full.
void weighDownPlainly(const int* top, const int* bottom, short topWeight, short bottomWeight,
                      int begin, int end, uchar* out) {
    for (int e = begin; e < end; ++e) {
        out[e] = cv::saturate_cast<uchar>(
            (top[e] * topWeight + bottom[e] * bottomWeight + (1 << (2 * kWeightBits - 1))) >>
            (2 * kWeightBits));
    }
}

}  // namespace

LinearGrow::LinearGrow(cv::Size source, cv::Size destination)
    : source_(source),
      destination_(destination),
      across_(acrossTable(source.width, destination.width)),
      down_(downTable(source.height, destination.height)),
      vectorEnd_(destination.width * kChannels >= 8 ? destination.width * kChannels : 0) {
    CV_Assert(source.width <= destination.width && source.height <= destination.height);
    makeWindows();
    stripes_.resize(kRowStripes);
    for (Stripe& stripe : stripes_) {
        for (std::vector<int>& row : stripe.across) {
            row.resize(static_cast<std::size_t>(destination.width * kChannels));
        }
    }
}

void LinearGrow::makeWindows() {
    const int count = destination_.width * kChannels;
    const int rowLength = source_.width * kChannels;
    windowStarts_.assign(static_cast<std::size_t>(count / 8), -1);
    windowPicks_.assign(static_cast<std::size_t>(count / 8 * 16), 0);
    windowWeights_.assign(static_cast<std::size_t>(count / 8 * 16), 0);
    everyRunWindowed_ = rowLength >= kWindow;
    for (int run = 0; run < count / 8 && rowLength >= kWindow; ++run) {
        const auto first = across_.begin() + run * 8;
        int lowest = first->left;
        int highest = first->right;
        for (auto value = first; value != first + 8; ++value) {
            lowest = std::min(lowest, value->left);
            highest = std::max(highest, value->right);
        }
        if (highest - lowest >= kWindow) {
            everyRunWindowed_ = false;  // weighed one by one
            continue;
        }
        const int start = std::min(lowest, rowLength - kWindow);
        windowStarts_[static_cast<std::size_t>(run)] = start;
        for (int i = 0; i < 8; ++i) {
            const Across& value = first[i];
            const auto at = static_cast<std::size_t>(run * 16 + 2 * i);
            windowPicks_[at] = static_cast<signed char>(value.left - start);
            windowPicks_[at + 1] = static_cast<signed char>(value.right - start);
            windowWeights_[at] = value.leftWeight;
            windowWeights_[at + 1] = value.rightWeight;
        }
    }
}

void LinearGrow::grow(const cv::Mat& from, cv::Mat& to, cv::Rect region) {
    CV_Assert(from.size() == source_ && from.type() == CV_8UC3);
    CV_Assert(to.size() == destination_ && to.type() == CV_8UC3);
    region = partWithin(destination_, region);
    if (region.empty()) {
        return;
    }
    const cv::Range values(region.x * kChannels, (region.x + region.width) * kChannels);
    forEachRowStripe(region, [&](int s, cv::Range rows) {
        Stripe& stripe = stripes_[static_cast<std::size_t>(s)];
        stripe.acrossOf[0] = stripe.acrossOf[1] = -1;
        growRows(from, to, rows, values, stripe);
    });
}

const int* LinearGrow::acrossRow(const cv::Mat& from, int row, cv::Range values,
                                 Stripe& stripe) const {
    for (int held = 0; held < 2; ++held) {
        if (stripe.acrossOf[held] == row) {
            return stripe.across[held].data();
        }
    }
    // Rows are read in order: the one held longer is the one no longer needed.
    const int slot = stripe.acrossOf[0] <= stripe.acrossOf[1] ? 0 : 1;
    const uchar* bytes = from.ptr<uchar>(row);
    int* out = stripe.across[slot].data();
    const int firstRun = values.start / 8;
    const int endRun = std::min((values.end + 7) / 8, static_cast<int>(windowStarts_.size()));
    const bool avx2 = avx2KernelsUsable();
    bool runsLeft = true;
#if GLINTARA_AVX2_KERNELS
    if (avx2) {
        weighWindowedRuns(bytes, windowStarts_.data(), windowPicks_.data(), windowWeights_.data(),
                          firstRun, endRun, out);
        runsLeft = !everyRunWindowed_;
    }
#endif
    for (int run = firstRun; run < endRun && runsLeft; ++run) {
        if (!avx2 || windowStarts_[static_cast<std::size_t>(run)] < 0) {
            weighAcross(bytes, across_.data(), run * 8, run * 8 + 8, out);
        }
    }
    // The values after the last whole run of eight.
    weighAcross(bytes, across_.data(), std::max(values.start, endRun * 8), values.end, out);
    stripe.acrossOf[slot] = row;
    return out;
}

void LinearGrow::growRows(const cv::Mat& from, cv::Mat& to, cv::Range rows, cv::Range values,
                          Stripe& stripe) const {
    const int vectorEnd = std::clamp(vectorEnd_, values.start, values.end);
    for (int y = rows.start; y < rows.end; ++y) {
        const Down& down = down_[static_cast<std::size_t>(y)];
        const int* top = acrossRow(from, down.top, values, stripe);
        const int* bottom = acrossRow(from, down.bottom, values, stripe);
        uchar* out = to.ptr<uchar>(y);
        int done = values.start;
#if GLINTARA_AVX2_KERNELS
        if (avx2KernelsUsable()) {
            done = weighDownSixteens(top, bottom, down.topWeight, down.bottomWeight, done,
                                     vectorEnd, out);
        }
#endif
        weighDownAsVectors(top, bottom, down.topWeight, down.bottomWeight, done, vectorEnd, out);
        weighDownPlainly(top, bottom, down.topWeight, down.bottomWeight, vectorEnd, values.end,
                         out);
    }
}

}  // namespace glintara
