// The whole live program over its two platform edges: set-up, the frame loop, clean-up.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>

#include "app/frame_loop.hpp"
#include "app/platform.hpp"
#include "render/sizes.hpp"

namespace glintara {

// Opens the frame source and the screen. Each throws std::exception with a line for the
// user when it cannot.
struct Platform {
    std::function<std::unique_ptr<FrameSource>()> openSource;
    std::function<std::unique_ptr<Screen>()> openScreen;
    int canvasSide = kDefaultCanvasSide;  // the kaleidoscope window's side
};

// Prints the key help on out and runs until the user ends it (status 0) or something fails
// (one line on err, status 1). Releases the source, then the images, then the windows.
int runApplication(const Platform& platform, std::ostream& out, std::ostream& err,
                   const RenderStep& render);

}  // namespace glintara
