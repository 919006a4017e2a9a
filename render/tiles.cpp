#include "render/tiles.hpp"

#include "render/box_blur.hpp"

#include <algorithm>

#include <opencv2/imgproc.hpp>

namespace glintara {
namespace {

constexpr double kBrightening = 1.5;

bool isMirrored(TileMake make) {
    return make == TileMake::Mirrored0 || make == TileMake::Mirrored120 ||
           make == TileMake::Mirrored240;
}

// Which tile pixels each blur count must get right, worked back from the masks.
void findNeededPixels(const RenderState& state, TileStateWork& work) {
    for (int blurs = 0; blurs <= work.blurs; ++blurs) {
        work.needed[blurs].assign(state.tileSize.height, cv::Range(0, 0));
    }
    for (const TileUse& use : work.uses) {
        const RowRanges& mask = use.mask == Mask::Up ? state.upRows : state.downRows;
        for (int blurs = 0; blurs <= use.blurs; ++blurs) {
            growRows(mask, state.geometry.blurReach() * (use.blurs - blurs), state.tileSize,
                     work.grown);
            uniteRows(work.needed[blurs], work.grown);
        }
    }
}

void makeTurned(const cv::Mat& squareImage, const RenderState& state, TileStateWork& work) {
    warpSpans(squareImage, work.turn, state.weights, work.warpSpans, false, work.warpImage);
}

void makeMirrored(const cv::Mat& squareImage, const RenderState& state, double phi,
                  TileStateWork& work) {
    const cv::Size size = squareImage.size();
    work.turn.set(rotationAboutCentre(size, phi));
    work.turnBack.set(rotationAboutCentre(size, -phi));

    // Back from the shrink: where the turn back reads the flipped first turn...
    bilinearSources(work.turnBack, work.warpSpans, size, work.flipRows);
    // ...and which rows of the first turn those are before the flip.
    std::reverse(work.flipRows.begin(), work.flipRows.end());
    rowSpans(work.flipRows, work.flipSpans);

    warpSpans(squareImage, work.turn, state.weights, work.flipSpans, true, work.flipImage);
    warpSpans(work.flipImage, work.turnBack, state.weights, work.warpSpans, false, work.warpImage);
}

}  // namespace

cv::Matx23f rotationAboutCentre(cv::Size imageSize, double phi) {
    const cv::Point2f centre(static_cast<float>(imageSize.width * 0.5),
                             static_cast<float>(0.5 * imageSize.height));
    // Computed in double, kept in float: the warp sees exactly the float coefficients.
    return cv::getRotationMatrix2D_(centre, phi, 1.0);
}

double mirrorAngle(TileMake make, double angle) {
    switch (make) {
        case TileMake::Mirrored120:
            return angle + 120.0;
        case TileMake::Mirrored240:
            return angle + 240.0;
        default:
            return angle;
    }
}

void brightenSquare(cv::Mat& squareImage) {
    squareImage.convertTo(squareImage, -1, kBrightening, 0.0);
}

void blurTile(cv::Mat& tileImage, int side) {
    // Edge pixels repeated: the filter's default would mirror them.
    cv::blur(tileImage, tileImage, {side, side}, cv::Point(-1, -1), cv::BORDER_REPLICATE);
}

void makeTileState(const cv::Mat& squareImage, const RenderState& state, double angle,
                   TileStateWork& work) {
    findNeededPixels(state, work);
    if (work.make == TileMake::Base) {
        state.shrink.shrink(squareImage, work.needed[0], work.tiles[0]);
    } else {
        state.compactShrink.sourceSpans(work.needed[0], work.warpSpans);
        if (isMirrored(work.make)) {
            makeMirrored(squareImage, state, mirrorAngle(work.make, angle), work);
        } else {
            makeTurned(squareImage, state, work);
        }
        state.compactShrink.shrink(work.warpImage, work.needed[0], work.tiles[0]);
    }
    for (int blurs = 1; blurs <= work.blurs; ++blurs) {
        blurRows(work.tiles[blurs - 1], work.needed[blurs], state.geometry.blurReach(),
                 work.blurSums, work.tiles[blurs]);
    }
}

}  // namespace glintara
