#include "core/workspace.hpp"

#include "render/compose.hpp"

namespace glintara {

cv::Rect centredSquare(cv::Size frame, int side) {
    return {frame.width / 2 - side / 2, frame.height / 2 - side / 2, side, side};
}

ImageWorkspace createWorkspace(int canvasSide) {
    const Geometry geometry = geometryFor(canvasSide);
    const int square = geometry.squareSide;
    ImageWorkspace workspace;
    workspace.outputImage.create(geometry.canvasSize(), CV_8UC3);
    workspace.frameImage.create(geometry.frameSize, CV_8UC3);
    workspace.squareImage.create(square, square, CV_8UC3);
    workspace.squareCut = centredSquare(workspace.frameImage.size(), square);
    workspace.renderer = createRenderState(geometry);
    return workspace;
}

void renderFrame(ImageWorkspace& workspace, double angle) {
    renderKaleidoscope(workspace.renderer, workspace.frameImage, workspace.squareImage,
                       workspace.outputImage, angle, workspace.squareCut);
}

}  // namespace glintara
