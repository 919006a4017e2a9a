#include "app/latest_frame.hpp"

#include <utility>

namespace glintara {

LatestFrameSource::LatestFrameSource(std::unique_ptr<FrameSource> source)
    : source_(std::move(source)), thread_([this](std::stop_token stop) { capture(stop); }) {}

LatestFrameSource::~LatestFrameSource() {
    thread_.request_stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void LatestFrameSource::capture(std::stop_token stop) {
    // Three images take turns: one being captured into, the newest, and the one the loop
    // holds; swapping them keeps every capture in memory that is already there.
    cv::Mat capturing;
    while (!stop.stop_requested()) {
        bool taken = false;
        std::exception_ptr failure;
        try {
            taken = source_->read(capturing) && !capturing.empty();
        } catch (...) {
            failure = std::current_exception();
        }
        {
            const std::lock_guard lock(mutex_);
            if (!taken) {
                ended_ = true;
                failure_ = failure;
            } else {
                std::swap(newest_, capturing);
                fresh_ = true;
            }
        }
        arrived_.notify_one();
        if (!taken) {
            return;
        }
    }
}

bool LatestFrameSource::read(cv::Mat& frame) {
    std::unique_lock lock(mutex_);
    arrived_.wait(lock, [this] { return fresh_ || ended_; });
    if (fresh_) {
        std::swap(frame, newest_);
        fresh_ = false;
        return true;
    }
    if (failure_) {
        std::rethrow_exception(failure_);
    }
    return false;
}

}  // namespace glintara
