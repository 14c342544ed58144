#include "BrisendoKit/Shell/PermissionGuideController.h"

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Platform/Workspace.h"
#include "BrisendoKit/Shell/GuidePlacement.h"
#include "BrisendoKit/Shell/PermissionGuide.h"
#include "BrisendoKit/Shell/PermissionPlatform.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/MainQueue.h"

namespace pivorel {

namespace {

GuideContent makeContent(const PermissionGuideStrings& strings, PermissionKind kind,
                         const std::string& product, const std::string& reason,
                         const std::string& dragPath, bool switchable) {
    auto fill = [&](const std::string& text) { return strings.fill(text, product, kind, reason); };
    GuideContent c;
    c.kind = kind;
    c.reason = fill(strings.reasonFormat);
    c.buttonSkip = fill(strings.buttonSkip);
    if (switchable) {
        // Nothing to drag and no settings to visit: the guide's own button does it.
        c.title = fill(strings.titleSwitch);
        c.steps = {fill(strings.step1Switch), fill(strings.step2Switch)};
        c.notes = {fill(strings.noteSwitch)};
        c.buttonSwitch = fill(strings.buttonSwitch);
        return c;
    }
    c.title = fill(strings.title);
    c.steps = {fill(strings.step1Drag), fill(strings.step2), fill(strings.step3)};
    c.notes = {fill(strings.noteStale), fill(strings.noteRestart)};
    c.dragPath = dragPath;
    c.dragTooltip = fill(strings.dragTooltip);
    c.buttonReveal = fill(strings.buttonReveal);
    c.buttonReopen = fill(strings.buttonReopen);
    return c;
}

std::string joinNames(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& name : names) out += (out.empty() ? "" : "、") + name;
    return out;
}

}  // namespace

PermissionGuideController::PermissionGuideController(std::shared_ptr<PermissionPlatform> platform,
                                                     GuideWindowFactory windows,
                                                     Workspace& workspace, MainQueue& queue)
    : platform_(std::move(platform)),
      windows_(std::move(windows)),
      workspace_(workspace),
      queue_(queue),
      mainThread_(std::this_thread::get_id()) {
    checkProvider = [platform = platform_](PermissionKind kind) {
        if (auto live = platform->checkLive(kind, liveTimeout)) return *live;
        return platform->checkInProcess(kind);
    };
    runInBackground = background_.runner();
}

PermissionGuideController::~PermissionGuideController() {
    for (auto& [kind, session] : sessions_) {
        session->closed = true;
        if (session->window) session->window->hide();
    }
}

const PermissionGuideController::Session* PermissionGuideController::session(
    PermissionKind kind) const {
    auto it = sessions_.find(kind);
    return it == sessions_.end() ? nullptr : it->second.get();
}

void PermissionGuideController::ensure(PermissionKind kind, std::string reason, Handler onGranted,
                                       Handler onSkipped) {
    if (std::this_thread::get_id() != mainThread_) {
        queue_.post([this, alive = std::weak_ptr<char>(alive_), kind, reason = std::move(reason),
                     onGranted = std::move(onGranted), onSkipped = std::move(onSkipped)] {
            if (alive.lock()) ensureOnMain(kind, reason, onGranted, onSkipped);
        });
        return;
    }
    ensureOnMain(kind, reason, std::move(onGranted), std::move(onSkipped));
}

void PermissionGuideController::ensureAccessibility(bool skipGuide, Handler onGranted) {
    if (platform_->checkInProcess(PermissionKind::accessibility)) return;
    if (skipGuide) {
        Log::write("Pivorel: 辅助功能未授权，引导窗已跳过（--no-permission-guide）");
        return;
    }
    Log::write("Pivorel: 辅助功能未授权，拉起权限引导");
    ensure(PermissionKind::accessibility, L("选中文字后在旁边弹出下一步小条"),
           std::move(onGranted));
}

