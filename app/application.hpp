// The whole live program over its platform edges: set-up, the frame loop, clean-up.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <vector>

#include "app/frame_loop.hpp"
#include "app/platform.hpp"
#include "render/sizes.hpp"

namespace glintara {

// Opens the frame source, the other outputs and the screen. Each throws std::exception with
// a line for the user when it cannot.
struct Platform {
    std::function<std::unique_ptr<FrameSource>()> openSource;
    std::function<std::unique_ptr<Screen>()> openScreen;
    std::function<std::vector<std::unique_ptr<FrameOutput>>()> openOutputs = [] {
        return std::vector<std::unique_ptr<FrameOutput>>{};
    };
    int canvasSide = kDefaultCanvasSide;  // the kaleidoscope window's side
    bool windows = true;                  // false: no window, no key, and no key help
    LoopStart start{};                    // where the sample starts, how fast it turns
};

// Prints the key help on out and runs until the user ends it (status 0) or something fails
// (one line on err, status 1). The outputs are opened before the windows, so that one that
// cannot be opened is said before any window appears. Releases the source, then the images,
// then the windows, and then finishes the outputs (a recording is put in place), each saying
// its end line on out.
int runApplication(const Platform& platform, std::ostream& out, std::ostream& err,
                   const RenderStep& render);

}  // namespace glintara
