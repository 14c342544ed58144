#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "BrisendoKit/Actions/ExtensionPreset.h"

namespace pivorel {

// A list of extension presets: the one built into the program, a newer one downloaded from
// the product's site, or the two merged. All three share one JSON form:
// {"version": 1, "updated": "YYYY-MM-DD", "items": [{"id", "name", "urlTemplate",
// "symbol"?, "category"?, "summary"?, "note"?}, ...]}.
struct ExtensionCatalog {
    static constexpr std::int64_t currentVersion = 1;
    static constexpr std::string_view remoteURL = "https://pivorel.app/extensions.json";

    std::int64_t version = currentVersion;
    std::string updated;  // compared as plain text
    std::vector<ExtensionPreset> items;

    // The catalog held by `bytes`, or nothing when they are not JSON, the version is not 1
    // or "items" is missing. Items that do not decode or validate are dropped one by one,
    // and so is every item after the first with the same id.
    static std::optional<ExtensionCatalog> decode(std::string_view bytes);

    // The catalog shipped with the program, decoded once.
    static const ExtensionCatalog& builtin();
    // The shipped catalog's JSON text.
    static std::string_view builtinJSON();

    // `builtin` with each remote item replacing the one of the same id in place, and new
    // ones appended; the later of the two dates.
    static ExtensionCatalog merged(const ExtensionCatalog& builtin,
                                   const std::optional<ExtensionCatalog>& remote);

    using Group = std::pair<std::string, std::vector<ExtensionPreset>>;
    // Categories in order of first appearance, each with its items in catalog order.
    std::vector<Group> grouped() const;

    friend bool operator==(const ExtensionCatalog&, const ExtensionCatalog&) = default;

  private:
    // The raw top level, every member optional; and one array element that may or may not
    // hold a preset, so one bad item never sinks the catalog.
    struct Wire;
    struct Lossy;
};

}  // namespace pivorel
