// Writing a video file: the picture stream, the sound streams, and the interleaving of the
// two by time.
#include "media/video_file_output.hpp"

#include "core/user_error.hpp"
#include "media/av_ratio.hpp"
#include "media/ffmpeg_log.hpp"
#include "media/output_container.hpp"
#include "media/sound_track.hpp"

namespace glintara::media {
namespace {

// A stream whose rate or channels the file never states (one that only starts partway
// through a transport stream, say) cannot be set up for any container.
bool describedFully(const AVCodecParameters& parameters) {
    return parameters.sample_rate > 0 && parameters.ch_layout.nb_channels > 0;
}

const ContainerFormat& checkedContainer(const std::string& destination) {
    const ContainerFormat* container = containerFor(destination);
    if (container == nullptr) {
        throw fileError(destination, "no video format has this extension");
    }
    return *container;
}

}  // namespace

VideoFileOutput::VideoFileOutput(const std::string& destination, const std::string& file,
                                 const VideoStreamFormat& format, AudioFileInput* audio)
    : VideoFileOutput(checkedContainer(destination), destination, file, format, audio) {}

VideoFileOutput::VideoFileOutput(const ContainerFormat& container, const std::string& destination,
                                 const std::string& file, const VideoStreamFormat& format,
                                 AudioFileInput* audio)
    : lastTime_(AV_NOPTS_VALUE) {
    silenceFfmpeg();
    output_ = std::make_unique<OutputContainer>(container, destination, file);
    video_ = std::make_unique<VideoTrack>(*output_, format);
    inputUnit_ = avRatio(format.timeBase);
    if (audio != nullptr && output_->container().sound != nullptr) {
        addSound(*audio);
    } else if (audio != nullptr) {
        audio->leaveOutAll();
    }
    output_->writeHeader();
}

VideoFileOutput::~VideoFileOutput() = default;

void VideoFileOutput::addSound(AudioFileInput& input) {
    audio_ = &input;
    sound_.resize(input.streams().size());
    const ContainerFormat& container = output_->container();
    const SoundRule& rule = *container.sound;
    for (std::size_t i = 0; i < input.streams().size(); ++i) {
        const AudioStreamInfo& info = input.streams()[i];
        const AVCodecID codec = info.parameters->codec_id;
        const bool copy = copies(rule, output_->format(), codec);
        const std::string name = avcodec_get_name(codec);
        if (!describedFully(*info.parameters)) {
            audioNote_ =
                "a sound stream (" + name + ") that the file does not describe is left out";
        } else if (!copy && rule.encoder == nullptr) {
            audioNote_ = "the sound (" + name + ") does not go into " +
                         std::string(container.extension) + " files and is left out";
        } else {
            sound_[i] = std::make_unique<SoundTrack>(*output_, info, copy, rule.encoder);
            continue;
        }
        input.leaveOut(i);
    }
}

// Copies or re-encodes the sound that starts before `time` (in the frames' input unit), or at
// it too when `inclusive`; what starts later waits for the next frame.
void VideoFileOutput::writeSoundUntil(std::int64_t time, bool inclusive) {
    while (audio_ != nullptr && !soundEnded_) {
        if (heldSound_ == nullptr) {
            heldSound_ = audio_->nextPacket(heldStream_);
            if (heldSound_ == nullptr) {
                soundEnded_ = audio_->ended();
                return;  // or the demuxer has not reached the rest yet
            }
        }
        SoundTrack* track = sound_[heldStream_].get();
        const std::int64_t start =
            heldSound_->pts != AV_NOPTS_VALUE ? heldSound_->pts : heldSound_->dts;
        if (track != nullptr && start != AV_NOPTS_VALUE) {
            const int order = av_compare_ts(start, track->inputUnit(), time, inputUnit_);
            if (order > 0 || (order == 0 && !inclusive)) {
                return;
            }
        }
        // Sound from before the first frame (an encoder's priming) would move every frame of
        // a container that counts frames one slot later, leaving an empty frame at the start.
        const bool beforeStart = video_->countsFrames() && start != AV_NOPTS_VALUE && start < 0;
        if (track != nullptr && !beforeStart) {
            track->write(*heldSound_);
        }
        heldSound_ = nullptr;
    }
}

void VideoFileOutput::write(const cv::Mat& picture, std::int64_t time) {
    writeSoundUntil(time, true);
    std::int64_t frameTime = av_rescale_q(time, inputUnit_, video_->unit());
    // Frames closer together than the file's unit still get a time each, in order.
    if (lastTime_ != AV_NOPTS_VALUE && frameTime <= lastTime_) {
        frameTime = lastTime_ + 1;
    }
    lastTime_ = frameTime;
    video_->write(picture, frameTime);
}

// Whether a wanted sound packet starts more than a second after `time` (in the frames' input
// unit): the packets before it are read and dropped, none after it.
bool VideoFileOutput::soundGoesOnPast(std::int64_t time) {
    const std::int64_t secondLater = time + av_rescale_q(1, AVRational{1, 1}, inputUnit_);
    while (audio_ != nullptr && !soundEnded_) {
        if (heldSound_ == nullptr) {
            heldSound_ = audio_->nextPacket(heldStream_);
            if (heldSound_ == nullptr) {
                soundEnded_ = true;  // the pictures are finished: the sound has been read out
                return false;
            }
        }
        const SoundTrack* track = sound_[heldStream_].get();
        const std::int64_t start =
            heldSound_->pts != AV_NOPTS_VALUE ? heldSound_->pts : heldSound_->dts;
        if (track != nullptr && start != AV_NOPTS_VALUE &&
            av_compare_ts(start, track->inputUnit(), secondLater, inputUnit_) > 0) {
            return true;
        }
        heldSound_ = nullptr;
    }
    return false;
}

bool VideoFileOutput::finish() {
    // The sound is cut where the last frame ends, as the ffmpeg program's -shortest cuts it.
    const std::int64_t end =
        lastTime_ == AV_NOPTS_VALUE
            ? 0
            : av_rescale_q(lastTime_ + video_->frameDuration(), video_->unit(), inputUnit_);
    video_->flush();
    writeSoundUntil(end, false);
    const bool soundCut = soundGoesOnPast(end);
    for (const std::unique_ptr<SoundTrack>& track : sound_) {
        if (track) {
            track->flush();
        }
    }
    output_->finish();
    return soundCut;
}

}  // namespace glintara::media
