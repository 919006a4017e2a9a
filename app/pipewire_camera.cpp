#include "app/pipewire_camera.hpp"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include <opencv2/imgproc.hpp>

#include "core/yuv420.hpp"

namespace glintara {
namespace {

constexpr const char* kNodeName = "glintara";
constexpr const char* kNodeDescription = "Glintara";
// The rate the node states; frames go out as the camera gives them.
constexpr int kStatedRate = 30;
constexpr int kBuffers = 4;
constexpr int kMostWaitSeconds = 5;

// How a frame of `size` lies in a buffer in the format the reader took: its row stride (of
// the brightness plane, for I420) and its length.
struct BufferLayout {
    int stride;
    std::size_t bytes;
};

BufferLayout layoutOf(spa_video_format format, cv::Size size) {
    if (format == SPA_VIDEO_FORMAT_BGRx) {
        return {size.width * 4, static_cast<std::size_t>(size.area()) * 4};
    }
    return {size.width, packedYuv420Bytes(size)};
}

std::runtime_error pipewireError(const std::string& problem) {
    return std::runtime_error("PipeWire: " + problem);
}

// One library initialisation for the camera's lifetime.
struct PipewireLibrary {
    PipewireLibrary() { pw_init(nullptr, nullptr); }
    ~PipewireLibrary() { pw_deinit(); }
    PipewireLibrary(const PipewireLibrary&) = delete;
    PipewireLibrary& operator=(const PipewireLibrary&) = delete;
};

class PipewireCamera final : public FrameOutput {
  public:
    explicit PipewireCamera(cv::Size size);
    ~PipewireCamera() override;
    PipewireCamera(const PipewireCamera&) = delete;
    PipewireCamera& operator=(const PipewireCamera&) = delete;

    void take(const ShownFrame& frame) override;
    std::string finish() override { return ""; }

  private:
    static void onStateChanged(void* self, pw_stream_state, pw_stream_state, const char*) noexcept;
    static void onParamChanged(void* self, uint32_t id, const spa_pod* param) noexcept;

    void connect();
    void waitUntilReady();
    void release();
    void offerBuffers(spa_video_format format);
    void fill(spa_buffer& buffer, const cv::Mat& picture);

    PipewireLibrary library_;
    cv::Size size_;
    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    spa_hook listener_{};
    pw_stream_events events_{};
    spa_video_format format_ = SPA_VIDEO_FORMAT_UNKNOWN;  // what the reader took
    std::uint64_t sequence_ = 0;
};

PipewireCamera::PipewireCamera(cv::Size size) : size_(size) {
    loop_ = pw_thread_loop_new("glintara-camera", nullptr);
    if (loop_ == nullptr) {
        throw pipewireError("its loop cannot be made");
    }
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
    if (context_ == nullptr || pw_thread_loop_start(loop_) < 0) {
        pw_thread_loop_destroy(loop_);  // the context goes with it
        throw pipewireError("its loop cannot be started");
    }
    pw_thread_loop_lock(loop_);
    try {
        connect();
        waitUntilReady();
    } catch (...) {
        pw_thread_loop_unlock(loop_);
        release();
        throw;
    }
    pw_thread_loop_unlock(loop_);
}

PipewireCamera::~PipewireCamera() {
    release();
}

void PipewireCamera::release() {
    if (loop_ == nullptr) {
        return;
    }
    pw_thread_loop_stop(loop_);
    if (stream_ != nullptr) {
        pw_stream_destroy(stream_);
    }
    if (core_ != nullptr) {
        pw_core_disconnect(core_);
    }
    if (context_ != nullptr) {
        pw_context_destroy(context_);
    }
    pw_thread_loop_destroy(loop_);
    loop_ = nullptr;
}

// The formats offered: one picture size, BGRx or I420.
const spa_pod* enumFormat(spa_pod_builder& builder, cv::Size size) {
    spa_rectangle frameSize{static_cast<uint32_t>(size.width), static_cast<uint32_t>(size.height)};
    spa_fraction rate{kStatedRate, 1};
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat,                  //
        SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),                  //
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),              //
        SPA_FORMAT_VIDEO_format,                                                 //
        SPA_POD_CHOICE_ENUM_Id(3, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,  //
                               SPA_VIDEO_FORMAT_I420),                           //
        SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&frameSize),                    //
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)));
}

void PipewireCamera::connect() {
    core_ = pw_context_connect(context_, nullptr, 0);
    if (core_ == nullptr) {
        throw pipewireError(std::string("no daemon can be reached (") + std::strerror(errno) +
                            "); is pipewire running?");
    }
    pw_properties* properties = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE, "Camera",
        PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_NODE_NAME, kNodeName, PW_KEY_NODE_DESCRIPTION,
        kNodeDescription, nullptr);
    stream_ = pw_stream_new(core_, kNodeName, properties);  // takes the properties
    if (stream_ == nullptr) {
        throw pipewireError("the camera node cannot be made");
    }
    events_.version = PW_VERSION_STREAM_EVENTS;
    events_.state_changed = onStateChanged;
    events_.param_changed = onParamChanged;
    pw_stream_add_listener(stream_, &listener_, &events_, this);

    unsigned char scratch[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(scratch, sizeof scratch);
    const spa_pod* formats[] = {enumFormat(builder, size_)};
    const auto flags =
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS);
    if (pw_stream_connect(stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, formats, 1) < 0) {
        throw pipewireError("the camera node cannot be published");
    }
}

