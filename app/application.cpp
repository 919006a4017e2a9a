#include "app/application.hpp"

#include <exception>
#include <ostream>
#include <string>

#include "app/keys.hpp"
#include "core/workspace.hpp"

namespace glintara {
namespace {

constexpr int kFailure = 1;

int reportFailure(std::ostream& err, std::string message) {
    // Library messages can span lines; the user gets one.
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    for (char& c : message) {
        if (c == '\n') {
            c = ' ';
        }
    }
    err << "glintara: " << message << '\n';
    return kFailure;
}

std::vector<FrameOutput*> viewsOf(const std::vector<std::unique_ptr<FrameOutput>>& outputs) {
    std::vector<FrameOutput*> views;
    for (const auto& output : outputs) {
        views.push_back(output.get());
    }
    return views;
}

// Finishes every output, even after one has failed; the status of the whole.
int finishOutputs(std::vector<std::unique_ptr<FrameOutput>>& outputs, std::ostream& out,
                  std::ostream& err, int status) {
    for (std::unique_ptr<FrameOutput>& output : outputs) {
        try {
            if (const std::string line = output->finish(); !line.empty()) {
                out << line << '\n';
            }
        } catch (const std::exception& error) {
            status = reportFailure(err, error.what());
        }
        output.reset();
    }
    return status;
}

}  // namespace

int runApplication(const Platform& platform, std::ostream& out, std::ostream& err,
                   const RenderStep& render) {
    std::unique_ptr<FrameSource> source;
    std::vector<std::unique_ptr<FrameOutput>> outputs;
    std::unique_ptr<Screen> screen;
    ImageWorkspace workspace;
    int status = 0;
    try {
        source = platform.openSource();
        outputs = platform.openOutputs();
        screen = platform.openScreen();
        workspace = createWorkspace(platform.canvasSide);
        if (platform.windows) {
            printKeyHelp(out);
        }

        const std::vector<FrameOutput*> views = viewsOf(outputs);
        if (runFrameLoop(*source, *screen, workspace, render, views, platform.start) ==
            LoopEnd::NoFrame) {
            status = reportFailure(err, "no frame could be taken from the camera");
        }
    } catch (const std::exception& error) {
        status = reportFailure(err, error.what());
    }
    source.reset();
    workspace = ImageWorkspace{};
    screen.reset();
    return finishOutputs(outputs, out, err, status);
}

}  // namespace glintara
