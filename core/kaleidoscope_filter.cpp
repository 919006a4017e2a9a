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

void KaleidoscopeFilter::renderInto(const cv::Mat& frame, Picture picture, cv::Mat& out) {
    CV_Assert(out.size() == pictureSize(picture, canvasSide()) && out.type() == CV_8UC3);
    loadFrame(frame, workspace_, scratch_);
    renderFrame(workspace_, static_cast<double>(rotation_.angleDegrees));
    const cv::Mat& rendered =
        picture == Picture::Kaleidoscope ? workspace_.outputImage : workspace_.frameImage;
    rendered.copyTo(out);
    rotation_.advance();
}

}  // namespace glintara
