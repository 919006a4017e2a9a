#include "core/library_log.hpp"

#include <opencv2/core/utils/logger.hpp>

namespace glintara {

void silenceLibraryLog() {
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
}

}  // namespace glintara
