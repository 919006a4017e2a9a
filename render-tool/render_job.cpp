// glintara-render's job: a still to a still, or a video (or the turn a still becomes) to a
// video, each output published only when complete.
#include "render-tool/render_job.hpp"

#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <optional>

#include "core/frame.hpp"
#include "core/frame_sequence.hpp"
#include "core/user_error.hpp"
#include "core/workspace.hpp"
#include "render-tool/input.hpp"
#include "render-tool/output.hpp"
#include "render-tool/video_job.hpp"

namespace glintara::tool {
namespace {

void renderStill(const Options& options, const cv::Mat& picture, Ratio pixelAspect,
                 ImageCodecs& codecs) {
    checkImageFormat(options.outputPath, codecs);
    if (options.capturePath) {
        checkImageFormat(*options.capturePath, codecs);
    }
    ImageWorkspace workspace = createWorkspace(options.size);
    FrameSequence sequence(options.angle);
    sequence.setSample(options.sample);
    sequence.setPixelAspect(pixelAspect);
    sequence.render(picture, workspace, guideFor(options));

    // Both are written beside their destinations before either is put in place.
    StillOutput output(options.outputPath, workspace.outputImage, codecs);
    std::optional<StillOutput> capture;
    if (options.capturePath) {
        capture.emplace(*options.capturePath, workspace.frameImage, codecs);
    }
    publishTogether({output.file(), capture ? capture->file() : nullptr});
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

// An output named as an existing folder is refused before anything is read.
void checkNotAFolder(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw fileError(path, "is a directory");
    }
}

// No output may be a folder or overwrite the input, nor the two outputs each other.
void checkDistinctFiles(const Options& options) {
    checkNotAFolder(options.outputPath);
    if (options.capturePath) {
        checkNotAFolder(*options.capturePath);
    }
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

// A whole turn at `speed` degrees a frame: the frames until the angle first comes back.
long long framesPerTurn(int speed) {
    return 360 / std::gcd(360, std::abs(speed));
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
        renderStill(options, input.still(), kSquarePixels, codecs);
        return;
    }
    if (!input.isStill() && !isVideoOutput(options.outputPath) && options.frameLimit == 1 &&
        codecs.haveWriter(options.outputPath)) {
        // One frame of a video to a still name: that frame, as a still.
        cv::Mat first;
        std::int64_t time = 0;
        if (!input.readFrame(first, time)) {
            throw fileError(input.path(), "holds no frame that can be read");
        }
        renderStill(options, first, input.pixelAspect(), codecs);
        return;
    }
    if (!input.isStill() && !isVideoOutput(options.outputPath)) {
        throw fileError(options.outputPath,
                        "INPUT is a video, so OUTPUT needs the extension of a video format "
                        "(.mp4, .m4v, .mov, .mkv, .webm, .avi or .webp) or a numbered still "
                        "name such as frame-%04d.png; with --frames 1 a still name takes the "
                        "first frame");
    }
    if (turnOfAStill) {
        if (options.speed == 0) {
            throw UsageMistake(
                "--speed 0 holds the angle, so a still makes no turn: give --speed a whole "
                "number of degrees other than 0, or OUTPUT a still image's extension");
        }
        // Prepared once, as the first frame would be: every frame after is the same picture.
        cv::Mat prepared(geometryFor(options.size).frameSize, CV_8UC3);
        FrameScratch scratch;
        prepareFrame(input.still(), prepared, scratch);
        input.readStillAsTurn(options.framesPerSecond.value_or(Ratio{30, 1}), prepared,
                              framesPerTurn(options.speed));
    }
    std::optional<long long> total = input.frameCount();
    if (options.frameLimit && (!total || *options.frameLimit < *total)) {
        total = options.frameLimit;
    }
    Progress progress(progressMode, err, total);
    try {
        VideoJob(options, input, progress, err, codecs).run();
    } catch (...) {
        progress.abandon();
        throw;
    }
}

}  // namespace glintara::tool
