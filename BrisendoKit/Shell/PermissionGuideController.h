#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BrisendoKit/Shell/GuideWindow.h"
#include "BrisendoKit/Shell/PermissionKind.h"
#include "BrisendoKit/Support/Geometry.h"
#include "BrisendoKit/Support/Worker.h"

namespace pivorel {

class MainQueue;
class PermissionPlatform;
class Workspace;

// Shows the permission guide for a kind, watches once a second whether the permission has
// been granted, then closes the guide and runs the caller's continuations. At most one
// guide per kind. Main thread; ensure() called elsewhere is forwarded there.
class PermissionGuideController {
  public:
    using Handler = std::function<void()>;
    using BackgroundRunner = std::function<void(std::function<void()>)>;

    struct Session {
        PermissionKind kind = PermissionKind::accessibility;
        std::unique_ptr<GuideWindow> window;
        int tick = 0;
        bool liveInFlight = false;
        bool granted = false;
        bool closed = false;
        // The program turns the permission on itself (no settings, nothing to drag).
        bool switchable = false;
        std::vector<Handler> grantedHandlers;
        std::vector<Handler> skippedHandlers;
        std::optional<Rect> settingsFrame;  // the settings window the guide was placed by
        std::optional<Rect> guideFrame;     // where the guide was placed
        std::string dragPath;
    };

    static constexpr double tickInterval = 1.0;
    static constexpr int liveCheckEvery = 3;
    static constexpr double liveTimeout = 2.0;

    PermissionGuideController(std::shared_ptr<PermissionPlatform> platform,
                              GuideWindowFactory windows, Workspace& workspace, MainQueue& queue);
    ~PermissionGuideController();
    PermissionGuideController(const PermissionGuideController&) = delete;
    PermissionGuideController& operator=(const PermissionGuideController&) = delete;

    void ensure(PermissionKind kind, std::string reason, Handler onGranted, Handler onSkipped = {});

    // Start-up's accessibility step: nothing when granted; with `skipGuide` only a log
    // line; otherwise the guide with the program's reason.
    void ensureAccessibility(bool skipGuide, Handler onGranted);

    // Seconds between "granted" and closing the window.
    double closeDelay = 1.0;
    // The same when the guide lists programs to restart: long enough to read them.
    double restartNoticeDelay = 8.0;
    // Whether `kind` is granted right now; asked once when a guide is requested. By
    // default the live check, falling back to the in-process answer.
    std::function<bool(PermissionKind)> checkProvider;
    // Runs live checks off the main thread (by default on the controller's own worker).
    BackgroundRunner runInBackground;

    // The open session for `kind`, if any (tests and the window layer).
    const Session* session(PermissionKind kind) const;

  private:
    void ensureOnMain(PermissionKind kind, const std::string& reason, Handler onGranted,
                      Handler onSkipped);
    GuideWindow::Callbacks callbacksFor(const std::shared_ptr<Session>& session);
    void place(Session& session, const std::optional<Rect>& settings);
    void scheduleTick(const std::shared_ptr<Session>& session);
    void tickStep(const std::shared_ptr<Session>& session);
    void startLiveCheck(const std::shared_ptr<Session>& session, bool inProcess);
    void markGranted(const std::shared_ptr<Session>& session,
                     const std::vector<std::string>& restart = {});
    void close(const std::shared_ptr<Session>& session, const std::string& reason);
    void skip(const std::shared_ptr<Session>& session);
    void setStatus(Session& session, GuideStatus status,
                   const std::vector<std::string>& restart = {});

    std::shared_ptr<PermissionPlatform> platform_;
    GuideWindowFactory windows_;
    Workspace& workspace_;
    MainQueue& queue_;
    std::thread::id mainThread_;
    std::map<PermissionKind, std::shared_ptr<Session>> sessions_;
    // Posted tasks hold a weak reference and do nothing once the controller is gone.
    std::shared_ptr<char> alive_ = std::make_shared<char>();
    // Gone first: a live check still running is waited for.
    Worker background_;
};

}  // namespace pivorel
