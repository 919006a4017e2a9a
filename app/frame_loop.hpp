// The frame loop: take a frame, render it at the current angle, show both windows, react to
// a key. Reaches the machine only through FrameSource and Screen.
#pragma once

#include "app/platform.hpp"
#include "core/frame_sequence.hpp"
#include "core/workspace.hpp"

namespace glintara {

inline constexpr int kKeyWaitMs = 30;

enum class LoopEnd { ExitKey, WindowClosed, NoFrame };

// Runs until an exit key, a closed window or a missing frame.
LoopEnd runFrameLoop(FrameSource& source, Screen& screen, ImageWorkspace& workspace,
                     const RenderStep& render);

}  // namespace glintara
