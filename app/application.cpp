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

}  // namespace

int runApplication(const Platform& platform, std::ostream& out, std::ostream& err,
                   const RenderStep& render) {
    std::unique_ptr<FrameSource> source;
    std::unique_ptr<Screen> screen;
    ImageWorkspace workspace;
    int status = 0;
    try {
        source = platform.openSource();
        screen = platform.openScreen();
        workspace = createWorkspace(platform.canvasSide);
        printKeyHelp(out);

        if (runFrameLoop(*source, *screen, workspace, render) == LoopEnd::NoFrame) {
            status = reportFailure(err, "no frame could be taken from the camera");
        }
    } catch (const std::exception& error) {
        status = reportFailure(err, error.what());
    }
    source.reset();
    workspace = ImageWorkspace{};
    screen.reset();
    return status;
}

}  // namespace glintara
