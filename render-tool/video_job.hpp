// A video through the renderer, as FFmpeg's transcode example runs a file through a filter:
// the outputs opened, then decoding, rendering and encoding side by side on three threads
// with short queues between them, then the outputs finished and published together. The
// frames keep their order and their bytes.
#pragma once

#include <cstdint>
#include <exception>
#include <iosfwd>
#include <optional>

#include <opencv2/core.hpp>

#include "core/bounded_queue.hpp"
#include "core/frame_sequence.hpp"
#include "core/workspace.hpp"
#include "render-tool/input.hpp"
#include "render-tool/options.hpp"
#include "render-tool/output.hpp"
#include "render-tool/progress.hpp"

namespace glintara::tool {

// The guide picture is made only where a capture file is to be written.
inline Guide guideFor(const Options& options) {
    return options.capturePath ? Guide::Wanted : Guide::NotWanted;
}

class VideoJob {
  public:
    // Opens OUTPUT and the capture beside their destinations; a note on the sound goes to
    // `err`. Failures throw UserError naming the file.
    VideoJob(const Options& options, Input& input, Progress& progress, std::ostream& err,
             ImageCodecs& codecs);

    // Renders every frame, then finishes and publishes the outputs; on any failure, or a
    // signal, nothing is published.
    void run();

  private:
    // A frame on its way from the reader to the renderer, its time in the input's unit.
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

    void decodeAll();
    void renderAll();
    void encodeAll();
    void rethrowFailures() const;
    void checkEveryFrameRead() const;
    void finishAndPublish();

    Input& input_;
    Progress& progress_;
    std::ostream& err_;
    ImageWorkspace workspace_;
    FrameSequence sequence_;
    Guide guide_;
    VideoOutput output_;
    std::optional<VideoOutput> capture_;
    long long limit_;
    long long rendered_ = 0;

    // Frames in flight between two stages, and spent images on their way back to be reused.
    BoundedQueue<DecodedFrame> decoded_, spareDecoded_;
    BoundedQueue<RenderedFrame> renderedQueue_, spareRendered_;
    std::exception_ptr decodeFailure_, encodeFailure_;
};

}  // namespace glintara::tool
