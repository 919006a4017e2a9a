#include "render-tool/render_job.hpp"

#include <cstdint>
#include <exception>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <thread>

#include "core/bounded_queue.hpp"
#include "core/frame.hpp"
#include "core/interruption.hpp"
#include "core/user_error.hpp"
#include "core/workspace.hpp"
#include "render-tool/input.hpp"
#include "render-tool/output.hpp"

namespace glintara::tool {
namespace {

// Frame n of a run that starts at `angle` turns one degree further per frame.
double angleOfFrame(int angle, long long frame) {
    return static_cast<double>((angle + frame % 360) % 360);
}

void renderStill(const Options& options, const Input& input, ImageCodecs& codecs) {
    checkImageFormat(options.outputPath, codecs);
    if (options.capturePath) {
        checkImageFormat(*options.capturePath, codecs);
    }
    ImageWorkspace workspace = createWorkspace(options.size);
    FrameScratch scratch;
    loadFrame(input.still(), workspace, scratch);
    renderFrame(workspace, angleOfFrame(options.angle, 0));

    // Both are written beside their destinations before either is put in place.
    StillOutput output(options.outputPath, workspace.outputImage, codecs);
    std::optional<StillOutput> capture;
    if (options.capturePath) {
        capture.emplace(*options.capturePath, workspace.frameImage, codecs);
    }
    publishTogether({output.file(), capture ? capture->file() : nullptr});
}

// A frame on its way from the reader to the renderer, with its time in the input's unit.
struct DecodedFrame {
    cv::Mat picture;
    std::int64_t time = 0;
};

// A rendered frame on its way to the writers.
struct RenderedFrame {
    cv::Mat kaleidoscope;
    cv::Mat capture;
    std::int64_t time = 0;
};

// A finished picture goes to the writers as it is, and the spare image takes its place in the
// workspace: the next frame paints over all of it, the canvas and the frame alike.
void handOver(cv::Mat& finished, cv::Mat& spare) {
    spare.create(finished.size(), finished.type());
    std::swap(finished, spare);
}

// A decoded frame of the workspace's own size and layout takes the frame's place as it is,
// the frame's old image going back to the reader to decode into; any other is prepared.
// Without a capture to write, only the square of the frame that the kaleidoscope reads is made.
void takeFrame(cv::Mat& picture, bool wholeFrame, ImageWorkspace& workspace,
               FrameScratch& scratch) {
    if (picture.size() == workspace.frameImage.size() &&
        picture.type() == workspace.frameImage.type()) {
        std::swap(picture, workspace.frameImage);
        cutSquare(workspace);
    } else if (wholeFrame) {
        loadFrame(picture, workspace, scratch);
    } else {
        loadSquare(picture, workspace, scratch);
    }
}

// Frames in flight between two stages. Enough to smooth out a slow frame, few enough that
// memory stays small; spent images go back to be reused.
constexpr std::size_t kQueueDepth = 4;
constexpr std::size_t kSpares = kQueueDepth + 2;

// Decoding, rendering and encoding run at the same time, each on its own thread with a short
// queue between them. The frames keep their order and their bytes: each stage takes them one
// by one as the plain loop did.
void renderVideo(const Options& options, Input& input, Progress& progress, std::ostream& err) {
    ImageWorkspace workspace = createWorkspace(options.size);
    FrameScratch scratch;
    const auto streamOf = [&](const cv::Mat& picture) {
        return media::VideoStreamFormat{picture.size(), input.timeBase(), input.frameRate()};
    };
    VideoOutput output(options.outputPath, streamOf(workspace.outputImage), input.audio());
    if (!output.audioNote().empty()) {
        err << "glintara-render: " << output.audioNote() << '\n';
    }
    std::optional<VideoOutput> capture;
    if (options.capturePath) {
        capture.emplace(*options.capturePath, streamOf(workspace.frameImage));
    }

    const long long limit = options.frameLimit.value_or(std::numeric_limits<long long>::max());
    BoundedQueue<DecodedFrame> decoded(kQueueDepth), spareFrames(kSpares);
    BoundedQueue<RenderedFrame> rendered(kQueueDepth), spareRendered(kSpares);
    std::exception_ptr decodeFailure, encodeFailure;
    long long renderedCount = 0;
    {
        // Whatever way this block is left, both queues close so that both threads finish and
        // are joined before the outputs are committed or thrown away.
        std::jthread decoder([&] {
            try {
                for (long long taken = 0; taken < limit; ++taken) {
                    DecodedFrame frame = spareFrames.tryPop().value_or(DecodedFrame{});
                    if (!input.readFrame(frame.picture, frame.time) ||
                        !decoded.push(std::move(frame))) {
                        break;
                    }
                }
            } catch (...) {
                decodeFailure = std::current_exception();
            }
            // This thread reads the file no more: the sound's reader may read on.
            input.finishFrames();
            decoded.close();
        });
        std::jthread encoder([&] {
            try {
                while (std::optional<RenderedFrame> frame = rendered.pop()) {
                    output.write(frame->kaleidoscope, frame->time);
                    if (capture) {
                        capture->write(frame->capture, frame->time);
                    }
                    spareRendered.tryPush(std::move(*frame));
                }
            } catch (...) {
                encodeFailure = std::current_exception();
                rendered.close();
            }
        });
        const auto closeQueues = [&] {
            decoded.close();
            rendered.close();
        };
        try {
            while (std::optional<DecodedFrame> frame = decoded.pop()) {
                takeFrame(frame->picture, capture.has_value(), workspace, scratch);
                RenderedFrame out = spareRendered.tryPop().value_or(RenderedFrame{});
                out.time = frame->time;
                spareFrames.tryPush(std::move(*frame));
                renderFrame(workspace, angleOfFrame(options.angle, renderedCount));
                handOver(workspace.outputImage, out.kaleidoscope);
                if (capture) {
                    handOver(workspace.frameImage, out.capture);
                }
                if (!rendered.push(std::move(out))) {
                    break;  // the encoder has failed
                }
                ++renderedCount;
                progress.frameDone();
                stopIfInterrupted();
            }
        } catch (...) {
            closeQueues();
            throw;
        }
        closeQueues();
    }
    for (const std::exception_ptr& failure : {encodeFailure, decodeFailure}) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }

