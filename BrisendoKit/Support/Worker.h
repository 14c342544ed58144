#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace pivorel {

// Background threads with an owner. Tasks run in the order posted on up to `threads`
// threads, started with the first task. Stopping (or destroying the worker) drops the tasks
// not yet started and waits for the running ones, so no task outlives the objects its owner
// destroys after the worker. A task must not stop its own worker.
class Worker {
  public:
    using Runner = std::function<void(std::function<void()>)>;

    explicit Worker(std::size_t threads = 1);
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Queues a task; once stopped, drops it.
    void post(std::function<void()> task);
    // Drops queued tasks, waits for running ones and joins the threads; once is enough.
    void stop();
    // Hands work to this worker, for the parts that take a runner.
    Runner runner();

  private:
    void loop();

    const std::size_t threadCount_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace pivorel
