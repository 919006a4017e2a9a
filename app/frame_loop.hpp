// The frame loop: take a frame, render it at the current angle, show both windows, react to
// a key. Reaches the machine only through FrameSource and Screen.
#pragma once

#include <functional>

#include "app/platform.hpp"
#include "app/workspace.hpp"

namespace glintara {

inline constexpr int kKeyWaitMs = 30;

// The only state kept across frames: the angle and whether it advances.
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

enum class LoopEnd { ExitKey, WindowClosed, NoFrame };

// Draws the guide outline and the kaleidoscope for a loaded frame.
using RenderStep = std::function<void(ImageWorkspace&, double angle)>;

// Runs until an exit key, a closed window or a missing frame.
LoopEnd runFrameLoop(FrameSource& source, Screen& screen, ImageWorkspace& workspace,
                     const RenderStep& render);

}  // namespace glintara
