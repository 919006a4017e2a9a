#include "render-tool/ffmpeg_output.hpp"

#include <algorithm>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include <opencv2/core.hpp>

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
}

#include "core/yuv420.hpp"
#include "render-tool/extension.hpp"
#include "render-tool/ffmpeg_handles.hpp"
#include "render-tool/jpeg_encoder.hpp"
#include "render-tool/tool_error.hpp"

namespace glintara::tool {
namespace {

// What becomes of the input's sound in a container: the codecs copied as they are, packet
// for packet, and the encoder for the rest.
struct SoundRule {
    std::span<const AVCodecID> copied;  // empty: every codec the container takes
    const char* encoder;                // nullptr: the rest is left out, with a note
};

// MP4 and QuickTime files are for browsers and phones, which play AAC and MP3 sound only.
constexpr AVCodecID kPlaysEverywhere[] = {AV_CODEC_ID_AAC, AV_CODEC_ID_MP3};
constexpr AVCodecID kWebmSound[] = {AV_CODEC_ID_OPUS, AV_CODEC_ID_VORBIS};
constexpr SoundRule kMp4Sound{kPlaysEverywhere, "aac"};
constexpr SoundRule kMatroskaSound{{}, "aac"};
constexpr SoundRule kWebSound{kWebmSound, "libopus"};
constexpr SoundRule kAviSound{{}, nullptr};

struct ContainerFormat {
    std::string_view extension;
    const char* muxer;
    const char* encoder;         // FFmpeg's, fed 4:2:0 pictures in video range
    const char* encoderOptions;  // key=value pairs, ':' between them
    const char* muxerOptions;
    const SoundRule* sound;   // nullptr: the format holds no sound
    bool jpegFrames = false;  // frames are JPEG pictures made by libjpeg instead
};

// H.264 at constant quality 20 looks clean on these sharp-edged, saturated pictures (about
// 40 dB of brightness PSNR against the exact render), and the "superfast" preset keeps the
// encoder to about the renderer's own share of two cores; slower presets made it the
// slowest stage by far. VP9 in its realtime mode for the same reason.
constexpr const char* kH264 = "preset=superfast:crf=20";
constexpr const char* kFastStart = "movflags=+faststart";
constexpr const char* kVp9 = "deadline=realtime:cpu-used=8:crf=24:b=0:row-mt=1";
// MJPG frames go through libjpeg-turbo, two to three times quicker than FFmpeg's own JPEG
// encoder here.
constexpr int kJpegQuality = 90;

constexpr ContainerFormat kContainers[] = {
    {".mp4", "mp4", "libx264", kH264, kFastStart, &kMp4Sound},
    {".m4v", "mp4", "libx264", kH264, kFastStart, &kMp4Sound},
    {".mov", "mov", "libx264", kH264, kFastStart, &kMp4Sound},
    {".mkv", "matroska", "libx264", kH264, "", &kMatroskaSound},
    {".webm", "webm", "libvpx-vp9", kVp9, "", &kWebSound},
    {".avi", "avi", nullptr, "", "", &kAviSound, true},
};

const ContainerFormat* containerFor(const std::string& path) {
    const std::string extension = lowerExtension(path);
    for (const ContainerFormat& container : kContainers) {
        if (container.extension == extension) {
            return &container;
        }
    }
    return nullptr;
}

AVRational avRatio(Ratio ratio) {
    return {ratio.num, ratio.den};
}

std::string errorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

// The encoder's frame size in samples, where it names one.
int chunkSamples(const AVCodecContext& encoder) {
    return encoder.frame_size > 0 ? encoder.frame_size : 1024;
}

class Dictionary {
  public:
    explicit Dictionary(const char* options) {
        av_dict_parse_string(&entries_, options, "=", ":", 0);
    }
    ~Dictionary() { av_dict_free(&entries_); }
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;
    AVDictionary** get() { return &entries_; }
    // After an open, what is left is what the codec or muxer did not take.
    bool allTaken() const { return av_dict_count(entries_) == 0; }

