// The input's demuxer: FFmpeg reading the file opened once, through its descriptor, so that a
// pipe is read once and a name is never taken for one of FFmpeg's protocols. It picks the
// main picture stream, keeps the audio streams, and hands out packets with mended times.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "media/ffmpeg_handles.hpp"
#include "media/timeline.hpp"

namespace glintara::media {

class InputFile;

class Demuxer {
  public:
    // Nothing where FFmpeg cannot open the file or finds no picture stream it can decode;
    // `soundOnly` then says whether it found sound. The file must outlive the demuxer.
    static std::unique_ptr<Demuxer> open(InputFile& file, bool& soundOnly);
    ~Demuxer();
    Demuxer(const Demuxer&) = delete;
    Demuxer& operator=(const Demuxer&) = delete;

    enum class Read { Packet, End, Failed };
    // The next packet of the picture stream or of an audio stream, its times mended.
    Read read(AVPacket& packet);

    AVStream& videoStream() const { return *video_; }
    const AVCodec& videoCodec() const { return *videoCodec_; }
    // The audio streams FFmpeg knows a codec for, in the file's order.
    const std::vector<AVStream*>& audioStreams() const { return audio_; }
    // FFmpeg's name for the format, such as "mov,mp4,m4a,3gp,3g2,mj2" or "png_pipe".
    std::string_view formatName() const;
    // Whether FFmpeg took the file for a picture, or a numbered run of them, rather than for a
    // video container.
    bool holdsPictures() const;

  private:
    Demuxer() = default;
    bool openFormat(InputFile& file);
    bool findVideoStream();
    bool hasSound() const;
    void findAudioStreams();

    struct IoFree {
        void operator()(AVIOContext* context) const;
    };
    std::unique_ptr<AVIOContext, IoFree> io_;  // outlives the format, which reads through it
    FormatInputPtr format_;
    AVStream* video_ = nullptr;
    const AVCodec* videoCodec_ = nullptr;
    std::vector<AVStream*> audio_;
    std::unique_ptr<Timeline> timeline_;
};

}  // namespace glintara::media
