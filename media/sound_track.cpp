// The input's sound into an output: copied, or transcoded through a decoder, a resampler, a
// queue of samples and an encoder.
#include "media/sound_track.hpp"

#include <algorithm>
#include <new>
#include <string>

extern "C" {
#include <libavutil/audio_fifo.h>
}

#include "core/user_error.hpp"
#include "media/av_ratio.hpp"
#include "media/containers.hpp"
#include "media/ffmpeg_error.hpp"
#include "media/output_container.hpp"

namespace glintara::media {
namespace {

// The encoder's frame size in samples, where it names one.
int chunkSamples(const AVCodecContext& encoder) {
    return encoder.frame_size > 0 ? encoder.frame_size : 1024;
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

// The sample rates and formats an encoder takes, through the call FFmpeg 7.1 brings or the
// codec's own lists before it; nullptr where it does not say.
const int* supportedRates(const AVCodec& codec) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(61, 13, 100)
    const void* rates = nullptr;
    if (avcodec_get_supported_config(nullptr, &codec, AV_CODEC_CONFIG_SAMPLE_RATE, 0, &rates,
                                     nullptr) < 0) {
        return nullptr;
    }
    return static_cast<const int*>(rates);
#else
    return codec.supported_samplerates;
#endif
}

AVSampleFormat firstSampleFormat(const AVCodec& codec) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(61, 13, 100)
    const void* formats = nullptr;
    if (avcodec_get_supported_config(nullptr, &codec, AV_CODEC_CONFIG_SAMPLE_FORMAT, 0, &formats,
                                     nullptr) < 0 ||
        formats == nullptr) {
        return AV_SAMPLE_FMT_FLTP;
    }
    return *static_cast<const AVSampleFormat*>(formats);
#else
    return codec.sample_fmts != nullptr ? codec.sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
#endif
}

// The encoder's rate: Opus runs at 48 kHz; AAC keeps the input's rate where it has one.
int encoderSampleRate(const AVCodec& codec, int inputRate) {
    const int* rates = supportedRates(codec);
    if (codec.id == AV_CODEC_ID_AAC && rates != nullptr) {
        for (const int* rate = rates; *rate != 0; ++rate) {
            if (*rate == inputRate) {
                return inputRate;
            }
        }
    }
    return 48000;
}

}  // namespace

void SoundTrack::FifoFree::operator()(AVAudioFifo* fifo) const {
    av_audio_fifo_free(fifo);
}

bool copies(const SoundRule& rule, const AVOutputFormat& muxer, AVCodecID codec) {
    if (rule.copied.empty()) {
        return avformat_query_codec(&muxer, codec, FF_COMPLIANCE_NORMAL) == 1;
    }
    return std::find(rule.copied.begin(), rule.copied.end(), codec) != rule.copied.end();
}

SoundTrack::SoundTrack(OutputContainer& output, const AudioStreamInfo& input, bool copied,
                       const char* encoder)
    : output_(output),
      stream_(output.addStream()),
      inputUnit_(avRatio(input.timeBase)),
      copied_(copied) {
    if (!decoded_ || !converted_ || !chunk_ || !packet_) {
        throw std::bad_alloc();
    }
    if (copied) {
        output.check(avcodec_parameters_copy(stream_.codecpar, input.parameters),
                     "the sound stream could not be set up");
        stream_.codecpar->codec_tag = 0;
        stream_.time_base = inputUnit_;
        return;
    }
    openDecoder(*input.parameters);
    openEncoder(encoder);
    openResampler();
    output.check(avcodec_parameters_from_context(stream_.codecpar, encoder_.get()),
                 "the sound stream could not be set up");
    stream_.time_base = encoder_->time_base;
}

SoundTrack::~SoundTrack() = default;

void SoundTrack::openDecoder(const AVCodecParameters& in) {
    const AVCodec* codec = avcodec_find_decoder(in.codec_id);
    if (codec == nullptr) {
        throw fileError(output_.destination(), "the sound (" +
                                                   std::string(avcodec_get_name(in.codec_id)) +
                                                   ") can be neither copied nor decoded");
    }
    decoder_.reset(avcodec_alloc_context3(codec));
    if (!decoder_) {
        throw std::bad_alloc();
    }
    output_.check(avcodec_parameters_to_context(decoder_.get(), &in), "the sound cannot be read");
    giveUsualLayout(decoder_->ch_layout);
    decoder_->pkt_timebase = inputUnit_;
    output_.check(avcodec_open2(decoder_.get(), codec, nullptr), "the sound cannot be read");
}

void SoundTrack::openEncoder(const char* name) {
    encoder_ = output_.newEncoder(name);
    AVCodecContext& enc = *encoder_;
    const AVCodec* codec = enc.codec;
    const AVCodecContext& dec = *decoder_;
    enc.sample_rate = encoderSampleRate(*codec, dec.sample_rate);
    enc.sample_fmt = firstSampleFormat(*codec);
    av_channel_layout_default(&enc.ch_layout, dec.ch_layout.nb_channels == 1 ? 1 : 2);
    enc.bit_rate = 128000 * enc.ch_layout.nb_channels / 2;
    enc.time_base = {1, enc.sample_rate};
    output_.check(avcodec_open2(&enc, codec, nullptr), "the sound encoder failed");
}

