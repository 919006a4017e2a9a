#include "app/live_program.hpp"

#include <iostream>

#include "app/highgui_screen.hpp"
#include "app/latest_frame.hpp"
#include "app/no_screen.hpp"
#include "app/recorder.hpp"
#include "app/virtual_camera.hpp"
#include "core/interruption.hpp"
#include "core/library_log.hpp"
#include "core/workspace.hpp"

namespace glintara {
namespace {

constexpr int kUsageMistake = 2;

std::vector<std::unique_ptr<FrameOutput>> openOutputs(const LiveOptions& options) {
    const Geometry geometry = geometryFor(options.size);
    const cv::Size canvas(options.size, options.size);
    std::vector<std::unique_ptr<FrameOutput>> outputs;
    if (options.virtualCamera) {
        outputs.push_back(openVirtualCamera(*options.virtualCamera, canvas));
    }
    if (!options.record.empty()) {
        outputs.push_back(std::make_unique<Recorder>(
            options.record, Recorder::Picture::Kaleidoscope, canvas, options.sound));
    }
    if (!options.recordCapture.empty()) {
        outputs.push_back(std::make_unique<Recorder>(
            options.recordCapture, Recorder::Picture::Capture, geometry.frameSize, options.sound));
    }
    return outputs;
}

std::unique_ptr<Screen> openScreen(const LiveOptions& options) {
    if (!options.window) {
        return std::make_unique<NoScreen>();
    }
    return openHighguiScreen(geometryFor(options.size).frameSize.width, options.fullscreen);
}

}  // namespace

Platform livePlatform(const LiveOptions& options, const CameraOpener& openCamera) {
    const cv::Size frameSize = geometryFor(options.size).frameSize;
    return {
        .openSource =
            [=] {
                return std::make_unique<LatestFrameSource>(openCamera(options.camera, frameSize));
            },
        .openScreen = [=] { return openScreen(options); },
        .openOutputs = [=] { return openOutputs(options); },
        .canvasSide = options.size,
        .windows = options.window,
        .start = {options.sample, options.speed},
    };
}

int runLiveProgram(int argc, const char* const* argv, const CameraOpener& openCamera) {
    const LiveCommandLine commandLine = parseLiveCommandLine(argc, argv);
    if (std::holds_alternative<HelpRequested>(commandLine)) {
        std::cout << liveUsageText();
        return 0;
    }
    if (const auto* mistake = std::get_if<UsageError>(&commandLine)) {
        std::cerr << "glintara: " << mistake->message << '\n' << liveUsageText();
        return kUsageMistake;
    }
    silenceLibraryLog();
    // Ctrl-C, SIGTERM and SIGHUP end the run as a quit key does, recordings finished.
    catchInterruptions();
    const Platform platform = livePlatform(std::get<LiveOptions>(commandLine), openCamera);
    return runApplication(platform, std::cout, std::cerr, renderFrame);
}

}  // namespace glintara
