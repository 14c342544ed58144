#include "BrisendoKit/Actions/ExtensionCatalog.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <unordered_map>
#include <unordered_set>

#include "BrisendoKit/Actions/ExtensionCatalogStore.h"
#include "BrisendoKit/Support/BoundedJson.h"
#include "BrisendoKit/Support/Log.h"

namespace pivorel {

using Json = nlohmann::json;

namespace {

// A member that may be missing: absent (or null) leaves `out` alone; a value of another
// type is an error.
bool readOptional(const Json& object, const char* key, std::optional<std::string>& out) {
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) return true;
    if (!it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

bool readOptional(const Json& object, const char* key, std::string& out) {
    std::optional<std::string> value;
    if (!readOptional(object, key, value)) return false;
    if (value) out = std::move(*value);
    return true;
}

bool readRequired(const Json& object, const char* key, std::string& out) {
    std::optional<std::string> value;
    if (!readOptional(object, key, value) || !value) return false;
    out = std::move(*value);
    return true;
}

}  // namespace

struct ExtensionCatalog::Lossy {
    std::optional<ExtensionPreset> preset;

    explicit Lossy(const Json& element) {
        if (!element.is_object()) return;
        ExtensionPreset p;
        if (!readRequired(element, "id", p.id) || !readRequired(element, "name", p.name) ||
            !readRequired(element, "urlTemplate", p.urlTemplate) ||
            !readOptional(element, "symbol", p.symbol) ||
            !readOptional(element, "category", p.category) ||
            !readOptional(element, "summary", p.summary) ||
            !readOptional(element, "note", p.note)) {
            return;
        }
        preset = std::move(p);
    }
};

struct ExtensionCatalog::Wire {
    std::optional<std::int64_t> version;
    std::optional<std::string> updated;
    std::optional<std::vector<Lossy>> items;

    static std::optional<Wire> read(const Json& top) {
        if (!top.is_object()) return std::nullopt;
        Wire wire;
        if (const auto v = top.find("version"); v != top.end() && !v->is_null()) {
            if (v->is_number_integer()) {
                // Out-of-range unsigned values must not wrap round to 1.
                if (v->is_number_unsigned() && v->get<std::uint64_t>() > INT64_MAX) {
                    return std::nullopt;
                }
                wire.version = v->get<std::int64_t>();
            } else if (v->is_number_float()) {
                const double d = v->get<double>();
                if (d != 1.0) return std::nullopt;  // only the value matters: 1.0 is 1
                wire.version = 1;
            } else {
                return std::nullopt;
            }
        }
        if (!readOptional(top, "updated", wire.updated)) return std::nullopt;
        if (const auto it = top.find("items"); it != top.end() && !it->is_null()) {
            if (!it->is_array()) return std::nullopt;
            std::vector<Lossy> items;
            items.reserve(it->size());
            for (const Json& element : *it) items.emplace_back(element);
            wire.items = std::move(items);
        }
        return wire;
    }
};

std::optional<ExtensionCatalog> ExtensionCatalog::decode(std::string_view bytes) {
    const Json top = boundedjson::parse(bytes, ExtensionCatalogStore::maxCatalogBytes);
    if (top.is_discarded()) return std::nullopt;
    std::optional<Wire> wire = Wire::read(top);
    if (!wire || wire->version != currentVersion || !wire->items) return std::nullopt;

    ExtensionCatalog catalog;
    catalog.updated = wire->updated.value_or("");
    std::unordered_set<std::string> seen;
    for (Lossy& element : *wire->items) {
        if (!element.preset || element.preset->validationError()) continue;
        if (!seen.insert(element.preset->id).second) continue;
        catalog.items.push_back(std::move(*element.preset));
    }
    return catalog;
}

const ExtensionCatalog& ExtensionCatalog::builtin() {
    static const ExtensionCatalog catalog = [] {
        if (auto decoded = decode(builtinJSON())) return std::move(*decoded);
        Log::write("Pivorel: 内置扩展目录无法解析");
        return ExtensionCatalog{};
    }();
    return catalog;
}

ExtensionCatalog ExtensionCatalog::merged(const ExtensionCatalog& builtin,
                                          const std::optional<ExtensionCatalog>& remote) {
    if (!remote) return builtin;
    ExtensionCatalog result = builtin;
    std::unordered_map<std::string, std::size_t> position;
    for (std::size_t i = 0; i < result.items.size(); ++i) position.emplace(result.items[i].id, i);
    for (const ExtensionPreset& item : remote->items) {
        if (const auto it = position.find(item.id); it != position.end()) {
            result.items[it->second] = item;
        } else {
            position.emplace(item.id, result.items.size());
            result.items.push_back(item);
        }
    }
    result.updated = std::max(builtin.updated, remote->updated);
    return result;
}

std::vector<ExtensionCatalog::Group> ExtensionCatalog::grouped() const {
    std::vector<Group> groups;
    std::unordered_map<std::string, std::size_t> position;
    for (const ExtensionPreset& item : items) {
        const auto [it, isNew] = position.emplace(item.category, groups.size());
        if (isNew) groups.push_back({item.category, {}});
        groups[it->second].second.push_back(item);
    }
    return groups;
}

}  // namespace pivorel
