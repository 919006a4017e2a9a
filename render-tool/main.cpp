// glintara-render: the kaleidoscope of a still image or a video file, without a camera.
#include <unistd.h>

#include <iostream>

#include <opencv2/core.hpp>

#include "core/interruption.hpp"
#include "core/library_log.hpp"
#include "render-tool/render_job.hpp"

int main(int argc, char** argv) {
    glintara::keepStandardStreamsOpen();
    glintara::silenceLibraryLog();
    // Decoding, rendering and encoding already keep both cores busy side by side: OpenCV's
    // own workers splitting each frame would only compete with them.
    cv::setNumThreads(1);
    glintara::catchInterruptions();
    return glintara::tool::runRenderTool(argc, argv, std::cout, std::cerr, isatty(STDERR_FILENO));
}