void SoundTrack::openResampler() {
    AVCodecContext& enc = *encoder_;
    AVCodecContext& dec = *decoder_;
    SwrContext* resampler = nullptr;
    output_.check(swr_alloc_set_opts2(&resampler, &enc.ch_layout, enc.sample_fmt, enc.sample_rate,
                                      &dec.ch_layout, dec.sample_fmt, dec.sample_rate, 0, nullptr),
                  "the sound cannot be resampled");
    resampler_.reset(resampler);
    output_.check(swr_init(resampler), "the sound cannot be resampled");
    fifo_.reset(av_audio_fifo_alloc(enc.sample_fmt, enc.ch_layout.nb_channels, 1));
    if (!fifo_) {
        throw std::bad_alloc();
    }
    AVFrame& chunk = *chunk_;
    chunk.nb_samples = chunkSamples(enc);
    chunk.format = enc.sample_fmt;
    chunk.sample_rate = enc.sample_rate;
    output_.check(av_channel_layout_copy(&chunk.ch_layout, &enc.ch_layout), "no memory");
    output_.check(av_frame_get_buffer(&chunk, 0), "no memory");
}

// A muxer refuses times that do not go forward; a packet out of step follows the one before,
// as the ffmpeg command line has it follow.
void SoundTrack::copy(AVPacket& packet) {
    av_packet_rescale_ts(&packet, inputUnit_, stream_.time_base);
    if (packet.dts != AV_NOPTS_VALUE && lastDts_ != AV_NOPTS_VALUE && packet.dts <= lastDts_) {
        packet.dts = lastDts_ + 1;
        if (packet.pts != AV_NOPTS_VALUE && packet.pts < packet.dts) {
            packet.pts = packet.dts;
        }
    }
    lastDts_ = packet.dts;
    packet.pos = -1;
    output_.write(packet, stream_.time_base, stream_);
}

void SoundTrack::write(AVPacket& packet) {
    if (copied_) {
        copy(packet);
        return;
    }
    // A packet the decoder refuses is skipped, as a player would skip it.
    if (avcodec_send_packet(decoder_.get(), &packet) < 0) {
        return;
    }
    while (avcodec_receive_frame(decoder_.get(), decoded_.get()) == 0) {
        AVFrame& decoded = *decoded_;
        giveUsualLayout(decoded.ch_layout);
        if (nextTime_ == AV_NOPTS_VALUE) {
            nextTime_ =
                decoded.best_effort_timestamp == AV_NOPTS_VALUE
                    ? 0
                    : av_rescale_q(decoded.best_effort_timestamp, inputUnit_, encoder_->time_base);
        }
        resample(&decoded);
        av_frame_unref(&decoded);
        encodeChunks(false);
    }
}

// The decoded samples, or with nullptr what the resampler still holds, into the queue.
void SoundTrack::resample(AVFrame* decoded) {
    AVFrame& converted = *converted_;
    av_frame_unref(&converted);
    converted.format = encoder_->sample_fmt;
    converted.sample_rate = encoder_->sample_rate;
    output_.check(av_channel_layout_copy(&converted.ch_layout, &encoder_->ch_layout), "no memory");
    output_.check(swr_convert_frame(resampler_.get(), &converted, decoded),
                  "the sound cannot be resampled");
    if (converted.nb_samples > 0 &&
        av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(converted.data),
                            converted.nb_samples) != converted.nb_samples) {
        throw std::bad_alloc();
    }
}

// Encodes the queued samples a chunk at a time; with `all`, the last short chunk too, padded
// with silence where the encoder needs whole chunks.
void SoundTrack::encodeChunks(bool all) {
    AVCodecContext& enc = *encoder_;
    const bool smallLast = enc.codec->capabilities &
                           (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    const int size = chunkSamples(enc);
    while (av_audio_fifo_size(fifo_.get()) >= size ||
           (all && av_audio_fifo_size(fifo_.get()) > 0)) {
        const int available = std::min(size, av_audio_fifo_size(fifo_.get()));
        AVFrame& chunk = *chunk_;
        // The chunk's buffer is reused; it is copied first only while the encoder holds it.
        output_.check(av_frame_make_writable(&chunk), "no memory");
        chunk.nb_samples = available < size && !smallLast ? size : available;
        if (available < chunk.nb_samples) {
            av_samples_set_silence(chunk.data, available, chunk.nb_samples - available,
                                   enc.ch_layout.nb_channels, enc.sample_fmt);
        }
        if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(chunk.data), available) !=
            available) {
            throw fileError(output_.destination(), "the sound could not be re-encoded");
        }
        chunk.pts = nextTime_;
        nextTime_ += chunk.nb_samples;
        output_.check(avcodec_send_frame(&enc, &chunk), "encoding the sound failed");
        output_.writeEncoded(enc, stream_, *packet_);
    }
}

void SoundTrack::flush() {
    if (copied_) {
        return;
    }
    if (nextTime_ == AV_NOPTS_VALUE) {
        nextTime_ = 0;
    }
    resample(nullptr);
    encodeChunks(true);
    output_.check(avcodec_send_frame(encoder_.get(), nullptr), "encoding the sound failed");
    output_.writeEncoded(*encoder_, stream_, *packet_);
}

}  // namespace glintara::media
