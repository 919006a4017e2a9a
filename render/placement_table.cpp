#include "render/placement_table.hpp"

namespace glintara {
namespace {

// The tiling's offset factors, taken from 32-bit floats into double arithmetic. Every offset
// is the exact tiling vector scaled by 0.99, so the tiles are pulled 1 % toward the centre;
// b is exactly 2a.
constexpr double a = 0.99f;
constexpr double b = 1.98f;

using enum Vertex;
using enum Mask;

// Offsets are P (the up triangle) and Q (the down triangle) at tile scale, terms in the
// order they are summed. Blur runs on the tile in place right before the copy and
// accumulates until the next make.
// clang-format off
constexpr Placement kSchedule[kPlacementCount] = {
    //  make                 blur   mask  offset (dx, dy)
    {TileMake::Base,        false, Up,   {}},                                        //  1
    {TileMake::Keep,        true,  Up,   {{+b, P0}, {-a, P1, P2}}},                  //  2
    {TileMake::Keep,        true,  Up,   {{+b, P1}, {-a, P2, P0}}},                  //  3
    {TileMake::Keep,        true,  Up,   {{+b, P2}, {-a, P0, P1}}},                  //  4
    {TileMake::Keep,        false, Up,   {{-b, P0}, {+a, P1, P2}}},                  //  5
    {TileMake::Keep,        false, Up,   {{-b, P1}, {+a, P2, P0}}},                  //  6
    {TileMake::Keep,        false, Up,   {{-b, P2}, {+a, P0, P1}}},                  //  7
    {TileMake::Turned120,   false, Up,   {{+a, P0}, {-a, Q1}, {+a, P2}}},            //  8
    {TileMake::Keep,        false, Up,   {{+a, P1}, {-a, Q2}, {+a, P0}}},            //  9
    {TileMake::Keep,        false, Up,   {{+a, P2}, {-a, Q0}, {+a, P1}}},            // 10
    {TileMake::Turned240,   false, Up,   {{-a, P0}, {+a, Q1}, {-a, P2}}},            // 11
    {TileMake::Keep,        false, Up,   {{-a, P1}, {+a, Q2}, {-a, P0}}},            // 12
    {TileMake::Keep,        false, Up,   {{-a, P2}, {+a, Q0}, {-a, P1}}},            // 13
    {TileMake::Mirrored0,   false, Down, {{+a, Q1}}},                                // 14
    {TileMake::Keep,        false, Down, {{-b, Q1}}},                                // 15
    {TileMake::Keep,        true,  Down, {{-a, Q0}, {+b, Q2}}},                      // 16
    {TileMake::Keep,        true,  Down, {{-a, Q2}, {+b, Q0}}},                      // 17
    {TileMake::Mirrored120, false, Down, {{+a, Q0}}},                                // 18
    {TileMake::Keep,        false, Down, {{-b, Q0}}},                                // 19
    {TileMake::Keep,        true,  Down, {{+b, Q2}, {-a, Q1}}},                      // 20
    {TileMake::Keep,        true,  Down, {{+b, Q1}, {-a, Q2}}},                      // 21
    {TileMake::Mirrored240, false, Down, {{+a, Q2}}},                                // 22
    {TileMake::Keep,        false, Down, {{-b, Q2}}},                                // 23
    {TileMake::Keep,        true,  Down, {{+b, Q0}, {-a, Q1}}},                      // 24
    {TileMake::Keep,        true,  Down, {{+b, Q1}, {-a, Q0}}},                      // 25
};
// clang-format on

const cv::Point2f& vertexOf(const Triangles& triangles, Vertex vertex) {
    const int index = static_cast<int>(vertex);
    return index < 3 ? triangles.upTriangle[index] : triangles.downTriangle[index - 3];
}

// The offset in x or y, summed term by term in double; a bracketed pair is added first.
template <typename Coordinate>
double offsetSum(int base, const Placement& placement, const Triangles& triangles,
                 Coordinate coordinate) {
    double sum = base;
    for (const OffsetTerm& term : placement.terms) {
        if (term.first == None) {
            break;
        }
        double value = coordinate(vertexOf(triangles, term.first));
        if (term.second != None) {
            value += coordinate(vertexOf(triangles, term.second));
        }
        sum += term.factor * value;
    }
    return sum;
}

}  // namespace

std::span<const Placement, kPlacementCount> placementTable() {
    return kSchedule;
}

cv::Point placementOrigin(cv::Size canvasSize, cv::Size tileSize) {
    return {canvasSize.width / 2 - tileSize.width / 2, canvasSize.height / 2 - tileSize.height / 2};
}

cv::Point tilePosition(const Placement& placement, const Triangles& tileTriangles,
                       cv::Point origin) {
    const auto x = [](const cv::Point2f& p) { return static_cast<double>(p.x); };
    const auto y = [](const cv::Point2f& p) { return static_cast<double>(p.y); };
    // Truncated toward zero, with no rounding: the tiling is laid to these exact pixels.
    return {static_cast<int>(offsetSum(origin.x, placement, tileTriangles, x)),
            static_cast<int>(offsetSum(origin.y, placement, tileTriangles, y))};
}

std::array<PlacedTile, kPlacementCount> placedTiles() {
    std::array<PlacedTile, kPlacementCount> placed{};
    PlacedTile current{-1, 0};
    for (int i = 0; i < kPlacementCount; ++i) {
        const Placement& placement = kSchedule[i];
        if (placement.make != TileMake::Keep) {
            current = {static_cast<int>(placement.make) - 1, 0};
        }
        if (placement.blurFirst) {
            ++current.blurs;
        }
        CV_Assert(current.state >= 0);
        placed[i] = current;
    }
    return placed;
}

}  // namespace glintara
