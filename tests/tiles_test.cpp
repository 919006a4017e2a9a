#include "render/tiles.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>

#include "render/plain_render.hpp"
#include "render/sizes.hpp"
#include "tests/support/pictures.hpp"

namespace glintara {
namespace {

TEST(BrightenSquare, ScalesByOneAndAHalfRoundingHalvesToEvenAndSaturating) {
    cv::Mat square(1, 256, CV_8UC3);
    for (int v = 0; v < 256; ++v) {
        square.at<cv::Vec3b>(0, v) = cv::Vec3b::all(static_cast<uchar>(v));
    }
    brightenSquare(square);
    for (int v = 0; v < 256; ++v) {
        // 1 -> 1.5 -> 2 and 3 -> 4.5 -> 4: halves go to the even neighbour.
        const int halfEven = static_cast<int>(std::nearbyint(v * 1.5));
        ASSERT_EQ(square.at<cv::Vec3b>(0, v)[0], std::min(halfEven, 255)) << "value " << v;
    }
    EXPECT_EQ(square.at<cv::Vec3b>(0, 1)[2], 2);
    EXPECT_EQ(square.at<cv::Vec3b>(0, 3)[1], 4);
    EXPECT_EQ(square.at<cv::Vec3b>(0, 170)[0], 255);
    EXPECT_EQ(square.at<cv::Vec3b>(0, 169)[0], 254);
}

TEST(BlurTile, RepeatsTheEdgeRatherThanMirroringIt) {
    // A lit left column: with the edge repeated, three of the five columns a border
    // pixel averages are lit (153); mirroring would light one (51).
    cv::Mat tile(kClassic.tileSide, kClassic.tileSide, CV_8UC3, cv::Scalar::all(0));
    tile.col(0).setTo(cv::Scalar::all(255));
    blurTile(tile, kClassic.blurSide);
    EXPECT_EQ(tile.at<cv::Vec3b>(70, 0), cv::Vec3b::all(153));
    EXPECT_EQ(tile.at<cv::Vec3b>(70, 1), cv::Vec3b::all(102));
    EXPECT_EQ(tile.at<cv::Vec3b>(70, 2), cv::Vec3b::all(51));
    EXPECT_EQ(tile.at<cv::Vec3b>(70, 3), cv::Vec3b::all(0));
}

TEST(BlurTile, AccumulatesOverCalls) {
    cv::Mat tile(kClassic.tileSide, kClassic.tileSide, CV_8UC3, cv::Scalar::all(0));
    tile.at<cv::Vec3b>(76, 76) = cv::Vec3b::all(250);
    blurTile(tile, kClassic.blurSide);
    EXPECT_EQ(tile.at<cv::Vec3b>(76, 76)[0], 10);  // 250 / 25
    EXPECT_EQ(tile.at<cv::Vec3b>(76, 79)[0], 0);   // outside the 5x5 reach
    blurTile(tile, kClassic.blurSide);
    EXPECT_GT(tile.at<cv::Vec3b>(76, 79)[0], 0);  // the second blur reaches further
}

class Turn : public testing::TestWithParam<double> {};

TEST_P(Turn, PixelsWhoseSourceLiesOutsideTheSquareAreBlack) {
    const double phi = GetParam();
    const int side = kClassic.squareSide;
    cv::Mat square(side, side, CV_8UC3, cv::Scalar(200, 150, 100));
    cv::Mat warp(side, side, CV_8UC3, cv::Scalar::all(77));
    cv::Mat tile(kClassic.tileSide, kClassic.tileSide, CV_8UC3);
    makeRotatedTile(square, phi, warp, tile);

    // Where each warp pixel came from: the inverse of a counter-clockwise turn on screen.
    const double c = side * 0.5;
    const double radians = phi * CV_PI / 180.0;
    int outside = 0;
    int inside = 0;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const double dx = x - c;
            const double dy = y - c;
            const double sx = c + dx * std::cos(radians) - dy * std::sin(radians);
            const double sy = c + dx * std::sin(radians) + dy * std::cos(radians);
            const double margin = std::min({sx, sy, side - 1 - sx, side - 1 - sy});
            if (margin < -1.5) {
                ++outside;
                ASSERT_EQ(warp.at<cv::Vec3b>(y, x), cv::Vec3b(0, 0, 0)) << x << "," << y;
            } else if (margin > 1.5) {
                ++inside;
                ASSERT_EQ(warp.at<cv::Vec3b>(y, x), cv::Vec3b(200, 150, 100)) << x << "," << y;
            }
        }
    }
    EXPECT_GT(outside, 10000);
    EXPECT_GT(inside, 100000);
}

INSTANTIATE_TEST_SUITE_P(Angles, Turn, testing::Values(120.0, 240.0, 45.0, -30.0));

TEST(RotationAboutCentre, TurnsCounterClockwiseOnScreenAboutTheExactHalf) {
    const cv::Matx23f m = rotationAboutCentre({461, 461}, 90.0);
    // The centre (230.5, 230.5) stays; a point to its right goes up on screen.
    const cv::Vec3f centre(230.5f, 230.5f, 1.0f);
    const cv::Vec3f right(330.5f, 230.5f, 1.0f);
    const cv::Vec2f movedCentre = m * centre;
    const cv::Vec2f movedRight = m * right;
    EXPECT_NEAR(movedCentre[0], 230.5f, 1e-3);
    EXPECT_NEAR(movedCentre[1], 230.5f, 1e-3);
    EXPECT_NEAR(movedRight[0], 230.5f, 1e-3);
    EXPECT_NEAR(movedRight[1], 130.5f, 1e-3);
}

TEST(MirroredTile, IsTheMirrorImageAcrossTheTurnedAxis) {
    // A picture that is dark above the middle row and bright below: mirrored across the
    // horizontal axis (phi 0) it swaps halves; across the vertical axis (phi 90) it is
    // unchanged in its halves.
    const int side = kClassic.squareSide;
    cv::Mat square(side, side, CV_8UC3, cv::Scalar::all(20));
    square.rowRange(side / 2 + 1, side).setTo(cv::Scalar::all(220));
    cv::Mat warp(side, side, CV_8UC3);
    cv::Mat flip(side, side, CV_8UC3);
    cv::Mat tile(kClassic.tileSide, kClassic.tileSide, CV_8UC3);

    makeMirroredTile(square, 0.0, warp, flip, tile);
    EXPECT_EQ(tile.at<cv::Vec3b>(20, 76)[0], 220);
    EXPECT_EQ(tile.at<cv::Vec3b>(130, 76)[0], 20);

    makeMirroredTile(square, 90.0, warp, flip, tile);
    EXPECT_EQ(tile.at<cv::Vec3b>(40, 76)[0], 20);
    EXPECT_EQ(tile.at<cv::Vec3b>(110, 76)[0], 220);
}

}  // namespace
}  // namespace glintara
