// glintara: the live kaleidoscope of camera 0.
#include <iostream>

#include "app/application.hpp"
#include "app/camera.hpp"
#include "app/highgui_screen.hpp"
#include "app/latest_frame.hpp"
#include "core/library_log.hpp"
#include "core/workspace.hpp"

int main() {
    using namespace glintara;
    silenceLibraryLog();
    const Platform platform{
        .openSource =
            [] {
                return std::make_unique<LatestFrameSource>(
                    openCamera(0, {kFrameWidth, kFrameHeight}));
            },
        .openScreen = openHighguiScreen,
    };
    return runApplication(platform, std::cout, std::cerr, renderFrame);
}
