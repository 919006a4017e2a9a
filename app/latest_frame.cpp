#include "app/latest_frame.hpp"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

namespace glintara {

struct LatestFrameSource::Shared {
    explicit Shared(std::unique_ptr<FrameSource> wrapped) : source(std::move(wrapped)) {}

    std::unique_ptr<FrameSource> source;
    std::mutex mutex;
    std::condition_variable changed;
    cv::Mat newest;
    Clock::time_point newestTakenAt;
    bool fresh = false;     // newest has not been handed out
    bool ended = false;     // the wrapped source gives no more frames
    bool finished = false;  // the capture thread has returned
    std::exception_ptr failure;
};

LatestFrameSource::LatestFrameSource(std::unique_ptr<FrameSource> source,
                                     std::chrono::milliseconds longestWait)
    : shared_(std::make_shared<Shared>(std::move(source))),
      longestWait_(longestWait),
      thread_([shared = shared_](std::stop_token stop) { capture(shared, stop); }) {}

LatestFrameSource::~LatestFrameSource() {
    thread_.request_stop();
    std::unique_lock lock(shared_->mutex);
    const bool finished =
        shared_->changed.wait_for(lock, longestWait_, [this] { return shared_->finished; });
    lock.unlock();
    if (finished) {
        thread_.join();
    } else {
        thread_.detach();  // held by a driver that does not answer
    }
}

void LatestFrameSource::capture(const std::shared_ptr<Shared>& shared, std::stop_token stop) {
    // Three images take turns: one being captured into, the newest, and the one the loop
    // holds; swapping them keeps every capture in memory that is already there.
    cv::Mat capturing;
    bool taken = true;
    while (taken && !stop.stop_requested()) {
        std::exception_ptr failure;
        try {
            taken = shared->source->read(capturing) && !capturing.empty();
        } catch (...) {
            taken = false;
            failure = std::current_exception();
        }
        const Clock::time_point takenAt = Clock::now();
        const std::lock_guard lock(shared->mutex);
        if (taken) {
            std::swap(shared->newest, capturing);
            shared->newestTakenAt = takenAt;
            shared->fresh = true;
        } else {
            shared->ended = true;
            shared->failure = failure;
        }
        shared->changed.notify_all();
    }
    const std::lock_guard lock(shared->mutex);
    shared->finished = true;
    shared->changed.notify_all();
}

bool LatestFrameSource::read(cv::Mat& frame) {
    Shared& shared = *shared_;
    std::unique_lock lock(shared.mutex);
    if (!shared.changed.wait_for(lock, longestWait_,
                                 [&] { return shared.fresh || shared.ended; })) {
        return false;  // the camera has hung
    }
    if (shared.fresh) {
        std::swap(frame, shared.newest);
        takenAt_ = shared.newestTakenAt;
        shared.fresh = false;
        return true;
    }
    if (shared.failure) {
        std::rethrow_exception(shared.failure);
    }
    return false;
}

bool LatestFrameSource::frameWaiting() const {
    const std::lock_guard lock(shared_->mutex);
    return shared_->fresh || shared_->ended;
}

}  // namespace glintara