// Until the daemon has taken the node (it is then paused, waiting for a reader).
void PipewireCamera::waitUntilReady() {
    timespec deadline{};
    pw_thread_loop_get_time(loop_, &deadline, kMostWaitSeconds * SPA_NSEC_PER_SEC);
    for (;;) {
        const char* error = nullptr;
        const pw_stream_state state = pw_stream_get_state(stream_, &error);
        if (state == PW_STREAM_STATE_ERROR) {
            throw pipewireError(std::string("the camera node was refused: ") +
                                (error != nullptr ? error : "no reason given"));
        }
        if (state >= PW_STREAM_STATE_PAUSED) {
            return;
        }
        if (pw_thread_loop_timed_wait_full(loop_, &deadline) < 0) {
            throw pipewireError("the daemon did not take the camera node");
        }
    }
}

void PipewireCamera::onStateChanged(void* self, pw_stream_state, pw_stream_state state,
                                    const char*) noexcept {
    auto& camera = *static_cast<PipewireCamera*>(self);
    if (state == PW_STREAM_STATE_STREAMING && pw_stream_is_driving(camera.stream_)) {
        pw_stream_trigger_process(camera.stream_);
    }
    pw_thread_loop_signal(camera.loop_, false);
}

// A reader has chosen a format: the buffers it needs are described.
void PipewireCamera::onParamChanged(void* self, uint32_t id, const spa_pod* param) noexcept {
    auto& camera = *static_cast<PipewireCamera*>(self);
    if (param == nullptr || id != SPA_PARAM_Format) {
        return;
    }
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0) {
        return;
    }
    camera.format_ = info.format;
    camera.offerBuffers(info.format);
}

void PipewireCamera::offerBuffers(spa_video_format format) {
    const BufferLayout layout = layoutOf(format, size_);
    unsigned char scratch[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(scratch, sizeof scratch);
    const spa_pod* buffers[] = {static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers,  //
        SPA_PARAM_BUFFERS_buffers, SPA_POD_CHOICE_RANGE_Int(kBuffers, 2, 16),
        SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),                             //
        SPA_PARAM_BUFFERS_size, SPA_POD_Int(static_cast<int>(layout.bytes)),  //
        SPA_PARAM_BUFFERS_stride, SPA_POD_Int(layout.stride), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))))};
    pw_stream_update_params(stream_, buffers, 1);
}

void PipewireCamera::take(const ShownFrame& frame) {
    pw_thread_loop_lock(loop_);
    pw_buffer* buffer = nullptr;
    if (pw_stream_get_state(stream_, nullptr) == PW_STREAM_STATE_STREAMING) {
        buffer = pw_stream_dequeue_buffer(stream_);
    }
    if (buffer != nullptr) {
        fill(*buffer->buffer, frame.kaleidoscope);
        pw_stream_queue_buffer(stream_, buffer);
        if (pw_stream_is_driving(stream_)) {
            pw_stream_trigger_process(stream_);
        }
    }
    pw_thread_loop_unlock(loop_);
}

void PipewireCamera::fill(spa_buffer& buffer, const cv::Mat& picture) {
    spa_data& data = buffer.datas[0];
    auto* bytes = static_cast<unsigned char*>(data.data);
    const BufferLayout layout = layoutOf(format_, size_);
    if (bytes == nullptr || data.maxsize < layout.bytes) {
        data.chunk->size = 0;
        return;
    }
    if (format_ == SPA_VIDEO_FORMAT_BGRx) {
        cv::Mat bgrxImage(size_, CV_8UC4, bytes);
        cv::cvtColor(picture, bgrxImage, cv::COLOR_BGR2BGRA);
    } else {
        Yuv420Planes planes = packedYuv420Planes(size_, bytes);
        bgrToYuv420(picture, planes.y, planes.cb, planes.cr);
    }
    data.chunk->offset = 0;
    data.chunk->size = static_cast<std::uint32_t>(layout.bytes);
    data.chunk->stride = layout.stride;
    if (auto* header = static_cast<spa_meta_header*>(
            spa_buffer_find_meta_data(&buffer, SPA_META_Header, sizeof(spa_meta_header)))) {
        header->seq = sequence_;
    }
    ++sequence_;
}

}  // namespace

std::unique_ptr<FrameOutput> openPipewireCamera(cv::Size size) {
    return std::make_unique<PipewireCamera>(size);
}

}  // namespace glintara
