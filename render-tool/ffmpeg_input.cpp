#include "render-tool/ffmpeg_input.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <deque>
#include <mutex>
#include <string_view>

#include <opencv2/core.hpp>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libswscale/swscale.h>
}

#include "render-tool/ffmpeg_handles.hpp"
#include "render-tool/input_file.hpp"
#include "render-tool/interruption.hpp"
#include "render-tool/tool_error.hpp"

namespace glintara::tool {
namespace {

extern "C" void dropMessage(void*, int, const char*, va_list) {}

}  // namespace

void silenceFfmpeg() {
    // The codec libraries (x264, libvpx, libwebp, ...) speak through FFmpeg's log too.
    av_log_set_level(AV_LOG_QUIET);
    av_log_set_callback(dropMessage);
}

namespace {

// FFmpeg reads the file through the descriptor the tool opened, so that a pipe is read once
// and a name is never taken for one of FFmpeg's protocols.
extern "C" int readInputFile(void* opaque, uint8_t* buffer, int size) {
    try {
        const long n =
            static_cast<InputFile*>(opaque)->read(buffer, static_cast<std::size_t>(size));
        if (n < 0) {
            return errno == EINTR ? AVERROR_EXIT : AVERROR(errno);
        }
        return n == 0 ? AVERROR_EOF : static_cast<int>(n);
    } catch (...) {
        return AVERROR(ENOMEM);  // keeping a pipe's bytes
    }
}

extern "C" int64_t seekInputFile(void* opaque, int64_t offset, int whence) {
    const auto& file = *static_cast<const InputFile*>(opaque);
    if (!file.seekable()) {
        return -1;
    }
    if (whence == AVSEEK_SIZE) {
        struct stat info {};
        return fstat(file.descriptor(), &info) == 0 ? info.st_size : -1;
    }
    return lseek(file.descriptor(), offset, whence & ~AVSEEK_FORCE);
}

extern "C" int interruptRequested(void*) {
    return interruptionSignal() != 0;
}

struct IoContextFree {
    void operator()(AVIOContext* context) const {
        av_freep(&context->buffer);
        avio_context_free(&context);
    }
};
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextFree>;

IoContextPtr openIo(InputFile& file) {
    constexpr int kBufferSize = 64 * 1024;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (buffer == nullptr) {
        return nullptr;
    }
    AVIOContext* io =
        avio_alloc_context(buffer, kBufferSize, 0, &file, readInputFile, nullptr, seekInputFile);
    if (io == nullptr) {
        av_free(buffer);
        return nullptr;
    }
    io->seekable = file.seekable() ? AVIO_SEEKABLE_NORMAL : 0;
    return IoContextPtr(io);
}

// How the display matrix of a stream says its pictures are to be turned upright, as the
// ffmpeg command line turns them: a quarter turn either way, a half turn, and the mirrored
// forms of each. Angles that are not a quarter turn are left alone.
enum class Upright {
    AsStored,
    Clockwise,
    Anticlockwise,
    Transpose,
    AntiTranspose,
    HFlip,
    VFlip,
    HalfTurn
};

Upright uprightFor(const int32_t* matrix) {
    if (matrix == nullptr) {
        return Upright::AsStored;
    }
    double theta = -std::round(av_display_rotation_get(matrix));
    theta -= 360.0 * std::floor(theta / 360.0 + 0.9 / 360.0);
    const auto near = [&](double angle) { return std::fabs(theta - angle) < 1.0; };
    if (near(90)) {
        return matrix[3] > 0 ? Upright::Transpose : Upright::Clockwise;
    }
    if (near(180)) {
        const bool h = matrix[0] < 0, v = matrix[4] < 0;
        return h && v ? Upright::HalfTurn
               : h    ? Upright::HFlip
               : v    ? Upright::VFlip
                      : Upright::AsStored;
    }
    if (near(270)) {
        return matrix[3] < 0 ? Upright::AntiTranspose : Upright::Anticlockwise;
    }
    if (near(0) && matrix[4] < 0) {
        return Upright::VFlip;
    }
    return Upright::AsStored;
}

void turnUpright(Upright upright, const cv::Mat& stored, cv::Mat& shown) {
    switch (upright) {
        case Upright::AsStored:
            break;
        case Upright::Clockwise:
            cv::rotate(stored, shown, cv::ROTATE_90_CLOCKWISE);
            break;
        case Upright::Anticlockwise:
            cv::rotate(stored, shown, cv::ROTATE_90_COUNTERCLOCKWISE);
            break;
        case Upright::Transpose:
            cv::transpose(stored, shown);
            break;
        case Upright::AntiTranspose:
            cv::transpose(stored, shown);
            cv::flip(shown, shown, -1);
            break;
        case Upright::HFlip:
            cv::flip(stored, shown, 1);
            break;
        case Upright::VFlip:
            cv::flip(stored, shown, 0);
            break;
        case Upright::HalfTurn:
            cv::flip(stored, shown, -1);
            break;
    }
}

// The file's times as the output takes them, mended as the ffmpeg command line mends them:
// the earliest stream starts at zero, so that a file whose times begin far along (or before
// the 33-bit clock of a transport stream wraps) plays from its first frame; and where a
// format allows its clock to jump (transport streams cut and joined), a jump back, or one
// forward of more than ten seconds, is closed up so that each stream goes on where it was.
class Timeline {
  public:
    void start(const AVFormatContext& format) {
        offset_ = format.start_time == AV_NOPTS_VALUE ? 0 : -format.start_time;
        mendsJumps_ = (format.iformat->flags & AVFMT_TS_DISCONT) != 0;
    }

