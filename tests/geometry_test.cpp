#include "render/geometry.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "core/workspace.hpp"

namespace glintara {
namespace {

struct WorkedAngle {
    double angle;
    Triangle up;  // frame scale; empty when the worked values give none
    Triangle down;
    TrianglePoints outline;
    TrianglePoints maskUpPolygon;
    TrianglePoints maskDownPolygon;
    bool hasFrameScale;
    bool hasDownMask;
};

void PrintTo(const WorkedAngle& worked, std::ostream* out) {
    *out << "angle " << worked.angle;
}

void expectNear(const Triangle& actual, const Triangle& expected) {
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(actual[i].x, expected[i].x, 1e-4) << "vertex " << i;
        EXPECT_NEAR(actual[i].y, expected[i].y, 1e-4) << "vertex " << i;
    }
}

class WorkedValues : public testing::TestWithParam<WorkedAngle> {};

TEST_P(WorkedValues, TrianglesOutlineAndMaskPolygonsMatch) {
    const WorkedAngle& worked = GetParam();
    Triangles triangles = computeTriangles(worked.angle);
    if (worked.hasFrameScale) {
        expectNear(triangles.upTriangle, worked.up);
        expectNear(triangles.downTriangle, worked.down);
    }
    cv::Mat frame(kFrameHeight, kFrameWidth, CV_8UC3, cv::Scalar::all(0));
    EXPECT_EQ(drawGuideOutline(frame, triangles.upTriangle), worked.outline);

    scaleToTile(triangles);
    const int c = tileSide() / 2;
    EXPECT_EQ(makeIntegerPoints(triangles.upTriangle, c, c), worked.maskUpPolygon);
    if (worked.hasDownMask) {
        EXPECT_EQ(makeIntegerPoints(triangles.downTriangle, c, c), worked.maskDownPolygon);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Angles, WorkedValues,
    testing::Values(
        WorkedAngle{0.0,
                    {{{0.0f, -230.94011f}, {-200.0f, 115.47005f}, {200.0f, 115.47005f}}},
                    {{{-200.0f, -115.47005f}, {0.0f, 230.94011f}, {200.0f, -115.47005f}}},
                    {{{320, 9}, {120, 355}, {520, 355}}},
                    {{{76, 0}, {9, 114}, {143, 114}}},
                    {{{9, 38}, {76, 153}, {143, 38}}},
                    true,
                    true},
        WorkedAngle{30.0,
                    {},
                    {},
                    {{{435, 40}, {89, 240}, {435, 440}}},
                    {{{114, 9}, {0, 76}, {114, 143}}},
                    {},
                    false,
                    false}),
    [](const testing::TestParamInfo<WorkedAngle>& info) {
        return "Angle" + std::to_string(static_cast<int>(info.param.angle));
    });

TEST(IntegerPoints, TruncateTowardZeroAfterAddingAHalf) {
    // -0.98 + 0.5 = -0.48 must give 0, where flooring would give -1.
    const Triangle triangle{{{-0.98f, 0.49f}, {2.5f, -3.6f}, {-1.51f, 1.49f}}};
    const TrianglePoints points = makeIntegerPoints(triangle, 0, 0);
    EXPECT_EQ(points[0], cv::Point(0, 0));
    EXPECT_EQ(points[1], cv::Point(3, -3));
    EXPECT_EQ(points[2], cv::Point(-1, 1));
}

TEST(Masks, FillIsClippedToTheMaskAndMatchesTheFilledPolygon) {
    // At angle 0 the bottom vertex of the down triangle lies on row 153, one past the mask.
    Triangles triangles = computeTriangles(0.0);
    scaleToTile(triangles);
    const int side = tileSide();
    cv::Mat maskUp(side, side, CV_8UC1, cv::Scalar(7));
    cv::Mat maskDown(side, side, CV_8UC1, cv::Scalar(7));
    buildMasks(triangles, {side, side}, maskUp, maskDown);

    for (const cv::Mat* mask : {&maskUp, &maskDown}) {
        EXPECT_EQ(mask->size(), cv::Size(side, side));
        cv::Mat notBinary = (*mask != 0) & (*mask != 255);
        EXPECT_EQ(cv::countNonZero(notBinary), 0) << "every mask pixel is 0 or 255";
    }
    // The down triangle reaches the last row at its point; the up one the first row.
    EXPECT_EQ(maskDown.at<uchar>(side - 1, side / 2), 255);
    EXPECT_EQ(maskDown.at<uchar>(0, side / 2), 0);
    EXPECT_EQ(maskUp.at<uchar>(0, 76), 255);
    EXPECT_EQ(maskUp.at<uchar>(side - 1, side / 2), 0);
    // A triangle of side ~133 covers about sqrt(3)/4 * 133^2 = 7660 pixels.
    EXPECT_NEAR(cv::countNonZero(maskUp), 7660, 250);
    EXPECT_NEAR(cv::countNonZero(maskDown), 7660, 250);
}

TEST(GuideOutline, StaysInsideTheFrameAtEveryAngle) {
    cv::Mat frame(kFrameHeight, kFrameWidth, CV_8UC3);
    const cv::Point centre(kFrameWidth / 2, kFrameHeight / 2);
    for (int angle = 0; angle < 360; ++angle) {
        const TrianglePoints outline =
            drawGuideOutline(frame, computeTriangles(static_cast<double>(angle)).upTriangle);
        for (const cv::Point& p : outline) {
            EXPECT_TRUE(cv::Rect(0, 0, kFrameWidth, kFrameHeight).contains(p))
                << "angle " << angle << " point " << p;
            EXPECT_LE(std::abs(p.x - centre.x), 231) << "angle " << angle;
            EXPECT_LE(std::abs(p.y - centre.y), 231) << "angle " << angle;
        }
    }
}

TEST(GuideOutline, IsDrawnInPureRed) {
    cv::Mat frame(kFrameHeight, kFrameWidth, CV_8UC3, cv::Scalar::all(0));
    const TrianglePoints outline = drawGuideOutline(frame, computeTriangles(0.0).upTriangle);
    EXPECT_EQ(frame.at<cv::Vec3b>(outline[1]), cv::Vec3b(0, 0, 255));
    // Only red was drawn.
    std::vector<cv::Mat> channels;
    cv::split(frame, channels);
    EXPECT_EQ(cv::countNonZero(channels[0]) + cv::countNonZero(channels[1]), 0);
    EXPECT_GT(cv::countNonZero(channels[2]), 2 * 3 * 400);
}

TEST(Workspace, SizesAndTheSquareCut) {
    EXPECT_EQ(squareSide(), 461);
    EXPECT_EQ(tileSide(), 153);
    const ImageWorkspace ws = createWorkspace();
    EXPECT_EQ(ws.squareCut, cv::Rect(90, 10, 461, 461));
    EXPECT_EQ(ws.squareCut & cv::Rect(0, 0, kFrameWidth, kFrameHeight), ws.squareCut);
    EXPECT_EQ(ws.outputImage.size(), cv::Size(640, 640));
    EXPECT_EQ(ws.frameImage.size(), cv::Size(640, 480));
    EXPECT_EQ(ws.renderer.tileSize, cv::Size(153, 153));
    EXPECT_EQ(ws.renderer.maskUp.size(), cv::Size(153, 153));
    EXPECT_EQ(ws.renderer.maskUp.type(), CV_8UC1);
}

}  // namespace
}  // namespace glintara
