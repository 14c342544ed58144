#include "Pivorel/QtMainQueue.h"

#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace pivorel {

QtMainQueue::QtMainQueue() = default;

void QtMainQueue::post(Task task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void QtMainQueue::postAfter(double seconds, Task task) {
    const int ms = static_cast<int>(std::lround(std::clamp(seconds, 0.0, 86400.0) * 1000));
    // A timer belongs to the thread that starts it, so hop to ours first.
    QMetaObject::invokeMethod(
        this,
        [this, ms, task = std::move(task)]() mutable {
            QTimer::singleShot(ms, Qt::PreciseTimer, this, std::move(task));
        },
        Qt::QueuedConnection);
}

}  // namespace pivorel
