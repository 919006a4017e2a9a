// Reading the default sound input through FFmpeg's PulseAudio input device.
#include "media/live_sound.hpp"

#include <limits>
#include <new>

extern "C" {
#include <libavdevice/avdevice.h>
}

#include "core/user_error.hpp"
#include "media/av_ratio.hpp"
#include "media/ffmpeg_error.hpp"

namespace glintara::media {
namespace {

constexpr const char* kDevice = "default";
constexpr const char* kDeviceName = "the default sound input";
constexpr std::int64_t kNotStarted = std::numeric_limits<std::int64_t>::max();
// Small fragments: the sound arrives within a few hundredths of a second of being heard.
constexpr const char* kInputOptions = "fragment_size=4096";

FormatInputPtr openDefaultInput() {
    avdevice_register_all();
    const AVInputFormat* pulse = av_find_input_format("pulse");
    if (pulse == nullptr) {
        throw UserError(std::string(kDeviceName) +
                        " cannot be opened: this FFmpeg has no PulseAudio input");
    }
    AVFormatContext* context = nullptr;
    Dictionary options(kInputOptions);
    const int opened = avformat_open_input(&context, kDevice, pulse, options.get());
    if (opened < 0) {
        throw UserError(std::string(kDeviceName) + " cannot be opened: " + errorText(opened) +
                        " (is a PulseAudio or PipeWire sound server running?)");
    }
    return FormatInputPtr(context);
}

}  // namespace

LiveSound::LiveSound() : input_(openDefaultInput()), start_(kNotStarted) {
    for (unsigned i = 0; i < input_->nb_streams; ++i) {
        const AVStream* stream = input_->streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            streams_.push_back({stream->codecpar, ratioOf(stream->time_base)});
            break;  // the device has one
        }
    }
    if (streams_.empty()) {
        throw UserError(std::string(kDeviceName) + " gives no sound");
    }
    reader_ = std::thread([this] { read(); });
}

LiveSound::~LiveSound() {
    stop();
}

void LiveSound::startAt(std::chrono::system_clock::time_point start) {
    start_ =
        std::chrono::duration_cast<std::chrono::microseconds>(start.time_since_epoch()).count();
}

void LiveSound::stop() {
    stopping_ = true;
    if (reader_.joinable()) {
        reader_.join();
    }
}

// Until stopped: each read returns one fragment, a few hundredths of a second of sound.
void LiveSound::read() {
    PacketPtr packet(av_packet_alloc());
    while (packet && !stopping_) {
        if (av_read_frame(input_.get(), packet.get()) < 0) {
            break;  // the sound server went away: the recording goes on without
        }
        keep(*packet);
        av_packet_unref(packet.get());
    }
    const std::lock_guard lock(mutex_);
    readingEnded_ = true;
}

// The device times its packets by the wall clock, in microseconds.
void LiveSound::keep(AVPacket& packet) {
    const std::int64_t start = start_;
    const AVRational unit = input_->streams[packet.stream_index]->time_base;
    if (start == kNotStarted || packet.pts == AV_NOPTS_VALUE) {
        return;
    }
    const std::int64_t startInUnit = av_rescale_q(start, AVRational{1, 1000000}, unit);
    if (packet.pts < startInUnit) {
        return;
    }
    const std::lock_guard lock(mutex_);
    if (!wanted_) {
        return;
    }
    PacketPtr kept;
    if (spares_.empty()) {
        kept.reset(av_packet_alloc());
        if (!kept) {
            return;  // a fragment missing, rather than the recording
        }
    } else {
        kept = std::move(spares_.back());
        spares_.pop_back();
    }
    av_packet_move_ref(kept.get(), &packet);
    kept->pts -= startInUnit;
    kept->dts = kept->pts;
    waiting_.push_back(std::move(kept));
}

void LiveSound::leaveOut(std::size_t) {
    const std::lock_guard lock(mutex_);
    wanted_ = false;
    waiting_.clear();
}

AVPacket* LiveSound::nextPacket(std::size_t& stream) {
    const std::lock_guard lock(mutex_);
    if (handedOut_) {
        av_packet_unref(handedOut_.get());
        spares_.push_back(std::move(handedOut_));
    }
    if (waiting_.empty()) {
        return nullptr;
    }
    stream = 0;
    handedOut_ = std::move(waiting_.front());
    waiting_.pop_front();
    return handedOut_.get();
}

bool LiveSound::ended() const {
    const std::lock_guard lock(mutex_);
    return readingEnded_ && waiting_.empty();
}

}  // namespace glintara::media
