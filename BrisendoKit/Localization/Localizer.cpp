#include "BrisendoKit/Localization/Localizer.h"

#include <unicode/localematcher.h>
#include <unicode/locid.h>

#include <cstdlib>
#include <mutex>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "BrisendoKit/Localization/EmbeddedTables.h"
#include "BrisendoKit/Localization/LanguageStore.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/UserDefaults.h"

namespace pivorel {

namespace {

using Table = std::unordered_map<std::string, std::string>;

const std::unordered_map<std::string, Table>& tables() {
    static const auto all = [] {
        std::unordered_map<std::string, Table> out;
        for (const auto& embedded : embeddedTables()) {
            auto parsed = nlohmann::json::parse(embedded.json, nullptr, false);
            Table table;
            if (parsed.is_object()) {
                for (auto it = parsed.begin(); it != parsed.end(); ++it) {
                    if (it.value().is_string())
                        table.emplace(it.key(), it.value().get<std::string>());
                }
            } else {
                Log::write("Pivorel: 语言表无法解析 language=" + std::string(embedded.language));
            }
            out.emplace(std::string(embedded.language), std::move(table));
        }
        return out;
    }();
    return all;
}

struct OverrideState {
    std::mutex mutex;
    bool initialised = false;
    std::optional<std::string> value;
    std::shared_ptr<UserDefaults> defaults;
};

OverrideState& state() {
    static OverrideState s;
    return s;
}

// "fr_CA.UTF-8@euro" → "fr-CA"; "C" and "POSIX" say nothing about a language.
std::optional<std::string> toLanguageTag(std::string name) {
    if (const auto at = name.find('@'); at != std::string::npos) name.resize(at);
    if (const auto dot = name.find('.'); dot != std::string::npos) name.resize(dot);
    if (name.empty() || name == "C" || name == "POSIX") return std::nullopt;
    for (auto& c : name) {
        if (c == '_') c = '-';
    }
    return name;
}

}  // namespace

const std::vector<std::string>& Localizer::supported() {
    static const std::vector<std::string> codes = {"zh-Hans", "zh-Hant", "en", "ja",
                                                   "ko",      "de",      "fr", "es"};
    return codes;
}

const std::vector<std::pair<std::string, std::string>>& Localizer::nativeNames() {
    static const std::vector<std::pair<std::string, std::string>> names = {
        {"zh-Hans", "简体中文"}, {"zh-Hant", "繁體中文"}, {"en", "English"},  {"ja", "日本語"},
        {"ko", "한국어"},        {"de", "Deutsch"},       {"fr", "Français"}, {"es", "Español"}};
    return names;
}

std::shared_ptr<UserDefaults> Localizer::preferenceDefaults() {
    std::lock_guard lock(state().mutex);
    return state().defaults;
}

void Localizer::setPreferenceDefaults(std::shared_ptr<UserDefaults> defaults) {
    std::lock_guard lock(state().mutex);
    state().defaults = std::move(defaults);
}

std::optional<std::string> Localizer::languageOverride() {
    std::lock_guard lock(state().mutex);
    if (!state().initialised) {
        state().initialised = true;
        if (const char* forced = std::getenv("PIVOREL_FORCE_LANG")) {
            state().value = forced;
        } else if (std::getenv("PIVOREL_TEST_RUN")) {
            state().value = "zh-Hans";
        }
    }
    return state().value;
}

void Localizer::setLanguageOverride(std::optional<std::string> code) {
    std::lock_guard lock(state().mutex);
    state().initialised = true;
    state().value = std::move(code);
}

std::string Localizer::preference() {
    const auto defaults = preferenceDefaults();
    const auto stored = defaults ? defaults->stringValue(preferenceKey) : std::nullopt;
    if (stored) {
        for (const auto& code : supported()) {
            if (code == *stored) return code;
        }
    }
    return std::string(followSystem);
}

std::string Localizer::bestSupportedLanguage(const std::vector<std::string>& preferred) {
    UErrorCode status = U_ZERO_ERROR;
    icu::LocaleMatcher::Builder builder;
    std::vector<icu::Locale> supportedLocales;
    for (const auto& code : supported()) {
        supportedLocales.push_back(icu::Locale::forLanguageTag(code, status));
    }
    builder.setSupportedLocales(supportedLocales.begin(), supportedLocales.end());
    builder.setNoDefaultLocale();
    icu::LocaleMatcher matcher = builder.build(status);
    if (U_FAILURE(status)) return "en";
    // The first preferred language that any supported one serves wins, as the desktop's
    // own localization lookup does; later entries are only fallbacks.
    for (const auto& name : preferred) {
        const auto tag = toLanguageTag(name);
        if (!tag) continue;
        UErrorCode s = U_ZERO_ERROR;
        const icu::Locale desired = icu::Locale::forLanguageTag(*tag, s);
        if (U_FAILURE(s) || desired.isBogus()) continue;
        const icu::Locale* best = matcher.getBestMatch(desired, s);
        if (U_FAILURE(s) || best == nullptr) continue;
        const std::string bestTag = best->toLanguageTag<std::string>(s);
        for (const auto& code : supported()) {
            if (code == bestTag) return code;
        }
    }
    return "en";
}

std::string Localizer::systemLanguage() {
    std::vector<std::string> preferred;
    if (const char* language = std::getenv("LANGUAGE"); language && *language) {
        std::string list = language;
        std::size_t start = 0;
        while (start <= list.size()) {
            const auto colon = list.find(':', start);
            const auto piece =
                list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            if (!piece.empty()) preferred.push_back(piece);
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
    }
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* v = std::getenv(var); v && *v) {
            preferred.emplace_back(v);
            break;
        }
    }
    return bestSupportedLanguage(preferred);
}

std::string Localizer::effectiveLanguage() {
    if (auto forced = languageOverride()) return *forced;
    auto pref = preference();
    if (pref != followSystem) return pref;
    return systemLanguage();
}

void Localizer::setPreference(std::string_view code) {
    std::string chosen(followSystem);
    for (const auto& c : supported()) {
        if (c == code) chosen = c;
    }
    auto defaults = preferenceDefaults();
    if (!defaults || chosen == preference()) return;
    if (chosen == followSystem) {
        defaults->remove(preferenceKey);
    } else {
        defaults->set(preferenceKey, chosen);
    }
    LanguageStore::shared().bump();
}

std::string Localizer::lookup(std::string_view key, std::string_view language) {
    const auto& all = tables();
    const auto table = all.find(std::string(language));
    if (table == all.end()) return std::string(key);
    const auto it = table->second.find(std::string(key));
    return it == table->second.end() ? std::string(key) : it->second;
}

std::vector<std::string> Localizer::tableKeys(std::string_view language) {
    std::vector<std::string> keys;
    const auto& all = tables();
    if (auto table = all.find(std::string(language)); table != all.end()) {
        for (const auto& [k, v] : table->second) keys.push_back(k);
    }
    return keys;
}

LanguageStore& LanguageStore::shared() {
    static LanguageStore store;
    return store;
}

}  // namespace pivorel
