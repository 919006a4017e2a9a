// The tile in its six states (plain, turned by 120 and 240 degrees, and three mirror images)
// and the brightening and blurring around them. Each function writes only the images it is
// handed as outputs; none allocates.
#pragma once

#include <opencv2/core.hpp>

namespace glintara {

// v -> v * 1.5, rounded half to even and saturated, in place.
void brightenSquare(cv::Mat& squareImage);

// The square shrunk to the tile.
void makeBaseTile(const cv::Mat& squareImage, cv::Mat& tileImage);

// One 5x5 box blur of the tile in place, edges repeated; repeated calls accumulate.
void blurTile(cv::Mat& tileImage);

// The square turned counter-clockwise on screen by phi degrees about its centre, shrunk
// to the tile. warpImage is scratch.
void makeRotatedTile(const cv::Mat& squareImage, double phi, cv::Mat& warpImage,
                     cv::Mat& tileImage);

// The square mirrored across the axis through its centre turned clockwise on screen by
// phi degrees from the horizontal: turned by phi, flipped upside down, turned back by -phi,
// then shrunk to the tile. warpImage and flipImage are scratch.
void makeMirroredTile(const cv::Mat& squareImage, double phi, cv::Mat& warpImage,
                      cv::Mat& flipImage, cv::Mat& tileImage);

// The 2x3 turn about the image centre (w/2, h/2 as exact halves), stored as 32-bit floats.
cv::Matx23f rotationAboutCentre(cv::Size imageSize, double phi);

}  // namespace glintara
