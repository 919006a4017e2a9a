// A video recorded as it happens, kept safe against the program being killed: it is written
// in its unfinished form (Matroska, clusters of at most a second, synced to the disk as it
// goes) under "FILE.recording.mkv" beside FILE, and only a finished recording is remuxed
// into FILE's own container and renamed into place. Killed outright, the program leaves the
// unfinished file, playable to within two seconds of the end, and FILE as it was.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include <opencv2/core.hpp>

#include "media/audio_input.hpp"
#include "media/containers.hpp"
#include "media/video_track.hpp"

namespace glintara::media {

class VideoFileOutput;

class RecordingFile {
  public:
    // Starts the unfinished file beside `destination`, under the first of
    // "FILE.recording.mkv", "FILE.recording-2.mkv", ... not taken (an earlier recording left
    // unfinished is never overwritten). Throws UserError naming the file.
    RecordingFile(const std::string& destination, const VideoStreamFormat& format,
                  AudioFileInput* sound);
    // An unfinished recording is left as it is, playable and the user's; one without a frame
    // is removed.
    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    const std::string& destination() const { return destination_; }
    const std::string& unfinishedPath() const { return unfinished_; }
    // One line for the user when the sound cannot go into this container; empty otherwise.
    const std::string& soundNote() const { return soundNote_; }

    // A frame of the format's size, shown from `time` (in the format's time base) on.
    void write(const cv::Mat& frame, std::int64_t time);
    // Ends the recording, puts it in place as the destination, replacing any file there, and
    // removes the unfinished file. With no frame written, nothing is put in place. Throws
    // UserError on failure, the unfinished file kept.
    void finish();
    std::int64_t framesWritten() const { return frames_; }

  private:
    void syncNowAndThen();

    std::string destination_;
    const ContainerFormat& finished_;
    ContainerFormat unfinishedForm_;
    Ratio frameRate_;
    int syncedFd_ = -1;  // the unfinished file, for syncing it to the disk
    std::string unfinished_;
    std::chrono::steady_clock::time_point lastSync_;
    std::unique_ptr<VideoFileOutput> output_;
    std::int64_t frames_ = 0;
    std::string soundNote_;
};

}  // namespace glintara::media