  private:
    AVDictionary* entries_ = nullptr;
};

struct OutputFormatFree {
    void operator()(AVFormatContext* context) const {
        if (context->pb != nullptr) {
            avio_closep(&context->pb);
        }
        avformat_free_context(context);
    }
};
using FormatOutputPtr = std::unique_ptr<AVFormatContext, OutputFormatFree>;

// BGR into the encoder's 4:2:0 planes, written where the frame holds them.
void convertToYuv420(const cv::Mat& bgr, AVFrame& frame) {
    const auto plane = [&](int index, cv::Size size) {
        return cv::Mat(size, CV_8UC1, frame.data[index],
                       static_cast<std::size_t>(frame.linesize[index]));
    };
    const cv::Size half((bgr.cols + 1) / 2, (bgr.rows + 1) / 2);
    cv::Mat y = plane(0, bgr.size()), cb = plane(1, half), cr = plane(2, half);
    bgrToYuv420(bgr, y, cb, cr);
}

struct AudioFifoFree {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

}  // namespace

bool isVideoFormat(const std::string& path) {
    return containerFor(path) != nullptr;
}

// One input audio stream in the output: copied packet for packet, or decoded, resampled and
// encoded anew.
struct AudioTrack {
    AVStream* stream = nullptr;
    AVRational inputTimeBase{};
    bool copied = true;
    CodecContextPtr decoder;
    CodecContextPtr encoder;
    ResamplerPtr resampler;
    std::unique_ptr<AVAudioFifo, AudioFifoFree> fifo;
    FramePtr decoded{av_frame_alloc()};
    FramePtr converted{av_frame_alloc()};
    FramePtr chunk{av_frame_alloc()};
    std::int64_t nextTime = AV_NOPTS_VALUE;  // of the next encoded sample, in 1/rate
    std::int64_t lastDts = AV_NOPTS_VALUE;   // of the last copied packet, in the stream's unit
};

struct VideoFileOutput::Muxer {
    std::string destination;
    const ContainerFormat* container = nullptr;
    FormatOutputPtr format;
    cv::Size size;
    CodecContextPtr encoder;  // none for JPEG frames
    AVStream* stream = nullptr;
    AVRational inputTimeBase{};
    AVRational frameTimeBase{};  // of the frames in the file
    JpegEncoder jpegEncoder{kJpegQuality};
    std::vector<unsigned char> jpeg;
    FramePtr frame{av_frame_alloc()};
    PacketPtr packet{av_packet_alloc()};
    std::int64_t lastTime = AV_NOPTS_VALUE;  // of the last frame sent, in frameTimeBase
    std::int64_t frameDuration = 1;          // at the stated frame rate, in frameTimeBase
    bool countsFrames = false;  // the container has one slot per frame and no negative times

    AudioFileInput* audio = nullptr;
    std::vector<std::optional<AudioTrack>> tracks;  // per input audio stream; empty if left out
    AVPacket* heldAudio = nullptr;  // read, but later than the frames written so far
    std::size_t heldStream = 0;
    bool audioEnded = false;
    std::string audioNote;

    [[noreturn]] void fail(const std::string& what, int error) const {
        throw fileError(destination, what + ": " + errorText(error));
    }
    void check(int result, const char* what) const {
        if (result < 0) {
            fail(what, result);
        }
    }

    void openVideo(const VideoStreamFormat& video);
    void openEncoder(AVRational rate);
    void writeJpeg(const cv::Mat& picture, std::int64_t time);
    void addAudio(AudioFileInput& input);
    void openAudioDecoder(AudioTrack& track, const AVCodecParameters& in);
    void openAudioEncoder(AudioTrack& track, const char* name);
    void openResampler(AudioTrack& track);
    void writeHeader(const std::string& file);

