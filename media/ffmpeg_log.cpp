// Silencing FFmpeg's log, and with it that of the codec libraries that speak through it.
#include "media/ffmpeg_log.hpp"

#include <cstdarg>

extern "C" {
#include <libavutil/log.h>
}

namespace glintara::media {
namespace {

extern "C" void dropMessage(void*, int, const char*, va_list) {}

}  // namespace

void silenceFfmpeg() {
    // x264, libvpx, libwebp and the rest speak through FFmpeg's log too.
    av_log_set_level(AV_LOG_QUIET);
    av_log_set_callback(dropMessage);
}

}  // namespace glintara::media
