#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace pivorel {

class UserDefaults;

// The user's choice of translation engine. `automatic` is stored as "auto": the user's
// model when a key is stored, otherwise the on-device translator.
enum class TranslateEngine { automatic, system, model };

inline constexpr std::array<TranslateEngine, 3> allTranslateEngines = {
    TranslateEngine::automatic, TranslateEngine::system, TranslateEngine::model};

// The user-defaults key that holds the raw string.
inline constexpr std::string_view translateEngineDefaultsKey = "translateEngine";

std::string_view toString(TranslateEngine engine);
std::optional<TranslateEngine> translateEngineFromString(std::string_view raw);
std::string translateEngineTitle(TranslateEngine engine);

// The stored choice: "system" and "model" as named, anything else (absent, "auto", an
// unknown word) automatic.
TranslateEngine currentTranslateEngine(const UserDefaults& defaults);

// The settings window's line about what translation will use right now.
struct TranslateEngineStatus {
    std::string text;
    bool ok = false;

    friend bool operator==(const TranslateEngineStatus&, const TranslateEngineStatus&) = default;
};

// `packReady` absent means the language packs' state is not known yet; `model` is shown
// trimmed.
TranslateEngineStatus translateEngineStatus(TranslateEngine engine, bool hasModelKey,
                                            std::optional<bool> packReady, std::string_view model);

}  // namespace pivorel