    void writePacketsOf(AVCodecContext* codec, AVStream* to, std::int64_t duration = 0);
    void encodeVideo(AVFrame* picture);
    void writeAudioUntil(std::int64_t time, bool inclusive);
    void writeAudioPacket(AudioTrack& track, AVPacket* packet);
    void encodeAudioChunks(AudioTrack& track, bool all);
    void queueSamples(AudioTrack& track, AVFrame& samples);
    void flushAudio(AudioTrack& track);
};

// The frames' unit in the file: the input's own, so that a variable frame rate survives,
// except where the container counts in frames (AVI has one slot per frame).
AVRational frameTimeBaseFor(const VideoStreamFormat& video, bool countsFrames) {
    const AVRational rate = avRatio(video.frameRate);
    return countsFrames && rate.num > 0 ? av_inv_q(rate) : avRatio(video.timeBase);
}

void VideoFileOutput::Muxer::openVideo(const VideoStreamFormat& video) {
    size = video.size;
    inputTimeBase = avRatio(video.timeBase);
    const AVRational rate = avRatio(video.frameRate);
    countsFrames = std::string_view(container->muxer) == "avi";
    frameTimeBase = frameTimeBaseFor(video, countsFrames);
    if (rate.num > 0) {
        frameDuration = std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), frameTimeBase));
    }
    stream = avformat_new_stream(format.get(), nullptr);
    if (stream == nullptr) {
        throw std::bad_alloc();
    }
    if (container->jpegFrames) {
        // Each frame a JPEG picture of its own, as MJPG is: no encoder state to set up.
        AVCodecParameters& parameters = *stream->codecpar;
        parameters.codec_type = AVMEDIA_TYPE_VIDEO;
        parameters.codec_id = AV_CODEC_ID_MJPEG;
        parameters.width = size.width;
        parameters.height = size.height;
        parameters.format = AV_PIX_FMT_YUVJ420P;
        parameters.color_range = AVCOL_RANGE_JPEG;
        parameters.sample_aspect_ratio = {1, 1};
    } else {
        openEncoder(rate);
        check(avcodec_parameters_from_context(stream->codecpar, encoder.get()),
              "the video stream could not be set up");
    }
    stream->time_base = frameTimeBase;
    if (rate.num > 0) {
        stream->avg_frame_rate = rate;
        stream->r_frame_rate = rate;
    }
}

void VideoFileOutput::Muxer::openEncoder(AVRational rate) {
    const AVCodec* codec = avcodec_find_encoder_by_name(container->encoder);
    if (codec == nullptr) {
        throw fileError(destination, std::string("the ") + container->encoder +
                                         " encoder is not available in this FFmpeg");
    }
    encoder.reset(avcodec_alloc_context3(codec));
    if (!encoder) {
        throw std::bad_alloc();
    }
    encoder->width = size.width;
    encoder->height = size.height;
    encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder->sample_aspect_ratio = {1, 1};
    encoder->time_base = frameTimeBase;
    if (rate.num > 0) {
        encoder->framerate = rate;
    }
    encoder->colorspace = AVCOL_SPC_SMPTE170M;  // the BT.601 matrix of the conversion
    encoder->color_range = AVCOL_RANGE_MPEG;
    encoder->thread_count = 0;
    if (format->oformat->flags & AVFMT_GLOBALHEADER) {
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    Dictionary options(container->encoderOptions);
    check(avcodec_open2(encoder.get(), codec, options.get()), "the video encoder failed");
    if (!options.allTaken()) {
        throw fileError(destination, std::string("the ") + container->encoder +
                                         " encoder of this FFmpeg does not take our settings");
    }

    frame->format = encoder->pix_fmt;
    frame->width = encoder->width;
    frame->height = encoder->height;
    check(av_frame_get_buffer(frame.get(), 0), "no memory for a frame");
}

void VideoFileOutput::Muxer::writeJpeg(const cv::Mat& picture, std::int64_t time) {
    if (!jpegEncoder.encode(picture, jpeg)) {
        throw fileError(destination, "a frame could not be encoded as JPEG");
    }
    check(av_new_packet(packet.get(), static_cast<int>(jpeg.size())), "no memory for a frame");
    std::copy(jpeg.begin(), jpeg.end(), packet->data);
    packet->pts = packet->dts = time;
    packet->duration = frameDuration;
    packet->flags |= AV_PKT_FLAG_KEY;
    av_packet_rescale_ts(packet.get(), frameTimeBase, stream->time_base);
    packet->stream_index = stream->index;
    check(av_interleaved_write_frame(format.get(), packet.get()), "could not be written");
}

// Sound stored without a channel layout (PCM in AVI, as cameras write it) is taken in the
// usual layout for its channel count, as the ffmpeg command line takes it.
void giveUsualLayout(AVChannelLayout& layout) {
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC && layout.nb_channels > 0) {
        const int channels = layout.nb_channels;
        av_channel_layout_uninit(&layout);
        av_channel_layout_default(&layout, channels);
    }
}

