// The turning of the sampled triangle: the angle a frame is drawn at, `speed` degrees further
// per frame while it turns (one by default; a negative speed turns the other way, 0 holds
// it), and held while stopped. Each frame sequence keeps one.
#pragma once

namespace glintara {

inline constexpr int kFastestSpeed = 359;

struct RotationState {
    int angleDegrees = 0;   // 0..359
    int rotationFlag = +1;  // +1 turning, -1 stopped
    int speed = 1;          // degrees per frame, -359..359

    void toggle() { rotationFlag = -rotationFlag; }
    void advance() {
        if (rotationFlag == +1) {
            angleDegrees = ((angleDegrees + speed) % 360 + 360) % 360;
        }
    }
};

}  // namespace glintara
