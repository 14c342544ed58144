#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "BrisendoKit/Support/Clock.h"

namespace pivorel::fileio {

// The whole file, or nothing when it cannot be read. Files larger than `maxBytes` are not
// read at all (a runaway file must not take the program's memory).
std::optional<std::string> readFile(const std::filesystem::path& path,
                                    std::size_t maxBytes = 64u << 20);

// Writes to a temporary file in the same directory, flushes it, then renames it over the
// target, so readers never see a half-written file. Creates missing parent directories.
// Returns false (and leaves any existing file untouched) when something fails.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Renames `path` to "<name>.corrupt-<whole seconds of now>" beside it, so a file we could
// not decode is kept for the user instead of being overwritten. Returns the new path, or
// nothing when the rename failed.
std::optional<std::filesystem::path> moveAside(const std::filesystem::path& path, TimePoint now);

}  // namespace pivorel::fileio
