#pragma once

#include <QObject>

#include "BrisendoKit/Support/MainQueue.h"

namespace pivorel {

// The core's main queue over the Qt event loop of the thread that makes it (the GUI
// thread). Tasks posted from any thread run there, in order; tasks posted after the queue
// is gone are dropped.
class QtMainQueue final : public QObject, public MainQueue {
    Q_OBJECT
  public:
    QtMainQueue();

    void post(Task task) override;
    void postAfter(double seconds, Task task) override;
};

}  // namespace pivorel
