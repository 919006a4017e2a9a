// glintara-render: the kaleidoscope of a still image or a video file, without a camera. From
// the command line to the exit status: parse, render, report.
#include <unistd.h>

#include <exception>
#include <iostream>
#include <string>
#include <variant>

#include <opencv2/core.hpp>

#include "core/interruption.hpp"
#include "core/user_error.hpp"
#include "core/library_log.hpp"
#include "render-tool/options.hpp"
#include "render-tool/progress.hpp"
#include "render-tool/render_job.hpp"

namespace {

using namespace glintara;
using namespace glintara::tool;

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int reportInterrupted(int signal) {
    std::cerr << "glintara-render: interrupted; nothing was written\n";
    return 128 + signal;
}

// Every failure names a file: one of OpenCV's own is laid at the input's door.
std::string failureText(const std::exception& error, const std::string& input) {
    if (const auto* opencv = dynamic_cast<const cv::Exception*>(&error)) {
        return input + ": could not be rendered: OpenCV failed: " + opencv->err;
    }
    return error.what();
}

int render(const Options& options) {
    const ProgressMode mode = options.quiet                ? ProgressMode::Silent
                              : isatty(STDERR_FILENO) != 0 ? ProgressMode::Live
                                                           : ProgressMode::Summary;
    try {
        renderFile(options, mode, std::cerr);
        return kExitDone;
    } catch (const Interrupted& interrupted) {
        return reportInterrupted(interrupted.signal);
    } catch (const UsageMistake& mistake) {
        std::cerr << "glintara-render: " << mistake.what() << '\n';
        return kExitUsage;
    } catch (const std::exception& error) {
        // A call a signal cut short fails in its own words; the signal is the cause.
        if (interruptionSignal() != 0) {
            return reportInterrupted(interruptionSignal());
        }
        std::cerr << "glintara-render: " << failureText(error, options.inputPath) << '\n';
    }
    return kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
    keepStandardStreamsOpen();
    const ParsedCommandLine parsed = parseCommandLine(argc, argv);
    if (std::holds_alternative<HelpRequested>(parsed)) {
        std::cout << usageText();
        return kExitDone;
    }
    if (const auto* mistake = std::get_if<UsageError>(&parsed)) {
        std::cerr << "glintara-render: " << mistake->message << '\n' << usageText();
        return kExitUsage;
    }
    silenceLibraryLog();
    // Decoding, rendering and encoding already keep both cores busy side by side: OpenCV's
    // own workers splitting each frame would only compete with them.
    cv::setNumThreads(1);
    catchInterruptions();
    return render(std::get<Options>(parsed));
}
