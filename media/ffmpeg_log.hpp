// FFmpeg's and its codec libraries' messages go to one sink that drops them: the front doors
// say one line of their own instead.
#pragma once

namespace glintara::media {

void silenceFfmpeg();

}  // namespace glintara::media
