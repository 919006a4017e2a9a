// The turning of the sampled triangle: the angle a frame is drawn at, one degree further per
// frame while it turns, and held while stopped. Each frame sequence keeps one.
#pragma once

namespace glintara {

struct RotationState {
    int angleDegrees = 0;   // 0..359
    int rotationFlag = +1;  // +1 turning, -1 stopped

    void toggle() { rotationFlag = -rotationFlag; }
    // One degree further per frame while turning.
    void advance() {
        if (rotationFlag == +1) {
            angleDegrees = (angleDegrees + 1) % 360;
        }
    }
};

}  // namespace glintara
