// The window edge: a Screen over OpenCV's windows and key polling.
#pragma once

#include <memory>

#include "app/platform.hpp"

namespace glintara {

// Creates the "Capture" and "Glintara" windows side by side, the first `frameWidth` pixels
// wide; throws std::runtime_error when no display can be reached. The windows are destroyed
// with the screen.
std::unique_ptr<Screen> openHighguiScreen(int frameWidth, bool fullscreen = false);

}  // namespace glintara
