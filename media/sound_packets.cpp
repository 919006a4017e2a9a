// The locked queue of sound packets between the demuxer and an output.
#include "media/sound_packets.hpp"

#include <algorithm>
#include <new>

#include "core/user_error.hpp"
#include "media/av_ratio.hpp"
#include "media/demuxer.hpp"

namespace glintara::media {

SoundPackets::SoundPackets(Demuxer& demuxer, std::string path)
    : demuxer_(demuxer), path_(std::move(path)) {
    if (!reading_) {
        throw std::bad_alloc();
    }
    for (const AVStream* stream : demuxer.audioStreams()) {
        const auto index = static_cast<std::size_t>(stream->index);
        if (index >= indexOf_.size()) {
            indexOf_.resize(index + 1, -1);
        }
        indexOf_[index] = static_cast<int>(streams_.size());
        streams_.push_back({stream->codecpar, ratioOf(stream->time_base)});
    }
    wanted_.assign(streams_.size(), true);
}

// The index in streams_ of a wanted audio packet's stream, or -1. Streams that only appear
// partway through the file are not among them, as with the ffmpeg command line.
int SoundPackets::wantedIndex(const AVPacket& packet) const {
    const auto at = static_cast<std::size_t>(packet.stream_index);
    if (packet.stream_index < 0 || at >= indexOf_.size() || indexOf_[at] < 0) {
        return -1;
    }
    const int index = indexOf_[at];
    return wanted_[static_cast<std::size_t>(index)] ? index : -1;
}

void SoundPackets::keep(AVPacket& packet) {
    const std::lock_guard lock(mutex_);
    queueIfWanted(packet);
}

// The caller holds the lock.
void SoundPackets::queueIfWanted(AVPacket& packet) {
    const int index = wantedIndex(packet);
    if (index >= 0) {
        PacketPtr kept = sparePacket();
        av_packet_move_ref(kept.get(), &packet);
        waiting_.emplace_back(static_cast<std::size_t>(index), std::move(kept));
    }
    av_packet_unref(&packet);
}

// Packets handed back are used again: none is allocated per packet once the queue has
// reached its usual length.
PacketPtr SoundPackets::sparePacket() {
    if (spares_.empty()) {
        PacketPtr fresh(av_packet_alloc());
        if (!fresh) {
            throw std::bad_alloc();
        }
        return fresh;
    }
    PacketPtr spare = std::move(spares_.back());
    spares_.pop_back();
    return spare;
}

void SoundPackets::markFileEnded() {
    const std::lock_guard lock(mutex_);
    fileEnded_ = true;
}

void SoundPackets::leaveOut(std::size_t stream) {
    const std::lock_guard lock(mutex_);
    wanted_[stream] = false;
    std::erase_if(waiting_, [&](const auto& entry) { return entry.first == stream; });
}

AVPacket* SoundPackets::nextPacket(std::size_t& stream) {
    const std::lock_guard lock(mutex_);
    if (handedOut_) {
        av_packet_unref(handedOut_.get());
        spares_.push_back(std::move(handedOut_));
    }
    if (waiting_.empty() && picturesFinished_ && !fileEnded_) {
        readOnForSound();
    }
    if (waiting_.empty()) {
        return nullptr;
    }
    stream = waiting_.front().first;
    handedOut_ = std::move(waiting_.front().second);
    waiting_.pop_front();
    return handedOut_.get();
}

bool SoundPackets::ended() const {
    const std::lock_guard lock(mutex_);
    return fileEnded_ && waiting_.empty();
}

// With the pictures finished, reads until the next wanted audio packet or the end. The
// caller holds the lock.
void SoundPackets::readOnForSound() {
    while (waiting_.empty()) {
        switch (demuxer_.read(*reading_)) {
            case Demuxer::Read::End:
                fileEnded_ = true;
                return;
            case Demuxer::Read::Failed:
                throw fileError(path_, "the sound could not be read");
            case Demuxer::Read::Packet:
                queueIfWanted(*reading_);
                break;
        }
    }
}

}  // namespace glintara::media
