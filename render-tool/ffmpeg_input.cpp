#include "render-tool/ffmpeg_input.hpp"

#include <string_view>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "render-tool/ffmpeg_handles.hpp"

namespace glintara::tool {

void silenceFfmpeg() {
    av_log_set_level(AV_LOG_QUIET);
}

namespace {

FormatInputPtr openFormat(const std::string& path) {
    silenceFfmpeg();
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0) {
        return nullptr;
    }
    FormatInputPtr format(context);
    if (avformat_find_stream_info(format.get(), nullptr) < 0) {
        return nullptr;
    }
    return format;
}

}  // namespace

struct VideoFileInput::Decoder {
    FormatInputPtr format;
    CodecContextPtr codec;
    AVStream* stream = nullptr;
    PacketPtr packet{av_packet_alloc()};
    FramePtr decoded{av_frame_alloc()};
    SwsContext* toBgr = nullptr;  // remade only when the frames change size or layout
    bool drained = false;         // the end of the file has been sent to the decoder
    bool failed = false;          // reading or decoding stopped on an error

    ~Decoder() { sws_freeContext(toBgr); }

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
                drained = true;
                return avcodec_send_packet(codec.get(), nullptr) == 0;
            }
            if (read < 0) {
                failed = true;
                return false;
            }
            const bool ours = packet->stream_index == stream->index;
            const int sent = ours ? avcodec_send_packet(codec.get(), packet.get()) : 0;
            av_packet_unref(packet.get());
            if (sent < 0) {
                failed = true;
                return false;
            }
            if (ours) {
                return true;
            }
        }
    }

    // The decoded frame as 8-bit BGR, converted as OpenCV's own reader converts it.
    void toMat(cv::Mat& frame) {
        const AVFrame& in = *decoded;
        toBgr = sws_getCachedContext(toBgr, in.width, in.height,
                                     static_cast<AVPixelFormat>(in.format), in.width, in.height,
                                     AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (toBgr == nullptr) {
            throw std::runtime_error("the video's pixel format cannot be converted");
        }
        frame.create(in.height, in.width, CV_8UC3);
        uint8_t* planes[] = {frame.data};
        const int strides[] = {static_cast<int>(frame.step[0])};
        sws_scale(toBgr, in.data, in.linesize, 0, in.height, planes, strides);
    }
};

std::unique_ptr<VideoFileInput> VideoFileInput::open(const std::string& path) {
    auto decoder = std::make_unique<Decoder>();
    decoder->format = openFormat(path);
    if (!decoder->format) {
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
    if (avcodec_parameters_to_context(decoder->codec.get(), decoder->stream->codecpar) < 0) {
        return nullptr;
    }
    decoder->codec->thread_count = 0;  // as many as there are cores
    decoder->codec->pkt_timebase = decoder->stream->time_base;
    if (avcodec_open2(decoder->codec.get(), codec, nullptr) < 0) {
        return nullptr;
    }
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

std::optional<long long> VideoFileInput::frameCount() const {
    const int64_t count = decoder_->stream->nb_frames;
    return count > 0 ? std::optional<long long>(count) : std::nullopt;
}

bool VideoFileInput::readFrame(cv::Mat& frame, std::int64_t& time) {
    if (!decoder_->receive()) {
        return false;
    }
    decoder_->toMat(frame);
    time = decoder_->decoded->best_effort_timestamp;
    av_frame_unref(decoder_->decoded.get());
    return true;
}

struct AudioFileInput::Demuxer {
    FormatInputPtr format;
    PacketPtr packet{av_packet_alloc()};
    std::vector<int> indexOfStream;  // file stream index -> index in streams(), or -1
};

std::unique_ptr<AudioFileInput> AudioFileInput::open(const std::string& path) {
    auto demuxer = std::make_unique<Demuxer>();
    demuxer->format = openFormat(path);
    if (!demuxer->format) {
        return nullptr;
    }
    std::vector<AudioStreamInfo> streams;
    for (unsigned i = 0; i < demuxer->format->nb_streams; ++i) {
        AVStream* stream = demuxer->format->streams[i];
        const bool audio = stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO &&
                           stream->codecpar->codec_id != AV_CODEC_ID_NONE;
        demuxer->indexOfStream.push_back(audio ? static_cast<int>(streams.size()) : -1);
        if (audio) {
            streams.push_back({stream->codecpar, {stream->time_base.num, stream->time_base.den}});
        } else {
            stream->discard = AVDISCARD_ALL;
        }
    }
    if (streams.empty()) {
        return nullptr;
    }
    return std::unique_ptr<AudioFileInput>(
        new AudioFileInput(std::move(demuxer), std::move(streams)));
}

AudioFileInput::AudioFileInput(std::unique_ptr<Demuxer> demuxer,
                               std::vector<AudioStreamInfo> streams)
    : demuxer_(std::move(demuxer)), streams_(std::move(streams)) {}
AudioFileInput::~AudioFileInput() = default;

AVPacket* AudioFileInput::nextPacket(std::size_t& stream) {
    av_packet_unref(demuxer_->packet.get());
    while (av_read_frame(demuxer_->format.get(), demuxer_->packet.get()) >= 0) {
        const int index = demuxer_->indexOfStream[demuxer_->packet->stream_index];
        if (index >= 0) {
            stream = static_cast<std::size_t>(index);
            return demuxer_->packet.get();
        }
        av_packet_unref(demuxer_->packet.get());
    }
    return nullptr;
}

}  // namespace glintara::tool
