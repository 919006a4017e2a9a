#include "core/kaleidoscope_filter.hpp"

namespace glintara {

cv::Size pictureSize(Picture picture, int canvasSide) {
    const Geometry geometry = geometryFor(canvasSide);
    return picture == Picture::Kaleidoscope ? geometry.canvasSize() : geometry.frameSize;
}

KaleidoscopeFilter::KaleidoscopeFilter(int canvasSide) : workspace_(createWorkspace(canvasSide)) {}

void KaleidoscopeFilter::setCanvasSide(int canvasSide) {
    if (canvasSide != this->canvasSide()) {
        workspace_ = createWorkspace(canvasSide);
    }
}

const cv::Mat& KaleidoscopeFilter::render(const cv::Mat& frame, Picture picture) {
    sequence_.render(frame, workspace_,
                     picture == Picture::Capture ? Guide::Wanted : Guide::NotWanted);
    sequence_.advance();
    return picture == Picture::Kaleidoscope ? workspace_.outputImage : workspace_.frameImage;
}

}  // namespace glintara
