#include "core/library_log.hpp"

#include <opencv2/core/utils/logger.hpp>

namespace glintara {

void silenceLibraryLog() {
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
}

LibraryErrorsHeard::LibraryErrorsHeard()
    : previous_(cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR)) {}

LibraryErrorsHeard::~LibraryErrorsHeard() {
    cv::utils::logging::setLogLevel(static_cast<cv::utils::logging::LogLevel>(previous_));
}

}  // namespace glintara
