// OpenCV logs its own warnings (videoio backends probing for devices, for instance) to
// stderr; the programs speak for themselves, so they turn those off.
#pragma once

namespace glintara {

void silenceLibraryLog();

}  // namespace glintara