// The encoder's rate: Opus runs at 48 kHz; AAC keeps the input's rate where it has one.
int encoderSampleRate(const AVCodec& codec, int inputRate) {
    if (codec.id == AV_CODEC_ID_AAC && codec.supported_samplerates != nullptr) {
        for (const int* rate = codec.supported_samplerates; *rate != 0; ++rate) {
            if (*rate == inputRate) {
                return inputRate;
            }
        }
    }
    return 48000;
}

void VideoFileOutput::Muxer::openAudioDecoder(AudioTrack& track, const AVCodecParameters& in) {
    const AVCodec* codec = avcodec_find_decoder(in.codec_id);
    if (codec == nullptr) {
        throw fileError(destination, "the sound (" + std::string(avcodec_get_name(in.codec_id)) +
                                         ") can be neither copied nor decoded");
    }
    track.decoder.reset(avcodec_alloc_context3(codec));
    if (!track.decoder) {
        throw std::bad_alloc();
    }
    check(avcodec_parameters_to_context(track.decoder.get(), &in), "the sound cannot be read");
    giveUsualLayout(track.decoder->ch_layout);
    track.decoder->pkt_timebase = track.inputTimeBase;
    check(avcodec_open2(track.decoder.get(), codec, nullptr), "the sound cannot be read");
}

void VideoFileOutput::Muxer::openAudioEncoder(AudioTrack& track, const char* name) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (codec == nullptr) {
        throw fileError(destination,
                        std::string("the ") + name + " encoder is not available in this FFmpeg");
    }
    track.encoder.reset(avcodec_alloc_context3(codec));
    if (!track.encoder) {
        throw std::bad_alloc();
    }
    AVCodecContext& enc = *track.encoder;
    const AVCodecContext& dec = *track.decoder;
    enc.sample_rate = encoderSampleRate(*codec, dec.sample_rate);
    enc.sample_fmt = codec->sample_fmts[0];
    av_channel_layout_default(&enc.ch_layout, dec.ch_layout.nb_channels == 1 ? 1 : 2);
    enc.bit_rate = 128000 * enc.ch_layout.nb_channels / 2;
    enc.time_base = {1, enc.sample_rate};
    if (format->oformat->flags & AVFMT_GLOBALHEADER) {
        enc.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    check(avcodec_open2(&enc, codec, nullptr), "the sound encoder failed");
}

void VideoFileOutput::Muxer::openResampler(AudioTrack& track) {
    AVCodecContext& enc = *track.encoder;
    AVCodecContext& dec = *track.decoder;
    SwrContext* resampler = nullptr;
    check(swr_alloc_set_opts2(&resampler, &enc.ch_layout, enc.sample_fmt, enc.sample_rate,
                              &dec.ch_layout, dec.sample_fmt, dec.sample_rate, 0, nullptr),
          "the sound cannot be resampled");
    track.resampler.reset(resampler);
    check(swr_init(resampler), "the sound cannot be resampled");
    track.fifo.reset(av_audio_fifo_alloc(enc.sample_fmt, enc.ch_layout.nb_channels, 1));
    if (!track.fifo) {
        throw std::bad_alloc();
    }
    AVFrame& chunk = *track.chunk;
    chunk.nb_samples = chunkSamples(enc);
    chunk.format = enc.sample_fmt;
    chunk.sample_rate = enc.sample_rate;
    check(av_channel_layout_copy(&chunk.ch_layout, &enc.ch_layout), "no memory");
    check(av_frame_get_buffer(&chunk, 0), "no memory");
}

// Whether the rule copies the codec into this container as it is.
bool copies(const SoundRule& rule, const AVOutputFormat& muxer, AVCodecID codec) {
    if (rule.copied.empty()) {
        return avformat_query_codec(&muxer, codec, FF_COMPLIANCE_NORMAL) == 1;
    }
    return std::find(rule.copied.begin(), rule.copied.end(), codec) != rule.copied.end();
}

