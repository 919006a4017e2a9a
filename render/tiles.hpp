// The tile in its six states (plain, turned by 120 and 240 degrees, and three mirror images)
// and the brightening and blurring around them.
#pragma once

#include <opencv2/core.hpp>

#include "render/render_state.hpp"

namespace glintara {

// v -> v * 1.5, rounded half to even and saturated, in place.
void brightenSquare(cv::Mat& squareImage);

// One side x side box blur of the tile in place, edges repeated; repeated calls accumulate. The
// renderer blurs with blurRows, only where it must; this is the whole-tile blur it matches.
void blurTile(cv::Mat& tileImage, int side);

// The 2x3 turn about the image centre (w/2, h/2 as exact halves), stored as 32-bit floats.
cv::Matx23f rotationAboutCentre(cv::Size imageSize, double phi);

// The angle a mirrored state's axis is turned by, in degrees.
double mirrorAngle(TileMake make, double angle);

// Makes one tile state from the brightened square with all the blur counts the placement table
// lays it with, right in every pixel that the masks in `state` let through:
// - the base: the square shrunk to the tile;
// - turned by phi: the square turned counter-clockwise on screen by phi about its centre,
//   then shrunk;
// - mirrored across the axis turned clockwise on screen by phi from the horizontal: turned
//   by phi, flipped upside down, turned back by -phi, then shrunk.
// Only the pixels that can reach the canvas are turned.
void makeTileState(const cv::Mat& squareImage, const RenderState& state, double angle,
                   TileStateWork& work);

}  // namespace glintara
