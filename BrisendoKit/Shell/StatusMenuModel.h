#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrisendoKit/Storage/Store.h"
#include "BrisendoKit/Support/Clock.h"

namespace pivorel {

// The tray's menu and the status item's title, worked out from plain facts so that the tray
// only draws them. Every text is in the interface language.
class StatusMenuModel {
  public:
    enum class ItemID {
        separator,
        updateAvailable,
        popclipWarning,
        stats,
        barLog,
        toggleBar,
        togglePause,
        hotkey,
        accessibility,
        settings,
        translationPack,
        checkForUpdates,
        importLegacySecrets,
        revealDatabase,
        quit,
    };

    struct Item {
        ItemID id = ItemID::separator;
        std::string title;
        bool enabled = true;
        bool hidden = false;
        bool checkable = false;
        bool checked = false;
        // Drawn in the system's warning orange.
        bool warning = false;
        // The key that chooses it while the menu is open ("," or "q").
        std::string shortcut;
        // Lines of a submenu, shown but not choosable.
        std::vector<std::string> submenu;

        bool isSeparator() const { return id == ItemID::separator; }
        bool operator==(const Item&) const = default;
    };

    // What the menu is made from.
    struct Inputs {
        // Nothing before the first refresh.
        std::optional<TodayStats> today;
        // The history could not be opened: this run keeps nothing.
        bool historyInMemory = false;
        std::optional<std::vector<BarAppSummary>> barSummary;
        bool barEnabled = true;
        std::optional<TimePoint> pausedUntil;
        // The version an update would bring.
        std::optional<std::string> pendingUpdate;
        bool trusted = true;
        bool popclipRunning = false;
        bool legacySecretsPending = false;
        // The machine has an on-device translator, whose language packs can be downloaded.
        bool onDeviceTranslator = false;
        // The hot key as people read it ("Ctrl+Alt+N").
        std::string hotkeyDisplay;
        TimePoint now;
        // An Olson identifier for the pause's end time; empty: the process's time zone.
        std::string timeZone;
    };

    static constexpr std::string_view popclipBundleID = "com.pilotmoon.popclip";
    // Applications listed under the bar log line.
    static constexpr std::size_t barLogLimit = 10;

    // Every item, in menu order, separators included.
    static std::vector<Item> items(const Inputs& inputs);
    // The text after the status item's icon; empty when only the icon shows.
    static std::string statusTitle(const Inputs& inputs);

    // hits / chosen as a whole percentage ("50%"), "—" when nothing was chosen.
    static std::string hitPercentage(const TodayStats& stats);
    // The lines under the bar log item, or the single "no records" line.
    static std::vector<std::string> barLogLines(const std::vector<BarAppSummary>& summary);
    // Hours and minutes of `until` in the interface language's own form, in `timeZone`.
    static std::string pauseEnd(TimePoint until, std::string_view timeZone = {});

    static const Item* find(const std::vector<Item>& items, ItemID id);
};

}  // namespace pivorel