// A stream whose rate or channels the file never states (one that only starts partway
// through a transport stream, say) cannot be set up for any container.
bool describedFully(const AVCodecParameters& parameters) {
    return parameters.sample_rate > 0 && parameters.ch_layout.nb_channels > 0;
}

void VideoFileOutput::Muxer::addAudio(AudioFileInput& input) {
    audio = &input;
    tracks.resize(input.streams().size());
    for (std::size_t i = 0; i < input.streams().size(); ++i) {
        const AudioStreamInfo& info = input.streams()[i];
        const AVCodecID codec = info.parameters->codec_id;
        const SoundRule& rule = *container->sound;
        const bool copy = copies(rule, *format->oformat, codec);
        const std::string name = avcodec_get_name(codec);
        if (!describedFully(*info.parameters) || (!copy && rule.encoder == nullptr)) {
            audioNote =
                describedFully(*info.parameters)
                    ? "the sound (" + name + ") does not go into " +
                          std::string(container->extension) + " files and is left out"
                    : "a sound stream (" + name + ") that the file does not describe is left out";
            input.leaveOut(i);
            continue;
        }
        AudioTrack& track = tracks[i].emplace();
        track.stream = avformat_new_stream(format.get(), nullptr);
        if (track.stream == nullptr) {
            throw std::bad_alloc();
        }
        track.inputTimeBase = avRatio(info.timeBase);
        if (copy) {
            check(avcodec_parameters_copy(track.stream->codecpar, info.parameters),
                  "the sound stream could not be set up");
            track.stream->codecpar->codec_tag = 0;
            track.stream->time_base = track.inputTimeBase;
            continue;
        }
        track.copied = false;
        openAudioDecoder(track, *info.parameters);
        openAudioEncoder(track, rule.encoder);
        openResampler(track);
        check(avcodec_parameters_from_context(track.stream->codecpar, track.encoder.get()),
              "the sound stream could not be set up");
        track.stream->time_base = track.encoder->time_base;
    }
}

void VideoFileOutput::Muxer::writeHeader(const std::string& file) {
    check(avio_open(&format->pb, file.c_str(), AVIO_FLAG_WRITE), "cannot be written");
    Dictionary options(container->muxerOptions);
    check(avformat_write_header(format.get(), options.get()), "cannot be written");
    if (!options.allTaken()) {
        throw fileError(destination, std::string("the ") + container->muxer +
                                         " writer of this FFmpeg does not take our settings");
    }
}

// Hands the encoder's packets to the muxer; `duration`, when the encoder leaves it out, is
// how long a packet lasts in the encoder's unit (the muxer needs it for the last frame).
void VideoFileOutput::Muxer::writePacketsOf(AVCodecContext* codec, AVStream* to,
                                            std::int64_t duration) {
    for (;;) {
        const int received = avcodec_receive_packet(codec, packet.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
            return;
        }
        check(received, "encoding failed");
        if (packet->duration <= 0) {
            packet->duration = duration;
        }
        av_packet_rescale_ts(packet.get(), codec->time_base, to->time_base);
        packet->stream_index = to->index;
        check(av_interleaved_write_frame(format.get(), packet.get()), "could not be written");
    }
}

void VideoFileOutput::Muxer::encodeVideo(AVFrame* picture) {
    check(avcodec_send_frame(encoder.get(), picture), "encoding failed");
    writePacketsOf(encoder.get(), stream, frameDuration);
}

