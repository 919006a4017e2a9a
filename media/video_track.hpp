// The picture stream of an output file: 8-bit BGR frames encoded as the container's table
// says (H.264 or VP9 from 4:2:0 in video range, or JPEG pictures for MJPG) and handed to the
// muxer with their times.
#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "core/ratio.hpp"
#include "media/ffmpeg_handles.hpp"
#include "media/jpeg_encoder.hpp"

namespace glintara::media {

class OutputContainer;

struct VideoStreamFormat {
    cv::Size size;
    Ratio timeBase;   // the unit of the frames' times
    Ratio frameRate;  // frames per second, stated in the file; 0/1 when unknown
};

class VideoTrack {
  public:
    // Adds the stream to the container, before its header is written.
    VideoTrack(OutputContainer& output, const VideoStreamFormat& format);

    // The frames' unit in the file: the input's own, so that a variable frame rate survives,
    // except where the container counts in frames (AVI has one slot per frame).
    AVRational unit() const { return unit_; }
    // A frame's length at the stated rate, in unit().
    std::int64_t frameDuration() const { return frameDuration_; }
    // Whether the container has one slot per frame and no times before zero.
    bool countsFrames() const { return countsFrames_; }

    // A frame of the format's size, shown from `time` (in unit()) on.
    void write(const cv::Mat& picture, std::int64_t time);
    // Hands on what the encoder still holds.
    void flush();

  private:
    void describeJpegFrames();
    void openEncoder(AVRational rate);
    void writeJpeg(const cv::Mat& picture, std::int64_t time);

    OutputContainer& output_;
    cv::Size size_;
    AVStream& stream_;
    AVRational unit_{};
    std::int64_t frameDuration_ = 1;
    bool countsFrames_ = false;
    CodecContextPtr encoder_;  // none for JPEG frames
    FramePtr frame_{av_frame_alloc()};
    PacketPtr packet_{av_packet_alloc()};
    JpegEncoder jpegEncoder_;
    std::vector<unsigned char> jpeg_;
};

}  // namespace glintara::media
