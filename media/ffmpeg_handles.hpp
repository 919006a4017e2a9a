// Owners of FFmpeg's objects, each freed by its own function; shared by the input and
// output edges and seen by nothing else.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

namespace glintara::media {

struct FormatInputFree {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecContextFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct ResamplerFree {
    void operator()(SwrContext* context) const { swr_free(&context); }
};

using FormatInputPtr = std::unique_ptr<AVFormatContext, FormatInputFree>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFree>;

}  // namespace glintara::media
