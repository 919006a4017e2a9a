#include "render-tool/webp_animation.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

#include <webp/encode.h>
#include <webp/mux.h>

#include "core/bounded_queue.hpp"
#include "core/user_error.hpp"

namespace glintara::tool {
namespace {

// Quality 80 at libwebp's least effort. Effort buys a smaller file, not a truer picture: on a
// photo's turn, effort 0 comes as close to the exact render as higher efforts do (about 40 dB
// of brightness PSNR), in two thirds of their time, for files about a fifth larger.
constexpr float kQuality = 80.0f;
constexpr int kMethod = 0;
constexpr int kEncoderThreads = 2;
constexpr std::size_t kFramesInFlight = 4;
constexpr int kMillisecondsPerSecond = 1000;

// A picture for the encoder and the bytes it becomes, freed whatever happens.
struct Picture {
    Picture() { WebPPictureInit(&picture); }
    ~Picture() { WebPPictureFree(&picture); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    WebPPicture picture;
};
struct Written {
    Written() { WebPMemoryWriterInit(&writer); }
    ~Written() { WebPMemoryWriterClear(&writer); }
    Written(const Written&) = delete;
    Written& operator=(const Written&) = delete;
    WebPMemoryWriter writer;
};
struct MuxFree {
    void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};
struct Assembled {
    Assembled() { WebPDataInit(&data); }
    ~Assembled() { WebPDataClear(&data); }
    Assembled(const Assembled&) = delete;
    Assembled& operator=(const Assembled&) = delete;
    WebPData data;
};

// One frame as a WebP picture of its own; empty when libwebp fails.
std::vector<std::uint8_t> encodeFrame(const cv::Mat& frame, const WebPConfig& config) {
    Picture picture;
    picture.picture.use_argb = 0;
    picture.picture.width = frame.cols;
    picture.picture.height = frame.rows;
    Written written;
    picture.picture.writer = WebPMemoryWrite;
    picture.picture.custom_ptr = &written.writer;
    if (!WebPPictureImportBGR(&picture.picture, frame.ptr<uint8_t>(),
                              static_cast<int>(frame.step[0])) ||
        !WebPEncode(&config, &picture.picture)) {
        return {};
    }
    return {written.writer.mem, written.writer.mem + written.writer.size};
}

struct Job {
    std::size_t index = 0;
    cv::Mat frame;
};

}  // namespace

struct WebpAnimation::Encoders {
    std::string destination;
    cv::Size size;
    Ratio timeBase;
    Ratio frameRate;
    WebPConfig config{};
    BoundedQueue<Job> jobs{kFramesInFlight};
    BoundedQueue<cv::Mat> spareFrames{kFramesInFlight + kEncoderThreads};
    std::mutex mutex;  // guards what follows
    std::vector<std::vector<std::uint8_t>> encoded;
    bool failed = false;
    std::vector<int> startMilliseconds;  // of each frame, in order
    std::vector<std::jthread> threads;

    [[noreturn]] void fail(const char* what) const { throw fileError(destination, what); }

    void encodeJobs() {
        while (std::optional<Job> job = jobs.pop()) {
            std::vector<std::uint8_t> bytes;
            try {
                bytes = encodeFrame(job->frame, config);
            } catch (...) {  // out of memory: said as a failed frame
            }
            const std::lock_guard lock(mutex);
            failed = failed || bytes.empty();
            encoded[job->index] = std::move(bytes);
            spareFrames.tryPush(std::move(job->frame));
        }
    }

    int millisecondsOf(std::int64_t time) const {
        const double seconds = static_cast<double>(time) * timeBase.num / timeBase.den;
        return static_cast<int>(std::llround(seconds * kMillisecondsPerSecond));
    }

    // How long each frame is shown: until the next one, the last for a frame's length at the
    // stated rate, else as long as the one before it.
    int durationOf(std::size_t frame) const {
        if (frame + 1 < startMilliseconds.size()) {
            return startMilliseconds[frame + 1] - startMilliseconds[frame];
        }
        if (frameRate.num > 0) {
            return std::max(
                1, static_cast<int>(std::llround(static_cast<double>(kMillisecondsPerSecond) *
                                                 frameRate.den / frameRate.num)));
        }
        return frame > 0 ? durationOf(frame - 1) : 100;
    }

    void stop() {
        jobs.close();
        threads.clear();  // joins them
    }
};

WebpAnimation::WebpAnimation(const std::string& destination, cv::Size size, Ratio timeBase,
                             Ratio frameRate)
    : encoders_(std::make_unique<Encoders>()) {
    Encoders& e = *encoders_;
    e.destination = destination;
    e.size = size;
    e.timeBase = timeBase;
    e.frameRate = frameRate;
    if (!WebPConfigInit(&e.config)) {
        e.fail("the WebP library does not match the one built against");
    }
    e.config.quality = kQuality;
    e.config.method = kMethod;
    if (!WebPValidateConfig(&e.config)) {
        e.fail("the WebP settings were refused");
    }
    for (int t = 0; t < kEncoderThreads; ++t) {
        e.threads.emplace_back([&e] { e.encodeJobs(); });
    }
}

WebpAnimation::~WebpAnimation() {
    encoders_->stop();
}

void WebpAnimation::write(const cv::Mat& frame, std::int64_t time) {
    Encoders& e = *encoders_;
    CV_Assert(frame.type() == CV_8UC3 && frame.size() == e.size);
    // Frames closer together than a millisecond still get a time each, in order.
    const int previous = e.startMilliseconds.empty() ? -1 : e.startMilliseconds.back();
    e.startMilliseconds.push_back(std::max(e.millisecondsOf(time), previous + 1));
    Job job;
    job.index = e.startMilliseconds.size() - 1;
    job.frame = e.spareFrames.tryPop().value_or(cv::Mat());
    frame.copyTo(job.frame);
    {
        const std::lock_guard lock(e.mutex);
        e.encoded.emplace_back();
    }
    e.jobs.push(std::move(job));
}

std::vector<unsigned char> WebpAnimation::finish() {
    Encoders& e = *encoders_;
    e.stop();
    if (e.failed) {
        e.fail("a frame could not be encoded");
    }
    const std::unique_ptr<WebPMux, MuxFree> mux(WebPMuxNew());
    if (!mux) {
        throw std::bad_alloc();
    }
    WebPMuxAnimParams loop{};
    loop.loop_count = 0;  // for ever
    loop.bgcolor = 0xffffffff;
    bool made = WebPMuxSetCanvasSize(mux.get(), e.size.width, e.size.height) == WEBP_MUX_OK &&
                WebPMuxSetAnimationParams(mux.get(), &loop) == WEBP_MUX_OK;
    for (std::size_t i = 0; made && i < e.encoded.size(); ++i) {
        WebPMuxFrameInfo frame{};
        frame.bitstream.bytes = e.encoded[i].data();
        frame.bitstream.size = e.encoded[i].size();
        frame.id = WEBP_CHUNK_ANMF;
        frame.duration = e.durationOf(i);
        frame.dispose_method = WEBP_MUX_DISPOSE_NONE;
        frame.blend_method = WEBP_MUX_NO_BLEND;
        made = WebPMuxPushFrame(mux.get(), &frame, 0) == WEBP_MUX_OK;
    }
    Assembled assembled;
    if (!made || WebPMuxAssemble(mux.get(), &assembled.data) != WEBP_MUX_OK) {
        e.fail("the animation could not be put together");
    }
    return {assembled.data.bytes, assembled.data.bytes + assembled.data.size};
}

}  // namespace glintara::tool
