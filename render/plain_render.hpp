// The kaleidoscope made the plain way: every turn, flip, shrink, blur and masked copy on
// whole images, one after another in the placement table's order. This is the picture's readable
// definition; the renderer is the fast way to the same bytes, and is held to them, and the
// benchmark times this beside it.
#pragma once

#include <opencv2/core.hpp>

#include "render/sample.hpp"
#include "render/sizes.hpp"

namespace glintara {

// The images the plain sequence works in besides the frame, the square and the canvas.
struct PlainScratch {
    Geometry geometry;
    cv::Mat tileImage;  // TxT BGR
    cv::Mat maskUp;     // TxT grey
    cv::Mat maskDown;   // TxT grey
    cv::Mat warpImage;  // SxS BGR: destination of every turn
    cv::Mat flipImage;  // SxS BGR: destination of the flip of a mirrored tile
};
PlainScratch createPlainScratch(const Geometry& geometry);

// The square shrunk to the tile.
void makeBaseTile(const cv::Mat& squareImage, cv::Mat& tileImage);
// The square turned counter-clockwise on screen by phi about its centre, shrunk to the tile.
void makeRotatedTile(const cv::Mat& squareImage, double phi, cv::Mat& warpImage,
                     cv::Mat& tileImage);
// The square turned by phi, flipped upside down, turned back by -phi, shrunk to the tile.
void makeMirroredTile(const cv::Mat& squareImage, double phi, cv::Mat& warpImage,
                      cv::Mat& flipImage, cv::Mat& tileImage);

// The sample as a square of the square side: frameImage's cut for the sample, grown
// bilinearly when it is smaller, copied when it is not.
void takeSample(const cv::Mat& frameImage, const Sample& sample, cv::Mat& squareImage);

// The whole frame: the sample into squareImage, brightened, the outline on frameImage over
// what was sampled, the canvas.
void renderPlainly(PlainScratch& scratch, cv::Mat& frameImage, cv::Mat& squareImage,
                   cv::Mat& outputImage, double angle, const Sample& sample = {});

}  // namespace glintara
