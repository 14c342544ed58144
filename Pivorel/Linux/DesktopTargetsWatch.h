#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <string>

#include "BrisendoKit/Platform/DesktopTargets.h"
#include "BrisendoKit/Support/Worker.h"

namespace pivorel {

// Tells what is installed: once at start, and again shortly after the applications
// directories of the XDG data directories or a mimeapps.list change. Looking takes a few
// hundred milliseconds, so it runs on the watch's own thread; the answer comes on the main
// thread. Main thread.
class DesktopTargetsWatch : public QObject {
    Q_OBJECT

  public:
    using Found = std::function<void(const DesktopTargets::Presence& presence)>;

    DesktopTargetsWatch(DesktopTargets& targets, Found found, QObject* parent = nullptr);
    // Waits for a look that is under way.
    ~DesktopTargetsWatch() override;

    void start();

  private:
    void watchPaths();
    void configChanged();
    void look();

    DesktopTargets& targets_;
    Found found_;
    QFileSystemWatcher watch_;
    QTimer settle_;
    // When each mimeapps.list was last seen changed, to ignore the other files beside it.
    std::map<std::string, qint64> mimeappsSeen_;
    bool looking_ = false;
    bool lookAgain_ = false;
    // Joined first, before the rest goes.
    Worker worker_;
};

}  // namespace pivorel
