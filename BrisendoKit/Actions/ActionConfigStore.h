#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "BrisendoKit/Actions/ActionConfig.h"
#include "BrisendoKit/Support/Clock.h"

namespace pivorel {

// Reads and writes the action configuration file (actions.json). The file is looked at
// whenever the configuration is needed, so another writer's changes apply at once; it is
// read and decoded again only when it has changed.
struct ActionConfigStore {
    static constexpr std::string_view fileName = "actions.json";

    std::filesystem::path url = defaultURL();

    // actions.json in the support directory.
    static std::filesystem::path defaultURL();

    // The configuration in the file, normalized. Never fails: a missing or unreadable file
    // gives the default configuration (and nothing is written); a file that does not decode
    // is moved aside as "<name>.corrupt-<seconds of now>" and the default is used.
    ActionConfig load(TimePoint now = std::chrono::system_clock::now()) const;

    // Writes the normalized configuration atomically, creating the directory. Returns
    // whether the file was written.
    bool save(const ActionConfig& config) const;

    // The configuration held by the file's bytes, as written (not normalized); missing keys
    // take their defaults. Nothing when the bytes are not such a file: not JSON, not an
    // object, a key of the wrong type, or a custom action without a required key.
    static std::optional<ActionConfig> decode(std::string_view bytes);

    // The file's bytes for `config` (not normalized here): a JSON object of all six keys,
    // sorted, indented by two spaces, "/" written as "\/", UTF-8 as is, ending in a newline.
    static std::string encode(const ActionConfig& config);
};

}  // namespace pivorel
