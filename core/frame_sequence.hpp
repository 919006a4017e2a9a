// What every front door does with each frame: prepare it into the workspace as a camera frame
// is, render it at the rotation's angle, and turn on. The live loop, the file jobs, the element
// and the frei0r filter all run it.
#pragma once

#include <functional>

#include <opencv2/core.hpp>

#include "core/frame.hpp"
#include "core/rotation.hpp"
#include "core/workspace.hpp"

namespace glintara {

// Draws the guide outline and the kaleidoscope for a loaded frame: renderFrame, or a stand-in
// in tests and benchmarks.
using RenderStep = std::function<void(ImageWorkspace&, double angle)>;

// Whether the prepared frame with the guide triangle is wanted besides the kaleidoscope. When
// it is not, only the square the kaleidoscope reads is prepared, and frameImage is not a
// picture to show.
enum class Guide { Wanted, NotWanted };

class FrameSequence {
  public:
    explicit FrameSequence(int firstAngle = 0, RenderStep render = renderFrame);

    RotationState& rotation() { return rotation_; }
    // How wide the coming frames' pixels are shown (square by default): their part shown 4:3
    // is what is prepared.
    void setPixelAspect(Ratio pixelAspect) { pixelAspect_ = pixelAspect; }
    // What the coming frames sample (the middle at zoom 1 by default).
    void setSample(const Sample& sample) { sample_ = sample; }
    const Sample& sample() const { return sample_; }
    double angle() const { return static_cast<double>(rotation_.angleDegrees); }

    // Prepares the frame (8-bit or deeper, 1 to 4 channels, any size) into the workspace and
    // renders it at the current angle.
    void render(const cv::Mat& frame, ImageWorkspace& workspace, Guide guide);
    // The same for a frame the caller gives up: one of frameImage's own size and type takes
    // its place without a copy, and `frame` is left holding frameImage's old image.
    void renderTaking(cv::Mat& frame, ImageWorkspace& workspace, Guide guide);
    // On by the speed while turning.
    void advance() { rotation_.advance(); }

  private:
    RenderStep render_;
    FrameScratch scratch_;
    RotationState rotation_;
    Ratio pixelAspect_ = kSquarePixels;
    Sample sample_;
};

}  // namespace glintara
