// A filter's work on one frame, for the plugins that live inside other programs' pipelines:
// any frame in, prepared as a camera frame is, and the kaleidoscope or the guide picture out,
// one degree further each frame while turning.
#pragma once

#include <opencv2/core.hpp>

#include "core/frame_sequence.hpp"
#include "core/workspace.hpp"

namespace glintara {

// Which of the live program's two windows a filter puts out.
enum class Picture { Kaleidoscope, Capture };

// The size of the picture at a canvas side: the canvas, or the prepared frame.
cv::Size pictureSize(Picture picture, int canvasSide);

class KaleidoscopeFilter {
  public:
    explicit KaleidoscopeFilter(int canvasSide = kDefaultCanvasSide);

    // Renders at another canvas side from the next frame on.
    void setCanvasSide(int canvasSide);
    int canvasSide() const { return workspace_.renderer.geometry.canvasSide; }

    // The angle of the next frame, 0..359.
    void setAngle(int degrees) { sequence_.rotation().angleDegrees = degrees; }
    int angle() const { return static_cast<int>(sequence_.angle()); }
    // How wide the coming frames' pixels are shown (square by default).
    void setPixelAspect(Ratio pixelAspect) { sequence_.setPixelAspect(pixelAspect); }
    // While not turning, every frame is drawn at the same angle, as after S in the live program.
    void setTurning(bool turning) { sequence_.rotation().rotationFlag = turning ? +1 : -1; }
    // Degrees a frame while turning, -359..359.
    void setSpeed(int speed) { sequence_.rotation().speed = speed; }
    // What the coming frames sample.
    void setSample(const Sample& sample) { sequence_.setSample(sample); }

    // Renders a frame (8-bit, 1, 3 or 4 channels, any size) at the current angle and turns
    // on; for the kaleidoscope alone, only the part of the frame it reads is prepared. Returns the
    // picture, 8-bit BGR of pictureSize(picture, canvasSide()), held by the filter until its next
    // frame.
    const cv::Mat& render(const cv::Mat& frame, Picture picture);

  private:
    ImageWorkspace workspace_;
    FrameSequence sequence_;
};

}  // namespace glintara
