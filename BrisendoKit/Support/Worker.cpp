#include "BrisendoKit/Support/Worker.h"

#include <utility>

namespace pivorel {

Worker::Worker(std::size_t threads) : threadCount_(threads == 0 ? 1 : threads) {}

Worker::~Worker() {
    stop();
}

void Worker::post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        tasks_.push_back(std::move(task));
        if (threads_.empty()) {
            for (std::size_t i = 0; i < threadCount_; ++i)
                threads_.emplace_back([this] { loop(); });
        }
    }
    wake_.notify_one();
}

void Worker::stop() {
    std::vector<std::thread> threads;
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        dropped.swap(tasks_);
        threads.swap(threads_);
    }
    wake_.notify_all();
    for (auto& thread : threads) thread.join();
    // Dropped tasks release what they captured here, on the stopping thread.
}

Worker::Runner Worker::runner() {
    return [this](std::function<void()> work) { post(std::move(work)); };
}

void Worker::loop() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (stopping_) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

}  // namespace pivorel
