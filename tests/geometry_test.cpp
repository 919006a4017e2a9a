#include "render/geometry.hpp"
#include "render/sample.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/imgproc.hpp>

#include "core/workspace.hpp"
#include "tests/support/pictures.hpp"

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

// The centred square: the cut of a sample at the middle, zoom 1.
const cv::Rect kMiddleCut = centredSquare(kClassic.frameSize, kClassic.squareSide);

class WorkedValues : public testing::TestWithParam<WorkedAngle> {};

TEST_P(WorkedValues, TrianglesOutlineAndMaskPolygonsMatch) {
    const WorkedAngle& worked = GetParam();
    Triangles triangles = computeTriangles(worked.angle, kClassic.triangleSide);
    if (worked.hasFrameScale) {
        expectNear(triangles.upTriangle, worked.up);
        expectNear(triangles.downTriangle, worked.down);
    }
    cv::Mat frame(kClassic.frameSize.height, kClassic.frameSize.width, CV_8UC3, cv::Scalar::all(0));
    EXPECT_EQ(drawGuideOutline(frame, triangles.upTriangle, kClassic.outlineThickness, kMiddleCut,
                               kClassic.squareSide),
              worked.outline);

    scaleToTile(triangles);
    const int c = kClassic.tileSide / 2;
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
    Triangles triangles = computeTriangles(0.0, kClassic.triangleSide);
    scaleToTile(triangles);
    const int side = kClassic.tileSide;
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

// Which side of the directed line a-b the point lies on, times the line's length.
double sideOf(cv::Point2d a, cv::Point2d b, cv::Point2d p) {
    return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
}

// How far a point lies outside a triangle: 0 inside, else its distance from the nearest edge
// it is beyond.
double distanceOutside(const TrianglePoints& t, cv::Point2d p) {
    const double area = sideOf(t[0], t[1], t[2]);
    double outside = 0.0;
    for (int i = 0; i < 3; ++i) {
        const cv::Point2d a = t[i], b = t[(i + 1) % 3];
        const double length = cv::norm(b - a);
        const double inward = area >= 0 ? sideOf(a, b, p) : -sideOf(a, b, p);
        if (length > 0 && inward < 0) {
            outside = std::max(outside, -inward / length);
        }
    }
    return outside;
}

// The masks at every angle and several canvas sides: nothing beyond the triangle's outline,
// nothing inside it left out, and where OpenCV 4.6 is installed, exactly its cv::fillPoly.
class MaskFill : public testing::TestWithParam<int> {};

TEST_P(MaskFill, CoversTheTriangleAndOnlyItAtEveryAngle) {
    const Geometry geometry = geometryFor(GetParam());
    const int side = geometry.tileSide;
    cv::Mat maskUp(side, side, CV_8UC1), maskDown(side, side, CV_8UC1), reference;
    int mismatches = 0;
    for (int angle = 0; angle < 360; ++angle) {
        Triangles triangles = computeTriangles(angle, geometry.triangleSide);
        scaleToTile(triangles);
        buildMasks(triangles, {side, side}, maskUp, maskDown);
        for (const auto& [triangle, mask] : {std::pair{&triangles.upTriangle, &maskUp},
                                             std::pair{&triangles.downTriangle, &maskDown}}) {
            const TrianglePoints points = makeIntegerPoints(*triangle, side / 2, side / 2);
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x) {
                    const double outside = distanceOutside(points, cv::Point2d(x, y));
                    const uchar value = mask->at<uchar>(y, x);
                    ASSERT_TRUE(value == 0 || value == 255);
                    ASSERT_TRUE(value == 0 || outside <= 1.0)
                        << "angle " << angle << " pixel " << x << "," << y << " lies " << outside
                        << " outside";
                    const bool wellInside = outside == 0.0 &&
                                            distanceOutside(points, {x - 0.5, double(y)}) == 0 &&
                                            distanceOutside(points, {x + 0.5, double(y)}) == 0;
                    ASSERT_TRUE(value == 255 || !wellInside)
                        << "angle " << angle << " pixel " << x << "," << y << " left out";
                }
            }
#if CV_VERSION_MAJOR == 4 && CV_VERSION_MINOR == 6
            reference.create(side, side, CV_8UC1);
            reference.setTo(0);
            const cv::Point* polygon = points.data();
            const int count = 3;
            cv::fillPoly(reference, &polygon, &count, 1, cv::Scalar(255), cv::LINE_8, 0);
            mismatches += cv::countNonZero(reference != *mask) > 0 ? 1 : 0;
#endif
        }
    }
    EXPECT_EQ(mismatches, 0) << "masks unlike OpenCV 4.6's cv::fillPoly";
}

