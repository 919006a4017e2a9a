// Encoding the kaleidoscope's frames into an output file's picture stream.
#include "media/video_track.hpp"

#include <algorithm>
#include <new>
#include <string_view>

#include "core/yuv420.hpp"
#include "media/av_ratio.hpp"
#include "media/ffmpeg_error.hpp"
#include "media/output_container.hpp"

namespace glintara::media {
namespace {

AVRational unitFor(const VideoStreamFormat& format, bool countsFrames) {
    const AVRational rate = avRatio(format.frameRate);
    return countsFrames && rate.num > 0 ? av_inv_q(rate) : avRatio(format.timeBase);
}

// The encoder's 4:2:0 planes as images, where the frame holds them.
Yuv420Planes planesOf(AVFrame& frame, cv::Size size) {
    return yuv420Planes(size, {frame.data[0], frame.data[1], frame.data[2]},
                        {frame.linesize[0], frame.linesize[1], frame.linesize[2]});
}

}  // namespace

VideoTrack::VideoTrack(OutputContainer& output, const VideoStreamFormat& format)
    : output_(output), size_(format.size), stream_(output.addStream()), jpegEncoder_(kJpegQuality) {
    if (!frame_ || !packet_) {
        throw std::bad_alloc();
    }
    const AVRational rate = avRatio(format.frameRate);
    countsFrames_ = std::string_view(output.container().muxer) == "avi";
    unit_ = unitFor(format, countsFrames_);
    if (rate.num > 0) {
        frameDuration_ = std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(rate), unit_));
    }
    if (output.container().jpegFrames) {
        describeJpegFrames();
    } else {
        openEncoder(rate);
        output.check(avcodec_parameters_from_context(stream_.codecpar, encoder_.get()),
                     "the video stream could not be set up");
    }
    stream_.time_base = unit_;
    if (rate.num > 0) {
        stream_.avg_frame_rate = rate;
        stream_.r_frame_rate = rate;
    }
}

// Each frame a JPEG picture of its own, as MJPG is: no encoder state to set up.
void VideoTrack::describeJpegFrames() {
    AVCodecParameters& parameters = *stream_.codecpar;
    parameters.codec_type = AVMEDIA_TYPE_VIDEO;
    parameters.codec_id = AV_CODEC_ID_MJPEG;
    parameters.width = size_.width;
    parameters.height = size_.height;
    parameters.format = AV_PIX_FMT_YUVJ420P;
    parameters.color_range = AVCOL_RANGE_JPEG;
    parameters.sample_aspect_ratio = {1, 1};
}

void VideoTrack::openEncoder(AVRational rate) {
    const char* name = output_.container().encoder;
    encoder_ = output_.newEncoder(name);
    AVCodecContext& encoder = *encoder_;
    encoder.width = size_.width;
    encoder.height = size_.height;
    encoder.pix_fmt = AV_PIX_FMT_YUV420P;
    encoder.sample_aspect_ratio = {1, 1};
    encoder.time_base = unit_;
    if (rate.num > 0) {
        encoder.framerate = rate;
    }
    encoder.colorspace = AVCOL_SPC_SMPTE170M;  // the BT.601 matrix of the conversion
    encoder.color_range = AVCOL_RANGE_MPEG;
    encoder.thread_count = 0;
    Dictionary options(output_.container().encoderOptions);
    output_.check(avcodec_open2(&encoder, encoder.codec, options.get()),
                  "the video encoder failed");
    if (!options.allTaken()) {
        throw fileError(
            output_.destination(),
            std::string("the ") + name + " encoder of this FFmpeg does not take our settings");
    }
    frame_->format = encoder.pix_fmt;
    frame_->width = encoder.width;
    frame_->height = encoder.height;
    output_.check(av_frame_get_buffer(frame_.get(), 0), "no memory for a frame");
}

void VideoTrack::writeJpeg(const cv::Mat& picture, std::int64_t time) {
    if (!jpegEncoder_.encode(picture, jpeg_)) {
        throw fileError(output_.destination(), "a frame could not be encoded as JPEG");
    }
    AVPacket& packet = *packet_;
    output_.check(av_new_packet(&packet, static_cast<int>(jpeg_.size())), "no memory for a frame");
    std::copy(jpeg_.begin(), jpeg_.end(), packet.data);
    packet.pts = packet.dts = time;
    packet.duration = frameDuration_;
    packet.flags |= AV_PKT_FLAG_KEY;
    output_.write(packet, unit_, stream_);
}

void VideoTrack::write(const cv::Mat& picture, std::int64_t time) {
    CV_Assert(picture.type() == CV_8UC3 && picture.size() == size_);
    if (!encoder_) {
        writeJpeg(picture, time);
        return;
    }
    output_.check(av_frame_make_writable(frame_.get()), "no memory for a frame");
    Yuv420Planes planes = planesOf(*frame_, size_);
    bgrToYuv420(picture, planes.y, planes.cb, planes.cr);
    frame_->pts = time;
    output_.check(avcodec_send_frame(encoder_.get(), frame_.get()), "encoding failed");
    output_.writeEncoded(*encoder_, stream_, *packet_, frameDuration_);
}

void VideoTrack::flush() {
    if (encoder_) {
        output_.check(avcodec_send_frame(encoder_.get(), nullptr), "encoding failed");
        output_.writeEncoded(*encoder_, stream_, *packet_, frameDuration_);
    }
}

}  // namespace glintara::media
