// The pieces the renderer works from, each held against the OpenCV call it stands in for,
// on whole images so that every position, edge and weight is met.
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "render/box_blur.hpp"
#include "render/spans.hpp"
#include "render/sparse_shrink.hpp"
#include "render/sparse_warp.hpp"
#include "render/tiles.hpp"
#include "tests/support/pictures.hpp"

namespace glintara {
namespace {

cv::Mat noiseImage(cv::Size size, int seed) {
    cv::Mat image(size, CV_8UC3);
    cv::RNG rng(static_cast<std::uint64_t>(seed));
    rng.fill(image, cv::RNG::UNIFORM, 0, 256);
    return image;
}

SpanList wholeImage(cv::Size size) {
    SpanList spans;
    for (int y = 0; y < size.height; ++y) {
        spans.push_back({y, 0, size.width});
    }
    return spans;
}

class WholeWarp : public testing::TestWithParam<double> {};

TEST_P(WholeWarp, EqualsWarpAffineEverywhereAndFlipsOnTheWayOut) {
    const cv::Size size(461, 461);
    const cv::Mat source = noiseImage(size, 7);
    const cv::Matx23f turn = rotationAboutCentre(size, GetParam());
    cv::Mat expected;
    cv::warpAffine(source, expected, turn, size, cv::INTER_LINEAR, cv::BORDER_CONSTANT);

    const BilinearWeights weights;
    cv::Mat warped(size, CV_8UC3, cv::Scalar::all(9));
    warpSpans(source, WarpPositions(size, turn), weights, wholeImage(size), false, warped);
    EXPECT_EQ(cv::norm(warped, expected, cv::NORM_INF), 0.0);

    cv::Mat flipped(size, CV_8UC3, cv::Scalar::all(9));
    warpSpans(source, WarpPositions(size, turn), weights, wholeImage(size), true, flipped);
    cv::Mat expectedFlip;
    cv::flip(expected, expectedFlip, 0);
    EXPECT_EQ(cv::norm(flipped, expectedFlip, cv::NORM_INF), 0.0);
}

// Whole turns land on whole pixels, where the table's first weight cannot hold one.
INSTANTIATE_TEST_SUITE_P(Angles, WholeWarp, testing::Values(0.0, 90.0, 120.0, 240.0, 7.0, -33.0));

TEST(WarpSpans, LeavesPixelsOutsideTheSpansAlone) {
    const cv::Size size(64, 48);
    const cv::Mat source = noiseImage(size, 3);
    cv::Mat warped(size, CV_8UC3, cv::Scalar::all(9));
    warpSpans(source, WarpPositions(size, rotationAboutCentre(size, 30.0)), BilinearWeights(),
              {{5, 10, 20}, {6, 0, 3}}, false, warped);
    cv::Mat untouched(size, CV_8UC1, cv::Scalar(255));
    untouched.row(5).colRange(10, 20).setTo(0);
    untouched.row(6).colRange(0, 3).setTo(0);
    cv::Mat nine;
    cv::inRange(warped, cv::Scalar::all(9), cv::Scalar::all(9), nine);
    EXPECT_EQ(cv::countNonZero(untouched & ~nine), 0);
}

struct ShrinkCase {
    cv::Size from;
    cv::Size to;
};

void PrintTo(const ShrinkCase& c, std::ostream* out) {
    *out << c.from.width << "x" << c.from.height << " to " << c.to.width << "x" << c.to.height;
}

class WholeShrink : public testing::TestWithParam<ShrinkCase> {};

TEST_P(WholeShrink, EqualsResizeEverywhere) {
    const auto [from, to] = GetParam();
    const cv::Mat source = noiseImage(from, 11);
    cv::Mat expected;
    cv::resize(source, expected, to, 0.0, 0.0, cv::INTER_LINEAR);
    RowRanges everything(to.height, cv::Range(0, to.width));
    cv::Mat shrunk(to, CV_8UC3, cv::Scalar::all(0));
    SparseShrink(from, to).shrink(source, everything, shrunk);
    EXPECT_EQ(cv::norm(shrunk, expected, cv::NORM_INF), 0.0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, WholeShrink,
                         testing::Values(ShrinkCase{{461, 461}, {153, 153}},
                                         ShrinkCase{{100, 80}, {33, 41}},
                                         ShrinkCase{{30, 20}, {45, 50}}),
                         [](const testing::TestParamInfo<ShrinkCase>& info) {
                             return "Case" + std::to_string(info.index);
                         });

// A tile size and the blur's reach: 2 is the usual 5x5, the others the blurs of larger
// canvases (9x9 at 1080, 15x15 up to 2040, 17x17 at 2160, 33x33 at 4096) and the 1x1 of the
// smallest.
struct BlurCase {
    cv::Size size;
    int reach;
};

class RowsBlur : public testing::TestWithParam<BlurCase> {};

TEST_P(RowsBlur, EqualsBlurWithRepeatedEdgesUnderTheRowsAndLeavesTheRestAlone) {
    const cv::Size size = GetParam().size;
    const int reach = GetParam().reach;
    // Flat areas of 0 and 255 meet the extremes of the rounding; noise meets the rest.
    cv::Mat tile = noiseImage(size, 13);
    tile.colRange(0, size.width / 3).setTo(cv::Scalar::all(255));
    tile.rowRange(0, size.height / 4).setTo(cv::Scalar::all(0));
    cv::Mat expected;
    cv::blur(tile, expected, {2 * reach + 1, 2 * reach + 1}, {-1, -1}, cv::BORDER_REPLICATE);

    // Whole rows, runs touching either edge, a slanted run and rows left out.
    RowRanges rows(size.height, cv::Range(0, 0));
    for (int y = 0; y < size.height; ++y) {
        if (y % 7 != 3) {
            rows[y] = y % 2 ? cv::Range(0, size.width)
                            : cv::Range(y * size.width / (2 * size.height), size.width);
        }
    }
    std::vector<ushort> sums;
    cv::Mat blurred(size, CV_8UC3, cv::Scalar::all(9));
    blurRows(tile, rows, reach, sums, blurred);
    for (int y = 0; y < size.height; ++y) {
        cv::Mat inRun(1, size.width, CV_8UC1, cv::Scalar(0));
        inRun.colRange(rows[y].start, std::max(rows[y].start, rows[y].end)).setTo(255);
        for (int x = 0; x < size.width; ++x) {
            const cv::Vec3b want =
                inRun.at<uchar>(x) ? expected.at<cv::Vec3b>(y, x) : cv::Vec3b(9, 9, 9);
            ASSERT_EQ(blurred.at<cv::Vec3b>(y, x), want) << "at (" << x << ", " << y << ")";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SizesAndReaches, RowsBlur,
                         testing::Values(BlurCase{{153, 153}, 2}, BlurCase{{37, 11}, 2},
                                         BlurCase{{1, 1}, 2}, BlurCase{{3, 6}, 2},
                                         BlurCase{{259, 259}, 4}, BlurCase{{519, 40}, 8},
                                         BlurCase{{70, 9}, 16}, BlurCase{{5, 3}, 8},
                                         BlurCase{{42, 42}, 0}, BlurCase{{61, 23}, 7}),
                         [](const testing::TestParamInfo<BlurCase>& info) {
                             return std::to_string(info.param.size.width) + "x" +
                                    std::to_string(info.param.size.height) + "_reach" +
                                    std::to_string(info.param.reach);
                         });

TEST(ShrinkSources, CoverEveryTapOfTheRowsAsked) {
    // Shrinking from an image that is right only in the source spans gives the same pixels.
    const cv::Size from(461, 461), to(153, 153);
    const cv::Mat source = noiseImage(from, 5);
    RowRanges rows(to.height, cv::Range(0, 0));
    for (int y = 40; y < 110; ++y) {
        rows[y] = cv::Range(30 + y / 3, 120 - y / 4);
    }
    const SparseShrink shrink(from, to);
    SpanList spans;
    shrink.sourceSpans(rows, spans);
    cv::Mat partial(from, CV_8UC3, cv::Scalar::all(0));
    copySpans(source, spans, {0, 0}, {0, from.height}, partial);

    cv::Mat whole(to, CV_8UC3, cv::Scalar::all(0)), fromPartial(to, CV_8UC3, cv::Scalar::all(0));
    shrink.shrink(source, rows, whole);
    shrink.shrink(partial, rows, fromPartial);
    EXPECT_EQ(cv::norm(whole, fromPartial, cv::NORM_INF), 0.0);
    EXPECT_LT(spanPixels(spans), from.area() / 2);
}

TEST(Rows, GrownRowsHoldTheSquareDilationAndMaskSpansRebuildTheMask) {
    cv::Mat mask(153, 153, CV_8UC1, cv::Scalar(0));
    const std::vector<cv::Point> triangle{{76, 9}, {9, 124}, {143, 124}};
    cv::fillPoly(mask, std::vector<std::vector<cv::Point>>{triangle}, cv::Scalar(255));
    mask(cv::Rect(140, 0, 13, 4)).setTo(255);  // a second run on some rows, at the edge

    SpanList spans;
    maskSpans(mask, spans);
    cv::Mat rebuilt(mask.size(), CV_8UC1, cv::Scalar(0));
    for (const Span& span : spans) {
        rebuilt.row(span.y).colRange(span.x0, span.x1).setTo(255);
    }
    EXPECT_EQ(cv::norm(rebuilt, mask, cv::NORM_INF), 0.0);

    RowRanges rows, grown;
    maskRows(mask, rows);
    growRows(rows, 4, mask.size(), grown);
    cv::Mat dilated;
    cv::dilate(mask, dilated, cv::Mat::ones(9, 9, CV_8UC1));
    cv::Mat covered(mask.size(), CV_8UC1, cv::Scalar(0));
    for (int y = 0; y < mask.rows; ++y) {
        if (grown[y].start < grown[y].end) {
            covered.row(y).colRange(grown[y]).setTo(255);
        }
    }
    EXPECT_EQ(cv::countNonZero(dilated & ~covered), 0);
}

}  // namespace
}  // namespace glintara
