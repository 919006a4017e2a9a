// The default sound input (PulseAudio, or PipeWire through its PulseAudio service), read as
// it comes on a thread of its own for a live recording. Its packets are timed from the moment
// the recording's first frame was taken, so that sound and pictures keep in step; sound from
// before that moment is left out.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "media/audio_input.hpp"
#include "media/ffmpeg_handles.hpp"

namespace glintara::media {

class LiveSound final : public AudioFileInput {
  public:
    // Opens the default sound input and starts reading; throws UserError naming it when it
    // cannot be opened.
    LiveSound();
    ~LiveSound() override;
    LiveSound(const LiveSound&) = delete;
    LiveSound& operator=(const LiveSound&) = delete;

    // The moment the recording starts: sound from then on is kept, timed from it.
    void startAt(std::chrono::system_clock::time_point start);
    // No more sound is read; what has been read is still handed out.
    void stop();

    const std::vector<AudioStreamInfo>& streams() const override { return streams_; }
    void leaveOut(std::size_t stream) override;
    AVPacket* nextPacket(std::size_t& stream) override;
    bool ended() const override;

  private:
    void read();
    void keep(AVPacket& packet);

    FormatInputPtr input_;
    std::vector<AudioStreamInfo> streams_;
    std::atomic<std::int64_t> start_;  // microseconds of the wall clock; none yet: max
    std::atomic<bool> stopping_ = false;

    mutable std::mutex mutex_;
    std::deque<PacketPtr> waiting_;
    std::vector<PacketPtr> spares_;
    PacketPtr handedOut_;
    bool wanted_ = true;
    bool readingEnded_ = false;
    std::thread reader_;
};

}  // namespace glintara::media
