#pragma once

#include <functional>

namespace pivorel {

// The main thread's event loop, as the core sees it. Background work hands its results
// back through `post`; timers are `postAfter`. The application implements it over the Qt
// event loop; tests use a manual queue with a virtual clock.
class MainQueue {
  public:
    using Task = std::function<void()>;
    virtual ~MainQueue() = default;

    // Runs `task` on the main thread soon, after the tasks posted before it. Thread-safe.
    virtual void post(Task task) = 0;

    // Runs `task` on the main thread once `seconds` have passed. Thread-safe.
    virtual void postAfter(double seconds, Task task) = 0;
};

}  // namespace pivorel
