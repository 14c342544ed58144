#include "BrisendoKit/Coordinator/SelectionWatcher.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>
#include <type_traits>
#include <utility>

#include "BrisendoKit/Coordinator/AppController.h"
#include "BrisendoKit/Localization/Format.h"
#include "BrisendoKit/Platform/InputMonitor.h"
#include "BrisendoKit/Platform/Workspace.h"
#include "BrisendoKit/Selection/SelectionReader.h"
#include "BrisendoKit/Storage/BarSettings.h"
#include "BrisendoKit/Storage/SelectRequest.h"
#include "BrisendoKit/Storage/Store.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/MainQueue.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace {

using Detector = SelectionDetector;

std::string appOrQuestionMark(const std::optional<std::string>& app) {
    return app.value_or("?");
}

}  // namespace

SelectionWatcher::SelectionWatcher(AppController& controller, Store& /*store*/,
                                   const BarSettings& settings, const SelectionReader& reader,
                                   InputMonitor& input, Workspace& workspace, MainQueue& queue,
                                   const Clock& clock, Worker::Runner runRead)
    : detector_(SelectionDetector::Config::from(settings)),
      controller_(controller),
      settings_(settings),
      reader_(reader),
      input_(input),
      workspace_(workspace),
      queue_(queue),
      clock_(clock),
      runRead_(std::move(runRead)),
      upAt_(clock.now()) {
    barGoneWatch_ = controller_.barGone.connect([guard = self_.guard()] {
        if (auto* self = guard.get()) self->barGone();
    });
}

SelectionWatcher::~SelectionWatcher() {
    // Reads still in flight find the watcher gone and drop their results.
    self_.reset();
    if (contextLookup_.joinable()) contextLookup_.join();
}

void SelectionWatcher::start() {
    if (!monitors_.empty()) return;
    monitors_.push_back(
        input_.monitorGestures([this](const GestureEvent& event) { handle(event); }));
    activationObserver_ = input_.observeActivations(
        [this](const std::optional<std::string>& bundleID) { appActivated(bundleID); });
}

void SelectionWatcher::reloadSettings() {
    detector_.setConfig(SelectionDetector::Config::from(settings_));
    if (detector_.config().enabled) return;
    controller_.hideBar();
    detector_.barDismissed();
    removeMoveMonitor();
}

void SelectionWatcher::hotkeyPressed() {
    const TimePoint now = clock_.now();
    const auto miss = detector_.hotkeyPressed(now);
    if (!miss) return;
    controller_.logBar("miss", miss->app, miss->reason, miss->ageMs, false);
    Log::write(formatString("Pivorel: 漏弹 app=%@ reason=%@ age=%dms",
                            {appOrQuestionMark(miss->app), miss->reason, miss->ageMs}));
}

void SelectionWatcher::handle(const GestureEvent& event) {
    const TimePoint now = clock_.now();
    // A release reported late has used up part of the read delay already.
    const double late = event.isLeftMouseUp() ? std::max(event.age, 0.0) : 0;
    if (event.isLeftMouseUp()) {
        upAt_ = now - std::chrono::duration_cast<TimePoint::duration>(
                          std::chrono::duration<double>(late));
    }
    if (event.isLeftMouseDown()) lastDown_ = event.location;
    const auto ev = SelectionDetector::eventFor(event);
    if (!ev) return;
    run(detector_.handle(*ev, workspace_.frontmostApp(), now), late);
}

void SelectionWatcher::appActivated(const std::optional<std::string>& bundleID) {
    run(detector_.handle(Detector::Event::AppActivated{bundleID}, bundleID, clock_.now()));
}

void SelectionWatcher::mouseMoved(Point location) {
    const double distance = controller_.bar().distance(location);
    run(detector_.handle(Detector::Event::MouseMoved{distance}, workspace_.frontmostApp(),
                         clock_.now()));
}

void SelectionWatcher::run(const Detector::Commands& commands, double elapsed) {
    for (const auto& command : commands) {
        std::visit(
            [this, elapsed](const auto& c) {
                using C = std::decay_t<decltype(c)>;
                if constexpr (std::is_same_v<C, Detector::Command::Read>) {
                    Log::write(
                        formatString("Pivorel: 选择手势 → %.0fms 后读选区", {c.after * 1000}));
                    scheduleRead(c.token, std::max(0.0, c.after - elapsed));
                } else if constexpr (std::is_same_v<C, Detector::Command::Show>) {
                    show(c);
                } else {
                    hideBar();
                }
            },
            command.value);
    }
}

