#include "app/workspace.hpp"

#include <cmath>

namespace glintara {

int squareSide() {
    return static_cast<int>(800.0 / std::sqrt(3.0));
}

int tileSide() {
    return squareSide() / 3;
}

cv::Rect centredSquare(cv::Size frame, int side) {
    return {frame.width / 2 - side / 2, frame.height / 2 - side / 2, side, side};
}

ImageWorkspace createWorkspace() {
    const int square = squareSide();
    const int tile = tileSide();
    ImageWorkspace workspace;
    workspace.outputImage.create(kCanvasSide, kCanvasSide, CV_8UC3);
    workspace.frameImage.create(kFrameHeight, kFrameWidth, CV_8UC3);
    workspace.squareImage.create(square, square, CV_8UC3);
    workspace.tileImage.create(tile, tile, CV_8UC3);
    workspace.maskUp.create(tile, tile, CV_8UC1);
    workspace.maskDown.create(tile, tile, CV_8UC1);
    workspace.warpImage.create(square, square, workspace.squareImage.type());
    workspace.flipImage.create(square, square, workspace.squareImage.type());
    workspace.squareCut = centredSquare(workspace.frameImage.size(), square);
    return workspace;
}

}  // namespace glintara
