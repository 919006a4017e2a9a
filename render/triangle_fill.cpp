// The triangle fill of the tile masks: OpenCV 4.6's polygon rule, written out so that the
// masks, and with them every kaleidoscope, are the same whichever OpenCV is installed.
#include "render/triangle_fill.hpp"

#include <algorithm>
#include <cstdint>

namespace glintara {
namespace {

// Edge positions along a row are kept in 16.16 fixed point.
constexpr int kFixedShift = 16;
constexpr std::int64_t kFixedOne = std::int64_t{1} << kFixedShift;

// An edge of the triangle from its upper end, crossing rows y0 to y1 - 1.
struct Edge {
    int y0 = 0;
    int y1 = 0;
    std::int64_t x = 0;   // at row y0
    std::int64_t dx = 0;  // per row, truncated toward zero
};

// How far along the line a-b from p its crossing of the row (or, with the axes swapped, the
// column) `to` lies, truncated toward zero as OpenCV's clipping truncates.
std::int64_t stepAlong(std::int64_t from, std::int64_t to, std::int64_t run, std::int64_t rise) {
    return static_cast<std::int64_t>(static_cast<double>(to - from) * static_cast<double>(run) /
                                     static_cast<double>(rise));
}

// Cuts a segment to the part inside a size-by-size box, moving each outside end onto the
// box's border along the segment, the first end before the second; false when nothing of
// it is inside.
bool clipSegment(cv::Size size, cv::Point2l& a, cv::Point2l& b) {
    const std::int64_t right = size.width - 1;
    const std::int64_t bottom = size.height - 1;
    const auto code = [&](const cv::Point2l& p, bool withRows) {
        return (p.x < 0) + (p.x > right) * 2 + (withRows ? (p.y < 0) * 4 + (p.y > bottom) * 8 : 0);
    };
    int codes[2] = {code(a, true), code(b, true)};
    cv::Point2l* ends[2] = {&a, &b};
    if ((codes[0] & codes[1]) != 0 || (codes[0] | codes[1]) == 0) {
        return (codes[0] | codes[1]) == 0;
    }
    for (int e = 0; e < 2; ++e) {
        if (codes[e] & 12) {
            const std::int64_t row = codes[e] < 8 ? 0 : bottom;
            ends[e]->x += stepAlong(ends[e]->y, row, b.x - a.x, b.y - a.y);
            ends[e]->y = row;
            codes[e] = code(*ends[e], false);
        }
    }
    if ((codes[0] & codes[1]) == 0 && (codes[0] | codes[1]) != 0) {
        for (int e = 0; e < 2; ++e) {
            if (codes[e]) {
                const std::int64_t column = codes[e] == 1 ? 0 : right;
                ends[e]->y += stepAlong(ends[e]->x, column, b.y - a.y, b.x - a.x);
                ends[e]->x = column;
                codes[e] = 0;
            }
        }
    }
    return (codes[0] | codes[1]) == 0;
}

// An 8-connected line from `from` to `to` (Bresenham's, walked from its left end), clipped.
void drawLine(cv::Mat& mask, cv::Point from, cv::Point to, uchar value) {
    cv::Point2l a(from.x, from.y);
    cv::Point2l b(to.x, to.y);
    const cv::Rect box(0, 0, mask.cols, mask.rows);
    if ((!box.contains(from) || !box.contains(to)) && !clipSegment(mask.size(), a, b)) {
        return;
    }
    if (b.x < a.x) {
        std::swap(a, b);
    }
    cv::Point step(1, b.y < a.y ? -1 : 1);  // along x and along y
    std::int64_t major = b.x - a.x;
    std::int64_t minor = std::abs(b.y - a.y);
    const bool steep = minor > major;
    if (steep) {
        std::swap(major, minor);
    }
    // Each step moves along the major axis, and along the minor one too while the error is
    // negative.
    const cv::Point majorStep = steep ? cv::Point(0, step.y) : cv::Point(step.x, 0);
    const cv::Point minorStep = steep ? cv::Point(step.x, 0) : cv::Point(0, step.y);
    cv::Point p(static_cast<int>(a.x), static_cast<int>(a.y));
    std::int64_t error = major - 2 * minor;
    for (std::int64_t i = 0; i <= major; ++i) {
        mask.at<uchar>(p) = value;
        if (error < 0) {
            p += minorStep;
            error += 2 * major;
        }
        p += majorStep;
        error -= 2 * minor;
    }
}

// The edge from a to b, or none for a level one.
bool makeEdge(cv::Point a, cv::Point b, Edge& edge) {
    if (a.y == b.y) {
        return false;
    }
    const cv::Point& top = a.y < b.y ? a : b;
    const cv::Point& foot = a.y < b.y ? b : a;
    edge.y0 = top.y;
    edge.y1 = foot.y;
    edge.x = std::int64_t{top.x} << kFixedShift;
    edge.dx = ((std::int64_t{b.x} - a.x) << kFixedShift) / (std::int64_t{b.y} - a.y);
    return true;
}

// Every row the triangle's edges cross, filled from the first pixel whose centre lies at or
// right of the left edge to the last at or left of the right edge. A row crosses two edges
// at a time, counting each edge's upper row but not its lower one.
void fillRows(cv::Mat& mask, const std::array<Edge, 3>& edges, int count, uchar value) {
    int top = mask.rows;
    int foot = 0;
    for (int i = 0; i < count; ++i) {
        top = std::min(top, edges[i].y0);
        foot = std::max(foot, edges[i].y1);
    }
    for (int y = std::max(top, 0); y < std::min(foot, mask.rows); ++y) {
        std::int64_t crossings[2];
        int found = 0;
        for (int i = 0; i < count && found < 2; ++i) {
            if (edges[i].y0 <= y && y < edges[i].y1) {
                crossings[found++] = edges[i].x + (y - edges[i].y0) * edges[i].dx;
            }
        }
        if (found < 2) {
            continue;
        }
        const std::int64_t left = std::min(crossings[0], crossings[1]);
        const std::int64_t right = std::max(crossings[0], crossings[1]);
        const std::int64_t x1 = std::max<std::int64_t>((left + kFixedOne - 1) >> kFixedShift, 0);
        const std::int64_t x2 = std::min<std::int64_t>(right >> kFixedShift, mask.cols - 1);
        if (x1 <= x2) {
            std::fill(mask.ptr<uchar>(y) + x1, mask.ptr<uchar>(y) + x2 + 1, value);
        }
    }
}

}  // namespace

void fillTriangle(cv::Mat& mask, const std::array<cv::Point, 3>& vertices, uchar value) {
    CV_Assert(mask.type() == CV_8UC1);
    std::array<Edge, 3> edges;
    int count = 0;
    // Edges in the polygon's order, each from the vertex before: v2-v0, v0-v1, v1-v2.
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        const cv::Point& from = vertices[(i + vertices.size() - 1) % vertices.size()];
        drawLine(mask, from, vertices[i], value);
        count += makeEdge(from, vertices[i], edges[count]) ? 1 : 0;
    }
    fillRows(mask, edges, count, value);
}

}  // namespace glintara
