#include "BrisendoKit/Support/UserDefaults.h"

#include <set>

#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/BoundedJson.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/XdgDirs.h"

namespace pivorel {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Differences between two objects, by key.
std::vector<std::string> changedKeys(const json& before, const json& after) {
    std::set<std::string> keys;
    for (auto it = before.begin(); it != before.end(); ++it) keys.insert(it.key());
    for (auto it = after.begin(); it != after.end(); ++it) keys.insert(it.key());
    std::vector<std::string> changed;
    for (const auto& k : keys) {
        const bool inBefore = before.contains(k), inAfter = after.contains(k);
        if (inBefore != inAfter || (inBefore && before.at(k) != after.at(k))) changed.push_back(k);
    }
    return changed;
}

}  // namespace

UserDefaults::UserDefaults(fs::path file) : file_(std::move(file)) {
    std::lock_guard lock(mutex_);
    loadLocked();
}

std::shared_ptr<UserDefaults> UserDefaults::standard() {
    static const auto shared = std::make_shared<UserDefaults>(domainFile(AppIdentity::bundleID));
    return shared;
}

fs::path UserDefaults::domainFile(std::string_view domain) {
    return XdgDirs::configHome() / (std::string(domain) + ".json");
}

fileio::Stamp UserDefaults::stampNow() const {
    return fileio::stamp(file_);
}

void UserDefaults::loadLocked() {
    stamp_ = stampNow();
    values_ = json::object();
    if (!stamp_.exists) return;
    const auto bytes = fileio::readFile(file_, maxFileBytes);
    json parsed = bytes ? boundedjson::parse(*bytes) : json();
    if (bytes && bytes->empty()) parsed = json::object();
    if (bytes && parsed.is_object()) {
        values_ = std::move(parsed);
        return;
    }
    // Never overwrite what we could not read: keep it aside for the user and start empty.
    const auto aside = fileio::moveAside(file_, std::chrono::system_clock::now());
    Log::write("Pivorel: 设置文件无法解析，已移到 " +
               (aside ? aside->filename().string() : std::string("（移动失败）")) +
               " file=" + file_.string());
    stamp_ = stampNow();
}

bool UserDefaults::writeLocked() {
    const bool ok = fileio::writeFileAtomically(
        file_, values_.dump(2, ' ', false, json::error_handler_t::replace) + "\n");
    if (!ok) Log::write("Pivorel: 设置写入失败 file=" + file_.string());
    stamp_ = stampNow();
    return ok;
}

std::vector<std::string> UserDefaults::mergeFromDiskLocked() {
    if (stampNow() == stamp_) return {};
    const json before = values_;
    loadLocked();
    return changedKeys(before, values_);
}

bool UserDefaults::contains(std::string_view key) const {
    std::lock_guard lock(mutex_);
    return values_.contains(key);
}

std::optional<json> UserDefaults::value(std::string_view key) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return *it;
}

std::optional<bool> UserDefaults::boolValue(std::string_view key) const {
    auto v = value(key);
    if (!v || !v->is_boolean()) return std::nullopt;
    return v->get<bool>();
}

std::optional<long long> UserDefaults::integerValue(std::string_view key) const {
    auto v = value(key);
    if (!v) return std::nullopt;
    if (v->is_number_integer()) {
        if (v->is_number_unsigned() && v->get<unsigned long long>() > 9223372036854775807ull) {
            return std::nullopt;
        }
        return v->get<long long>();
    }
    return std::nullopt;
}

std::optional<double> UserDefaults::doubleValue(std::string_view key) const {
    auto v = value(key);
    if (!v || !v->is_number()) return std::nullopt;
    return v->get<double>();
}

std::optional<std::string> UserDefaults::stringValue(std::string_view key) const {
    auto v = value(key);
    if (!v || !v->is_string()) return std::nullopt;
    return v->get<std::string>();
}

std::optional<std::vector<std::string>> UserDefaults::stringArray(std::string_view key) const {
    auto v = value(key);
    if (!v || !v->is_array()) return std::nullopt;
    std::vector<std::string> out;
    for (const auto& e : *v) {
        if (!e.is_string()) return std::nullopt;
        out.push_back(e.get<std::string>());
    }
    return out;
}

json UserDefaults::snapshot() const {
    std::lock_guard lock(mutex_);
    return values_;
}

void UserDefaults::set(std::string_view key, json value) {
    std::vector<std::string> external;
    bool changedHere = false;
    {
        std::lock_guard lock(mutex_);
        // Take another process's newer writes first, so ours does not wipe them out.
        external = mergeFromDiskLocked();
        auto it = values_.find(key);
        changedHere = it == values_.end() || *it != value;
        values_[std::string(key)] = std::move(value);
        writeLocked();
    }
    for (const auto& k : external) {
        if (k != key) changed.emit(k);
    }
    if (changedHere) changed.emit(std::string(key));
}

void UserDefaults::remove(std::string_view key) {
    std::vector<std::string> external;
    bool removed = false;
    {
        std::lock_guard lock(mutex_);
        external = mergeFromDiskLocked();
        removed = values_.erase(std::string(key)) > 0;
        if (removed) writeLocked();
    }
    for (const auto& k : external) {
        if (k != key) changed.emit(k);
    }
    if (removed) changed.emit(std::string(key));
}

void UserDefaults::replaceAll(json object) {
    if (!object.is_object()) return;
    std::vector<std::string> keys;
    {
        std::lock_guard lock(mutex_);
        keys = changedKeys(values_, object);
        values_ = std::move(object);
        writeLocked();
    }
    for (const auto& k : keys) changed.emit(k);
}

bool UserDefaults::reloadIfChanged() {
    std::vector<std::string> keys;
    {
        std::lock_guard lock(mutex_);
        keys = mergeFromDiskLocked();
    }
    for (const auto& k : keys) changed.emit(k);
    return !keys.empty();
}

}  // namespace pivorel
