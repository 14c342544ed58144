#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

#include "BrisendoKit/Support/MainQueue.h"

namespace pivorel {

// The main queue of a program without an event loop (a command-line tool, a benchmark):
// posted tasks run when the owning thread calls runUntil. Delays are not kept: a task
// posted "after" runs as soon as its turn comes.
class BlockingMainQueue final : public MainQueue {
  public:
    void post(Task task) override;
    void postAfter(double seconds, Task task) override;

    // Runs posted tasks, waiting for more, until `done()` answers true.
    template <class Done>
    void runUntil(Done done) {
        while (!done()) next()();
    }

  private:
    Task next();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
};

}  // namespace pivorel
