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

int workerCount() {
    return std::max(1, cv::getNumThreads());
}

// Runs `jobs` numbered jobs on every worker OpenCV has, each worker taking the next job not
// yet taken.
template <typename Job>
void runJobs(int jobs, const Job& job) {
    std::atomic<int> next{0};
    cv::parallel_for_(cv::Range(0, workerCount()), [&](const cv::Range& workers) {
        for (int w = workers.start; w < workers.end; ++w) {
            for (int i = next++; i < jobs; i = next++) {
                job(i);
            }
        }
    });
}

// The rows of an image cut into one band per worker.
cv::Range band(int index, int bands, int rows) {
    return {rows * index / bands, rows * (index + 1) / bands};
}

void brightenInBands(cv::Mat& squareImage) {
    const int bands = workerCount();
    runJobs(bands, [&](int i) {
        cv::Mat rows = squareImage.rowRange(band(i, bands, squareImage.rows));
        brightenSquare(rows);
    });
}

// The six states depend only on the brightened square and the masks, so they are made side
// by side.
void makeTileStates(const cv::Mat& squareImage, double angle, RenderState& state) {
    runJobs(kTileStateCount, [&](int i) {
        makeTileState(squareImage, state, angle, state.states[stateIndex(kMakingOrder[i])]);
    });
}

// Where tiles overlap the later one wins, but rows of the canvas do not meet: each band of
// rows is cleared and gets all placements in order, band beside band.
void layPlacements(const RenderState& state, const Triangles& tileTriangles, cv::Mat& outputImage) {
    const cv::Point origin = placementOrigin(outputImage.size(), state.tileSize);
    const auto table = placementTable();
    std::array<cv::Point, kPlacementCount> positions;
    for (int i = 0; i < kPlacementCount; ++i) {
        positions[i] = tilePosition(table[i], tileTriangles, origin);
    }
    const int bands = workerCount();
    runJobs(bands, [&](int b) {
        const cv::Range rows = band(b, bands, outputImage.rows);
        outputImage.rowRange(rows).setTo(cv::Scalar::all(0));
        for (int i = 0; i < kPlacementCount; ++i) {
            const PlacedTile& placed = state.placed[i];
            const cv::Mat& tile = state.states[placed.state].tiles[placed.blurs];
            const SpanList& mask = table[i].mask == Mask::Up ? state.upSpans : state.downSpans;
            copySpans(tile, mask, positions[i], rows, outputImage);
        }
    });
}

}  // namespace

void renderKaleidoscope(RenderState& state, cv::Mat& frameImage, cv::Mat& squareImage,
                        cv::Mat& outputImage, double angle, cv::Rect cut) {
    brightenInBands(squareImage);

    const Geometry& geometry = state.geometry;
    Triangles triangles = computeTriangles(angle, geometry.triangleSide);
    drawGuideOutline(frameImage, triangles.upTriangle, geometry.outlineThickness, cut,
                     geometry.squareSide);
    scaleToTile(triangles);
    prepareMasks(triangles, state);

    makeTileStates(squareImage, angle, state);
    layPlacements(state, triangles, outputImage);
}

}  // namespace glintara
