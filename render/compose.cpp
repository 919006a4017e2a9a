#include "render/compose.hpp"

#include <array>
#include <atomic>

#include "render/tiles.hpp"

namespace glintara {
namespace {

// The states in the order workers take them, costliest first, so that two workers finish
// close together: a mirrored state turns twice, a turned one once, the base not at all.
constexpr std::array<TileMake, kTileStateCount> kMakingOrder = {
    TileMake::Mirrored0, TileMake::Mirrored120, TileMake::Mirrored240,
    TileMake::Turned120, TileMake::Turned240,   TileMake::Base};

int stateIndex(TileMake make) {
    return static_cast<int>(make) - 1;
}

void prepareMasks(const Triangles& tileTriangles, RenderState& state) {
    buildMasks(tileTriangles, state.tileSize, state.maskUp, state.maskDown);
    maskRows(state.maskUp, state.upRows);
    maskRows(state.maskDown, state.downRows);
    maskSpans(state.maskUp, state.upSpans);
    maskSpans(state.maskDown, state.downSpans);
}

// The six states depend only on the brightened square and the masks, and the canvas is
// touched by none of them, so all seven jobs run side by side: each worker takes the next
// job not yet taken, the canvas clear last.
void makeTileStatesAndClear(const cv::Mat& squareImage, double angle, RenderState& state,
                            cv::Mat& outputImage) {
    constexpr int kJobs = kTileStateCount + 1;
    std::atomic<int> next{0};
    const auto worker = [&](const cv::Range& workers) {
        for (int w = workers.start; w < workers.end; ++w) {
            for (int job = next++; job < kJobs; job = next++) {
                if (job == kTileStateCount) {
                    outputImage.setTo(cv::Scalar::all(0));
                } else {
                    TileStateWork& work = state.states[stateIndex(kMakingOrder[job])];
                    makeTileState(squareImage, state, angle, work);
                }
            }
        }
    };
    cv::parallel_for_(cv::Range(0, std::max(1, cv::getNumThreads())), worker);
}

void layPlacements(const RenderState& state, const Triangles& tileTriangles,
                   cv::Mat& outputImage) {
    const cv::Point origin = placementOrigin(outputImage.size(), state.tileSize);
    const auto schedule = placementSchedule();
    for (int i = 0; i < kPlacementCount; ++i) {
        const PlacedTile& placed = state.placed[i];
        const cv::Mat& tile = state.states[placed.state].tiles[placed.blurs];
        const SpanList& mask = schedule[i].mask == Mask::Up ? state.upSpans : state.downSpans;
        copySpans(tile, mask, tilePosition(schedule[i], tileTriangles, origin), outputImage);
    }
}

}  // namespace

void renderKaleidoscope(RenderState& state, cv::Mat& frameImage, cv::Mat& squareImage,
                        cv::Mat& outputImage, double angle) {
    brightenSquare(squareImage);

    Triangles triangles = computeTriangles(angle);
    drawGuideOutline(frameImage, triangles.upTriangle);
    scaleToTile(triangles);
    prepareMasks(triangles, state);

    makeTileStatesAndClear(squareImage, angle, state, outputImage);
    layPlacements(state, triangles, outputImage);
}

}  // namespace glintara