void SelectionWatcher::scheduleRead(std::int64_t token, double after) {
    // Everything the read needs is copied now: it runs on another thread and must not
    // touch the watcher.
    const Point down = lastDown_;
    const auto appList = settings_.copyFallbackApps();
    const std::set<std::string> copyApps(appList.begin(), appList.end());
    const bool allowCopy = after >= Detector::retryDelay;
    const auto guard = self_.guard();
    auto context = lookUpContext(down);

    queue_.postAfter(after, [guard, token, down, copyApps, allowCopy, context] {
        SelectionWatcher* watcher = guard.get();
        if (!watcher) return;
        const SelectionReader* reader = &watcher->reader_;
        MainQueue* queue = &watcher->queue_;
        watcher->runRead_([guard, token, down, copyApps, allowCopy, reader, queue, context] {
            std::optional<SelectionReader::Context> known;
            if (context.valid()) known = context.get();
            auto read = reader->readForBar(down, copyApps, allowCopy, known);
            queue->post([guard, token, read = std::move(read)] {
                SelectionWatcher* alive = guard.get();
                if (!alive) return;
                SelectionWatcher& w = *alive;
                w.pendingURL_ = read.url;
                w.pendingEditable_ = read.editable;
                w.pendingUnrecorded_ = read.unrecorded;
                Log::write(formatString("Pivorel: 小条读选区 app=%@ 结果=%@",
                                        {appOrQuestionMark(read.app), describe(read.result)}));
                const auto frontApp = read.app ? read.app : w.workspace_.frontmostApp();
                w.run(w.detector_.readFinished(token, read.result, frontApp, w.clock_.now()));
            });
        });
    });
}

std::shared_future<SelectionReader::Context> SelectionWatcher::lookUpContext(Point down) {
    if (contextLookup_.joinable()) {
        if (!*contextLookupDone_) return {};
        contextLookup_.join();
    }
    auto promise = std::make_shared<std::promise<SelectionReader::Context>>();
    auto done = std::make_shared<std::atomic<bool>>(false);
    contextLookupDone_ = done;
    contextLookup_ = std::thread([promise, done, reader = &reader_, down] {
        promise->set_value(reader->context(down));
        *done = true;
    });
    return promise->get_future().share();
}

void SelectionWatcher::show(const Detector::Command::Show& command) {
    SelectRequest request;
    request.text = command.text;
    request.app = command.app;
    request.url = pendingURL_;
    request.dry = false;
    request.source = "bar";
    request.editable = pendingEditable_;
    request.unrecorded = pendingUnrecorded_;
    if (!controller_.showBar(request, command.down, command.up)) {
        // No bar came: the detector must not believe one is on screen.
        detector_.barDismissed();
        return;
    }
    const TimePoint now = clock_.now();
    const std::int64_t latency =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - upAt_).count();
    Log::write(formatString("Pivorel: 小条已弹出 app=%@ 延迟=%dms",
                            {appOrQuestionMark(command.app), latency}));
    controller_.logBar("shown", command.app, std::nullopt, latency, false);
    if (!moveMonitor_.connected()) installMoveMonitor();
}

void SelectionWatcher::hideBar() {
    controller_.hideBar();
    removeMoveMonitor();
}

void SelectionWatcher::installMoveMonitor() {
    moveMonitor_ = input_.monitorMouseMoves([this](Point location) { mouseMoved(location); });
}

void SelectionWatcher::removeMoveMonitor() {
    moveMonitor_.reset();
}

void SelectionWatcher::barGone() {
    detector_.barDismissed();
    removeMoveMonitor();
}

std::string SelectionWatcher::describe(const Detector::ReadResult& result) {
    return std::visit(
        [](const auto& r) -> std::string {
            using R = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<R, Detector::ReadResult::Text>) {
                return "text(" + std::to_string(text::graphemeCount(r.text)) + " chars)";
            } else if constexpr (std::is_same_v<R, Detector::ReadResult::Empty>) {
                return "empty(" + r.reason + ")";
            } else if constexpr (std::is_same_v<R, Detector::ReadResult::Ignored>) {
                return "ignored(" + r.reason + ")";
            } else {
                return "unavailable(" + r.reason + ")";
            }
        },
        result.value);
}

}  // namespace pivorel
