#include "render/reach.hpp"

#include <algorithm>
#include <cmath>

namespace glintara {
namespace {

// cv::resize's bilinear taps along one axis, computed as it computes them: the scale in
// double, the position in float, rounded down, and both neighbours clamped to the image.
std::vector<cv::Range> linearTaps(int source, int destination) {
    const double scale = 1.0 / (static_cast<double>(destination) / source);
    std::vector<cv::Range> taps(destination);
    for (int d = 0; d < destination; ++d) {
        const float position = static_cast<float>((d + 0.5) * scale - 0.5);
        const int first = static_cast<int>(std::floor(position));
        const int low = std::clamp(first, 0, source - 1);
        const int high = std::clamp(first + 1, 0, source - 1);
        taps[d] = cv::Range(low, high + 1);
    }
    return taps;
}

void widen(cv::Range& range, int start, int end) {
    if (range.start >= range.end) {
        range = cv::Range(start, end);
    } else {
        range = cv::Range(std::min(range.start, start), std::max(range.end, end));
    }
}

}  // namespace

ShrinkTaps::ShrinkTaps(cv::Size source, cv::Size destination)
    : columns_(linearTaps(source.width, destination.width)),
      rows_(linearTaps(source.height, destination.height)) {}

void ShrinkTaps::sourceSpans(const RowRanges& rows, SpanList& spans) const {
    spans.clear();
    for (int y = 0; y < static_cast<int>(rows.size()); ++y) {
        const cv::Range& columns = rows[y];
        if (columns.start >= columns.end) {
            continue;
        }
        for (int sourceRow = rows_[y].start; sourceRow < rows_[y].end; ++sourceRow) {
            const std::size_t rowStart = spans.size();
            for (int x = columns.start; x < columns.end; ++x) {
                const cv::Range& taps = columns_[x];
                // Neighbouring destination columns can share or touch source columns.
                if (spans.size() > rowStart && spans.back().x1 >= taps.start) {
                    spans.back().x1 = std::max(spans.back().x1, taps.end);
                } else {
                    spans.push_back({sourceRow, taps.start, taps.end});
                }
            }
        }
    }
}

void bilinearSources(const WarpPositions& positions, const SpanList& spans, cv::Size source,
                     RowRanges& rows) {
    rows.assign(source.height, cv::Range(0, 0));
    for (const Span& span : spans) {
        // Along a row the positions move steadily, so the span's ends bound all of it.
        const SourcePosition first = positions.at(span.x0, span.y);
        const SourcePosition last = positions.at(span.x1 - 1, span.y);
        const int left = std::max(std::min(first.x, last.x), 0);
        const int right = std::min(std::max(first.x, last.x) + 2, source.width);
        const int top = std::max(std::min(first.y, last.y), 0);
        const int bottom = std::min(std::max(first.y, last.y) + 2, source.height);
        for (int y = top; y < bottom && left < right; ++y) {
            widen(rows[y], left, right);
        }
    }
}

}  // namespace glintara
