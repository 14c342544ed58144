#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

// One user-defaults domain kept as a JSON object in one file
// ($XDG_CONFIG_HOME/<domain>.json). Values keep their JSON types; the typed getters answer
// nothing for a missing key or one of another type, so callers fall back to their defaults.
// Keys this program does not know keep whatever JSON they hold, so a copied domain loses
// nothing. Every change is written at once, atomically, and observers are told afterwards.
// Thread-safe.
class UserDefaults {
  public:
    // A settings file larger than this is not ours to read: it is moved aside like any
    // other file that does not decode.
    static constexpr std::size_t maxFileBytes = 4u << 20;

    explicit UserDefaults(std::filesystem::path file);

    // The program's own domain ("com.morvale.pivorel"), shared by the whole process.
    static std::shared_ptr<UserDefaults> standard();
    // The file that holds `domain` in the user's configuration directory.
    static std::filesystem::path domainFile(std::string_view domain);

    const std::filesystem::path& file() const { return file_; }

    bool contains(std::string_view key) const;
    std::optional<nlohmann::json> value(std::string_view key) const;
    std::optional<bool> boolValue(std::string_view key) const;
    std::optional<long long> integerValue(std::string_view key) const;
    std::optional<double> doubleValue(std::string_view key) const;  // any JSON number
    std::optional<std::string> stringValue(std::string_view key) const;
    // Only an array whose every element is a string.
    std::optional<std::vector<std::string>> stringArray(std::string_view key) const;
    nlohmann::json snapshot() const;

    void set(std::string_view key, nlohmann::json value);
    void remove(std::string_view key);
    // Replaces the whole domain (a copy from another domain).
    void replaceAll(nlohmann::json object);

    // Re-reads the file if another process changed it, telling observers about each key
    // whose value changed. Returns whether anything changed.
    bool reloadIfChanged();

    // Told with the key after every change (in this process, or found by reloadIfChanged).
    Signal<const std::string&> changed;

  private:
    fileio::Stamp stampNow() const;
    void loadLocked();
    bool writeLocked();
    std::vector<std::string> mergeFromDiskLocked();

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    nlohmann::json values_ = nlohmann::json::object();
    fileio::Stamp stamp_;
};

}  // namespace pivorel
