#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace pivorel {

class UserDefaults;

// The user's choice of translation engine. `automatic` is stored as "auto": the user's
// model when it can answer (a key is stored, or it runs on this machine), otherwise the
// on-device translator.
enum class TranslateEngine { automatic, system, model };

inline constexpr std::array<TranslateEngine, 3> allTranslateEngines = {
    TranslateEngine::automatic, TranslateEngine::system, TranslateEngine::model};

// The user-defaults key that holds the raw string.
inline constexpr std::string_view translateEngineDefaultsKey = "translateEngine";

std::string_view toString(TranslateEngine engine);
std::optional<TranslateEngine> translateEngineFromString(std::string_view raw);
std::string translateEngineTitle(TranslateEngine engine);

// The stored choice: "system" and "model" as named, anything else (absent, "auto", an
// unknown word) automatic. Without an on-device engine, "system" is automatic too.
TranslateEngine currentTranslateEngine(const UserDefaults& defaults, bool onDeviceEngine);

// The settings window's line about what translation will use right now.
struct TranslateEngineStatus {
    std::string text;
    bool ok = false;

    friend bool operator==(const TranslateEngineStatus&, const TranslateEngineStatus&) = default;
};

// `modelReady`: a key is stored or the model runs on this machine. `packReady` absent
// means the language packs' state is not known yet; `model` is shown trimmed.
TranslateEngineStatus translateEngineStatus(TranslateEngine engine, bool modelReady,
                                            std::optional<bool> packReady, std::string_view model);

}  // namespace pivorel
