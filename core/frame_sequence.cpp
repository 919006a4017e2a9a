// The per-frame sequence: prepare, render at the angle.
#include "core/frame_sequence.hpp"

namespace glintara {

FrameSequence::FrameSequence(int firstAngle, RenderStep render) : render_(std::move(render)) {
    rotation_.angleDegrees = firstAngle;
}

void FrameSequence::render(const cv::Mat& frame, ImageWorkspace& workspace, Guide guide) {
    if (guide == Guide::Wanted) {
        loadFrame(frame, workspace, scratch_, pixelAspect_, sample_);
    } else {
        loadSquare(frame, workspace, scratch_, pixelAspect_, sample_);
    }
    // Drawn after the cut, so the guide outline never reaches the kaleidoscope.
    render_(workspace, angle());
}

void FrameSequence::renderTaking(cv::Mat& frame, ImageWorkspace& workspace, Guide guide) {
    if (frame.size() != workspace.frameImage.size() ||
        frame.type() != workspace.frameImage.type() || !squarePixels(pixelAspect_)) {
        render(frame, workspace, guide);
        return;
    }
    std::swap(frame, workspace.frameImage);
    aimSample(workspace, sample_);
    cutSquare(workspace, scratch_);
    render_(workspace, angle());
}

}  // namespace glintara
