#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pivorel {

class UserDefaults;

// Decides the interface language and finds its translation table. The Simplified Chinese
// source text is the key of every table; a text missing from a table comes back unchanged.
struct Localizer {
    static const std::vector<std::string>& supported();
    static const std::vector<std::pair<std::string, std::string>>& nativeNames();
    static constexpr std::string_view followSystem = "system";
    static constexpr std::string_view preferenceKey = "uiLanguage";

    // The store that holds the preference, handed in at start-up. Without one the
    // preference is "system" and choosing another keeps nothing.
    static std::shared_ptr<UserDefaults> preferenceDefaults();
    static void setPreferenceDefaults(std::shared_ptr<UserDefaults> defaults);

    // PIVOREL_FORCE_LANG when set; "zh-Hans" inside the test executables; else nothing.
    static std::optional<std::string> languageOverride();
    static void setLanguageOverride(std::optional<std::string> code);

    static std::string preference();
    // The best supported match for the user's locale environment (LANGUAGE, then LC_ALL,
    // LC_MESSAGES, LANG); "en" when none matches.
    static std::string systemLanguage();
    // The same matching over an explicit list of locale names (POSIX or BCP 47 spelling).
    static std::string bestSupportedLanguage(const std::vector<std::string>& preferred);
    static std::string effectiveLanguage();

    // Stores the choice; a real change is announced once, by LanguageStore::shared().
    static void setPreference(std::string_view code);

    // The translation of `key` in `language`, or `key` itself.
    static std::string lookup(std::string_view key, std::string_view language);
    // Every key of the table for `language` (empty for "zh-Hans").
    static std::vector<std::string> tableKeys(std::string_view language);
};

}  // namespace pivorel
