#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrisendoKit/Storage/HotKeySpec.h"
#include "BrisendoKit/Support/Clock.h"

namespace pivorel {

class UserDefaults;

// Typed access to the settings that govern the bar, the hot key and the model service.
// Every read goes to the store and every write straight through: no caching, so a change
// from the settings window or another process is seen at the next read. A value of the
// wrong type reads as the key's default.
class BarSettings {
  public:
    explicit BarSettings(std::shared_ptr<UserDefaults> defaults);

    static constexpr std::string_view enabledKey = "barEnabled";
    static constexpr std::string_view excludedKey = "barExcludedApps";
    static constexpr std::string_view pausedUntilKey = "barPausedUntil";
    static constexpr std::string_view copyFallbackKey = "barCopyFallbackApps";
    static constexpr std::string_view hotkeyCodeKey = "hotkeyCode";
    static constexpr std::string_view hotkeyModsKey = "hotkeyMods";
    static constexpr std::string_view llmBaseURLKey = "llmBaseURL";
    static constexpr std::string_view llmModelKey = "llmModel";
    static constexpr std::string_view flomoDryKey = "flomoDry";
    static constexpr std::string_view remindersFolderKey = "remindersFolder";
    static constexpr std::string_view uiLanguageKey = "uiLanguage";
    static constexpr std::string_view translateEngineKey = "translateEngine";

    // How long "暂停小条 1 小时" pauses the bar.
    static constexpr double pauseSeconds = 3600;

    // Applications over whose text the bar never shows: password managers, by their macOS
    // identifiers and then the desktop-file ids of the Linux ones.
    static const std::vector<std::string>& defaultExcluded();

    const std::shared_ptr<UserDefaults>& defaults() const { return defaults_; }

    bool enabled() const;
    void setEnabled(bool enabled);

    // An empty list is stored as such and reads back empty.
    std::vector<std::string> excluded() const;
    void setExcluded(const std::vector<std::string>& apps);

    std::vector<std::string> copyFallbackApps() const;
    void setCopyFallbackApps(const std::vector<std::string>& apps);

    // Nothing when not paused; nothing is stored as 0.
    std::optional<TimePoint> pausedUntil() const;
    void setPausedUntil(std::optional<TimePoint> until);
    // Pauses for an hour from `now`, or lifts a pause that still lies ahead.
    void togglePause(TimePoint now);

    // The default hot key when none is stored or a stored value is not an unsigned 32-bit
    // integer; a stored key code without modifiers reads with no modifiers.
    HotKeySpec hotkey() const;
    void setHotkey(HotKeySpec spec);

    // The stored base address and model as stored (even empty), else the defaults.
    std::string llmBaseURL() const;
    std::string llmModel() const;
    bool flomoDry() const;
    // Where reminders go when the desktop has no task list service: the stored folder, else
    // "Reminders" in the program's data directory.
    std::filesystem::path remindersFolder() const;
    void setRemindersFolder(const std::filesystem::path& folder);
    // "system", "model" or "auto" (the answer for anything else).
    std::string translateEngine() const;

  private:
    std::shared_ptr<UserDefaults> defaults_;
};

}  // namespace pivorel
