#include "BrisendoKit/Update/Updater.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "BrisendoKit/Actions/HttpTransfer.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Platform/Workspace.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/MainQueue.h"
#include "BrisendoKit/Support/UserDefaults.h"

#ifndef PIVOREL_APPCAST_URL
#define PIVOREL_APPCAST_URL "https://pivorel.app/appcast.xml"
#endif

namespace pivorel {

std::string Updater::CheckResult::message(std::string_view currentVersion) const {
    switch (outcome) {
        case Outcome::upToDate:
            return L("Pivorel %@ 已是最新版本。", currentVersion);
        case Outcome::found:
            return L("有新版本 %@，当前是 %@。", item ? item->displayVersion : std::string(),
                     currentVersion);
        case Outcome::failed:
            return L("检查更新失败：%@", error);
    }
    return {};
}

std::string Updater::feedURL() {
    if (const char* env = std::getenv("PIVOREL_APPCAST_URL"); env && *env) return env;
    return PIVOREL_APPCAST_URL;
}

Result<Updater::Items, std::string> Updater::fetch(const std::string& url, double timeoutSeconds) {
    HttpTransfer::Request request;
    request.url = url;
    request.timeoutSeconds = timeoutSeconds;
    request.followRedirects = true;
    request.maxBodyBytes = maxFeedBytes;
    request.headers = {"Accept: application/rss+xml, application/xml;q=0.9, */*;q=0.5"};
    auto response = HttpTransfer::perform(request);
    if (!response) return fail(response.error());
    if (response->status < 200 || response->status > 299) {
        return fail("HTTP " + std::to_string(response->status));
    }
    return Appcast::parse(response->body);
}

Updater::Updater(UserDefaults& defaults, MainQueue& queue, const Clock& clock, Workspace& workspace,
                 std::string currentVersion, Fetcher fetcher)
    : defaults_(defaults),
      queue_(queue),
      clock_(clock),
      workspace_(workspace),
      currentVersion_(std::move(currentVersion)),
      fetcher_(std::move(fetcher)) {
    if (!fetcher_) fetcher_ = [] { return fetch(feedURL()); };
    runInBackground = background_.runner();
}

Updater::~Updater() {
    std::lock_guard lock(lifetime_->mutex);
    lifetime_->alive = false;
}

bool Updater::automaticChecks() const {
    return defaults_.boolValue(automaticChecksKey).value_or(true);
}

void Updater::setAutomaticChecks(bool on) {
    defaults_.set(automaticChecksKey, on);  // re-planned through `changed` once started
}

std::optional<TimePoint> Updater::lastCheck() const {
    const auto seconds = defaults_.doubleValue(lastCheckKey);
    if (!seconds || !std::isfinite(*seconds) || *seconds <= 0) return std::nullopt;
    return fromUnixSeconds(*seconds);
}

double Updater::interval() const {
    const double value = defaults_.doubleValue(intervalKey).value_or(defaultInterval);
    if (!std::isfinite(value)) return defaultInterval;
    return std::clamp(value, minimumInterval, 30 * defaultInterval);
}

void Updater::start(double minimumDelay) {
    if (started_) return;
    started_ = true;
    // Changes made elsewhere (the settings window, another process) re-plan the checks.
    defaultsChanged_ = defaults_.changed.connect(
        [this, alive = std::weak_ptr<char>(alive_)](const std::string& key) {
            if (key != automaticChecksKey && key != intervalKey) return;
            queue_.post([this, alive] {
                if (!alive.lock()) return;
                plan(0);
                stateChanged.emit();
            });
        });
    plan(minimumDelay);
}

double Updater::secondsUntilDue() const {
    const auto last = lastCheck();
    if (!last) return 0;
    const double lastSeconds = toUnixSeconds(*last);
    const double now = toUnixSeconds(clock_.now());
    // A last check further in the future than one interval means the clock was wrong
    // then; waiting for it could take forever.
    if (lastSeconds > now + interval()) return 0;
    return std::max(0.0, lastSeconds + interval() - now);
}

void Updater::plan(double minimumDelay) {
    const std::uint64_t generation = ++generation_;
    if (!automaticChecks()) return;
    const double wait =
        std::clamp(secondsUntilDue(), minimumDelay, std::max(minimumDelay, maximumWait));
    queue_.postAfter(wait, [this, alive = std::weak_ptr<char>(alive_), generation] {
        if (alive.lock()) timerFired(generation);
    });
}

void Updater::timerFired(std::uint64_t generation) {
    if (generation != generation_ || !automaticChecks()) return;
    if (secondsUntilDue() > 1.0) {
        plan(0);  // woke after one slice of a long wait
        return;
    }
    check(CheckKind::background);
}

void Updater::checkNow() {
    check(CheckKind::userInitiated);
}

void Updater::check(CheckKind kind) {
    if (kind == CheckKind::userInitiated) userWaiting_ = true;
    if (inFlight_) return;  // the running check answers the user too
    inFlight_ = true;
    runInBackground([this, fetcher = fetcher_, &queue = queue_, alive = std::weak_ptr<char>(alive_),
                     lifetime = lifetime_, kind] {
        auto result = fetcher();
        std::lock_guard lock(lifetime->mutex);
        if (!lifetime->alive) return;
        queue.post([this, alive, kind, result = std::move(result)] {
            if (alive.lock()) finish(kind, result);
        });
    });
}

void Updater::finish(CheckKind kind, const Result<Items, std::string>& result) {
    inFlight_ = false;
    const bool toUser = userWaiting_;
    userWaiting_ = false;
    if (toUser) kind = CheckKind::userInitiated;
    defaults_.set(lastCheckKey, toUnixSeconds(clock_.now()));

    CheckResult outcome;
    if (!result) {
        outcome.outcome = CheckResult::Outcome::failed;
        outcome.error = result.error();
        Log::write("Pivorel: 更新检查 失败 " + outcome.error);
    } else if (auto newest = Appcast::newest(result.value(), currentVersion_)) {
        outcome.outcome = CheckResult::Outcome::found;
        outcome.item = newest;
        latest_ = newest;
        Log::write("Pivorel: 更新检查 发现新版本 " + newest->displayVersion + " (build " +
                   newest->version + ")");
    } else {
        latest_.reset();
        Log::write("Pivorel: 更新检查 已是最新");
    }
    Log::write("Pivorel: 更新周期结束 check=" + std::to_string(static_cast<int>(kind)) +
               " error=" + (outcome.error.empty() ? std::string("无") : outcome.error));

    if (outcome.outcome == CheckResult::Outcome::found) {
        // Someone who asked sees the update now; only an unattended find waits in the tray.
        setPending(toUser ? std::nullopt : std::optional(outcome.item->displayVersion));
    } else if (outcome.outcome == CheckResult::Outcome::upToDate) {
        setPending(std::nullopt);  // the feed no longer offers what was pending
    }
    if (toUser) userCheckFinished.emit(outcome);
    if (started_) plan(0);
    stateChanged.emit();
}

void Updater::updateNow() {
    const std::string url = latest_ ? latest_->pageURL() : std::string();
    if (url.empty()) {
        checkNow();
        return;
    }
    workspace_.open(url);
    setPending(std::nullopt);
}

void Updater::setPending(std::optional<std::string> version) {
    if (version == pendingVersion_) return;
    pendingVersion_ = std::move(version);
    pendingChanged.emit();
}

std::string Updater::badgeText() const {
    return pendingVersion_ ? std::string(badge) : std::string();
}

std::string Updater::menuTitle() const {
    return pendingVersion_ ? L("⬆︎ 有新版本 %@，点此更新", *pendingVersion_)
                           : std::string();
}

void Updater::runUpdaterOnly(std::function<void()> quit) {
    Log::write("Pivorel: --updater-only 版本 " + currentVersion_);
    start(0);
    queue_.postAfter(25, [quit = std::move(quit)] {
        if (quit) quit();
    });
}

}  // namespace pivorel
