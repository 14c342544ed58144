#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "BrisendoKit/Support/Clock.h"
#include "BrisendoKit/Support/MainQueue.h"

namespace pivorel::test {

// A clock that only moves when told to.
class VirtualClock final : public Clock {
  public:
    explicit VirtualClock(TimePoint start = fromUnixSeconds(1'750'000'000)) : now_(start) {}
    TimePoint now() const override {
        std::lock_guard lock(mutex_);
        return now_;
    }
    void set(TimePoint t) {
        std::lock_guard lock(mutex_);
        now_ = t;
    }

  private:
    mutable std::mutex mutex_;
    TimePoint now_;
};

// A main queue driven by the test: tasks run only in runReady()/advance(), on the calling
// thread, in due-time order (posting order among equal times). Posting is thread-safe.
class ManualMainQueue final : public MainQueue {
  public:
    explicit ManualMainQueue(VirtualClock& clock) : clock_(clock) {}

    void post(Task task) override { postAfter(0, std::move(task)); }

    void postAfter(double seconds, Task task) override {
        std::lock_guard lock(mutex_);
        const auto due = clock_.now() + std::chrono::duration_cast<TimePoint::duration>(
                                            std::chrono::duration<double>(std::max(0.0, seconds)));
        tasks_.push_back({due, seq_++, std::move(task)});
        posted_.notify_all();
    }

    // Runs every task due at the current virtual time, including ones they post.
    std::size_t runReady() { return runUntil(clock_.now()); }

    // Moves the virtual clock forward, running each task at its due time.
    std::size_t advance(double seconds) {
        const auto target = clock_.now() + std::chrono::duration_cast<TimePoint::duration>(
                                               std::chrono::duration<double>(seconds));
        return runUntil(target);
    }

    // Waits (in real time) until a background thread has posted something; for tests of
    // code that works on a worker thread.
    bool waitForPost(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return posted_.wait_for(lock, limit, [&] { return !tasks_.empty(); });
    }

    std::size_t pending() const {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }

  private:
    struct Entry {
        TimePoint due;
        std::uint64_t seq;
        Task task;
    };

    std::size_t runUntil(TimePoint target) {
        std::size_t ran = 0;
        for (;;) {
            Entry next;
            {
                std::lock_guard lock(mutex_);
                auto it = std::min_element(tasks_.begin(), tasks_.end(), [](auto& a, auto& b) {
                    return a.due != b.due ? a.due < b.due : a.seq < b.seq;
                });
                if (it == tasks_.end() || it->due > target) break;
                next = std::move(*it);
                tasks_.erase(it);
            }
            if (next.due > clock_.now()) clock_.set(next.due);
            next.task();
            ++ran;
        }
        if (clock_.now() < target) clock_.set(target);
        return ran;
    }

    VirtualClock& clock_;
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::vector<Entry> tasks_;
    std::uint64_t seq_ = 0;
};

}  // namespace pivorel::test