    void mend(AVPacket& packet, const AVStream& stream) {
        if (mendsJumps_ && packet.dts != AV_NOPTS_VALUE) {
            closeJump(packet, stream);
        }
        const std::int64_t shift = av_rescale_q(offset_, AV_TIME_BASE_Q, stream.time_base);
        if (packet.pts != AV_NOPTS_VALUE) {
            packet.pts += shift;
        }
        if (packet.dts != AV_NOPTS_VALUE) {
            packet.dts += shift;
        }
    }

  private:
    void closeJump(const AVPacket& packet, const AVStream& stream) {
        const auto index = static_cast<std::size_t>(packet.stream_index);
        if (index >= nextDts_.size()) {
            nextDts_.resize(index + 1, AV_NOPTS_VALUE);
        }
        const std::int64_t dts = av_rescale_q(packet.dts, stream.time_base, AV_TIME_BASE_Q);
        std::int64_t& next = nextDts_[index];
        if (next != AV_NOPTS_VALUE) {
            const std::int64_t jump = dts + offset_ - next;
            if (jump < -AV_TIME_BASE / 10 || jump > 10LL * AV_TIME_BASE) {
                offset_ -= jump;
            }
        }
        const std::int64_t length = av_rescale_q(std::max<std::int64_t>(packet.duration, 1),
                                                 stream.time_base, AV_TIME_BASE_Q);
        next = dts + offset_ + std::max<std::int64_t>(length, 1);
    }

    std::int64_t offset_ = 0;  // in AV_TIME_BASE units, added to every time
    bool mendsJumps_ = false;
    std::vector<std::int64_t> nextDts_;  // per stream, where its next packet is due
};

}  // namespace

// The demuxer, the picture stream's decoder, and the audio packets met on the way.
struct VideoFileInput::Decoder : AudioFileInput {
    std::string path;
    IoContextPtr io;  // outlives the format, which reads through it
    FormatInputPtr format;
    Timeline timeline;
    CodecContextPtr codec;
    AVStream* stream = nullptr;
    PacketPtr packet{av_packet_alloc()};
    FramePtr decoded{av_frame_alloc()};
    SwsContext* toBgr = nullptr;  // remade only when the frames change size or layout
    Upright upright = Upright::AsStored;
    cv::Mat stored;        // a frame as stored, before it is turned upright
    bool drained = false;  // the end of the file has been sent to the decoder
    bool failed = false;   // reading or decoding stopped on an error
    std::int64_t lastTime = AV_NOPTS_VALUE;

