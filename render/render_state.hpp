// What the renderer keeps from one frame to the next: the masks, a buffer for every tile
// state and blur count, the turns' working images and the tables of where each turn reads.
// Created once; renderKaleidoscope refills it every frame without allocating.
#pragma once

#include <array>
#include <vector>

#include <opencv2/core.hpp>

#include "render/placement_table.hpp"
#include "render/sizes.hpp"
#include "render/spans.hpp"
#include "render/sparse_shrink.hpp"
#include "render/sparse_warp.hpp"

namespace glintara {

inline constexpr int kMostBlurs = 3;

// One use of a tile state by the placement table: through which mask, after how many blurs.
struct TileUse {
    Mask mask;
    int blurs;
};

// One of the six tile states and everything it takes to make it. The states share nothing
// they write, so they can be made at the same time.
struct TileStateWork {
    TileMake make = TileMake::Base;
    std::vector<TileUse> uses;  // the placements that lay this state
    int blurs = 0;              // the most blurs any of them needs

    // The tile after 0, 1, ... blurs, right wherever a placement can still read it.
    std::array<cv::Mat, kMostBlurs + 1> tiles;
    // Per blur count, the tile pixels that must be right: the masks of the placements that
    // lay it then, grown by the reach of the blurs still to come.
    std::array<RowRanges, kMostBlurs + 1> needed;
    RowRanges grown;               // scratch for one use's grown mask
    std::vector<ushort> blurSums;  // scratch for the blur's column sums

    // The turns (only for the turned and mirrored states), right where the shrink reads:
    // only the pixels the shrink can read are kept, in the compact layout.
    cv::Mat warpImage;
    cv::Mat flipImage;  // mirrored states: the first turn, upside down
    SpanList warpSpans;
    SpanList flipSpans;
    RowRanges flipRows;
    WarpPositions turn;      // square -> warpImage (turned) or -> flipImage (mirrored)
    WarpPositions turnBack;  // mirrored: flipImage -> warpImage
};

struct RenderState {
    Geometry geometry;
    cv::Size squareSize;
    cv::Size tileSize;
    cv::Mat maskUp;    // the filled point-up triangle
    cv::Mat maskDown;  // the filled point-down triangle
    RowRanges upRows, downRows;
    SpanList upSpans, downSpans;
    SparseShrink shrink;         // the square down to the tile
    CompactLayout compact;       // which pixels of a turned square the tile is made from
    SparseShrink compactShrink;  // a turned square, held in the compact layout, to the tile
    BilinearWeights weights;
    std::array<PlacedTile, kPlacementCount> placed;
    std::vector<TileStateWork> states;  // indexed as PlacedTile::state
};

// Allocates every buffer for the square and tile of a canvas geometry and builds the tables
// that do not depend on the angle.
RenderState createRenderState(const Geometry& geometry);

}  // namespace glintara
