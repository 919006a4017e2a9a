// The picture stream's decoder: packets in, frames out as 8-bit BGR turned upright as the
// stream says they are shown, each with its presentation time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <opencv2/core.hpp>

#include "core/ratio.hpp"
#include "media/ffmpeg_handles.hpp"
#include "media/orientation.hpp"

struct SwsContext;

namespace glintara::media {

class VideoDecoder {
  public:
    // Nothing where FFmpeg cannot open the codec. `path` names the input in errors.
    static std::unique_ptr<VideoDecoder> open(const AVStream& stream, const AVCodec& codec,
                                              std::string path);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // A packet of the stream, or nullptr once the file has ended; false where the decoder
    // refuses it.
    bool send(const AVPacket* packet);

    enum class Receive { Frame, NeedsPacket, End, Failed };
    // The next decoded frame, held until the next call.
    Receive receive();
    // The frame last received, as BGR turned upright; throws UserError where it cannot be
    // converted.
    void toBgr(cv::Mat& frame);
    // Its presentation time in the stream's unit: the file's own, or for frames without
    // one (raw H.264 or HEVC streams) the frame before's plus one frame at the stated rate.
    std::int64_t time();
    // How wide the stream's pixels are shown, as it states (square where it does not), for
    // the pictures as toBgr() turns them.
    Ratio pixelAspect() const;

  private:
    VideoDecoder(const AVStream& stream, std::string path);

    const AVStream& stream_;
    std::string path_;
    CodecContextPtr codec_;
    FramePtr decoded_{av_frame_alloc()};
    SwsContext* toBgr_ = nullptr;  // remade only when the frames change size or layout
    Upright upright_ = Upright::AsStored;
    cv::Mat stored_;  // a frame as stored, before it is turned upright
    bool drained_ = false;
    std::int64_t lastTime_ = AV_NOPTS_VALUE;
};

}  // namespace glintara::media
