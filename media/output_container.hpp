// One output file as FFmpeg's muxer writes it: its streams, its header, the packets of every
// stream interleaved by time, and its trailer. Failures throw UserError naming the
// destination.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "media/containers.hpp"
#include "media/ffmpeg_handles.hpp"

namespace glintara::media {

class OutputContainer {
  public:
    // The container for `destination`'s format, to be written into `file`.
    OutputContainer(const ContainerFormat& container, std::string destination,
                    const std::string& file);
    ~OutputContainer();
    OutputContainer(const OutputContainer&) = delete;
    OutputContainer& operator=(const OutputContainer&) = delete;

    const ContainerFormat& container() const { return container_; }
    const std::string& destination() const { return destination_; }
    const AVOutputFormat& format() const { return *format_->oformat; }
    // Whether encoders must put their headers in the stream's parameters.
    bool wantsGlobalHeaders() const;

    AVStream& addStream();
    // FFmpeg's encoder of that name and a context for it, with global headers where the
    // container wants them; throws UserError naming the destination where this FFmpeg lacks it.
    CodecContextPtr newEncoder(const char* name) const;
    void writeHeader();
    // A packet of `stream`, its times in `unit`, into the file in time order.
    void write(AVPacket& packet, AVRational unit, const AVStream& stream);
    // Hands on every packet the encoder has ready for `stream`. `duration`, when the encoder
    // leaves it out, is how long a packet lasts in the encoder's unit (the muxer needs it for
    // the last frame).
    void writeEncoded(AVCodecContext& encoder, const AVStream& stream, AVPacket& packet,
                      std::int64_t duration = 0);
    // Ends the file and closes it.
    void finish();

    // Throws "<destination>: <what>: <FFmpeg's reason>" for an error code.
    void check(int result, const char* what) const;

  private:
    struct FormatFree {
        void operator()(AVFormatContext* context) const;
    };

    const ContainerFormat& container_;
    std::string destination_;
    std::string file_;
    std::unique_ptr<AVFormatContext, FormatFree> format_;
};

}  // namespace glintara::media
