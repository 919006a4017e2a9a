// The video containers an OUTPUT extension stands for, with the codecs and settings of each
// and what becomes of the input's sound in it: a table.
#pragma once

#include <span>
#include <string>
#include <string_view>

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace glintara::media {

// What becomes of the input's sound in a container: the codecs copied as they are, packet
// for packet, and the encoder for the rest.
struct SoundRule {
    std::span<const AVCodecID> copied;  // empty: every codec the container takes
    const char* encoder;                // nullptr: the rest is left out, with a note
};

struct ContainerFormat {
    std::string_view extension;
    const char* muxer;
    const char* encoder;         // FFmpeg's, fed 4:2:0 pictures in video range
    const char* encoderOptions;  // key=value pairs, ':' between them
    const char* muxerOptions;
    const SoundRule* sound;   // nullptr: the format holds no sound
    bool jpegFrames = false;  // frames are JPEG pictures made by libjpeg instead
};

// JPEG frames' quality.
inline constexpr int kJpegQuality = 90;

// The container for the path's extension, in any case; nullptr for none.
const ContainerFormat* containerFor(const std::string& path);

// Whether the path's extension names a video container.
bool isVideoFormat(const std::string& path);

// The form a recording takes while it is being made, whatever its container at the end:
// Matroska, which stays playable up to its last finished cluster when the writer is killed,
// in clusters of at most a second, each handed to the file as it closes. The codecs and their
// settings are those of `finished`.
ContainerFormat unfinishedForm(const ContainerFormat& finished);

}  // namespace glintara::media
