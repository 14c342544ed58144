#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrisendoKit/Actions/ActionID.h"

namespace pivorel {

// A user-defined action: a URL template opened with the selected text filled in.
struct CustomAction {
    std::string id;  // "custom:" + lower-case UUID
    std::string name;
    std::string symbol;
    std::string urlTemplate;
    std::optional<std::string> presetID;  // the extension preset it was made from

    // "custom:" followed by a fresh random (version 4) UUID in lower case.
    static std::string newID();

    // Why the action may not be saved (a localized message), or nothing when it may.
    std::optional<std::string> validationError() const;

    friend bool operator==(const CustomAction&, const CustomAction&) = default;
};

// The user's choice of actions: their order, which are hidden, the bar size, whether smart
// ranking may reorder, and the custom actions. Kept in actions.json.
struct ActionConfig {
    struct CountRange {
        std::int64_t lowerBound;
        std::int64_t upperBound;
    };

    static constexpr std::int64_t currentVersion = 1;
    static constexpr CountRange barCountRange{3, 6};
    static constexpr std::int64_t defaultBarCount = 4;

    // The built-in actions by base score, highest first; ties keep the canonical order.
    static const std::vector<ActionID>& defaultOrder();
    static std::vector<std::string> defaultOrderStrings();
    // The configuration before the user changes anything.
    static ActionConfig defaultConfig();

    std::int64_t version = currentVersion;
    std::vector<std::string> order = defaultOrderStrings();
    std::vector<std::string> hidden;
    bool smartRanking = true;
    std::int64_t barCount = defaultBarCount;
    std::vector<CustomAction> custom;

    // Repairs whatever a file or an edit left inconsistent: custom actions without the
    // "custom:" prefix or with a repeated id are dropped; the order names every built-in
    // and every custom action exactly once (missing ones appended, unknown ones dropped);
    // hidden keeps only known identifiers; the bar size is clamped.
    ActionConfig normalized() const;

    // The order of the normalized configuration.
    std::vector<ActionID> orderedActions() const;
    bool isHidden(const ActionID& id) const;
    // The first custom action with that id.
    std::optional<CustomAction> customAction(const ActionID& id) const;

    friend bool operator==(const ActionConfig&, const ActionConfig&) = default;
};

// The rules for custom actions' URL templates.
class URLTemplate {
  public:
    URLTemplate() = delete;

    static constexpr std::array<std::string_view, 2> placeholders{"{text}", "{url}"};
    // At most this many characters (grapheme clusters) of the selection go into a URL.
    static constexpr std::size_t maxTextLength = 2000;
    static constexpr std::array<std::string_view, 7> blockedSchemes{
        "file", "javascript", "data", "vbscript", "about", "blob", "ftp"};

    // Why the template is not usable (a localized message), or nothing when it is.
    static std::optional<std::string> validate(std::string_view urlTemplate);

    // The link for `text` selected on `pageURL`: the placeholders replaced by the
    // percent-encoded text (its first maxTextLength characters) and page address. The
    // result is an all-ASCII URL; nothing when the expanded string is not a URL.
    static std::optional<std::string> expand(std::string_view urlTemplate, std::string_view text,
                                             std::optional<std::string_view> pageURL);

    // Percent-encodes everything except Unicode letters, marks and numbers and "-._~", as
    // upper-case %XX of the UTF-8 bytes. Ill-formed UTF-8 is repaired first.
    static std::string percentEncode(std::string_view text);

    // Makes a URL string of `s`: characters a URL may not hold are percent-encoded (a
    // non-ASCII host becomes its IDNA form), then the string is parsed. Nothing when it
    // still is not a URL.
    static std::optional<std::string> makeURL(std::string_view s);

    struct Parts {
        std::string scheme;  // lower case
        std::string host;    // empty when the URL has no authority or an empty one
    };
    // The scheme and host of a URL string, or nothing when it does not parse.
    static std::optional<Parts> parse(std::string_view url);
};

}  // namespace pivorel
