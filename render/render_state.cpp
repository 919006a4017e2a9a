#include "render/render_state.hpp"

#include <algorithm>

#include "render/box_blur.hpp"
#include "render/sizes.hpp"
#include "render/tiles.hpp"

namespace glintara {
namespace {

cv::Mat blackImage(cv::Size size, int type) {
    // Cleared once so that the parts no frame writes hold the same bytes in every run.
    return cv::Mat(size, type, cv::Scalar::all(0));
}

TileStateWork makeStateWork(TileMake make, const RenderState& state) {
    TileStateWork work;
    work.make = make;
    const auto table = placementTable();
    for (int i = 0; i < kPlacementCount; ++i) {
        if (state.placed[i].state == static_cast<int>(make) - 1) {
            work.uses.push_back({table[i].mask, state.placed[i].blurs});
            work.blurs = std::max(work.blurs, state.placed[i].blurs);
        }
    }
    CV_Assert(work.blurs <= kMostBlurs);
    work.blurSums.resize(blurSumsSize(state.tileSize.width, state.geometry.blurReach()));
    for (int blurs = 0; blurs <= work.blurs; ++blurs) {
        work.tiles[blurs] = blackImage(state.tileSize, CV_8UC3);
        work.needed[blurs].reserve(state.tileSize.height);
    }
    if (make == TileMake::Base) {
        return work;
    }
    work.warpImage = blackImage(state.compact.size(), CV_8UC3);
    const WarpPositions intoCompact(state.compact.columns, state.compact.rows);
    if (make == TileMake::Turned120 || make == TileMake::Turned240) {
        // The turned states do not depend on the angle: their positions are worked out here.
        const double phi = make == TileMake::Turned120 ? 120.0 : 240.0;
        work.turn = intoCompact;
        work.turn.set(rotationAboutCentre(state.squareSize, phi));
    } else {
        work.turn = WarpPositions(state.squareSize);
        work.flipImage = blackImage(state.squareSize, CV_8UC3);
        work.turnBack = intoCompact;
    }
    return work;
}

}  // namespace

RenderState createRenderState(const Geometry& geometry) {
    RenderState state;
    state.geometry = geometry;
    state.squareSize = {geometry.squareSide, geometry.squareSide};
    state.tileSize = {geometry.tileSide, geometry.tileSide};
    state.maskUp = blackImage(state.tileSize, CV_8UC1);
    state.maskDown = blackImage(state.tileSize, CV_8UC1);
    state.shrink = SparseShrink(state.squareSize, state.tileSize);
    state.compact = state.shrink.compactLayout();
    state.compactShrink = state.shrink.readingCompact();
    state.placed = placedTiles();
    for (TileMake make : {TileMake::Base, TileMake::Turned120, TileMake::Turned240,
                          TileMake::Mirrored0, TileMake::Mirrored120, TileMake::Mirrored240}) {
        state.states.push_back(makeStateWork(make, state));
    }
    return state;
}

}  // namespace glintara
