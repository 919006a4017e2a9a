#include "render/compose.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cfenv>
#include <cmath>
#include <map>

#include "core/workspace.hpp"
#include "render/plain_render.hpp"
#include "render/tiles.hpp"
#include "tests/support/pictures.hpp"

namespace glintara {
namespace {

using namespace testing_support;

const cv::Size kCanvas(kClassic.canvasSide, kClassic.canvasSide);

std::vector<cv::Point> originsAt(double angle) {
    Triangles triangles = computeTriangles(angle, kClassic.triangleSide);
    scaleToTile(triangles);
    const cv::Point base = placementOrigin(kCanvas, {kClassic.tileSide, kClassic.tileSide});
    std::vector<cv::Point> origins;
    for (const Placement& placement : placementTable()) {
        origins.push_back(tilePosition(placement, triangles, base));
    }
    return origins;
}

TEST(PlacementOrigins, MatchTheLayoutTablesAtAngles0And10) {
    const std::map<int, std::vector<cv::Point>> tables{
        {0, {{244, 244}, {244, 15},  {46, 358},  {441, 358}, {244, 472}, {441, 129}, {46, 129},
             {309, 129}, {112, 244}, {309, 358}, {178, 358}, {375, 244}, {178, 129}, {244, 320},
             {244, 91},  {441, 205}, {46, 205},  {178, 205}, {375, 320}, {375, 91},  {178, 434},
             {309, 205}, {112, 320}, {112, 91},  {309, 434}}},
        {10, {{244, 244}, {283, 18},  {29, 322},  {419, 390}, {204, 469}, {458, 165}, {68, 97},
              {328, 142}, {114, 221}, {289, 368}, {159, 345}, {373, 266}, {198, 119}, {230, 319},
              {270, 93},  {445, 240}, {55, 172},  {185, 195}, {360, 341}, {400, 116}, {145, 420},
              {315, 217}, {100, 296}, {140, 70},  {275, 443}}}};
    for (const auto& [angle, expected] : tables) {
        EXPECT_EQ(originsAt(angle), expected) << "angle " << angle;
    }
}

TEST(PlacementOrigins, Placement8AtAngle0TruncatesJustUnder310) {
    // The float triangle points sum to 309.99999...; exact arithmetic would give 310.
    EXPECT_EQ(originsAt(0.0)[7].x, 309);
}

TEST(PlacementOrigins, EveryTileLiesInsideTheCanvasAtEveryAngle) {
    for (int angle = 0; angle < 360; ++angle) {
        for (const cv::Point& origin : originsAt(angle)) {
            EXPECT_GE(std::min(origin.x, origin.y), 15) << "angle " << angle;
            EXPECT_LE(std::max(origin.x, origin.y), 472) << "angle " << angle;
            EXPECT_LE(std::max(origin.x, origin.y) + kClassic.tileSide, 625) << "angle " << angle;
        }
    }
}

// A workspace whose square holds seeded noise, so that every transform and every blur
// leaves a distinct picture.
ImageWorkspace noiseWorkspace() {
    ImageWorkspace ws = createWorkspace();
    cv::RNG rng(20261208);
    rng.fill(ws.frameImage, cv::RNG::UNIFORM, 0, 170);
    ws.frameImage(ws.squareCut).copyTo(ws.squareImage);
    return ws;
}

// The canvas pixels that placement `index` decides: under its mask and under no later one.
cv::Mat decidedBy(std::size_t index, const std::vector<cv::Point>& origins,
                  const ImageWorkspace& ws) {
    const auto table = placementTable();
    const cv::Size tile = ws.renderer.tileSize;
    cv::Mat decided(kCanvas, CV_8UC1, cv::Scalar(0));
    for (std::size_t i = index; i < table.size(); ++i) {
        const cv::Mat& mask = table[i].mask == Mask::Up ? ws.renderer.maskUp : ws.renderer.maskDown;
        // Its own mask marks the pixels; every later one takes back those it covers.
        decided(cv::Rect(origins[i], tile)).setTo(i == index ? 255 : 0, mask);
    }
    return decided(cv::Rect(origins[index], tile)).clone();
}

enum class State { Base, Turned120, Turned240, Mirrored0, Mirrored120, Mirrored240 };

cv::Mat tileIn(State state, int blurs, const cv::Mat& brightSquare, double angle) {
    const int side = kClassic.tileSide;
    const int square = kClassic.squareSide;
    cv::Mat tile(side, side, CV_8UC3);
    cv::Mat warp(square, square, CV_8UC3);
    cv::Mat flip(square, square, CV_8UC3);
    switch (state) {
        case State::Base:
            makeBaseTile(brightSquare, tile);
            break;
        case State::Turned120:
            makeRotatedTile(brightSquare, 120.0, warp, tile);
            break;
        case State::Turned240:
            makeRotatedTile(brightSquare, 240.0, warp, tile);
            break;
        case State::Mirrored0:
            makeMirroredTile(brightSquare, angle, warp, flip, tile);
            break;
        case State::Mirrored120:
            makeMirroredTile(brightSquare, angle + 120.0, warp, flip, tile);
            break;
        case State::Mirrored240:
            makeMirroredTile(brightSquare, angle + 240.0, warp, flip, tile);
            break;
    }
    for (int i = 0; i < blurs; ++i) {
        blurTile(tile, kClassic.blurSide);
    }
    return tile;
}

struct TileSeen {
    State state;
    int blurs;
    bool operator==(const TileSeen&) const = default;
};

class PlacementContent : public testing::TestWithParam<double> {};

TEST_P(PlacementContent, EachPlacementCarriesItsTileStateAndBlurCount) {
    const double angle = GetParam();
    ImageWorkspace ws = noiseWorkspace();
    renderFrame(ws, angle);  // leaves the brightened square and the masks behind
    const std::vector<cv::Point> origins = originsAt(angle);

    using enum State;
    const TileSeen expected[kPlacementCount] = {
        {Base, 0},        {Base, 1},        {Base, 2},        {Base, 3},        {Base, 3},
        {Base, 3},        {Base, 3},        {Turned120, 0},   {Turned120, 0},   {Turned120, 0},
        {Turned240, 0},   {Turned240, 0},   {Turned240, 0},   {Mirrored0, 0},   {Mirrored0, 0},
        {Mirrored0, 1},   {Mirrored0, 2},   {Mirrored120, 0}, {Mirrored120, 0}, {Mirrored120, 1},
        {Mirrored120, 2}, {Mirrored240, 0}, {Mirrored240, 0}, {Mirrored240, 1}, {Mirrored240, 2}};

    for (std::size_t p = 0; p < kPlacementCount; ++p) {
        const cv::Mat decided = decidedBy(p, origins, ws);
        ASSERT_GT(cv::countNonZero(decided), 100) << "placement " << p + 1;
        const cv::Mat onCanvas = ws.outputImage(cv::Rect(origins[p], ws.renderer.tileSize));
        std::vector<TileSeen> matches;
        for (State state : {Base, Turned120, Turned240, Mirrored0, Mirrored120, Mirrored240}) {
            for (int blurs = 0; blurs <= 3; ++blurs) {
                cv::Mat difference;
                cv::absdiff(tileIn(state, blurs, ws.squareImage, angle), onCanvas, difference);
                cv::Mat differing;
                cv::cvtColor(difference, differing, cv::COLOR_BGR2GRAY);
                differing.setTo(0, decided == 0);
                if (cv::countNonZero(differing) == 0) {
                    matches.push_back({state, blurs});
                }
            }
        }
        ASSERT_EQ(matches.size(), 1u) << "placement " << p + 1;
        EXPECT_EQ(matches[0], expected[p])
            << "placement " << p + 1 << " shows state " << static_cast<int>(matches[0].state)
            << " blurred " << matches[0].blurs << " times";
    }
}

INSTANTIATE_TEST_SUITE_P(Angles, PlacementContent, testing::Values(0.0, 10.0, 217.0));

cv::Mat coverageAt(double angle, const ImageWorkspace& ws, int erodeBy) {
    const std::vector<cv::Point> origins = originsAt(angle);
    cv::Mat covered(kCanvas, CV_8UC1, cv::Scalar(0));
    const auto table = placementTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        cv::Mat mask;
        cv::erode(table[i].mask == Mask::Up ? ws.renderer.maskUp : ws.renderer.maskDown, mask,
                  cv::Mat(), cv::Point(-1, -1), erodeBy);
        covered(cv::Rect(origins[i], ws.renderer.tileSize)).setTo(255, mask);
    }
    return covered;
}

class UniformPicture : public testing::TestWithParam<int> {};

TEST_P(UniformPicture, CoveredPixelsAreBrightenedAndTheRestStaysBlack) {
    const int value = GetParam();
    const int brightened = std::min(255, static_cast<int>(std::nearbyint(value * 1.5)));
    for (double angle : {0.0, 33.0, 271.0}) {
        ImageWorkspace ws = createWorkspace();
        ws.frameImage.setTo(cv::Scalar::all(value));
        ws.frameImage(ws.squareCut).copyTo(ws.squareImage);
        ws.outputImage.setTo(cv::Scalar::all(99));  // stale content must not survive
        renderFrame(ws, angle);

        const cv::Mat uncovered = coverageAt(angle, ws, 0) == 0;
        cv::Mat grey;
        cv::cvtColor(ws.outputImage, grey, cv::COLOR_BGR2GRAY);
        grey.setTo(0, ~uncovered);
        EXPECT_EQ(cv::countNonZero(grey), 0) << "uncovered pixels are black at angle " << angle;

        const cv::Mat inner = coverageAt(angle, ws, 3);
        cv::Mat wrong;
        cv::inRange(ws.outputImage, cv::Scalar::all(brightened), cv::Scalar::all(brightened),
                    wrong);
        wrong = ~wrong & inner;
        EXPECT_EQ(cv::countNonZero(wrong), 0) << "value " << value << " angle " << angle;
        EXPECT_GT(cv::countNonZero(inner), 100000);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, UniformPicture, testing::Values(1, 3, 100, 169, 170, 255));

TEST(Render, LeavesTheWorkspaceImagesWhereTheyWere) {
    ImageWorkspace ws = noiseWorkspace();
    const std::vector<const uchar*> before = workspaceBuffers(ws);
    renderFrame(ws, 45.0);
    EXPECT_EQ(workspaceBuffers(ws), before);
}

}  // namespace
}  // namespace glintara
