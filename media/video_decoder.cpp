// Decoding the picture stream to upright BGR frames with their times.
#include "media/video_decoder.hpp"

#include <new>

extern "C" {
#include <libswscale/swscale.h>
}

#include "core/user_error.hpp"
#include "media/av_ratio.hpp"

namespace glintara::media {
namespace {

// The stream's display matrix, where it has one: in the codec parameters' side data from
// FFmpeg 6.1 on, in the stream's own before.
const std::int32_t* displayMatrixOf(const AVStream& stream) {
#if LIBAVCODEC_VERSION_INT >= AV_VERSION_INT(60, 30, 100)
    const AVPacketSideData* data =
        av_packet_side_data_get(stream.codecpar->coded_side_data,
                                stream.codecpar->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
    return data != nullptr ? reinterpret_cast<const std::int32_t*>(data->data) : nullptr;
#else
    return reinterpret_cast<const std::int32_t*>(
        av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
#endif
}

}  // namespace

VideoDecoder::VideoDecoder(const AVStream& stream, std::string path)
    : stream_(stream), path_(std::move(path)) {}

std::unique_ptr<VideoDecoder> VideoDecoder::open(const AVStream& stream, const AVCodec& codec,
                                                 std::string path) {
    std::unique_ptr<VideoDecoder> decoder(new VideoDecoder(stream, std::move(path)));
    decoder->codec_.reset(avcodec_alloc_context3(&codec));
    if (!decoder->codec_ || !decoder->decoded_) {
        throw std::bad_alloc();
    }
    if (avcodec_parameters_to_context(decoder->codec_.get(), stream.codecpar) < 0) {
        return nullptr;
    }
    decoder->codec_->thread_count = 0;  // as many as there are cores
    decoder->codec_->pkt_timebase = stream.time_base;
    if (avcodec_open2(decoder->codec_.get(), &codec, nullptr) < 0) {
        return nullptr;
    }
    decoder->upright_ = uprightFor(displayMatrixOf(stream));
    return decoder;
}

VideoDecoder::~VideoDecoder() {
    sws_freeContext(toBgr_);
}

bool VideoDecoder::send(const AVPacket* packet) {
    drained_ = drained_ || packet == nullptr;
    return avcodec_send_packet(codec_.get(), packet) == 0;
}

VideoDecoder::Receive VideoDecoder::receive() {
    av_frame_unref(decoded_.get());
    const int received = avcodec_receive_frame(codec_.get(), decoded_.get());
    if (received == 0) {
        return Receive::Frame;
    }
    if (received == AVERROR(EAGAIN) && !drained_) {
        return Receive::NeedsPacket;
    }
    return received == AVERROR_EOF ? Receive::End : Receive::Failed;
}

// Converted as OpenCV's own reader converts, then turned upright.
void VideoDecoder::toBgr(cv::Mat& frame) {
    const AVFrame& in = *decoded_;
    toBgr_ = sws_getCachedContext(toBgr_, in.width, in.height,
                                  static_cast<AVPixelFormat>(in.format), in.width, in.height,
                                  AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (toBgr_ == nullptr) {
        throw fileError(path_, "the video's pixel format cannot be converted");
    }
    cv::Mat& target = upright_ == Upright::AsStored ? frame : stored_;
    target.create(in.height, in.width, CV_8UC3);
    uint8_t* planes[] = {target.data};
    const int strides[] = {static_cast<int>(target.step[0])};
    if (sws_scale(toBgr_, in.data, in.linesize, 0, in.height, planes, strides) != in.height) {
        throw fileError(path_, "a frame could not be converted to colour");
    }
    turnUpright(upright_, stored_, frame);
}

Ratio VideoDecoder::pixelAspect() const {
    AVRational aspect = stream_.sample_aspect_ratio;
    if (aspect.num <= 0 || aspect.den <= 0) {
        aspect = stream_.codecpar->sample_aspect_ratio;
    }
    if (aspect.num <= 0 || aspect.den <= 0) {
        return {1, 1};
    }
    // A quarter turn makes a pixel's width its height.
    const bool quarterTurn = upright_ == Upright::Clockwise || upright_ == Upright::Anticlockwise ||
                             upright_ == Upright::Transpose || upright_ == Upright::AntiTranspose;
    return ratioOf(quarterTurn ? av_inv_q(aspect) : aspect);
}

std::int64_t VideoDecoder::time() {
    std::int64_t time = decoded_->best_effort_timestamp;
    if (time == AV_NOPTS_VALUE) {
        AVRational rate = stream_.avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0) {
            rate = stream_.r_frame_rate.num > 0 ? stream_.r_frame_rate : AVRational{30, 1};
        }
        const std::int64_t step =
            std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), stream_.time_base));
        time = lastTime_ == AV_NOPTS_VALUE ? 0 : lastTime_ + step;
    }
    lastTime_ = time;
    return time;
}

}  // namespace glintara::media