void VideoFileOutput::Muxer::encodeAudioChunks(AudioTrack& track, bool all) {
    AVCodecContext& enc = *track.encoder;
    const bool smallLast = enc.codec->capabilities &
                           (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    const int size = chunkSamples(enc);
    while (av_audio_fifo_size(track.fifo.get()) >= size ||
           (all && av_audio_fifo_size(track.fifo.get()) > 0)) {
        const int available = std::min(size, av_audio_fifo_size(track.fifo.get()));
        AVFrame& chunk = *track.chunk;
        // The chunk's buffer is reused; it is copied first only while the encoder holds it.
        check(av_frame_make_writable(&chunk), "no memory");
        chunk.nb_samples = available < size && !smallLast ? size : available;
        if (available < chunk.nb_samples) {
            av_samples_set_silence(chunk.data, available, chunk.nb_samples - available,
                                   enc.ch_layout.nb_channels, enc.sample_fmt);
        }
        if (av_audio_fifo_read(track.fifo.get(), reinterpret_cast<void**>(chunk.data), available) !=
            available) {
            throw fileError(destination, "the sound could not be re-encoded");
        }
        chunk.pts = track.nextTime;
        track.nextTime += chunk.nb_samples;
        check(avcodec_send_frame(&enc, &chunk), "encoding the sound failed");
        writePacketsOf(&enc, track.stream);
    }
}

void VideoFileOutput::Muxer::writeAudioPacket(AudioTrack& track, AVPacket* audioPacket) {
    if (track.copied) {
        av_packet_rescale_ts(audioPacket, track.inputTimeBase, track.stream->time_base);
        // A muxer refuses times that do not go forward; a packet out of step follows the one
        // before, as the ffmpeg command line has it follow.
        if (audioPacket->dts != AV_NOPTS_VALUE && track.lastDts != AV_NOPTS_VALUE &&
            audioPacket->dts <= track.lastDts) {
            audioPacket->dts = track.lastDts + 1;
            if (audioPacket->pts != AV_NOPTS_VALUE && audioPacket->pts < audioPacket->dts) {
                audioPacket->pts = audioPacket->dts;
            }
        }
        track.lastDts = audioPacket->dts;
        audioPacket->stream_index = track.stream->index;
        audioPacket->pos = -1;
        check(av_interleaved_write_frame(format.get(), audioPacket), "could not be written");
        return;
    }
    // A packet the decoder refuses is skipped, as a player would skip it.
    if (avcodec_send_packet(track.decoder.get(), audioPacket) < 0) {
        return;
    }
    while (avcodec_receive_frame(track.decoder.get(), track.decoded.get()) == 0) {
        AVFrame& decoded = *track.decoded;
        giveUsualLayout(decoded.ch_layout);
        if (track.nextTime == AV_NOPTS_VALUE) {
            track.nextTime = decoded.best_effort_timestamp == AV_NOPTS_VALUE
                                 ? 0
                                 : av_rescale_q(decoded.best_effort_timestamp, track.inputTimeBase,
                                                track.encoder->time_base);
        }
        AVFrame& converted = *track.converted;
        av_frame_unref(&converted);
        converted.format = track.encoder->sample_fmt;
        converted.sample_rate = track.encoder->sample_rate;
        check(av_channel_layout_copy(&converted.ch_layout, &track.encoder->ch_layout), "no memory");
        check(swr_convert_frame(track.resampler.get(), &converted, &decoded),
              "the sound cannot be resampled");
        queueSamples(track, converted);
        av_frame_unref(&decoded);
        encodeAudioChunks(track, false);
    }
}

void VideoFileOutput::Muxer::queueSamples(AudioTrack& track, AVFrame& samples) {
    if (av_audio_fifo_write(track.fifo.get(), reinterpret_cast<void**>(samples.data),
                            samples.nb_samples) != samples.nb_samples) {
        throw std::bad_alloc();
    }
}

void VideoFileOutput::Muxer::flushAudio(AudioTrack& track) {
    if (track.copied) {
        return;
    }
    if (track.nextTime == AV_NOPTS_VALUE) {
        track.nextTime = 0;
    }
    AVFrame& converted = *track.converted;
    av_frame_unref(&converted);
    converted.format = track.encoder->sample_fmt;
    converted.sample_rate = track.encoder->sample_rate;
    check(av_channel_layout_copy(&converted.ch_layout, &track.encoder->ch_layout), "no memory");
    if (swr_convert_frame(track.resampler.get(), &converted, nullptr) == 0 &&
        converted.nb_samples > 0) {
        queueSamples(track, converted);
    }
    encodeAudioChunks(track, true);
    check(avcodec_send_frame(track.encoder.get(), nullptr), "encoding the sound failed");
    writePacketsOf(track.encoder.get(), track.stream);
}

// Copies or re-encodes the sound that starts before `time` (in the frames' unit), or at it
// too when `inclusive`; what starts later waits for the next frame.
void VideoFileOutput::Muxer::writeAudioUntil(std::int64_t time, bool inclusive) {
    while (audio != nullptr && !audioEnded) {
        if (heldAudio == nullptr) {
            heldAudio = audio->nextPacket(heldStream);
            if (heldAudio == nullptr) {
                audioEnded = audio->ended();
                return;  // or the demuxer has not reached the rest yet
            }
        }
        std::optional<AudioTrack>& track = tracks[heldStream];
        const std::int64_t start =
            heldAudio->pts != AV_NOPTS_VALUE ? heldAudio->pts : heldAudio->dts;
        if (track && start != AV_NOPTS_VALUE) {
            const int order = av_compare_ts(start, track->inputTimeBase, time, inputTimeBase);
            if (order > 0 || (order == 0 && !inclusive)) {
                return;
            }
        }
        // Sound from before the first frame (an encoder's priming) would move every frame of
        // a container that counts frames one slot later, leaving an empty frame at the start.
        const bool beforeStart = countsFrames && start != AV_NOPTS_VALUE && start < 0;
        if (track && !beforeStart) {
            writeAudioPacket(*track, heldAudio);
        }
        heldAudio = nullptr;
    }
}

VideoFileOutput::VideoFileOutput(const std::string& destination, const std::string& file,
                                 const VideoStreamFormat& format, AudioFileInput* audio)
    : muxer_(std::make_unique<Muxer>()) {
    silenceFfmpeg();
    Muxer& m = *muxer_;
    m.destination = destination;
    m.container = containerFor(destination);
    if (m.container == nullptr) {
        throw fileError(destination, "no video format has this extension");
    }
    AVFormatContext* context = nullptr;
    m.check(avformat_alloc_output_context2(&context, nullptr, m.container->muxer, file.c_str()),
            "the container cannot be made");
    m.format.reset(context);
    m.openVideo(format);
    if (audio != nullptr && m.container->sound != nullptr) {
        m.addAudio(*audio);
    } else if (audio != nullptr) {
        for (std::size_t i = 0; i < audio->streams().size(); ++i) {
            audio->leaveOut(i);
        }
    }
    m.writeHeader(file);
}

VideoFileOutput::~VideoFileOutput() = default;

const std::string& VideoFileOutput::audioNote() const {
    return muxer_->audioNote;
}

void VideoFileOutput::write(const cv::Mat& picture, std::int64_t time) {
    Muxer& m = *muxer_;
    CV_Assert(picture.type() == CV_8UC3 && picture.size() == m.size);
    m.writeAudioUntil(time, true);
    std::int64_t frameTime = av_rescale_q(time, m.inputTimeBase, m.frameTimeBase);
    // Frames closer together than the file's unit still get a time each, in order.
    if (m.lastTime != AV_NOPTS_VALUE && frameTime <= m.lastTime) {
        frameTime = m.lastTime + 1;
    }
    m.lastTime = frameTime;
    if (!m.encoder) {
        m.writeJpeg(picture, frameTime);
        return;
    }
    m.check(av_frame_make_writable(m.frame.get()), "no memory for a frame");
    convertToYuv420(picture, *m.frame);
    m.frame->pts = frameTime;
    m.encodeVideo(m.frame.get());
}

void VideoFileOutput::finish() {
    Muxer& m = *muxer_;
    // The sound is cut where the last frame ends.
    const std::int64_t endTime =
        m.lastTime == AV_NOPTS_VALUE
            ? 0
            : av_rescale_q(m.lastTime + m.frameDuration, m.frameTimeBase, m.inputTimeBase);
    if (m.encoder) {
        m.encodeVideo(nullptr);
    }
    m.writeAudioUntil(endTime, false);
    for (std::optional<AudioTrack>& track : m.tracks) {
        if (track) {
            m.flushAudio(*track);
        }
    }
    m.check(av_write_trailer(m.format.get()), "could not be written");
    m.check(avio_closep(&m.format->pb), "could not be written");
}

}  // namespace glintara::tool
