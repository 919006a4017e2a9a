// Opening the input with FFmpeg over our own descriptor, and reading its packets.
#include "media/demuxer.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "core/interruption.hpp"
#include "media/av_ratio.hpp"
#include "media/input_file.hpp"

namespace glintara::media {
namespace {

extern "C" int readInputFile(void* opaque, uint8_t* buffer, int size) {
    try {
        const long n =
            static_cast<InputFile*>(opaque)->read(buffer, static_cast<std::size_t>(size));
        if (n < 0) {
            return errno == EINTR ? AVERROR_EXIT : AVERROR(errno);
        }
        return n == 0 ? AVERROR_EOF : static_cast<int>(n);
    } catch (...) {
        return AVERROR(ENOMEM);  // keeping a pipe's bytes
    }
}

extern "C" int64_t seekInputFile(void* opaque, int64_t offset, int whence) {
    const auto& file = *static_cast<const InputFile*>(opaque);
    if (!file.seekable()) {
        return -1;
    }
    if (whence == AVSEEK_SIZE) {
        struct stat info {};
        return fstat(file.descriptor(), &info) == 0 ? info.st_size : -1;
    }
    return lseek(file.descriptor(), offset, whence & ~AVSEEK_FORCE);
}

extern "C" int interruptRequested(void*) {
    return interruptionSignal() != 0;
}

}  // namespace

void Demuxer::IoFree::operator()(AVIOContext* context) const {
    av_freep(&context->buffer);
    avio_context_free(&context);
}

std::unique_ptr<Demuxer> Demuxer::open(InputFile& file, bool& soundOnly) {
    soundOnly = false;
    std::unique_ptr<Demuxer> demuxer(new Demuxer());
    if (!demuxer->openFormat(file)) {
        return nullptr;
    }
    if (!demuxer->findVideoStream()) {
        soundOnly = demuxer->hasSound();
        return nullptr;
    }
    demuxer->findAudioStreams();
    const AVFormatContext& format = *demuxer->format_;
    demuxer->timeline_ = std::make_unique<Timeline>(
        format.start_time, (format.iformat->flags & AVFMT_TS_DISCONT) != 0);
    return demuxer;
}

Demuxer::~Demuxer() = default;

bool Demuxer::openFormat(InputFile& file) {
    constexpr int kBufferSize = 64 * 1024;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (buffer == nullptr) {
        throw std::bad_alloc();
    }
    io_.reset(
        avio_alloc_context(buffer, kBufferSize, 0, &file, readInputFile, nullptr, seekInputFile));
    if (!io_) {
        av_free(buffer);
        throw std::bad_alloc();
    }
    io_->seekable = file.seekable() ? AVIO_SEEKABLE_NORMAL : 0;
    AVFormatContext* context = avformat_alloc_context();
    if (context == nullptr) {
        throw std::bad_alloc();
    }
    context->pb = io_.get();
    context->interrupt_callback = {interruptRequested, nullptr};
    // The name only hints at the format; the bytes come through the descriptor.
    if (avformat_open_input(&context, file.path().c_str(), nullptr, nullptr) < 0) {
        return false;  // the context is freed on failure
    }
    format_.reset(context);
    // A picture's demuxer knows its stream from the header; working out the rest would decode
    // the picture, which the image codecs decode anyway, a whole picture's memory more.
    return holdsPictures() || avformat_find_stream_info(format_.get(), nullptr) >= 0;
}

bool Demuxer::holdsPictures() const {
    // FFmpeg's demuxers for single pictures: "image2" by file name, "png_pipe", "jpeg_pipe"
    // and the like by content; and "apng", for a PNG that is animated but whose first
    // picture any PNG reader reads.
    const std::string_view name = formatName();
    return name == "image2" || name.ends_with("_pipe") || name == "apng";
}

bool Demuxer::findVideoStream() {
    const int index =
        av_find_best_stream(format_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &videoCodec_, 0);
    if (index < 0 || videoCodec_ == nullptr) {
        return false;
    }
    video_ = format_->streams[index];
    // A still picture stored beside the sound (the cover of an MP3) is not a video.
    return (video_->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0;
}

bool Demuxer::hasSound() const {
    return av_find_best_stream(format_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
}

void Demuxer::findAudioStreams() {
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        AVStream* each = format_->streams[i];
        if (each->codecpar->codec_type == AVMEDIA_TYPE_AUDIO &&
            each->codecpar->codec_id != AV_CODEC_ID_NONE) {
            audio_.push_back(each);
        } else if (each != video_) {
            each->discard = AVDISCARD_ALL;
        }
    }
}

std::string_view Demuxer::formatName() const {
    return format_->iformat->name;
}

Demuxer::Read Demuxer::read(AVPacket& packet) {
    const int result = av_read_frame(format_.get(), &packet);
    if (result == AVERROR_EOF) {
        return Read::End;
    }
    if (result < 0) {
        return Read::Failed;
    }
    const auto index = static_cast<unsigned>(packet.stream_index);
    if (index < format_->nb_streams) {
        PacketTimes times{packet.pts, packet.dts, packet.duration};
        timeline_->mend(times, index, ratioOf(format_->streams[index]->time_base));
        packet.pts = times.pts;
        packet.dts = times.dts;
    }
    return Read::Packet;
}

}  // namespace glintara::media