    // The sound. The decoder's thread queues packets while it reads pictures; an output's
    // thread takes them. Once the pictures are finished the taker reads on by itself.
    std::vector<AudioStreamInfo> audioStreams;
    std::vector<int> audioIndexOf;  // file stream index -> index in audioStreams, or -1
    std::vector<bool> wanted;       // per audio stream
    mutable std::mutex audioMutex;
    std::deque<std::pair<std::size_t, PacketPtr>> waiting;
    std::vector<PacketPtr> sparePackets;
    PacketPtr handedOut;
    std::atomic<bool> picturesFinished = false;
    bool fileEnded = false;

    ~Decoder() override { sws_freeContext(toBgr); }

    // Sends packets until the decoder hands back a frame: false at the end or on an error.
    bool receive() {
        for (;;) {
            const int received = avcodec_receive_frame(codec.get(), decoded.get());
            if (received == 0) {
                return true;
            }
            if (received != AVERROR(EAGAIN) || drained) {
                failed = received != AVERROR_EOF;
                return false;
            }
            if (!sendNextPacket()) {
                return false;
            }
        }
    }

    bool sendNextPacket() {
        for (;;) {
            const int read = av_read_frame(format.get(), packet.get());
            if (read == AVERROR_EOF) {
                markFileEnded();
                drained = true;
                return avcodec_send_packet(codec.get(), nullptr) == 0;
            }
            if (read < 0) {
                markFileEnded();
                failed = true;
                return false;
            }
            mendTimes();
            if (packet->stream_index != stream->index) {
                keepIfAudio(packet.get());
                continue;
            }
            const int sent = avcodec_send_packet(codec.get(), packet.get());
            av_packet_unref(packet.get());
            if (sent < 0) {
                failed = true;
                return false;
            }
            return true;
        }
    }

    void mendTimes() {
        const auto index = static_cast<unsigned>(packet->stream_index);
        if (index < format->nb_streams) {
            timeline.mend(*packet, *format->streams[index]);
        }
    }

    // The index in audioStreams of a wanted audio packet's stream, or -1. Streams that only
    // appear partway through the file are not among them, as with the ffmpeg command line.
    int wantedAudioIndex(const AVPacket& audioPacket) const {
        const auto at = static_cast<std::size_t>(audioPacket.stream_index);
        if (audioPacket.stream_index < 0 || at >= audioIndexOf.size() || audioIndexOf[at] < 0) {
            return -1;
        }
        const int index = audioIndexOf[at];
        return wanted[static_cast<std::size_t>(index)] ? index : -1;
    }

    void keepIfAudio(AVPacket* audioPacket) {
        const std::lock_guard lock(audioMutex);
        queueIfWanted(audioPacket);
    }

    // Moves a wanted audio packet to the back of the queue; any other is dropped. The
    // caller holds audioMutex.
    void queueIfWanted(AVPacket* audioPacket) {
        const int index = wantedAudioIndex(*audioPacket);
        if (index >= 0) {
            PacketPtr kept = sparePacket();
            av_packet_move_ref(kept.get(), audioPacket);
            waiting.emplace_back(static_cast<std::size_t>(index), std::move(kept));
        }
        av_packet_unref(audioPacket);
    }

    // Packets handed back are used again: none is allocated per packet once the queue has
    // reached its usual length.
    PacketPtr sparePacket() {
        if (sparePackets.empty()) {
            PacketPtr fresh(av_packet_alloc());
            if (!fresh) {
                throw std::bad_alloc();
            }
            return fresh;
        }
        PacketPtr spare = std::move(sparePackets.back());
        sparePackets.pop_back();
        return spare;
    }

