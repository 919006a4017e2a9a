#include "gst/kaleidoscope_filter.hpp"

namespace glintara::gst {

cv::Size pictureSize(Picture picture) {
    const Geometry geometry = geometryFor(kDefaultCanvasSide);
    return picture == Picture::Kaleidoscope ? geometry.canvasSize() : geometry.frameSize;
}

KaleidoscopeFilter::KaleidoscopeFilter() : workspace_(createWorkspace()) {}

void KaleidoscopeFilter::renderInto(const cv::Mat& frame, Picture picture, cv::Mat& out) {
    CV_Assert(out.size() == pictureSize(picture) && out.type() == CV_8UC3);
    loadFrame(frame, workspace_, scratch_);
    renderFrame(workspace_, static_cast<double>(rotation_.angleDegrees));
    const cv::Mat& rendered =
        picture == Picture::Kaleidoscope ? workspace_.outputImage : workspace_.frameImage;
    rendered.copyTo(out);
    rotation_.advance();
}

}  // namespace glintara::gst
