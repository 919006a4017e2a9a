// Remuxing: read every packet of one file and write it unchanged into another container.
#include "media/remux.hpp"

#include <string_view>
#include <vector>

#include "media/av_ratio.hpp"
#include "media/ffmpeg_error.hpp"
#include "media/ffmpeg_handles.hpp"
#include "media/output_container.hpp"

namespace glintara::media {
namespace {

FormatInputPtr openSource(const std::string& source) {
    AVFormatContext* context = nullptr;
    check(avformat_open_input(&context, source.c_str(), nullptr, nullptr), source,
          "cannot be read");
    FormatInputPtr input(context);
    check(avformat_find_stream_info(context, nullptr), source, "cannot be read");
    return input;
}

// Where each packet's times go in the output, stream by stream.
struct StreamMap {
    const AVStream* output;
    bool slotted;  // one slot per frame: times become slot numbers
    std::int64_t lastSlot = AV_NOPTS_VALUE;
};

StreamMap addCopy(OutputContainer& output, const AVStream& input, AVRational frameRate) {
    AVStream& stream = output.addStream();
    output.check(avcodec_parameters_copy(stream.codecpar, input.codecpar),
                 "the streams could not be set up");
    stream.codecpar->codec_tag = 0;  // each container has its own tags
    stream.time_base = input.time_base;
    const bool video = input.codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    const bool slotted = video && std::string_view(output.container().muxer) == "avi";
    if (video && frameRate.num > 0) {
        stream.avg_frame_rate = frameRate;
        stream.r_frame_rate = frameRate;
    }
    if (slotted) {
        stream.time_base = av_inv_q(frameRate);
    }
    return {&stream, slotted};
}

// A frame's slot: the one nearest its time, or the next free one.
void moveToSlot(AVPacket& packet, AVRational unit, StreamMap& map) {
    std::int64_t slot = av_rescale_q(packet.pts, unit, map.output->time_base);
    if (map.lastSlot != AV_NOPTS_VALUE && slot <= map.lastSlot) {
        slot = map.lastSlot + 1;
    }
    map.lastSlot = slot;
    packet.pts = packet.dts = slot;
    packet.duration = 1;
}

}  // namespace

void remux(const std::string& source, const ContainerFormat& container,
           const std::string& destination, const std::string& file, Ratio frameRate) {
    FormatInputPtr input = openSource(source);
    OutputContainer output(container, destination, file);
    std::vector<StreamMap> maps;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        maps.push_back(addCopy(output, *input->streams[i], avRatio(frameRate)));
    }
    output.writeHeader();
    PacketPtr packet(av_packet_alloc());
    if (!packet) {
        throw std::bad_alloc();
    }
    for (;;) {
        const int read = av_read_frame(input.get(), packet.get());
        if (read == AVERROR_EOF) {
            break;
        }
        check(read, source, "cannot be read");
        const AVStream& from = *input->streams[packet->stream_index];
        StreamMap& map = maps[static_cast<std::size_t>(packet->stream_index)];
        AVRational unit = from.time_base;
        if (map.slotted) {
            moveToSlot(*packet, unit, map);
            unit = map.output->time_base;
        }
        output.write(*packet, unit, *map.output);
        av_packet_unref(packet.get());
    }
    output.finish();
}

}  // namespace glintara::media
