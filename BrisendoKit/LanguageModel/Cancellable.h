#pragma once

namespace pivorel {

// A running piece of work that can be stopped. Destroying the handle stops it as well.
// Once cancel() has returned on the main thread, none of the work's callbacks runs again.
class Cancellable {
  public:
    virtual ~Cancellable() = default;
    virtual void cancel() = 0;
};

}  // namespace pivorel
