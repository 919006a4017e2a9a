// Writing one container file with FFmpeg's muxer.
#include "media/output_container.hpp"

#include <new>

#include "media/ffmpeg_error.hpp"

namespace glintara::media {

void OutputContainer::FormatFree::operator()(AVFormatContext* context) const {
    if (context->pb != nullptr) {
        avio_closep(&context->pb);
    }
    avformat_free_context(context);
}

OutputContainer::OutputContainer(const ContainerFormat& container, std::string destination,
                                 const std::string& file)
    : container_(container), destination_(std::move(destination)), file_(file) {
    AVFormatContext* context = nullptr;
    check(avformat_alloc_output_context2(&context, nullptr, container.muxer, file.c_str()),
          "the container cannot be made");
    format_.reset(context);
}

OutputContainer::~OutputContainer() = default;

void OutputContainer::check(int result, const char* what) const {
    media::check(result, destination_, what);
}

bool OutputContainer::wantsGlobalHeaders() const {
    return (format_->oformat->flags & AVFMT_GLOBALHEADER) != 0;
}

AVStream& OutputContainer::addStream() {
    AVStream* stream = avformat_new_stream(format_.get(), nullptr);
    if (stream == nullptr) {
        throw std::bad_alloc();
    }
    return *stream;
}

CodecContextPtr OutputContainer::newEncoder(const char* name) const {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (codec == nullptr) {
        throw fileError(destination_,
                        std::string("the ") + name + " encoder is not available in this FFmpeg");
    }
    CodecContextPtr encoder(avcodec_alloc_context3(codec));
    if (!encoder) {
        throw std::bad_alloc();
    }
    if (wantsGlobalHeaders()) {
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    return encoder;
}

void OutputContainer::writeHeader() {
    check(avio_open(&format_->pb, file_.c_str(), AVIO_FLAG_WRITE), "cannot be written");
    Dictionary options(container_.muxerOptions);
    check(avformat_write_header(format_.get(), options.get()), "cannot be written");
    if (!options.allTaken()) {
        throw fileError(destination_, std::string("the ") + container_.muxer +
                                          " writer of this FFmpeg does not take our settings");
    }
}

void OutputContainer::write(AVPacket& packet, AVRational unit, const AVStream& stream) {
    av_packet_rescale_ts(&packet, unit, stream.time_base);
    packet.stream_index = stream.index;
    check(av_interleaved_write_frame(format_.get(), &packet), "could not be written");
}

void OutputContainer::writeEncoded(AVCodecContext& encoder, const AVStream& stream,
                                   AVPacket& packet, std::int64_t duration) {
    for (;;) {
        const int received = avcodec_receive_packet(&encoder, &packet);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
            return;
        }
        check(received, "encoding failed");
        if (packet.duration <= 0) {
            packet.duration = duration;
        }
        write(packet, encoder.time_base, stream);
    }
}

void OutputContainer::finish() {
    check(av_write_trailer(format_.get()), "could not be written");
    check(avio_closep(&format_->pb), "could not be written");
}

}  // namespace glintara::media
