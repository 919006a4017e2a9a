// The two turning triangles: the point-up one samples the picture, the point-down one (its
// half-turn) shapes the mirrored tiles. Also the guide outline and the two tile masks.
#pragma once

#include <array>

#include <opencv2/core.hpp>

namespace glintara {

// Three vertices relative to the triangles' common centre, in frame or tile pixels.
using Triangle = std::array<cv::Point2f, 3>;
// Three vertices as absolute pixel positions in an image.
using TrianglePoints = std::array<cv::Point, 3>;

struct Triangles {
    Triangle upTriangle;    // P0 (top), P1 (bottom left), P2 (bottom right) at angle 0
    Triangle downTriangle;  // Q0, Q1, Q2: the half-turn of the up triangle
};

// Both triangles of side `side` at frame scale, turned clockwise on screen by `angle`
// degrees.
Triangles computeTriangles(double angle, double side);

// Vertices scaled by `scale` (in double precision) and placed around an integer centre,
// rounded half up and truncated toward zero.
TrianglePoints makeIntegerPoints(const Triangle& triangle, int cx, int cy, double scale = 1.0);

// Draws the up triangle as the red guide outline, `thickness` pixels wide, over what is
// sampled: scaled by the cut's side over the square side, around the cut's centre (its origin
// plus half its side, truncated).
TrianglePoints drawGuideOutline(cv::Mat& frameImage, const Triangle& upTriangle, int thickness,
                                cv::Rect cut, int squareSide);

// Brings both triangles from frame scale down to tile scale (a third).
void scaleToTile(Triangles& triangles);

// Refills both masks with their triangle (255 inside, 0 outside) around the tile's centre.
void buildMasks(const Triangles& tileTriangles, cv::Size tileSize, cv::Mat& maskUp,
                cv::Mat& maskDown);

}  // namespace glintara
