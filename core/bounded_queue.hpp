// A queue between two threads that holds at most a few items: the producer waits while it
// is full, the consumer while it is empty, and closing it releases both.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace glintara {

template <typename T>
class BoundedQueue {
  public:
    explicit BoundedQueue(std::size_t capacity) : capacity_(capacity) {}

    // Waits for room; false, with the item dropped, once the queue is closed.
    bool push(T item) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return closed_ || items_.size() < capacity_; });
        if (closed_) {
            return false;
        }
        items_.push_back(std::move(item));
        changed_.notify_all();
        return true;
    }

    // Puts the item in only if there is room now; false, with the item dropped, otherwise.
    bool tryPush(T item) {
        const std::lock_guard lock(mutex_);
        if (closed_ || items_.size() >= capacity_) {
            return false;
        }
        items_.push_back(std::move(item));
        changed_.notify_all();
        return true;
    }

    // Waits for an item; nothing once the queue is closed and empty.
    std::optional<T> pop() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return closed_ || !items_.empty(); });
        return take();
    }

    // An item if one is waiting, without waiting.
    std::optional<T> tryPop() {
        const std::lock_guard lock(mutex_);
        return take();
    }

    // No more items go in; those already in can still be taken.
    void close() {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

  private:
    std::optional<T> take() {
        if (items_.empty()) {
            return std::nullopt;
        }
        T item = std::move(items_.front());
        items_.pop_front();
        changed_.notify_all();
        return item;
    }

    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<T> items_;
    bool closed_ = false;
};

}  // namespace glintara
