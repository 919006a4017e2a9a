// The input's sound packets on their way from the demuxer to an output, between two threads:
// the picture reader queues them as it meets them, the output's writer takes them. Once the
// pictures are all read, the writer's calls read on through the demuxer by themselves.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "media/audio_input.hpp"
#include "media/ffmpeg_handles.hpp"

namespace glintara::media {

class Demuxer;

class SoundPackets final : public AudioFileInput {
  public:
    // The demuxer's audio streams; `path` names the input in errors.
    SoundPackets(Demuxer& demuxer, std::string path);

    // From the picture reader: a packet that is not a picture. A wanted audio packet is
    // queued; any other is dropped. Either way `packet` is left empty.
    void keep(AVPacket& packet);
    // The demuxer has reached the end of the file, or stopped on an error.
    void markFileEnded();
    // No more pictures will be read: the demuxer is the sound's alone from here.
    void finishPictures() { picturesFinished_ = true; }

    const std::vector<AudioStreamInfo>& streams() const override { return streams_; }
    void leaveOut(std::size_t stream) override;
    AVPacket* nextPacket(std::size_t& stream) override;
    bool ended() const override;

  private:
    int wantedIndex(const AVPacket& packet) const;
    void queueIfWanted(AVPacket& packet);
    PacketPtr sparePacket();
    void readOnForSound();

    Demuxer& demuxer_;
    std::string path_;
    std::vector<AudioStreamInfo> streams_;
    std::vector<int> indexOf_;  // the file's stream index -> index in streams_, or -1
    std::vector<bool> wanted_;  // per stream in streams_

    mutable std::mutex mutex_;
    std::deque<std::pair<std::size_t, PacketPtr>> waiting_;
    std::vector<PacketPtr> spares_;  // handed back, to be used again
    PacketPtr handedOut_;
    PacketPtr reading_{av_packet_alloc()};
    std::atomic<bool> picturesFinished_ = false;
    bool fileEnded_ = false;
};

}  // namespace glintara::media
