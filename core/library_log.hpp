// OpenCV logs its own warnings (videoio backends probing for devices, for instance) to
// stderr; the programs speak for themselves, so they turn those off.
#pragma once

namespace glintara {

void silenceLibraryLog();

// While one lives, OpenCV's errors reach stderr again, for a caller that catches them there:
// from OpenCV 4.10 on, its image decoders say what they refuse only in its log.
class LibraryErrorsHeard {
  public:
    LibraryErrorsHeard();
    ~LibraryErrorsHeard();
    LibraryErrorsHeard(const LibraryErrorsHeard&) = delete;
    LibraryErrorsHeard& operator=(const LibraryErrorsHeard&) = delete;

  private:
    int previous_;
};

}  // namespace glintara
