#include "render/area_shrink.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "render/area_shrink_avx2.hpp"
#include "render/avx2_kernels.hpp"
#include "render/row_stripes.hpp"

namespace glintara {
namespace {

constexpr int kChannels = 3;
// Source values held in two or four vectors, from which a run of eight picks its taps: two
// where every run's taps fit, as in shrinks by less than two, four for shrinks by up to five.
constexpr int kNarrowWindow = 16;
constexpr int kWideWindow = 32;

// How many source pixels one destination pixel covers, worked out as cv::resize does.
double scaleOf(int source, int destination) {
    const double inverse = static_cast<double>(destination) / source;
    return 1.0 / inverse;
}

// OpenCV's table of one direction: for each destination pixel in turn, the source pixels it
// covers and their shares of it, a part-covered one at each end.
std::vector<std::vector<AreaShrink::Tap>> areaTaps(int sourceSize, int destinationSize) {
    const double scale = scaleOf(sourceSize, destinationSize);
    std::vector<std::vector<AreaShrink::Tap>> taps(static_cast<std::size_t>(destinationSize));
    for (int d = 0; d < destinationSize; ++d) {
        const double start = d * scale;
        const double end = start + scale;
        const double cellWidth = std::min(scale, sourceSize - start);
        int first = static_cast<int>(std::ceil(start));
        int last = static_cast<int>(std::floor(end));
        last = std::min(last, sourceSize - 1);
        first = std::min(first, last);
        auto& cell = taps[static_cast<std::size_t>(d)];
        if (first - start > 1e-3) {
            cell.push_back({first - 1, static_cast<float>((first - start) / cellWidth)});
        }
        for (int s = first; s < last; ++s) {
            cell.push_back({s, static_cast<float>(1.0 / cellWidth)});
        }
        if (end - last > 1e-3) {
            cell.push_back({last, static_cast<float>(
                                      std::min(std::min(end - last, 1.0), cellWidth) / cellWidth)});
        }
    }
    return taps;
}

// From the row's bytes or from them made floats: the same values either way.
template <typename Value>
void weighAcross(const Value* row, const int* sources, const float* weights, int taps, int stride,
                 int begin, int end, float* out) {
    for (int e = begin; e < end; ++e) {
        out[e] = static_cast<float>(row[sources[e]]) * weights[e];
    }
    for (int t = 1; t < taps; ++t) {
        const int* slotSources = sources + t * stride;
        const float* slotWeights = weights + t * stride;
        for (int e = begin; e < end; ++e) {
            out[e] = out[e] + static_cast<float>(row[slotSources[e]]) * slotWeights[e];
        }
    }
}

void weighDown(const float* across, float weight, bool first, bool last, int begin, int end,
               float* sums, uchar* out) {
    for (int e = begin; e < end; ++e) {
        const float share = weight * across[e];
        const float sum = first ? share : sums[e] + share;
        sums[e] = sum;
        if (last) {
            out[e] = cv::saturate_cast<uchar>(sum);
        }
    }
}

}  // namespace

bool AreaShrink::takesThisPath(cv::Size source, cv::Size destination) {
    const double scaleX = scaleOf(source.width, destination.width);
    const double scaleY = scaleOf(source.height, destination.height);
    const bool wholeNumbers = std::abs(scaleX - cv::saturate_cast<int>(scaleX)) < DBL_EPSILON &&
                              std::abs(scaleY - cv::saturate_cast<int>(scaleY)) < DBL_EPSILON;
    return scaleX >= 1 && scaleY >= 1 && !wholeNumbers;
}

AreaShrink::AreaShrink(cv::Size source, cv::Size destination)
    : source_(source), destination_(destination) {
    CV_Assert(takesThisPath(source, destination));
    const auto across = areaTaps(source.width, destination.width);
    for (const auto& cell : across) {
        acrossTaps_ = std::max(acrossTaps_, static_cast<int>(cell.size()));
        acrossSpan_.emplace_back(cell.front().source, cell.back().source + 1);
    }
    // Laid out slot by slot, each value of a pixel with its own channel's source.
    const int count = destination.width * kChannels;
    acrossSources_.assign(static_cast<std::size_t>(acrossTaps_ * count), 0);
    acrossWeights_.assign(static_cast<std::size_t>(acrossTaps_ * count), 0.0f);
    for (int x = 0; x < destination.width; ++x) {
        const auto& cell = across[static_cast<std::size_t>(x)];
        for (int t = 0; t < static_cast<int>(cell.size()); ++t) {
            for (int c = 0; c < kChannels; ++c) {
                const auto at = static_cast<std::size_t>(t * count + x * kChannels + c);
                acrossSources_[at] = cell[static_cast<std::size_t>(t)].source * kChannels + c;
                acrossWeights_[at] = cell[static_cast<std::size_t>(t)].weight;
            }
        }
    }
    makeWindows(source.width * kChannels);
    downTaps_ = areaTaps(source.height, destination.height);
    std::size_t downSlots = 0;
    for (const auto& cell : downTaps_) {
        downSlots = std::max(downSlots, cell.size());
    }
    stripes_.resize(kRowStripes);
    for (Stripe& stripe : stripes_) {
        stripe.sourceRow.resize(static_cast<std::size_t>(source.width * kChannels));
        stripe.across.assign(downSlots + 1, std::vector<float>(static_cast<std::size_t>(count)));
        stripe.acrossOf.assign(downSlots + 1, -1);
        stripe.sums.resize(static_cast<std::size_t>(count));
    }
}

void AreaShrink::makeWindows(int rowLength) {
    const int count = destination_.width * kChannels;
    // The runs' spans, from their lowest source value to their highest.
    std::vector<cv::Range> spans;
    for (int run = 0; run * 8 + 8 <= count; ++run) {
        cv::Range span(rowLength, 0);
        for (int t = 0; t < acrossTaps_; ++t) {
            for (int e = run * 8; e < run * 8 + 8; ++e) {
                const auto at = static_cast<std::size_t>(t * count + e);
                if (t == 0 || acrossWeights_[at] != 0.0f) {  // an empty slot reads nothing
                    span.start = std::min(span.start, acrossSources_[at]);
                    span.end = std::max(span.end, acrossSources_[at] + 1);
                }
            }
        }
        spans.push_back(span);
    }
    // The narrower window where every run fits in it.
    const auto fits = [&](const cv::Range& span) { return span.size() <= kNarrowWindow; };
    window_ = std::all_of(spans.begin(), spans.end(), fits) ? kNarrowWindow : kWideWindow;
    everyRunWindowed_ = rowLength >= window_;
    windowStarts_.assign(static_cast<std::size_t>((count + 7) / 8), -1);
    windowIndices_ = acrossSources_;
    for (int run = 0; run < static_cast<int>(spans.size()) && rowLength >= window_; ++run) {
        const cv::Range span = spans[static_cast<std::size_t>(run)];
        if (span.size() > window_) {
            everyRunWindowed_ = false;  // gathered one by one
            continue;
        }
        // Held back from the row's end, so that the whole window is the row's own.
        const int start = std::min(span.start, rowLength - window_);
        windowStarts_[static_cast<std::size_t>(run)] = start;
        for (int t = 0; t < acrossTaps_; ++t) {
            for (int e = run * 8; e < run * 8 + 8; ++e) {
                const auto at = static_cast<std::size_t>(t * count + e);
                // An empty slot weighs nothing: it reads the run's first source, one that is
                // made.
                const bool empty = t > 0 && acrossWeights_[at] == 0.0f;
                windowIndices_[at] = (empty ? span.start : acrossSources_[at]) - start;
            }
        }
    }
}

void AreaShrink::shrink(const cv::Mat& from, cv::Mat& to, cv::Rect region) {
    CV_Assert(from.size() == source_ && from.type() == CV_8UC3);
    CV_Assert(to.size() == destination_ && to.type() == CV_8UC3);
    region = partWithin(destination_, region);
    if (region.empty()) {
        return;
    }
    const cv::Range columns(region.x, region.x + region.width);
    forEachRowStripe(region, [&](int s, cv::Range rows) {
        Stripe& stripe = stripes_[static_cast<std::size_t>(s)];
        std::fill(stripe.acrossOf.begin(), stripe.acrossOf.end(), -1);
        shrinkRows(from, to, rows, columns, stripe);
    });
}

const float* AreaShrink::acrossRow(const cv::Mat& from, int row, cv::Range columns,
                                   Stripe& stripe) const {
    for (std::size_t held = 0; held < stripe.acrossOf.size(); ++held) {
        if (stripe.acrossOf[held] == row) {
            return stripe.across[held].data();
        }
    }
    // Rows are read in order: the one held longest ago is no longer needed.
    const auto oldest = static_cast<std::size_t>(
        std::min_element(stripe.acrossOf.begin(), stripe.acrossOf.end()) - stripe.acrossOf.begin());
    weighRowAcross(from.ptr<uchar>(row), columns, stripe.sourceRow.data(),
                   stripe.across[oldest].data());
    stripe.acrossOf[oldest] = row;
    return stripe.across[oldest].data();
}

void AreaShrink::weighRowAcross(const uchar* bytes, cv::Range columns, float* values,
                                float* out) const {
    const int stride = destination_.width * kChannels;
    const int begin = columns.start * kChannels;
    const int end = columns.end * kChannels;
    // The values before the first whole run of eight and after the last, one by one.
    const auto oneByOne = [&](const auto* row, int from, int to) {
        weighAcross(row, acrossSources_.data(), acrossWeights_.data(), acrossTaps_, stride, from,
                    to, out);
    };
#if GLINTARA_AVX2_KERNELS
    if (avx2KernelsUsable()) {
        // The runs of eight start at whole eights from the row's start.
        const int firstRun = std::min(end, (begin + 7) / 8 * 8);
        const AcrossTable table{acrossTaps_,           stride,  acrossSources_.data(),
                                acrossWeights_.data(), window_, windowStarts_.data(),
                                windowIndices_.data()};
        if (everyRunWindowed_) {
            oneByOne(bytes, begin, firstRun);
            oneByOne(bytes, weighAcrossEightsFromBytes(bytes, table, firstRun, end, out), end);
        } else {
            toFloats(bytes, columns, values);
            oneByOne(values, begin, firstRun);
            oneByOne(values, weighAcrossEights(values, table, firstRun, end, out), end);
        }
        return;
    }
#endif
    oneByOne(bytes, begin, end);
}

// Only the source values the columns read are made floats.
void AreaShrink::toFloats(const uchar* bytes, cv::Range columns, float* values) const {
    const int sourceBegin = acrossSpan_[static_cast<std::size_t>(columns.start)].start * kChannels;
    const int sourceEnd = acrossSpan_[static_cast<std::size_t>(columns.end - 1)].end * kChannels;
    int converted = sourceBegin;
#if GLINTARA_AVX2_KERNELS
    converted +=
        bytesToFloatsSixteens(bytes + sourceBegin, sourceEnd - sourceBegin, values + sourceBegin);
#endif
    for (int e = converted; e < sourceEnd; ++e) {
        values[e] = bytes[e];
    }
}

void AreaShrink::shrinkRows(const cv::Mat& from, cv::Mat& to, cv::Range rows, cv::Range columns,
                            Stripe& stripe) const {
    const int begin = columns.start * kChannels;
    const int end = columns.end * kChannels;
    for (int y = rows.start; y < rows.end; ++y) {
        const auto& cell = downTaps_[static_cast<std::size_t>(y)];
        uchar* out = to.ptr<uchar>(y);
        for (std::size_t t = 0; t < cell.size(); ++t) {
            const float* across = acrossRow(from, cell[t].source, columns, stripe);
            const bool first = t == 0;
            const bool last = t + 1 == cell.size();
            int done = begin;
#if GLINTARA_AVX2_KERNELS
            if (avx2KernelsUsable()) {
                done = weighDownEights(across, cell[t].weight, first, last, begin, end,
                                       stripe.sums.data(), out);
            }
#endif
            weighDown(across, cell[t].weight, first, last, done, end, stripe.sums.data(), out);
        }
    }
}

}  // namespace glintara
