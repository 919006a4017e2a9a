// The three-stage video job: read, render, write.
#include "render-tool/video_job.hpp"

#include <algorithm>
#include <limits>
#include <ostream>
#include <thread>

#include "core/interruption.hpp"
#include "core/user_error.hpp"

namespace glintara::tool {
namespace {

// Enough frames in flight to smooth out a slow one, few enough that memory stays small: four,
// or for the largest canvases as many rendered frames as fit in 192 MiB, at least one.
constexpr std::size_t kQueueDepth = 4;
constexpr std::size_t kRenderedBytesInFlight = std::size_t{192} << 20;

std::size_t renderedDepthFor(const Options& options) {
    const Geometry geometry = geometryFor(options.size);
    std::size_t bytes = geometry.canvasSize().area() * std::size_t{3};
    if (options.capturePath) {
        bytes += static_cast<std::size_t>(geometry.frameSize.area()) * 3;
    }
    return std::clamp<std::size_t>(kRenderedBytesInFlight / bytes, 1, kQueueDepth);
}

media::VideoStreamFormat streamOf(const cv::Mat& picture, const Input& input) {
    return {picture.size(), input.timeBase(), input.frameRate()};
}

// A finished picture goes to the writers as it is, and the spare image takes its place in the
// workspace: the next frame paints over all of it, the canvas and the frame alike.
void handOver(cv::Mat& finished, cv::Mat& spare) {
    spare.create(finished.size(), finished.type());
    std::swap(finished, spare);
}

// Closes the queues when the job's scope is left, however it is left, so that the threads
// finish and are joined before the outputs are finished or thrown away.
template <typename A, typename B>
struct ClosesOnExit {
    A& a;
    B& b;
    ~ClosesOnExit() {
        a.close();
        b.close();
    }
};

}  // namespace

VideoJob::VideoJob(const Options& options, Input& input, Progress& progress, std::ostream& err,
                   ImageCodecs& codecs)
    : input_(input),
      progress_(progress),
      err_(err),
      workspace_(createWorkspace(options.size)),
      sequence_(options.angle),
      guide_(guideFor(options)),
      output_(options.outputPath, streamOf(workspace_.outputImage, input), input.audio(),
              codecs),
      limit_(options.frameLimit.value_or(std::numeric_limits<long long>::max())),
      decoded_(kQueueDepth),
      spareDecoded_(kQueueDepth + 2),
      renderedQueue_(renderedDepthFor(options)),
      spareRendered_(renderedDepthFor(options) + 2) {
    if (!output_.audioNote().empty()) {
        err << "glintara-render: " << output_.audioNote() << '\n';
    }
    if (options.capturePath) {
        capture_.emplace(*options.capturePath, streamOf(workspace_.frameImage, input), nullptr,
                         codecs);
    }
    sequence_.setPixelAspect(input.pixelAspect());
    sequence_.setSample(options.sample);
    sequence_.rotation().speed = options.speed;
}

void VideoJob::run() {
    {
        std::jthread decoder([this] { decodeAll(); });
        std::jthread encoder([this] { encodeAll(); });
        const ClosesOnExit closer{decoded_, renderedQueue_};
        renderAll();
    }
    rethrowFailures();
    checkEveryFrameRead();
    finishAndPublish();
}

void VideoJob::decodeAll() {
    try {
        for (long long taken = 0; taken < limit_; ++taken) {
            DecodedFrame frame = spareDecoded_.tryPop().value_or(DecodedFrame{});
            if (!input_.readFrame(frame.picture, frame.time) || !decoded_.push(std::move(frame))) {
                break;
            }
        }
    } catch (...) {
        decodeFailure_ = std::current_exception();
    }
    // This thread reads the file no more: the sound's reader may read on.
    input_.finishFrames();
    decoded_.close();
}

void VideoJob::renderAll() {
    while (std::optional<DecodedFrame> frame = decoded_.pop()) {
        sequence_.renderTaking(frame->picture, workspace_, guide_);
        sequence_.advance();
        RenderedFrame out = spareRendered_.tryPop().value_or(RenderedFrame{});
        out.time = frame->time;
        spareDecoded_.tryPush(std::move(*frame));
        handOver(workspace_.outputImage, out.kaleidoscope);
        if (capture_) {
            handOver(workspace_.frameImage, out.capture);
        }
        if (!renderedQueue_.push(std::move(out))) {
            return;  // the encoder has failed
        }
        ++rendered_;
        progress_.frameDone();
        stopIfInterrupted();
    }
}

void VideoJob::encodeAll() {
    try {
        while (std::optional<RenderedFrame> frame = renderedQueue_.pop()) {
            output_.write(frame->kaleidoscope, frame->time);
            if (capture_) {
                capture_->write(frame->capture, frame->time);
            }
            spareRendered_.tryPush(std::move(*frame));
        }
    } catch (...) {
        encodeFailure_ = std::current_exception();
        renderedQueue_.close();
    }
}

void VideoJob::rethrowFailures() const {
    for (const std::exception_ptr& failure : {encodeFailure_, decodeFailure_}) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
}

// A video that stops decoding partway, or holds fewer frames than it states, is not rendered
// in part.
void VideoJob::checkEveryFrameRead() const {
    const std::optional<long long> stated = input_.frameCount();
    if (rendered_ < limit_ && (input_.failed() || (stated && rendered_ < *stated))) {
        const std::string total = stated ? " of " + std::to_string(*stated) : "";
        throw fileError(input_.path(), "frame " + std::to_string(rendered_ + 1) + total +
                                           " could not be decoded; " + std::to_string(rendered_) +
                                           " frames were rendered and nothing was written");
    }
}

void VideoJob::finishAndPublish() {
    const bool soundCut = output_.finish();
    if (capture_) {
        capture_->finish();
    }
    std::vector<PendingFile*> files = output_.files();
    if (capture_) {
        for (PendingFile* file : capture_->files()) {
            files.push_back(file);
        }
    }
    publishTogether(files);
    progress_.finish();
    // Sound cut by --frames is what was asked for; sound that outlasts the whole picture is cut
    // too, as a kaleidoscope of nothing is not wanted, and said.
    if (soundCut && rendered_ < limit_) {
        err_ << "glintara-render: " << input_.path()
             << ": the sound goes on past the last frame and is cut there\n";
    }
}

}  // namespace glintara::tool
