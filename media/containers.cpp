// The table of containers, their codecs and settings, and the sound each takes.
#include "media/containers.hpp"

#include "media/extension.hpp"

namespace glintara::media {
namespace {

// MP4 and QuickTime files are for browsers and phones, which play AAC and MP3 sound only.
constexpr AVCodecID kPlaysEverywhere[] = {AV_CODEC_ID_AAC, AV_CODEC_ID_MP3};
constexpr AVCodecID kWebmSound[] = {AV_CODEC_ID_OPUS, AV_CODEC_ID_VORBIS};
constexpr SoundRule kMp4Sound{kPlaysEverywhere, "aac"};
constexpr SoundRule kMatroskaSound{{}, "aac"};
constexpr SoundRule kWebSound{kWebmSound, "libopus"};
constexpr SoundRule kAviSound{{}, nullptr};

// H.264 at constant quality 20 looks clean on these sharp-edged, saturated pictures (about
// 40 dB of brightness PSNR against the exact render); the "superfast" preset holds the
// encoder to about the renderer's own share of two cores. VP9 in its realtime mode for the
// same reason.
constexpr const char* kH264 = "preset=superfast:crf=20";
constexpr const char* kFastStart = "movflags=+faststart";
// In realtime mode libvpx codes each frame as it comes, so frames held back for look-ahead
// would only take memory (a gigabyte at 4096).
constexpr const char* kVp9 = "deadline=realtime:cpu-used=8:crf=24:b=0:row-mt=1:lag-in-frames=0";

constexpr ContainerFormat kContainers[] = {
    {".mp4", "mp4", "libx264", kH264, kFastStart, &kMp4Sound},
    {".m4v", "mp4", "libx264", kH264, kFastStart, &kMp4Sound},
    {".mov", "mov", "libx264", kH264, kFastStart, &kMp4Sound},
    {".mkv", "matroska", "libx264", kH264, "", &kMatroskaSound},
    {".webm", "webm", "libvpx-vp9", kVp9, "", &kWebSound},
    // MJPG frames go through libjpeg-turbo, two to three times quicker than FFmpeg's own
    // JPEG encoder.
    {".avi", "avi", nullptr, "", "", &kAviSound, true},
};

}  // namespace

const ContainerFormat* containerFor(const std::string& path) {
    const std::string extension = lowerExtension(path);
    for (const ContainerFormat& container : kContainers) {
        if (container.extension == extension) {
            return &container;
        }
    }
    return nullptr;
}

bool isVideoFormat(const std::string& path) {
    return containerFor(path) != nullptr;
}

ContainerFormat unfinishedForm(const ContainerFormat& finished) {
    // Packets wait in the interleaving queue for at most half a second of the other streams.
    static constexpr const char* kClusters =
        "cluster_time_limit=1000:flush_packets=1:max_interleave_delta=500000";
    ContainerFormat form = finished;
    form.extension = ".mkv";
    form.muxer = "matroska";
    form.muxerOptions = kClusters;
    return form;
}

}  // namespace glintara::media
