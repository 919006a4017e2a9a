// Video files read with FFmpeg's own libraries, from one demuxer over a file opened once: the
// picture stream decoded to upright 8-bit BGR frames with their presentation times, and the
// audio streams' packets as they are stored, queued for an output to copy or re-encode.
// Nothing outside the FFmpeg edge sees an FFmpeg type.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "render-tool/ratio.hpp"

struct AVCodecParameters;
struct AVPacket;

namespace glintara::tool {

class InputFile;

// FFmpeg's and its codec libraries' messages go to one sink that drops them: the tool says
// one line of its own instead.
void silenceFfmpeg();

// An audio stream of the input, as an output needs it to copy or decode it.
struct AudioStreamInfo {
    const AVCodecParameters* parameters;
    Ratio timeBase;
};

// The input's sound: the packets of its audio streams in the file's order, as the demuxer
// meets them while it reads the pictures. Once the pictures are all read, it reads on by
// itself.
class AudioFileInput {
  public:
    virtual ~AudioFileInput() = default;
    virtual const std::vector<AudioStreamInfo>& streams() const = 0;
    // The stream's packets are no longer wanted; those waiting are dropped.
    virtual void leaveOut(std::size_t stream) = 0;
    // The next packet of a stream still wanted, with its index in streams(); nullptr when
    // none is waiting yet, or at the end (ended() tells which). The packet is the caller's
    // until the next call.
    virtual AVPacket* nextPacket(std::size_t& stream) = 0;
    virtual bool ended() const = 0;
};

class VideoFileInput {
  public:
    // Reads the open file, which must outlive the reader. Opens the decoder of the main
    // video stream; nullptr where FFmpeg finds no video stream it can decode.
    static std::unique_ptr<VideoFileInput> open(InputFile& file);
    ~VideoFileInput();
    VideoFileInput(const VideoFileInput&) = delete;
    VideoFileInput& operator=(const VideoFileInput&) = delete;

    Ratio timeBase() const;   // the unit of the frames' times
    Ratio frameRate() const;  // frames per second, as the file states them
    // The frame count the container states, if it states one.
    std::optional<long long> frameCount() const;
    // The next frame, as 8-bit BGR turned upright as the file says it is shown, and its
    // presentation time in timeBase() units (counted on at the frame rate where the file
    // gives none); false at the end of the stream or where the data stops decoding.
    bool readFrame(cv::Mat& frame, std::int64_t& time);
    // Whether reading stopped because the data would not decode, not at the end.
    bool failed() const;
    // Whether FFmpeg took the file for a picture, or a numbered run of them, rather than
    // for a video container.
    bool isPictureFile() const;
    // Whether it is an animated PNG, whose first picture any PNG reader shows.
    bool isAnimatedPng() const;
    // The sound, read from the same demuxer; nullptr for a silent video.
    AudioFileInput* audio();
    // No more pictures will be read: the sound reads on by itself from here.
    void finishPictures();

  private:
    struct Decoder;
    explicit VideoFileInput(std::unique_ptr<Decoder> decoder);
    std::unique_ptr<Decoder> decoder_;
};

}  // namespace glintara::tool
