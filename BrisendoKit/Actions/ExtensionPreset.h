#pragma once

#include <optional>
#include <string>

#include "BrisendoKit/Actions/ActionConfig.h"

namespace pivorel {

// A ready-made web-search action from the extension catalog: a named site and a URL
// template that carries the selected text into its search page.
struct ExtensionPreset {
    std::string id;
    std::string name;  // also the localization key of the action made from it
    std::string symbol = "link";
    std::string urlTemplate;
    std::string category = "其他";
    std::string summary;
    std::optional<std::string> note;  // a caveat: login needed, sends at once, ...

    // Why the preset is not usable (a localized message), or nothing.
    std::optional<std::string> validationError() const;

    // A custom action with a fresh id, the localized name, and presetID = id.
    CustomAction makeAction() const;

    // Whether `action` was made from this preset, or is the same template typed in by hand
    // (compared trimmed and case-insensitively).
    bool matches(const CustomAction& action) const;

    friend bool operator==(const ExtensionPreset&, const ExtensionPreset&) = default;
};

}  // namespace pivorel
