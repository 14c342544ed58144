#include "BrisendoKit/Storage/BarSettings.h"

#include <limits>

#include "BrisendoKit/Storage/Endpoints.h"
#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/UserDefaults.h"

namespace pivorel {

namespace {

std::optional<std::uint32_t> storedUInt32(const UserDefaults& d, std::string_view key) {
    const auto v = d.integerValue(key);
    if (!v || *v < 0 || *v > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    return static_cast<std::uint32_t>(*v);
}

}  // namespace

BarSettings::BarSettings(std::shared_ptr<UserDefaults> defaults) : defaults_(std::move(defaults)) {}

const std::vector<std::string>& BarSettings::defaultExcluded() {
    static const std::vector<std::string> apps = {
        "com.1password.1password",        "com.agilebits.onepassword7",
        "com.apple.keychainaccess",       "com.apple.Passwords",
        "org.keepassxc.KeePassXC",        "bitwarden",
        "com.bitwarden.desktop",          "1password",
        "org.gnome.seahorse.Application", "org.kde.kwalletmanager5",
        "org.kde.kwalletmanager",
    };
    return apps;
}

bool BarSettings::enabled() const {
    return defaults_->boolValue(enabledKey).value_or(true);
}

void BarSettings::setEnabled(bool enabled) {
    defaults_->set(enabledKey, enabled);
}

std::vector<std::string> BarSettings::excluded() const {
    return defaults_->stringArray(excludedKey).value_or(defaultExcluded());
}

void BarSettings::setExcluded(const std::vector<std::string>& apps) {
    defaults_->set(excludedKey, apps);
}

std::vector<std::string> BarSettings::copyFallbackApps() const {
    return defaults_->stringArray(copyFallbackKey).value_or(std::vector<std::string>{});
}

void BarSettings::setCopyFallbackApps(const std::vector<std::string>& apps) {
    defaults_->set(copyFallbackKey, apps);
}

std::optional<TimePoint> BarSettings::pausedUntil() const {
    const auto seconds = defaults_->doubleValue(pausedUntilKey);
    if (!seconds || !(*seconds > 0)) return std::nullopt;
    return fromUnixSeconds(*seconds);
}

void BarSettings::setPausedUntil(std::optional<TimePoint> until) {
    if (until) {
        defaults_->set(pausedUntilKey, toUnixSeconds(*until));
    } else {
        defaults_->set(pausedUntilKey, 0);
    }
}

void BarSettings::togglePause(TimePoint now) {
    const auto until = pausedUntil();
    if (until && *until > now) {
        setPausedUntil(std::nullopt);
    } else {
        setPausedUntil(now + std::chrono::duration_cast<TimePoint::duration>(
                                 std::chrono::duration<double>(pauseSeconds)));
    }
}

HotKeySpec BarSettings::hotkey() const {
    if (!defaults_->contains(hotkeyCodeKey)) return HotKeySpec::defaultSpec();
    const auto code = storedUInt32(*defaults_, hotkeyCodeKey);
    if (!code) return HotKeySpec::defaultSpec();
    if (!defaults_->contains(hotkeyModsKey)) return {*code, 0};
    const auto mods = storedUInt32(*defaults_, hotkeyModsKey);
    if (!mods) return HotKeySpec::defaultSpec();
    return {*code, *mods};
}

void BarSettings::setHotkey(HotKeySpec spec) {
    defaults_->set(hotkeyCodeKey, spec.keyCode);
    defaults_->set(hotkeyModsKey, spec.modifiers);
}

std::string BarSettings::llmBaseURL() const {
    return defaults_->stringValue(llmBaseURLKey)
        .value_or(std::string(Endpoints::defaultLLMBaseURL));
}

std::string BarSettings::llmModel() const {
    return defaults_->stringValue(llmModelKey).value_or(std::string(Endpoints::defaultLLMModel));
}

bool BarSettings::flomoDry() const {
    return defaults_->boolValue(flomoDryKey).value_or(false);
}

std::filesystem::path BarSettings::remindersFolder() const {
    const auto stored = defaults_->stringValue(remindersFolderKey);
    if (stored && !stored->empty()) return *stored;
    return AppIdentity::supportDirectory() / "Reminders";
}

void BarSettings::setRemindersFolder(const std::filesystem::path& folder) {
    defaults_->set(remindersFolderKey, folder.string());
}

std::string BarSettings::translateEngine() const {
    const auto v = defaults_->stringValue(translateEngineKey);
    if (v == "system" || v == "model") return *v;
    return "auto";
}

}  // namespace pivorel
