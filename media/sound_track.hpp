// One input audio stream in an output file: copied packet for packet where the container's
// rule takes its codec, else decoded, resampled and encoded anew with the rule's encoder.
#pragma once

#include <cstdint>
#include <memory>

#include "media/audio_input.hpp"
#include "media/ffmpeg_handles.hpp"

struct AVAudioFifo;

namespace glintara::media {

class OutputContainer;
struct SoundRule;

class SoundTrack {
  public:
    // Adds the stream to the container, before its header is written.
    SoundTrack(OutputContainer& output, const AudioStreamInfo& input, bool copied,
               const char* encoder);
    ~SoundTrack();
    SoundTrack(const SoundTrack&) = delete;
    SoundTrack& operator=(const SoundTrack&) = delete;

    // The input's unit for its packets' times.
    AVRational inputUnit() const { return inputUnit_; }
    // A packet of the input stream, its times in inputUnit(); it may be changed.
    void write(AVPacket& packet);
    // Hands on what the resampler and encoder still hold.
    void flush();

  private:
    void copy(AVPacket& packet);
    void openDecoder(const AVCodecParameters& in);
    void openEncoder(const char* name);
    void openResampler();
    void resample(AVFrame* decoded);
    void encodeChunks(bool all);

    struct FifoFree {
        void operator()(AVAudioFifo* fifo) const;
    };

    OutputContainer& output_;
    AVStream& stream_;
    AVRational inputUnit_{};
    bool copied_ = true;
    std::int64_t lastDts_ = AV_NOPTS_VALUE;  // of the last copied packet, in the stream's unit

    CodecContextPtr decoder_;
    CodecContextPtr encoder_;
    ResamplerPtr resampler_;
    std::unique_ptr<AVAudioFifo, FifoFree> fifo_;
    FramePtr decoded_{av_frame_alloc()};
    FramePtr converted_{av_frame_alloc()};
    FramePtr chunk_{av_frame_alloc()};
    PacketPtr packet_{av_packet_alloc()};
    std::int64_t nextTime_ = AV_NOPTS_VALUE;  // of the next encoded sample, in 1/rate
};

// Whether the rule copies the codec into this container as it is.
bool copies(const SoundRule& rule, const AVOutputFormat& muxer, AVCodecID codec);

}  // namespace glintara::media
