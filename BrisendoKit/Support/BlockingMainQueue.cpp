#include "BrisendoKit/Support/BlockingMainQueue.h"

namespace pivorel {

void BlockingMainQueue::post(Task task) {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    wake_.notify_one();
}

void BlockingMainQueue::postAfter(double, Task task) {
    post(std::move(task));
}

MainQueue::Task BlockingMainQueue::next() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] { return !tasks_.empty(); });
    Task task = std::move(tasks_.front());
    tasks_.pop_front();
    return task;
}

}  // namespace pivorel