    const std::optional<long long> stated = input.frameCount();
    if (renderedCount < limit && (input.failed() || (stated && renderedCount < *stated))) {
        const std::string total = stated ? " of " + std::to_string(*stated) : "";
        throw fileError(input.path(), "frame " + std::to_string(renderedCount + 1) + total +
                                          " could not be decoded; " +
                                          std::to_string(renderedCount) +
                                          " frames were rendered and nothing was written");
    }
    output.finish();
    if (capture) {
        capture->finish();
    }
    publishTogether({output.file(), capture ? capture->file() : nullptr});
    progress.finish();
}

// Whether two names lead to one file: the same file by another name, or one yet to be made
// at the same place.
bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    if (std::filesystem::equivalent(a, b, error)) {
        return true;
    }
    const auto place = [](const std::string& name) {
        std::error_code ignored;
        return std::filesystem::weakly_canonical(std::filesystem::absolute(name, ignored), ignored);
    };
    return place(a) == place(b);
}

// No output may overwrite the input, nor the two outputs each other.
void checkDistinctFiles(const Options& options) {
    if (sameFile(options.outputPath, options.inputPath)) {
        throw fileError(options.outputPath, "is INPUT too; the kaleidoscope needs another name");
    }
    if (options.capturePath && sameFile(*options.capturePath, options.inputPath)) {
        throw fileError(*options.capturePath, "is INPUT too; the capture needs another name");
    }
    if (options.capturePath && sameFile(*options.capturePath, options.outputPath)) {
        throw fileError(*options.capturePath, "is OUTPUT too; the capture needs another name");
    }
}

}  // namespace

void renderFile(const Options& options, ProgressMode progressMode, std::ostream& err) {
    checkDistinctFiles(options);
    ImageCodecs codecs;
    Input input = Input::open(options.inputPath, codecs);
    const bool turnOfAStill = input.isStill() && isVideoOutput(options.outputPath);
    if (options.framesPerSecond && !turnOfAStill) {
        throw UserError("--fps sets the frame rate of the turn a still image becomes; " +
                        input.path() +
                        (input.isStill() ? " is rendered to a still image" : " keeps its own"));
    }
    if (input.isStill() && !turnOfAStill) {
        renderStill(options, input, codecs);
        return;
    }
    if (turnOfAStill) {
        // Prepared once, as the first frame would be: every frame after is the same picture.
        cv::Mat prepared(geometryFor(options.size).frameSize, CV_8UC3);
        FrameScratch scratch;
        prepareFrame(input.still(), prepared, scratch);
        input.readStillAsTurn(options.framesPerSecond.value_or(Ratio{30, 1}), prepared);
    }
    std::optional<long long> total = input.frameCount();
    if (options.frameLimit && (!total || *options.frameLimit < *total)) {
        total = options.frameLimit;
    }
    Progress progress(progressMode, err, total);
    try {
        renderVideo(options, input, progress, err);
    } catch (...) {
        progress.abandon();
        throw;
    }
}

namespace {

int reportInterrupted(int signal, std::ostream& err) {
    err << "glintara-render: interrupted; nothing was written\n";
    return 128 + signal;
}

// Every failure names a file: one of OpenCV's own is laid at the input's door.
std::string failureText(const std::exception& error, const std::string& input) {
    if (const auto* opencv = dynamic_cast<const cv::Exception*>(&error)) {
        return input + ": could not be rendered: OpenCV failed: " + opencv->err;
    }
    return error.what();
}

}  // namespace

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
        return reportInterrupted(interrupted.signal, err);
    } catch (const std::exception& error) {
        // A call a signal cut short fails in its own words; the signal is the cause.
        if (interruptionSignal() != 0) {
            return reportInterrupted(interruptionSignal(), err);
        }
        err << "glintara-render: " << failureText(error, options.inputPath) << '\n';
    }
    return kExitFailed;
}

}  // namespace glintara::tool