INSTANTIATE_TEST_SUITE_P(Sides, MaskFill, testing::Values(128, 640, 728, 1080, 2160),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param);
                         });

TEST(GuideOutline, StaysInsideTheFrameAtEveryAngle) {
    cv::Mat frame(kClassic.frameSize.height, kClassic.frameSize.width, CV_8UC3);
    const cv::Point centre(kClassic.frameSize.width / 2, kClassic.frameSize.height / 2);
    for (int angle = 0; angle < 360; ++angle) {
        const TrianglePoints outline = drawGuideOutline(
            frame, computeTriangles(static_cast<double>(angle), kClassic.triangleSide).upTriangle,
            kClassic.outlineThickness, kMiddleCut, kClassic.squareSide);
        for (const cv::Point& p : outline) {
            EXPECT_TRUE(
                cv::Rect(0, 0, kClassic.frameSize.width, kClassic.frameSize.height).contains(p))
                << "angle " << angle << " point " << p;
            EXPECT_LE(std::abs(p.x - centre.x), 231) << "angle " << angle;
            EXPECT_LE(std::abs(p.y - centre.y), 231) << "angle " << angle;
        }
    }
}

TEST(GuideOutline, IsDrawnInPureRed) {
    cv::Mat frame(kClassic.frameSize.height, kClassic.frameSize.width, CV_8UC3, cv::Scalar::all(0));
    const TrianglePoints outline =
        drawGuideOutline(frame, computeTriangles(0.0, kClassic.triangleSide).upTriangle,
                         kClassic.outlineThickness, kMiddleCut, kClassic.squareSide);
    EXPECT_EQ(frame.at<cv::Vec3b>(outline[1]), cv::Vec3b(0, 0, 255));
    // Only red was drawn.
    std::vector<cv::Mat> channels;
    cv::split(frame, channels);
    EXPECT_EQ(cv::countNonZero(channels[0]) + cv::countNonZero(channels[1]), 0);
    EXPECT_GT(cv::countNonZero(channels[2]), 2 * 3 * 400);
}

// Where a steered sample is cut from the 640x480 frame (S = 461), worked by hand: the centre
// pixel less half the side, moved back inside the frame.
struct SteeredCut {
    const char* name;
    Sample sample;
    cv::Rect cut;
};

class SampleCuts : public testing::TestWithParam<SteeredCut> {};

TEST_P(SampleCuts, CentreLessHalfTheSideMovedInsideTheFrame) {
    EXPECT_EQ(sampleCut(kClassic.frameSize, kClassic.squareSide, GetParam().sample),
              GetParam().cut);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SampleCuts,
    testing::Values(SteeredCut{"Middle", {}, {90, 10, 461, 461}},
                    SteeredCut{"TopLeftCorner", {0.0, 0.0, 1.0}, {0, 0, 461, 461}},
                    // 461/2 = 230; the centre (640, 480) puts it at (525, 365), moved to fit.
                    SteeredCut{"BottomRightZoom2", {1.0, 1.0, 2.0}, {410, 250, 230, 230}},
                    // 461/1.19 = 387.4; (160, 300) less 193 is (-33, 107), moved to (0, 93).
                    SteeredCut{"LeftZoom1_19", {0.25, 0.625, 1.19}, {0, 93, 387, 387}},
                    // 461/8 = 57.6; (480, 120) less 28.
                    SteeredCut{"Zoom8", {0.75, 0.25, 8.0}, {452, 92, 57, 57}},
                    // A host may hand over anything: out of range is taken at the range's
                    // end, and what is not a number as the default.
                    SteeredCut{"OutOfRange", {2.0, -1.0, 20.0}, {583, 0, 57, 57}},
                    SteeredCut{"NotANumber",
                               {std::nan(""), std::nan(""), std::nan("")},
                               {90, 10, 461, 461}}),
    [](const testing::TestParamInfo<SteeredCut>& info) { return info.param.name; });