void PermissionGuideController::ensureOnMain(PermissionKind kind, const std::string& reason,
                                             Handler onGranted, Handler onSkipped) {
    if (auto it = sessions_.find(kind); it != sessions_.end() && !it->second->closed) {
        Session& s = *it->second;
        if (onGranted) s.grantedHandlers.push_back(std::move(onGranted));
        if (onSkipped) s.skippedHandlers.push_back(std::move(onSkipped));
        if (s.window) s.window->bringToFront();
        PermissionGuide::log("permission guide already open: " + std::string(toString(kind)) +
                             " (brought to front)");
        return;
    }
    if (checkProvider && checkProvider(kind)) {
        if (onGranted) onGranted();
        return;
    }
    const bool switchable = platform_->canSwitchOn(kind);
    if (!switchable) {
        platform_->request(kind);
        platform_->openSettingsPane(kind);
    }

    auto session = std::make_shared<Session>();
    session->kind = kind;
    session->switchable = switchable;
    if (!switchable) {
        session->dragPath = PermissionGuide::bundlePathForDrag(platform_->programPath(),
                                                               PermissionGuide::productName());
    }
    if (onGranted) session->grantedHandlers.push_back(std::move(onGranted));
    if (onSkipped) session->skippedHandlers.push_back(std::move(onSkipped));
    const auto strings = PermissionGuide::strings().localized();
    session->window = windows_(makeContent(strings, kind, PermissionGuide::productName(), reason,
                                           session->dragPath, switchable),
                               callbacksFor(session));
    sessions_[kind] = session;
    if (session->window) {
        setStatus(*session, GuideStatus::waiting);
        place(*session, platform_->settingsWindowFrame());
        session->window->show();
    }
    PermissionGuide::log(PermissionGuide::logLine(kind, "shown"));
    scheduleTick(session);
}

GuideWindow::Callbacks PermissionGuideController::callbacksFor(
    const std::shared_ptr<Session>& session) {
    // The window belongs to the session, so its callbacks only ever see a live session;
    // the weak references keep the two from owning each other.
    std::weak_ptr<Session> weak = session;
    GuideWindow::Callbacks cb;
    cb.onReveal = [this, weak] {
        auto s = weak.lock();
        if (!s) return;
        const bool ok = platform_->reveal(s->dragPath);
        PermissionGuide::log("permission guide reveal: " + s->dragPath + " -> " +
                             (ok ? "true" : "false"));
    };
    cb.onReopen = [this, weak] {
        if (auto s = weak.lock()) platform_->openSettingsPane(s->kind);
    };
    cb.onSwitch = [this, weak] {
        auto s = weak.lock();
        if (!s || s->granted) return;
        const bool on = platform_->switchOn(s->kind);
        PermissionGuide::log("permission guide switch on: " + std::string(toString(s->kind)) +
                             " -> " + (on ? "true" : "false"));
        // The next tick sees it, as it sees a switch turned anywhere else.
        setStatus(*s, on ? GuideStatus::waiting : GuideStatus::switchFailed);
    };
    cb.onSkip = [this, weak] {
        if (auto s = weak.lock()) skip(s);
    };
    cb.onDragStarted = [weak] {
        if (auto s = weak.lock()) {
            PermissionGuide::log("permission guide drag started: " +
                                 std::string(toString(s->kind)));
        }
    };
    cb.onDragEnded = [this, weak](const std::string& operation) {
        auto s = weak.lock();
        if (!s) return;
        PermissionGuide::log("permission guide drag ended(op=" + operation +
                             "): " + std::string(toString(s->kind)));
        if (!s->granted) {
            setStatus(*s, operation != "none" ? GuideStatus::dropped : GuideStatus::dropMissed);
        }
    };
    return cb;
}

void PermissionGuideController::setStatus(Session& session, GuideStatus status,
                                          const std::vector<std::string>& restart) {
    if (!session.window) return;
    const auto strings = PermissionGuide::strings().localized();
    const bool listed = status == GuideStatus::granted && !restart.empty();
    session.window->setStatus(
        status, strings.fill(listed ? strings.statusRestart : strings.statusText(status),
                             PermissionGuide::productName(), session.kind, {}, joinNames(restart)));
}

void PermissionGuideController::place(Session& session, const std::optional<Rect>& settings) {
    if (!session.window) return;
    session.settingsFrame = settings;
    std::optional<Screen> screen;
    if (settings) {
        screen = screenContaining(
            workspace_, {settings->x + settings->width / 2, settings->y + settings->height / 2});
    } else {
        const auto screens = workspace_.screens();
        const auto main = workspace_.mainScreen();
        if (main && *main < screens.size()) {
            screen = screens[*main];
        } else if (!screens.empty()) {
            screen = screens.front();
        }
    }
    if (!screen) return;
    const Size size = session.window->size();
    const Point origin = GuidePlacement::place(size, settings, screen->visibleFrame);
    session.guideFrame = Rect{origin.x, origin.y, size.width, size.height};
    session.window->moveTo(origin);
}

