#include "BrisendoKit/Actions/ActionConfigStore.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>

#include <nlohmann/json.hpp>

#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/BoundedJson.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Log.h"

namespace pivorel {

namespace {

using json = nlohmann::json;

// A JSON null counts as a missing key.
const json* member(const json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() || it->is_null() ? nullptr : &*it;
}

bool readInteger(const json& value, std::int64_t& out) {
    if (value.is_number_unsigned()) {
        const auto u = value.get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return false;
        }
        out = static_cast<std::int64_t>(u);
        return true;
    }
    if (value.is_number_integer()) {
        out = value.get<std::int64_t>();
        return true;
    }
    if (value.is_number_float()) {
        // JSON does not tell 4 from 4.0; a whole number is an integer.
        const double d = value.get<double>();
        if (!std::isfinite(d) || d != std::trunc(d) || d < -9223372036854775808.0 ||
            d >= 9223372036854775808.0) {
            return false;
        }
        out = static_cast<std::int64_t>(d);
        return true;
    }
    return false;
}

bool readStrings(const json& value, std::vector<std::string>& out) {
    if (!value.is_array()) return false;
    out.clear();
    out.reserve(value.size());
    for (const json& element : value) {
        if (!element.is_string()) return false;
        out.push_back(element.get<std::string>());
    }
    return true;
}

bool readRequiredString(const json& object, const char* key, std::string& out) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

std::optional<CustomAction> readCustomAction(const json& value) {
    if (!value.is_object()) return std::nullopt;
    CustomAction action;
    if (!readRequiredString(value, "id", action.id) ||
        !readRequiredString(value, "name", action.name) ||
        !readRequiredString(value, "symbol", action.symbol) ||
        !readRequiredString(value, "urlTemplate", action.urlTemplate)) {
        return std::nullopt;
    }
    if (const json* preset = member(value, "presetID")) {
        if (!preset->is_string()) return std::nullopt;
        action.presetID = preset->get<std::string>();
    }
    return action;
}

std::optional<ActionConfig> decodeObject(const json& root) {
    if (!root.is_object()) return std::nullopt;
    ActionConfig config;
    // A missing version predates versioning; normalization brings it up to date.
    config.version = 0;
    if (const json* v = member(root, "version"); v && !readInteger(*v, config.version)) {
        return std::nullopt;
    }
    if (const json* v = member(root, "order"); v && !readStrings(*v, config.order)) {
        return std::nullopt;
    }
    if (const json* v = member(root, "hidden"); v && !readStrings(*v, config.hidden)) {
        return std::nullopt;
    }
    if (const json* v = member(root, "smartRanking")) {
        if (!v->is_boolean()) return std::nullopt;
        config.smartRanking = v->get<bool>();
    }
    if (const json* v = member(root, "barCount"); v && !readInteger(*v, config.barCount)) {
        return std::nullopt;
    }
    if (const json* v = member(root, "custom")) {
        if (!v->is_array()) return std::nullopt;
        for (const json& element : *v) {
            auto action = readCustomAction(element);
            if (!action) return std::nullopt;
            config.custom.push_back(std::move(*action));
        }
    }
    return config;
}

}  // namespace

std::filesystem::path ActionConfigStore::defaultURL() {
    return AppIdentity::supportDirectory() / fileName;
}

std::optional<ActionConfig> ActionConfigStore::decode(std::string_view bytes) {
    if (!boundedjson::nestingWithinLimit(bytes)) return std::nullopt;
    try {
        // Ill-formed UTF-8 inside strings is a parse error here, like any other.
        const json root = json::parse(bytes.begin(), bytes.end());
        return decodeObject(root);
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

std::string ActionConfigStore::encode(const ActionConfig& config) {
    json custom = json::array();
    for (const CustomAction& action : config.custom) {
        json object = {{"id", action.id},
                       {"name", action.name},
                       {"symbol", action.symbol},
                       {"urlTemplate", action.urlTemplate}};
        if (action.presetID) object["presetID"] = *action.presetID;
        custom.push_back(std::move(object));
    }
    // nlohmann's objects keep their keys sorted.
    const json root = {{"barCount", config.barCount},
                       {"custom", std::move(custom)},
                       {"hidden", config.hidden},
                       {"order", config.order},
                       {"smartRanking", config.smartRanking},
                       {"version", config.version}};
    // Strings that are not UTF-8 are written with U+FFFD rather than failing the save.
    const std::string dumped = root.dump(2, ' ', false, json::error_handler_t::replace);
    // A "/" can only occur inside a string in JSON text, so every one of them is escaped.
    std::string text;
    text.reserve(dumped.size() + dumped.size() / 16 + 1);
    for (const char c : dumped) {
        if (c == '/') text += '\\';
        text += c;
    }
    text += '\n';
    return text;
}

ActionConfig ActionConfigStore::load(TimePoint now) const {
    // Loaded for every selection: a large file is decoded again only when it has changed.
    static std::mutex lastMutex;
    static struct {
        std::filesystem::path url;
        fileio::Stamp stamp;
        ActionConfig config;
    } last;
    const fileio::Stamp stamp = fileio::stamp(url);
    if (stamp.exists) {
        std::lock_guard lock(lastMutex);
        if (last.url == url && last.stamp == stamp) return last.config;
    }

    const std::optional<std::string> bytes = fileio::readFile(url);
    if (!bytes) return ActionConfig::defaultConfig();
    if (auto decoded = decode(*bytes)) {
        ActionConfig config = decoded->normalized();
        std::lock_guard lock(lastMutex);
        last = {url, stamp, config};
        return config;
    }

    const std::string name = url.filename().string();
    if (auto moved = fileio::moveAside(url, now)) {
        Log::write("Pivorel: " + name + " 无法解析，已移到 " + moved->filename().string());
    } else {
        Log::write("Pivorel: " + name + " 无法解析，也无法移开");
    }
    return ActionConfig::defaultConfig();
}

bool ActionConfigStore::save(const ActionConfig& config) const {
    return fileio::writeFileAtomically(url, encode(config.normalized()));
}

}  // namespace pivorel
