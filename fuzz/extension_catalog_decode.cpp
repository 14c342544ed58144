// Remote catalog and cache bytes: decoding never crashes, and what decodes is a catalog the
// library can show and merge.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_set>

#include "BrisendoKit/Actions/ExtensionCatalog.h"

using namespace pivorel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto decoded = ExtensionCatalog::decode(bytes);
    if (!decoded) return 0;
    if (decoded->version != ExtensionCatalog::currentVersion) std::abort();

    std::unordered_set<std::string> ids;
    for (const ExtensionPreset& item : decoded->items) {
        if (!ids.insert(item.id).second) std::abort();
        if (item.validationError()) std::abort();
        if (!item.matches(item.makeAction())) std::abort();
    }

    std::size_t grouped = 0;
    for (const auto& group : decoded->grouped()) grouped += group.second.size();
    if (grouped != decoded->items.size()) std::abort();

    // Merging keeps every built-in entry in its place and adds only new ids.
    const ExtensionCatalog& builtin = ExtensionCatalog::builtin();
    const ExtensionCatalog merged = ExtensionCatalog::merged(builtin, decoded);
    if (merged.items.size() < builtin.items.size()) std::abort();
    for (std::size_t i = 0; i < builtin.items.size(); ++i) {
        if (merged.items[i].id != builtin.items[i].id) std::abort();
    }
    std::unordered_set<std::string> mergedIDs;
    for (const ExtensionPreset& item : merged.items) {
        if (!mergedIDs.insert(item.id).second) std::abort();
    }
    if (merged.updated < builtin.updated || merged.updated < decoded->updated) std::abort();
    return 0;
}