    void markFileEnded() {
        const std::lock_guard lock(audioMutex);
        fileEnded = true;
    }

    const std::vector<AudioStreamInfo>& streams() const override { return audioStreams; }

    void leaveOut(std::size_t index) override {
        const std::lock_guard lock(audioMutex);
        wanted[index] = false;
        std::erase_if(waiting, [&](const auto& entry) { return entry.first == index; });
    }

    AVPacket* nextPacket(std::size_t& index) override {
        const std::lock_guard lock(audioMutex);
        if (handedOut) {
            av_packet_unref(handedOut.get());
            sparePackets.push_back(std::move(handedOut));
        }
        if (waiting.empty() && picturesFinished && !fileEnded) {
            readOnForSound();
        }
        if (waiting.empty()) {
            return nullptr;
        }
        index = waiting.front().first;
        handedOut = std::move(waiting.front().second);
        waiting.pop_front();
        return handedOut.get();
    }

    bool ended() const override {
        const std::lock_guard lock(audioMutex);
        return fileEnded && waiting.empty();
    }

    // With the pictures finished, reads until the next wanted audio packet or the end.
    void readOnForSound() {
        while (waiting.empty()) {
            const int read = av_read_frame(format.get(), packet.get());
            if (read == AVERROR_EOF) {
                fileEnded = true;
                return;
            }
            if (read < 0) {
                throw fileError(path, "the sound could not be read");
            }
            mendTimes();
            queueIfWanted(packet.get());
        }
    }

    // The decoded frame as 8-bit BGR, converted as OpenCV's own reader converts it, and
    // turned upright.
    void toMat(cv::Mat& frame) {
        const AVFrame& in = *decoded;
        toBgr = sws_getCachedContext(toBgr, in.width, in.height,
                                     static_cast<AVPixelFormat>(in.format), in.width, in.height,
                                     AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (toBgr == nullptr) {
            throw fileError(path, "the video's pixel format cannot be converted");
        }
        cv::Mat& target = upright == Upright::AsStored ? frame : stored;
        target.create(in.height, in.width, CV_8UC3);
        uint8_t* planes[] = {target.data};
        const int strides[] = {static_cast<int>(target.step[0])};
        if (sws_scale(toBgr, in.data, in.linesize, 0, in.height, planes, strides) != in.height) {
            throw fileError(path, "a frame could not be converted to colour");
        }
        turnUpright(upright, stored, frame);
    }

    // Frames without a time (raw H.264 or HEVC streams, for instance) follow the one before
    // at the stated frame rate.
    std::int64_t timeOfDecoded() {
        std::int64_t time = decoded->best_effort_timestamp;
        if (time == AV_NOPTS_VALUE) {
            AVRational rate = stream->avg_frame_rate;
            if (rate.num <= 0 || rate.den <= 0) {
                rate = stream->r_frame_rate.num > 0 ? stream->r_frame_rate : AVRational{30, 1};
            }
            const std::int64_t step =
                std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), stream->time_base));
            time = lastTime == AV_NOPTS_VALUE ? 0 : lastTime + step;
        }
        lastTime = time;
        return time;
    }

    bool openFormat(InputFile& file) {
        io = openIo(file);
        AVFormatContext* context = avformat_alloc_context();
        if (!io || context == nullptr) {
            avformat_free_context(context);
            throw std::bad_alloc();
        }
        context->pb = io.get();
        context->interrupt_callback = {interruptRequested, nullptr};
        // The name only hints at the format; the bytes come through the descriptor.
        if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0) {
            return false;  // the context is freed on failure
        }
        format.reset(context);
        return avformat_find_stream_info(format.get(), nullptr) >= 0;
    }

    void findAudioStreams() {
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            AVStream* each = format->streams[i];
            const bool audio = each->codecpar->codec_type == AVMEDIA_TYPE_AUDIO &&
                               each->codecpar->codec_id != AV_CODEC_ID_NONE;
            audioIndexOf.push_back(audio ? static_cast<int>(audioStreams.size()) : -1);
            if (audio) {
                audioStreams.push_back(
                    {each->codecpar, {each->time_base.num, each->time_base.den}});
            } else if (each != stream) {
                each->discard = AVDISCARD_ALL;
            }
        }
        wanted.assign(audioStreams.size(), true);
    }
};

