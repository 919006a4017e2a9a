// Sets of pixels as runs along rows: the shape of a mask, the part of an image that a later
// step reads, and copies that move only those runs.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

namespace glintara {

// Columns [x0, x1) of row y.
struct Span {
    int y;
    int x0;
    int x1;
    int width() const { return x1 - x0; }
};
using SpanList = std::vector<Span>;

// For each row of an image, one run of columns [start, end) that covers what the row needs;
// empty when start >= end. Cheap to grow and unite, and never smaller than the true set.
using RowRanges = std::vector<cv::Range>;

// Widens a row's run to cover [start, end) as well; an empty run becomes just that. Inline:
// the turns' bookkeeping calls it tens of thousands of times a frame.
inline void widenRow(cv::Range& row, int start, int end) {
    const bool empty = row.start >= row.end;
    row.start = empty || start < row.start ? start : row.start;
    row.end = empty || end > row.end ? end : row.end;
}

// Every run of non-zero pixels of a mask, row by row.
void maskSpans(const cv::Mat& mask, SpanList& spans);

// For each row of a mask, the columns from its first to its last non-zero pixel.
void maskRows(const cv::Mat& mask, RowRanges& rows);

// Rows grown by `by` pixels in every direction (as a square dilation would), kept inside
// `size`.
void growRows(const RowRanges& rows, int by, cv::Size size, RowRanges& grown);

// Widens each row of `into` to cover the same row of `other` as well.
void uniteRows(RowRanges& into, const RowRanges& other);

// The rows' runs as spans, top row first.
void rowSpans(const RowRanges& rows, SpanList& spans);

// The number of pixels the spans cover.
int spanPixels(const SpanList& spans);

// Copies the pixels of `source` under `spans` to `destination` with its top-left corner at
// `at`: the same pixels cv::Mat::copyTo with the spans' mask would write. Only the
// destination's `rows` are written.
void copySpans(const cv::Mat& source, const SpanList& spans, cv::Point at, cv::Range rows,
               cv::Mat& destination);

}  // namespace glintara
