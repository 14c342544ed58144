#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrisendoKit/Support/Clock.h"
#include "BrisendoKit/Support/Result.h"
#include "BrisendoKit/Support/Signal.h"
#include "BrisendoKit/Support/Worker.h"
#include "BrisendoKit/Update/Appcast.h"

namespace pivorel {

class MainQueue;
class UserDefaults;
class Workspace;

// Checks the appcast feed for a newer release: on a schedule while automatic checks are
// on, and when the user asks. A scheduled check that finds one does not interrupt: it sets
// the pending version, which the tray shows as a badge and a menu item until the user
// looks at the update. Installing is the package manager's job; updateNow opens the
// release's page. Main thread; the feed is fetched on a background thread.
class Updater {
  public:
    // Raw values appear in the end-of-cycle log line.
    enum class CheckKind { userInitiated = 0, background = 1 };

    struct CheckResult {
        enum class Outcome { upToDate, found, failed };
        Outcome outcome = Outcome::upToDate;
        std::optional<AppcastItem> item;  // with `found`
        std::string error;                // with `failed`
        // The sentence the check window shows, in the interface language.
        std::string message(std::string_view currentVersion) const;
    };

    using Items = std::vector<AppcastItem>;
    using Fetcher = std::function<Result<Items, std::string>()>;

    static constexpr std::string_view automaticChecksKey = "SUEnableAutomaticChecks";
    static constexpr std::string_view lastCheckKey = "SULastCheckTime";
    static constexpr std::string_view intervalKey = "SUScheduledCheckInterval";
    static constexpr double defaultInterval = 86400;
    static constexpr double minimumInterval = 3600;
    // After start-up, so the first check does not compete with it.
    static constexpr double startDelay = 60;
    // Long waits are taken in slices and re-planned, so a suspended machine or a changed
    // clock cannot push a check far past its time.
    static constexpr double maximumWait = 6 * 3600;
    static constexpr double fetchTimeout = 20;
    static constexpr std::size_t maxFeedBytes = 2u << 20;
    static constexpr std::string_view badge = " ⬆︎";

    // The feed's address: $PIVOREL_APPCAST_URL when set, else the one built in.
    static std::string feedURL();
    // One blocking fetch and parse of the feed at `url`.
    static Result<Items, std::string> fetch(const std::string& url,
                                            double timeoutSeconds = fetchTimeout);

    // `fetcher` defaults to fetching feedURL().
    Updater(UserDefaults& defaults, MainQueue& queue, const Clock& clock, Workspace& workspace,
            std::string currentVersion, Fetcher fetcher = {});
    ~Updater();
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    const std::string& currentVersion() const { return currentVersion_; }

    // Plans the scheduled checks and follows changes of the settings. A check that is due
    // runs after `minimumDelay` seconds at the earliest.
    void start(double minimumDelay = startDelay);

    bool automaticChecks() const;
    void setAutomaticChecks(bool on);
    std::optional<TimePoint> lastCheck() const;

    // "检查更新…": a check whose result is told through userCheckFinished.
    void checkNow();
    // The update menu item: opens the known update's page, or checks when none is known.
    void updateNow();
    bool checking() const { return inFlight_; }

    // The display version of an update waiting for the user's attention.
    const std::optional<std::string>& pendingVersion() const { return pendingVersion_; }
    // The status item's title badge and the menu item's text for the pending version.
    std::string badgeText() const;
    std::string menuTitle() const;

    // "--updater-only": logs the version, lets a due check run at once, and calls `quit`
    // after 25 seconds.
    void runUpdaterOnly(std::function<void()> quit);

    Signal<> pendingChanged;
    Signal<const CheckResult&> userCheckFinished;
    // After a check finished or the automatic-check setting changed (started updaters).
    Signal<> stateChanged;

    // Runs a fetch off the main thread (by default on the updater's own worker).
    std::function<void(std::function<void()>)> runInBackground;

  private:
    double interval() const;
    double secondsUntilDue() const;
    void plan(double minimumDelay);
    void timerFired(std::uint64_t generation);
    void check(CheckKind kind);
    void finish(CheckKind kind, const Result<Items, std::string>& result);
    void setPending(std::optional<std::string> version);

    UserDefaults& defaults_;
    MainQueue& queue_;
    const Clock& clock_;
    Workspace& workspace_;
    std::string currentVersion_;
    Fetcher fetcher_;
    bool started_ = false;
    bool inFlight_ = false;
    bool userWaiting_ = false;
    std::uint64_t generation_ = 0;
    std::optional<std::string> pendingVersion_;
    std::optional<AppcastItem> latest_;
    Connection defaultsChanged_;
    std::shared_ptr<char> alive_ = std::make_shared<char>();
    // A fetch still running when the updater goes must not post to a queue that may be
    // gone too: it posts only under this lock, while the updater lives.
    struct Lifetime {
        std::mutex mutex;
        bool alive = true;
    };
    std::shared_ptr<Lifetime> lifetime_ = std::make_shared<Lifetime>();
    // Gone first: a fetch still running is waited for.
    Worker background_;
};

}  // namespace pivorel
