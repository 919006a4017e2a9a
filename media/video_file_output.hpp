// A video file written with FFmpeg's own libraries: the container and codecs an OUTPUT
// extension stands for, the frames at their own times, and the input's sound copied or
// re-encoded beside them, interleaved. Nothing outside the FFmpeg layer sees an FFmpeg type.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "media/audio_input.hpp"
#include "media/containers.hpp"
#include "media/video_track.hpp"

namespace glintara::media {

class OutputContainer;
class SoundTrack;

class VideoFileOutput {
  public:
    // Writes the format `destination`'s extension names into `file`. Failures throw
    // UserError naming the destination. `audio`, when given, is read as the frames are
    // written and must outlive this writer.
    VideoFileOutput(const std::string& destination, const std::string& file,
                    const VideoStreamFormat& format, AudioFileInput* audio);
    // The same in the container given, which must outlive this writer.
    VideoFileOutput(const ContainerFormat& container, const std::string& destination,
                    const std::string& file, const VideoStreamFormat& format,
                    AudioFileInput* audio);
    ~VideoFileOutput();
    VideoFileOutput(const VideoFileOutput&) = delete;
    VideoFileOutput& operator=(const VideoFileOutput&) = delete;

    // One line for the user when the input's sound cannot go into this container; empty
    // otherwise.
    const std::string& audioNote() const { return audioNote_; }

    // An 8-bit BGR frame of the format's size, shown from `time` (in the format's time
    // base) on.
    void write(const cv::Mat& frame, std::int64_t time);
    // Ends the file where the last frame ends, the sound cut there too. True when the input's
    // sound went on more than a second past that end.
    bool finish();

  private:
    void addSound(AudioFileInput& input);
    void writeSoundUntil(std::int64_t time, bool inclusive);
    bool soundGoesOnPast(std::int64_t time);

    std::unique_ptr<OutputContainer> output_;
    std::unique_ptr<VideoTrack> video_;
    AVRational inputUnit_{};
    std::int64_t lastTime_;  // of the last frame written, in the video track's unit

    AudioFileInput* audio_ = nullptr;
    std::vector<std::unique_ptr<SoundTrack>> sound_;  // per input audio stream; none if left out
    AVPacket* heldSound_ = nullptr;  // read, but later than the frames written so far
    std::size_t heldStream_ = 0;
    bool soundEnded_ = false;
    std::string audioNote_;
};

}  // namespace glintara::media
