#include "render-tool/render_job.hpp"

#include <limits>
#include <ostream>

#include "app/frame.hpp"
#include "app/workspace.hpp"
#include "render-tool/input.hpp"
#include "render-tool/interruption.hpp"
#include "render-tool/output.hpp"
#include "render-tool/tool_error.hpp"
#include "app/workspace.hpp"

namespace glintara::tool {
namespace {

// Frame n of a run that starts at `angle` turns one degree further per frame.
double angleOfFrame(int angle, long long frame) {
    return static_cast<double>((angle + frame % 360) % 360);
}

void renderStill(const Options& options, const Input& input) {
    checkImageFormat(options.outputPath);
    if (options.capturePath) {
        checkImageFormat(*options.capturePath);
    }
    ImageWorkspace workspace = createWorkspace();
    FrameScratch scratch;
    loadFrame(input.still(), workspace, scratch);
    renderFrame(workspace, angleOfFrame(options.angle, 0));

    // Both are written beside their destinations before either is put in place.
    StillOutput output(options.outputPath, workspace.outputImage);
    std::optional<StillOutput> capture;
    if (options.capturePath) {
        capture.emplace(*options.capturePath, workspace.frameImage);
    }
    stopIfInterrupted();
    output.commit();
    if (capture) {
        capture->commit();
    }
}

void renderVideo(const Options& options, Input& input, Progress& progress) {
    ImageWorkspace workspace = createWorkspace();
    FrameScratch scratch;
    VideoOutput output(options.outputPath, input.framesPerSecond(), workspace.outputImage.size());
    std::optional<VideoOutput> capture;
    if (options.capturePath) {
        capture.emplace(*options.capturePath, input.framesPerSecond(), workspace.frameImage.size());
    }

    const long long limit = options.frameLimit.value_or(std::numeric_limits<long long>::max());
    cv::Mat frame;
    long long rendered = 0;
    while (rendered < limit && input.readFrame(frame)) {
        loadFrame(frame, workspace, scratch);
        renderFrame(workspace, angleOfFrame(options.angle, rendered));
        output.write(workspace.outputImage);
        if (capture) {
            capture->write(workspace.frameImage);
        }
        ++rendered;
        progress.frameDone();
        stopIfInterrupted();
    }

    const std::optional<long long> stated = input.frameCount();
    if (rendered < limit && stated && rendered < *stated) {
        throw fileError(input.path(), "frame " + std::to_string(rendered + 1) + " of " +
                                          std::to_string(*stated) + " could not be decoded; " +
                                          std::to_string(rendered) +
                                          " frames were rendered and nothing was written");
    }
    output.commit();
    if (capture) {
        capture->commit();
    }
    progress.finish();
}

}  // namespace

void renderFile(const Options& options, ProgressMode progressMode, std::ostream& err) {
    Input input = Input::open(options.inputPath);
    if (input.isStill()) {
        renderStill(options, input);
        return;
    }
    std::optional<long long> total = input.frameCount();
    if (options.frameLimit && (!total || *options.frameLimit < *total)) {
        total = options.frameLimit;
    }
    Progress progress(progressMode, err, total);
    try {
        renderVideo(options, input, progress);
    } catch (...) {
        progress.abandon();
        throw;
    }
}

int runRenderTool(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                  bool errIsTerminal) {
    const ParsedCommandLine parsed = parseCommandLine(argc, argv);
    if (std::holds_alternative<HelpRequested>(parsed)) {
        out << usageText();
        return kExitDone;
    }
    if (const auto* mistake = std::get_if<UsageError>(&parsed)) {
        err << "glintara-render: " << mistake->message << '\n' << usageText();
        return kExitUsage;
    }
    const Options& options = std::get<Options>(parsed);
    const ProgressMode mode = options.quiet   ? ProgressMode::Silent
                              : errIsTerminal ? ProgressMode::Live
                                              : ProgressMode::Summary;
    try {
        renderFile(options, mode, err);
        return kExitDone;
    } catch (const Interrupted& interrupted) {
        err << "glintara-render: interrupted; nothing was written\n";
        return 128 + interrupted.signal;
    } catch (const ToolError& error) {
        err << "glintara-render: " << error.what() << '\n';
    } catch (const cv::Exception& error) {
        err << "glintara-render: OpenCV failed: " << error.err << '\n';
    } catch (const std::exception& error) {
        err << "glintara-render: " << error.what() << '\n';
    }
    return kExitFailed;
}

}  // namespace glintara::tool
