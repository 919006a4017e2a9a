#include "render/spans.hpp"

#include <algorithm>
#include <cstring>

namespace glintara {
namespace {

bool isEmpty(const cv::Range& range) {
    return range.start >= range.end;
}

}  // namespace

void maskSpans(const cv::Mat& mask, SpanList& spans) {
    CV_Assert(mask.type() == CV_8UC1);
    spans.clear();
    for (int y = 0; y < mask.rows; ++y) {
        const uchar* row = mask.ptr<uchar>(y);
        int x = 0;
        while (x < mask.cols) {
            while (x < mask.cols && row[x] == 0) {
                ++x;
            }
            const int start = x;
            while (x < mask.cols && row[x] != 0) {
                ++x;
            }
            if (x > start) {
                spans.push_back({y, start, x});
            }
        }
    }
}

void maskRows(const cv::Mat& mask, RowRanges& rows) {
    CV_Assert(mask.type() == CV_8UC1);
    rows.assign(mask.rows, cv::Range(0, 0));
    for (int y = 0; y < mask.rows; ++y) {
        const uchar* row = mask.ptr<uchar>(y);
        const uchar* end = row + mask.cols;
        const uchar* first = std::find_if(row, end, [](uchar v) { return v != 0; });
        if (first == end) {
            continue;
        }
        const uchar* last =
            std::find_if(std::make_reverse_iterator(end), std::make_reverse_iterator(first),
                         [](uchar v) { return v != 0; })
                .base();
        rows[y] = cv::Range(static_cast<int>(first - row), static_cast<int>(last - row));
    }
}

void growRows(const RowRanges& rows, int by, cv::Size size, RowRanges& grown) {
    grown.assign(size.height, cv::Range(0, 0));
    for (int y = 0; y < static_cast<int>(rows.size()); ++y) {
        if (isEmpty(rows[y])) {
            continue;
        }
        const int start = std::max(0, rows[y].start - by);
        const int end = std::min(size.width, rows[y].end + by);
        for (int to = std::max(0, y - by); to <= std::min(size.height - 1, y + by); ++to) {
            widenRow(grown[to], start, end);
        }
    }
}

void uniteRows(RowRanges& into, const RowRanges& other) {
    CV_Assert(into.size() == other.size());
    for (std::size_t y = 0; y < into.size(); ++y) {
        if (!isEmpty(other[y])) {
            widenRow(into[y], other[y].start, other[y].end);
        }
    }
}

void rowSpans(const RowRanges& rows, SpanList& spans) {
    spans.clear();
    for (int y = 0; y < static_cast<int>(rows.size()); ++y) {
        if (!isEmpty(rows[y])) {
            spans.push_back({y, rows[y].start, rows[y].end});
        }
    }
}

int spanPixels(const SpanList& spans) {
    int pixels = 0;
    for (const Span& span : spans) {
        pixels += span.width();
    }
    return pixels;
}

void copySpans(const cv::Mat& source, const SpanList& spans, cv::Point at, cv::Range rows,
               cv::Mat& destination) {
    CV_Assert(source.type() == destination.type());
    const cv::Rect area(at, source.size());
    CV_Assert((area & cv::Rect(0, 0, destination.cols, destination.rows)) == area);
    const std::size_t pixelBytes = source.elemSize();
    for (const Span& span : spans) {
        const int row = at.y + span.y;
        if (row < rows.start || row >= rows.end) {
            continue;
        }
        std::memcpy(destination.ptr(row, at.x + span.x0), source.ptr(span.y, span.x0),
                    pixelBytes * static_cast<std::size_t>(span.width()));
    }
}

}  // namespace glintara