void PermissionGuideController::scheduleTick(const std::shared_ptr<Session>& session) {
    queue_.postAfter(tickInterval, [this, alive = std::weak_ptr<char>(alive_),
                                    weak = std::weak_ptr<Session>(session)] {
        if (!alive.lock()) return;
        auto s = weak.lock();
        if (!s || s->closed || s->granted) return;
        tickStep(s);
        if (!s->closed && !s->granted) scheduleTick(s);
    });
}

void PermissionGuideController::tickStep(const std::shared_ptr<Session>& session) {
    Session& s = *session;
    ++s.tick;
    if (s.window) {
        if (auto frame = platform_->settingsWindowFrame();
            frame &&
            GuidePlacement::shouldFollow(s.settingsFrame, *frame, s.guideFrame.value_or(Rect{}))) {
            place(s, frame);
            PermissionGuide::log("permission guide follows settings: " +
                                 GuidePlacement::describe(*frame));
        }
    }

    switch (s.kind) {
        case PermissionKind::microphone:
        case PermissionKind::fullDiskAccess:
            if (platform_->checkInProcess(s.kind)) markGranted(session);
            return;
        case PermissionKind::systemAudioCapture:
            return;  // only "skip" ends this guide
        default:
            break;
    }
    const bool inProcess = platform_->checkInProcess(s.kind);
    if (!s.liveInFlight && (inProcess || s.tick % liveCheckEvery == 0)) {
        startLiveCheck(session, inProcess);
    }
}

void PermissionGuideController::startLiveCheck(const std::shared_ptr<Session>& session,
                                               bool inProcess) {
    session->liveInFlight = true;
    const PermissionKind kind = session->kind;
    runInBackground([this, platform = platform_, &queue = queue_, kind, inProcess,
                     switchable = session->switchable, alive = std::weak_ptr<char>(alive_),
                     weak = std::weak_ptr<Session>(session)] {
        const std::optional<bool> live = platform->checkLive(kind, liveTimeout);
        const bool granted = live.value_or(inProcess);
        // A switch turned on reaches only the programs that watch it; the rest are named.
        auto restart =
            granted && switchable ? platform->programsToRestart(kind) : std::vector<std::string>{};
        queue.post([this, alive, weak, granted, restart = std::move(restart)] {
            if (!alive.lock()) return;
            auto s = weak.lock();
            if (!s) return;
            s->liveInFlight = false;
            if (granted) markGranted(s, restart);
        });
    });
}

void PermissionGuideController::markGranted(const std::shared_ptr<Session>& session,
                                            const std::vector<std::string>& restart) {
    Session& s = *session;
    if (s.granted || s.closed) return;
    s.granted = true;
    setStatus(s, GuideStatus::granted, restart);
    PermissionGuide::log(PermissionGuide::logLine(s.kind, "granted"));
    if (!restart.empty()) {
        PermissionGuide::log("permission guide restart needed: " + joinNames(restart));
    }
    queue_.postAfter(restart.empty() ? closeDelay : restartNoticeDelay,
                     [this, alive = std::weak_ptr<char>(alive_), session] {
                         if (!alive.lock()) return;
                         close(session, "granted");
                         // Handlers may open another guide; run them from a copy.
                         const auto handlers = session->grantedHandlers;
                         for (const auto& handler : handlers) handler();
                     });
}

void PermissionGuideController::close(const std::shared_ptr<Session>& session,
                                      const std::string& reason) {
    if (session->closed) return;
    session->closed = true;
    if (session->window) {
        session->window->hide();
        // Closing often starts inside one of the window's own button handlers: let that
        // return before the window goes away.
        queue_.post([window = std::shared_ptr<GuideWindow>(std::move(session->window))] {});
    }
    if (auto it = sessions_.find(session->kind); it != sessions_.end() && it->second == session) {
        sessions_.erase(it);
    }
    PermissionGuide::log(PermissionGuide::logLine(session->kind, "closed(" + reason + ")"));
}

void PermissionGuideController::skip(const std::shared_ptr<Session>& session) {
    close(session, "skipped");
    const auto handlers = session->skippedHandlers;
    for (const auto& handler : handlers) handler();
}

}  // namespace pivorel
