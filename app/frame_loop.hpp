// The frame loop: take a frame, render it at the current angle, show both windows and hand
// the frame to the other outputs, react to a key. Reaches the machine only through
// FrameSource, Screen and FrameOutput.
#pragma once

#include <span>

#include "app/platform.hpp"
#include "core/frame_sequence.hpp"
#include "core/workspace.hpp"

namespace glintara {

inline constexpr int kKeyWaitMs = 30;

enum class LoopEnd { ExitKey, WindowClosed, NoFrame, Interrupted };

// Where the sample starts and how fast it turns.
struct LoopStart {
    Sample sample;
    int speed = 1;
};

// Runs until an exit key, a closed window, a missing frame or a signal that asks the program
// to end (once signals are caught).
LoopEnd runFrameLoop(FrameSource& source, Screen& screen, ImageWorkspace& workspace,
                     const RenderStep& render, std::span<FrameOutput* const> outputs = {},
                     const LoopStart& start = {});

}  // namespace glintara
