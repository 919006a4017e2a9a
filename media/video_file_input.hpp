// A video file read with FFmpeg's own libraries, from one demuxer over a file opened once: the
// picture stream decoded to upright 8-bit BGR frames with their presentation times, and the
// audio streams' packets queued for an output to copy or re-encode. Nothing outside the
// FFmpeg layer sees an FFmpeg type.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <opencv2/core.hpp>

#include "core/ratio.hpp"
#include "media/audio_input.hpp"

namespace glintara::media {

class InputFile;
class Demuxer;
class VideoDecoder;
class SoundPackets;

class VideoFileInput {
  public:
    // What opening a file with FFmpeg found: a video to read, or nothing, perhaps sound.
    struct Opened {
        std::unique_ptr<VideoFileInput> video;
        bool soundOnly = false;  // sound, but no video stream (a cover picture is none)
    };
    // Reads the open file, which must outlive the reader. Opens the decoder of the main
    // video stream; no video where FFmpeg finds no video stream it can decode.
    static Opened open(InputFile& file);
    ~VideoFileInput();
    VideoFileInput(const VideoFileInput&) = delete;
    VideoFileInput& operator=(const VideoFileInput&) = delete;

    Ratio timeBase() const;   // the unit of the frames' times
    Ratio frameRate() const;  // frames per second, as the file states them; 0/1 if it does not
    // How wide its pixels are shown: 1/1 square, 4/3 for anamorphic HDV, say.
    Ratio pixelAspect() const;
    // The frame count the container states, if it states one.
    std::optional<long long> frameCount() const;
    // The next frame, as 8-bit BGR turned upright as the file says it is shown, and its
    // presentation time in timeBase() units; false at the end of the stream or where the
    // data stops decoding.
    bool readFrame(cv::Mat& frame, std::int64_t& time);
    // Whether reading stopped because the data would not decode, not at the end.
    bool failed() const { return failed_; }
    // Whether FFmpeg took the file for a picture, or a numbered run of them, rather than
    // for a video container.
    bool isPictureFile() const;
    // Whether the picture stream holds more than one picture (a raw MJPEG stream, a numbered
    // run), told from its packets without decoding any.
    bool holdsMoreThanOnePicture();
    // Whether it is an animated PNG, whose first picture any PNG reader shows.
    bool isAnimatedPng() const;
    // Whether it is an MP4 or QuickTime file, which is read from a pipe only with its index at
    // its start.
    bool isQuickTime() const;
    // The sound, read from the same demuxer; nullptr for a silent video.
    AudioFileInput* audio();
    // No more pictures will be read: the sound reads on by itself from here.
    void finishPictures();

  private:
    VideoFileInput(std::unique_ptr<Demuxer> demuxer, std::unique_ptr<VideoDecoder> decoder,
                   const std::string& path);
    // Hands the decoder the next packet of its stream, queueing the sound met on the way;
    // false at the end of the file (after draining the decoder) or on an error.
    bool feedDecoder();
    enum class PacketRead { Packet, End, Failed };
    // The picture stream's next packet from the demuxer, the sound met on the way queued.
    PacketRead readFromDemuxer(AVPacket& packet);
    // The same, those read ahead first.
    PacketRead readVideoPacket(AVPacket& packet);

    std::unique_ptr<Demuxer> demuxer_;
    std::unique_ptr<VideoDecoder> decoder_;
    std::unique_ptr<SoundPackets> sound_;
    struct Packets;
    std::unique_ptr<Packets> packets_;
    bool failed_ = false;
};

}  // namespace glintara::media
