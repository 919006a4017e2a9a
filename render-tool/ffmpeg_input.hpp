// Video files read with FFmpeg's own libraries: the picture stream decoded to 8-bit BGR
// frames with their presentation times, and the audio streams as they are stored, for an
// output to copy or re-encode. Nothing outside the FFmpeg edge sees an FFmpeg type.
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

// What FFmpeg says happens meanwhile is dropped: the tool says one line of its own instead.
void silenceFfmpeg();

class VideoFileInput {
  public:
    // Opens the file and the decoder of its main video stream; nullptr where FFmpeg finds
    // no video stream it can decode.
    static std::unique_ptr<VideoFileInput> open(const std::string& path);
    ~VideoFileInput();
    VideoFileInput(const VideoFileInput&) = delete;
    VideoFileInput& operator=(const VideoFileInput&) = delete;

    Ratio timeBase() const;   // the unit of the frames' times
    Ratio frameRate() const;  // frames per second, as the file states them
    // The frame count the container states, if it states one.
    std::optional<long long> frameCount() const;
    // The next frame, as 8-bit BGR, and its presentation time in timeBase() units; false
    // at the end of the stream or where the data stops decoding.
    bool readFrame(cv::Mat& frame, std::int64_t& time);
    // Whether reading stopped because the data would not decode, not at the end.
    bool failed() const;
    // Whether FFmpeg took the file for a picture, or a numbered run of them, rather than
    // for a video container.
    bool isPictureFile() const;

  private:
    struct Decoder;
    explicit VideoFileInput(std::unique_ptr<Decoder> decoder);
    std::unique_ptr<Decoder> decoder_;
};

// An audio stream of the input, as an output needs it to copy or decode it.
struct AudioStreamInfo {
    const AVCodecParameters* parameters;
    Ratio timeBase;
};

// The audio streams of a file, read on their own beside its pictures, packet by packet in
// the file's order.
class AudioFileInput {
  public:
    // nullptr where the file has no audio stream.
    static std::unique_ptr<AudioFileInput> open(const std::string& path);
    ~AudioFileInput();
    AudioFileInput(const AudioFileInput&) = delete;
    AudioFileInput& operator=(const AudioFileInput&) = delete;

    const std::vector<AudioStreamInfo>& streams() const { return streams_; }
    // The next packet of any audio stream, with its index in streams(); nullptr at the end.
    // The packet is this reader's until the next call.
    AVPacket* nextPacket(std::size_t& stream);

  private:
    struct Demuxer;
    AudioFileInput(std::unique_ptr<Demuxer> demuxer, std::vector<AudioStreamInfo> streams);
    std::unique_ptr<Demuxer> demuxer_;
    std::vector<AudioStreamInfo> streams_;
};

}  // namespace glintara::tool
