// glintara: the live kaleidoscope of a camera (camera 0 unless --camera names another).
#include <iostream>

#include "app/application.hpp"
#include "app/arguments.hpp"
#include "app/camera.hpp"
#include "app/highgui_screen.hpp"
#include "app/latest_frame.hpp"
#include "core/library_log.hpp"
#include "core/workspace.hpp"

int main(int argc, char** argv) {
    using namespace glintara;
    const LiveCommandLine commandLine = parseLiveCommandLine(argc, argv);
    if (std::holds_alternative<HelpRequested>(commandLine)) {
        std::cout << liveUsageText();
        return 0;
    }
    if (const auto* mistake = std::get_if<UsageError>(&commandLine)) {
        std::cerr << "glintara: " << mistake->message << '\n' << liveUsageText();
        return 2;
    }
    const LiveOptions options = std::get<LiveOptions>(commandLine);
    const cv::Size frameSize = geometryFor(options.size).frameSize;
    silenceLibraryLog();
    const Platform platform{
        .openSource =
            [&] {
                return std::make_unique<LatestFrameSource>(openCamera(options.camera, frameSize));
            },
        .openScreen = [&] { return openHighguiScreen(frameSize.width); },
        .canvasSide = options.size,
    };
    return runApplication(platform, std::cout, std::cerr, renderFrame);
}
