#pragma once

#include <sys/types.h>

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

// Who may read a file the program writes: the user alone (history, settings, caches,
// reminders: what the user selected is nobody else's business), or every local user
// (desktop entries, which the session's other programs read).
enum class Access { userOnly, everyone };

// What tells one version of a file from the next: an atomic replace changes the inode, an
// edit in place the size or modification time.
struct Stamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtimeNs = 0;
    bool operator==(const Stamp&) const = default;
};
Stamp stamp(const std::filesystem::path& path);

// Writes to a temporary file in the same directory, flushes it, then renames it over the
// target, so readers never see a half-written file. The file gets mode 0600 (`userOnly`) or
// 0644; missing parent directories are created 0700. Returns false (and leaves any existing
// file untouched) when something fails.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                         Access access = Access::userOnly);

// Creates `dir` and its missing parents with mode 0700, as the XDG rules ask. Returns
// whether `dir` is a directory afterwards.
bool makePrivateDirectory(const std::filesystem::path& dir);

// Takes group and other permissions away from `path` (a file made 0600 at most, a directory
// 0700 at most) and, for a directory, from everything under it. Symbolic links are neither
// changed nor followed; files of older versions are tightened this way at start.
void makePrivate(const std::filesystem::path& path);

// Renames `path` to "<name>.corrupt-<whole seconds of now>" beside it, so a file we could
// not decode is kept for the user instead of being overwritten. Returns the new path, or
// nothing when the rename failed.
std::optional<std::filesystem::path> moveAside(const std::filesystem::path& path, TimePoint now);

}  // namespace pivorel::fileio
