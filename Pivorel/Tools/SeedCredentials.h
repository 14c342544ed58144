#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace pivorel {

// pivorel --seed-credentials: stores the model API key from opencode's credentials file
// (~/.local/share/opencode/auth.json) and the flomo webhook from PIVOREL_FLOMO_URL in the
// Secret Service, prints one line for each, and returns the exit status (always 0).
int runSeedCredentials();

// The credentials file the switch reads, under the user's home directory.
std::filesystem::path seedAuthFilePath();

// The process environment as a map.
std::map<std::string, std::string> processEnvironment();

}  // namespace pivorel
