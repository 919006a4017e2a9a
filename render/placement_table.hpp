// The 25 placements of the tile, in the order they are laid, and where each one goes.
#pragma once

#include <array>
#include <span>

#include <opencv2/core.hpp>

#include "render/geometry.hpp"

namespace glintara {

inline constexpr int kPlacementCount = 25;

// The tile state a placement needs, made once before the first placement that uses it.
enum class TileMake { Keep, Base, Turned120, Turned240, Mirrored0, Mirrored120, Mirrored240 };
enum class Mask { Up, Down };
// The six tile-scale vertices an offset term can name.
enum class Vertex { P0, P1, P2, Q0, Q1, Q2, None };

// factor * first, or factor * (first + second) when the term is bracketed.
struct OffsetTerm {
    double factor = 0.0;
    Vertex first = Vertex::None;
    Vertex second = Vertex::None;
};

struct Placement {
    TileMake make;
    bool blurFirst;
    Mask mask;
    OffsetTerm terms[3];  // in the order they are summed; unused ones name no vertex
};

// The 25 placements in the order they are laid; where tiles overlap, the later one wins.
std::span<const Placement, kPlacementCount> placementTable();

// The six tile states, numbered as TileMake names them after Keep.
inline constexpr int kTileStateCount = 6;
// What a placement lays: which of the six states, blurred how many times since it was made.
struct PlacedTile {
    int state;
    int blurs;
};
// The placement table read through: each placement's tile state and blur count.
std::array<PlacedTile, kPlacementCount> placedTiles();

// The placement base: where a tile centred on the canvas has its top-left corner (integer
// halves, so (244, 244) for a 153-pixel tile on the 640-pixel canvas).
cv::Point placementOrigin(cv::Size canvasSize, cv::Size tileSize);

// Where a placement's tile goes: the base plus the placement's offset for tile-scale
// triangles, truncated toward zero.
cv::Point tilePosition(const Placement& placement, const Triangles& tileTriangles,
                       cv::Point origin);

}  // namespace glintara
