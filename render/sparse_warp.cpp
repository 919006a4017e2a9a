#include "render/sparse_warp.hpp"

#include <cstring>
#include <utility>

#include <opencv2/imgproc.hpp>

namespace glintara {
namespace {

// cv::warpAffine's fixed point: positions carry 10 fractional bits until they are cut down
// to the bilinear table's 5, with half a table step added for rounding.
constexpr int kAbBits = 10;
constexpr int kAbScale = 1 << kAbBits;
constexpr int kRoundDelta = kAbScale / cv::INTER_TAB_SIZE / 2;

// cv::remap takes images narrower than 32767 pixels, so the list is laid out in rows.
constexpr int kListWidth = 1024;

int listRows(cv::Size image) {
    return (image.area() + kListWidth - 1) / kListWidth;
}

// The first `count` entries of a list laid out in rows: whole rows, then what is left.
std::pair<cv::Mat, cv::Mat> firstEntries(const cv::Mat& list, int count) {
    const int rows = count / kListWidth;
    return {list.rowRange(0, rows), list.row(rows).colRange(0, count % kListWidth)};
}

}  // namespace

WarpPositions::WarpPositions(cv::Size destination)
    : columnX_(destination.width),
      columnY_(destination.width),
      rowX_(destination.height),
      rowY_(destination.height) {}

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

    for (int x = 0; x < static_cast<int>(columnX_.size()); ++x) {
        columnX_[x] = cv::saturate_cast<int>(m[0] * x * kAbScale);
        columnY_[x] = cv::saturate_cast<int>(m[3] * x * kAbScale);
    }
    for (int y = 0; y < static_cast<int>(rowX_.size()); ++y) {
        rowX_[y] = cv::saturate_cast<int>((m[1] * y + m[2]) * kAbScale) + kRoundDelta;
        rowY_[y] = cv::saturate_cast<int>((m[4] * y + m[5]) * kAbScale) + kRoundDelta;
    }
}

void WarpPositions::fill(int y, int x0, int x1, cv::Vec2s* positions,
                         ushort* tableIndices) const {
    constexpr int kTableMask = cv::INTER_TAB_SIZE - 1;
    const int rowX = rowX_[y];
    const int rowY = rowY_[y];
    for (int x = x0; x < x1; ++x) {
        const int sx = (rowX + columnX_[x]) >> (kAbBits - cv::INTER_BITS);
        const int sy = (rowY + columnY_[x]) >> (kAbBits - cv::INTER_BITS);
        *positions++ = {cv::saturate_cast<short>(sx >> cv::INTER_BITS),
                        cv::saturate_cast<short>(sy >> cv::INTER_BITS)};
        *tableIndices++ =
            static_cast<ushort>((sy & kTableMask) * cv::INTER_TAB_SIZE + (sx & kTableMask));
    }
}

SparseWarp::SparseWarp(cv::Size image)
    : positions_(listRows(image) + 1, kListWidth, CV_16SC2),
      tableIndices_(listRows(image) + 1, kListWidth, CV_16UC1),
      pixels_(listRows(image) + 1, kListWidth, CV_8UC3) {}

void SparseWarp::map(const WarpPositions& positions, const SpanList& spans) {
    cv::Vec2s* position = positions_.ptr<cv::Vec2s>();
    ushort* index = tableIndices_.ptr<ushort>();
    int count = 0;
    for (const Span& span : spans) {
        CV_Assert(count + span.width() <= static_cast<int>(positions_.total()));
        positions.fill(span.y, span.x0, span.x1, position + count, index + count);
        count += span.width();
    }
    count_ = count;
}

void SparseWarp::remapInto(const cv::Mat& source, const SpanList& spans, bool flipRows,
                           cv::Mat& destination) {
    CV_Assert(source.type() == CV_8UC3 && destination.type() == CV_8UC3);
    CV_Assert(spanPixels(spans) == count_);
    if (count_ == 0) {
        return;
    }
    // Headers over the first count_ entries: remap writes into the kept buffer.
    const auto remapPart = [&](cv::Mat positions, cv::Mat indices, cv::Mat pixels) {
        if (!pixels.empty()) {
            cv::remap(source, pixels, positions, indices, cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                      cv::Scalar());
        }
    };
    const auto [positionRows, positionTail] = firstEntries(positions_, count_);
    const auto [indexRows, indexTail] = firstEntries(tableIndices_, count_);
    const auto [pixelRows, pixelTail] = firstEntries(pixels_, count_);
    remapPart(positionRows, indexRows, pixelRows);
    remapPart(positionTail, indexTail, pixelTail);

    const uchar* from = pixels_.ptr();
    for (const Span& span : spans) {
        const int row = flipRows ? destination.rows - 1 - span.y : span.y;
        const std::size_t bytes = 3 * static_cast<std::size_t>(span.width());
        std::memcpy(destination.ptr(row, span.x0), from, bytes);
        from += bytes;
    }
}

}  // namespace glintara