TEST(GuideOutline, MarksASteeredSampleScaledAroundTheCentreOfItsCut) {
    // Zoom 2 around (160, 240): the cut is (45, 125, 230, 230), its centre (160, 240), and
    // the top vertex (0, -230.94) at half size is 115.47 above it: y = (int)(124.53 + 0.5).
    cv::Mat frame(kClassic.frameSize, CV_8UC3, cv::Scalar::all(0));
    const cv::Rect cut = sampleCut(kClassic.frameSize, kClassic.squareSide, {0.25, 0.5, 2.0});
    ASSERT_EQ(cut, cv::Rect(45, 125, 230, 230));
    const TrianglePoints outline =
        drawGuideOutline(frame, computeTriangles(0.0, kClassic.triangleSide).upTriangle,
                         kClassic.outlineThickness, cut, kClassic.squareSide);
    EXPECT_EQ(outline[0], cv::Point(160, 125));
    // The bottom corners: (-+200, 115.47) at half size, (-+100, 57.735) around the centre.
    EXPECT_EQ(outline[1], cv::Point(60, 298));
    EXPECT_EQ(outline[2], cv::Point(260, 298));
}

TEST(Workspace, SizesAndTheSquareCut) {
    EXPECT_EQ(kClassic.squareSide, 461);
    EXPECT_EQ(kClassic.tileSide, 153);
    const ImageWorkspace ws = createWorkspace();
    EXPECT_EQ(ws.squareCut, cv::Rect(90, 10, 461, 461));
    EXPECT_EQ(ws.squareCut & cv::Rect(0, 0, kClassic.frameSize.width, kClassic.frameSize.height),
              ws.squareCut);
    EXPECT_EQ(ws.outputImage.size(), cv::Size(640, 640));
    EXPECT_EQ(ws.frameImage.size(), cv::Size(640, 480));
    EXPECT_EQ(ws.renderer.tileSize, cv::Size(153, 153));
    EXPECT_EQ(ws.renderer.maskUp.size(), cv::Size(153, 153));
    EXPECT_EQ(ws.renderer.maskUp.type(), CV_8UC1);
}

// Every length at a canvas side, worked out by hand from the rules.
struct CanvasSizes {
    int side;
    cv::Size frame;
    double triangle;
    int square;
    int tile;
    int blur;
    int outline;
};

void PrintTo(const CanvasSizes& sizes, std::ostream* out) {
    *out << sizes.side;
}

class CanvasGeometry : public testing::TestWithParam<CanvasSizes> {};

TEST_P(CanvasGeometry, FollowsFromTheCanvasSide) {
    const CanvasSizes want = GetParam();
    const Geometry geometry = geometryFor(want.side);
    EXPECT_EQ(geometry.canvasSize(), cv::Size(want.side, want.side));
    EXPECT_EQ(geometry.frameSize, want.frame);
    EXPECT_EQ(geometry.triangleSide, want.triangle);
    EXPECT_EQ(geometry.squareSide, want.square);
    EXPECT_EQ(geometry.tileSide, want.tile);
    EXPECT_EQ(geometry.blurSide, want.blur);
    EXPECT_EQ(geometry.outlineThickness, want.outline);
}

INSTANTIATE_TEST_SUITE_P(Sides, CanvasGeometry,
                         testing::Values(CanvasSizes{640, {640, 480}, 400.0, 461, 153, 5, 2},
                                         CanvasSizes{1080, {1080, 810}, 675.0, 779, 259, 9, 3},
                                         CanvasSizes{2160, {2160, 1620}, 1350.0, 1558, 519, 17, 7},
                                         CanvasSizes{728, {728, 546}, 455.0, 525, 175, 5, 2},
                                         CanvasSizes{128, {128, 96}, 80.0, 92, 30, 1, 1},
                                         CanvasSizes{
                                             4096, {4096, 3072}, 2560.0, 2956, 985, 33, 13}),
                         [](const testing::TestParamInfo<CanvasSizes>& info) {
                             return std::to_string(info.param.side);
                         });

TEST(CanvasGeometry, SidesAreMultiplesOfEightFrom128To4096) {
    for (const int side : {128, 136, 640, 1080, 4096}) {
        EXPECT_TRUE(isCanvasSide(side)) << side;
    }
    for (const int side : {-8, 0, 120, 127, 129, 644, 4104, 8192}) {
        EXPECT_FALSE(isCanvasSide(side)) << side;
    }
}

}  // namespace
}  // namespace glintara
