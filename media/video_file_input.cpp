// Reading a video file: the demuxer's packets routed to the picture decoder or the sound
// queue, frame by frame.
#include "media/video_file_input.hpp"

#include <deque>
#include <new>
#include <string_view>

#include "core/interruption.hpp"
#include "media/av_ratio.hpp"
#include "media/demuxer.hpp"
#include "media/ffmpeg_log.hpp"
#include "media/input_file.hpp"
#include "media/sound_packets.hpp"
#include "media/video_decoder.hpp"

namespace glintara::media {

// The packet being decoded, and the picture packets read ahead to count the pictures.
struct VideoFileInput::Packets {
    PacketPtr packet{av_packet_alloc()};
    std::deque<PacketPtr> readAhead;
    bool demuxerEnded = false;
};

VideoFileInput::Opened VideoFileInput::open(InputFile& file) {
    silenceFfmpeg();
    Opened opened;
    std::unique_ptr<Demuxer> demuxer = Demuxer::open(file, opened.soundOnly);
    if (!demuxer) {
        stopIfInterrupted();
        return opened;
    }
    std::unique_ptr<VideoDecoder> decoder =
        VideoDecoder::open(demuxer->videoStream(), demuxer->videoCodec(), file.path());
    if (decoder) {
        opened.video.reset(new VideoFileInput(std::move(demuxer), std::move(decoder), file.path()));
    }
    return opened;
}

VideoFileInput::VideoFileInput(std::unique_ptr<Demuxer> demuxer,
                               std::unique_ptr<VideoDecoder> decoder, const std::string& path)
    : demuxer_(std::move(demuxer)),
      decoder_(std::move(decoder)),
      sound_(std::make_unique<SoundPackets>(*demuxer_, path)),
      packets_(std::make_unique<Packets>()) {
    if (!packets_->packet) {
        throw std::bad_alloc();
    }
}

VideoFileInput::~VideoFileInput() = default;

Ratio VideoFileInput::timeBase() const {
    return ratioOf(demuxer_->videoStream().time_base);
}

Ratio VideoFileInput::frameRate() const {
    const AVStream& stream = demuxer_->videoStream();
    AVRational rate = stream.avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) {
        rate = stream.r_frame_rate;
    }
    if (rate.num <= 0 || rate.den <= 0) {
        return {};
    }
    return ratioOf(rate);
}

Ratio VideoFileInput::pixelAspect() const {
    return decoder_->pixelAspect();
}

std::optional<long long> VideoFileInput::frameCount() const {
    const std::int64_t count = demuxer_->videoStream().nb_frames;
    return count > 0 ? std::optional<long long>(count) : std::nullopt;
}

bool VideoFileInput::isPictureFile() const {
    return demuxer_->holdsPictures();
}

bool VideoFileInput::isAnimatedPng() const {
    return demuxer_->formatName() == "apng";
}

bool VideoFileInput::isQuickTime() const {
    return demuxer_->formatName().starts_with("mov,mp4");
}

VideoFileInput::PacketRead VideoFileInput::readFromDemuxer(AVPacket& packet) {
    if (packets_->demuxerEnded) {
        return PacketRead::End;
    }
    for (;;) {
        const Demuxer::Read read = demuxer_->read(packet);
        if (read != Demuxer::Read::Packet) {
            packets_->demuxerEnded = true;
            sound_->markFileEnded();
            return read == Demuxer::Read::End ? PacketRead::End : PacketRead::Failed;
        }
        if (packet.stream_index == demuxer_->videoStream().index) {
            return PacketRead::Packet;
        }
        sound_->keep(packet);
    }
}

VideoFileInput::PacketRead VideoFileInput::readVideoPacket(AVPacket& packet) {
    std::deque<PacketPtr>& readAhead = packets_->readAhead;
    if (readAhead.empty()) {
        return readFromDemuxer(packet);
    }
    av_packet_move_ref(&packet, readAhead.front().get());
    readAhead.pop_front();
    return PacketRead::Packet;
}

bool VideoFileInput::feedDecoder() {
    AVPacket& packet = *packets_->packet;
    switch (readVideoPacket(packet)) {
        case PacketRead::End:
            return decoder_->send(nullptr);
        case PacketRead::Failed:
            failed_ = true;
            return false;
        case PacketRead::Packet:
            break;
    }
    const bool sent = decoder_->send(&packet);
    av_packet_unref(&packet);
    failed_ = !sent;
    return sent;
}

bool VideoFileInput::holdsMoreThanOnePicture() {
    std::deque<PacketPtr>& readAhead = packets_->readAhead;
    while (readAhead.size() < 2) {
        PacketPtr packet(av_packet_alloc());
        if (!packet) {
            throw std::bad_alloc();
        }
        if (readFromDemuxer(*packet) != PacketRead::Packet) {
            break;
        }
        readAhead.push_back(std::move(packet));
    }
    stopIfInterrupted();
    return readAhead.size() >= 2;
}

bool VideoFileInput::readFrame(cv::Mat& frame, std::int64_t& time) {
    for (;;) {
        switch (decoder_->receive()) {
            case VideoDecoder::Receive::Frame:
                decoder_->toBgr(frame);
                time = decoder_->time();
                return true;
            case VideoDecoder::Receive::End:
                stopIfInterrupted();
                return false;
            case VideoDecoder::Receive::Failed:
                failed_ = true;
                stopIfInterrupted();
                return false;
            case VideoDecoder::Receive::NeedsPacket:
                break;
        }
        if (!feedDecoder()) {
            stopIfInterrupted();
            return false;
        }
    }
}

AudioFileInput* VideoFileInput::audio() {
    return sound_->streams().empty() ? nullptr : sound_.get();
}

void VideoFileInput::finishPictures() {
    sound_->finishPictures();
}

}  // namespace glintara::media