std::unique_ptr<VideoFileInput> VideoFileInput::open(InputFile& file) {
    silenceFfmpeg();
    auto decoder = std::make_unique<Decoder>();
    decoder->path = file.path();
    if (!decoder->openFormat(file)) {
        stopIfInterrupted();
        return nullptr;
    }
    const AVCodec* codec = nullptr;
    const int index =
        av_find_best_stream(decoder->format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (index < 0 || codec == nullptr) {
        return nullptr;
    }
    decoder->stream = decoder->format->streams[index];
    // A still picture read as a one-frame "video" (FFmpeg's image demuxers) is left to the
    // image reader.
    if (decoder->stream->disposition & AV_DISPOSITION_ATTACHED_PIC) {
        return nullptr;
    }
    decoder->codec.reset(avcodec_alloc_context3(codec));
    if (!decoder->codec ||
        avcodec_parameters_to_context(decoder->codec.get(), decoder->stream->codecpar) < 0) {
        return nullptr;
    }
    decoder->codec->thread_count = 0;  // as many as there are cores
    decoder->codec->pkt_timebase = decoder->stream->time_base;
    if (avcodec_open2(decoder->codec.get(), codec, nullptr) < 0) {
        return nullptr;
    }
    decoder->upright = uprightFor(reinterpret_cast<const int32_t*>(
        av_stream_get_side_data(decoder->stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr)));
    decoder->findAudioStreams();
    decoder->timeline.start(*decoder->format);
    return std::unique_ptr<VideoFileInput>(new VideoFileInput(std::move(decoder)));
}

VideoFileInput::VideoFileInput(std::unique_ptr<Decoder> decoder) : decoder_(std::move(decoder)) {}
VideoFileInput::~VideoFileInput() = default;

Ratio VideoFileInput::timeBase() const {
    return {decoder_->stream->time_base.num, decoder_->stream->time_base.den};
}

Ratio VideoFileInput::frameRate() const {
    AVRational rate = decoder_->stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) {
        rate = decoder_->stream->r_frame_rate;
    }
    if (rate.num <= 0 || rate.den <= 0) {
        return {};
    }
    return {rate.num, rate.den};
}

bool VideoFileInput::failed() const {
    return decoder_->failed;
}

bool VideoFileInput::isPictureFile() const {
    // FFmpeg's demuxers for single pictures: "image2" by file name, "png_pipe", "jpeg_pipe"
    // and the like by content; and "apng", for a PNG that is animated but whose first
    // picture any PNG reader reads.
    const std::string_view name = decoder_->format->iformat->name;
    return name == "image2" || name.ends_with("_pipe") || name == "apng";
}

bool VideoFileInput::isAnimatedPng() const {
    return std::string_view(decoder_->format->iformat->name) == "apng";
}

std::optional<long long> VideoFileInput::frameCount() const {
    const int64_t count = decoder_->stream->nb_frames;
    return count > 0 ? std::optional<long long>(count) : std::nullopt;
}

bool VideoFileInput::readFrame(cv::Mat& frame, std::int64_t& time) {
    if (!decoder_->receive()) {
        stopIfInterrupted();
        return false;
    }
    decoder_->toMat(frame);
    time = decoder_->timeOfDecoded();
    av_frame_unref(decoder_->decoded.get());
    return true;
}

AudioFileInput* VideoFileInput::audio() {
    return decoder_->audioStreams.empty() ? nullptr : decoder_.get();
}

void VideoFileInput::finishPictures() {
    decoder_->picturesFinished = true;
}

}  // namespace glintara::tool
