#pragma once

#include <filesystem>
#include <ostream>
#include <string>

namespace pivorel {

// "--install-desktop-entry": makes a program built from source the handler of pivorel:// and
// brisendo:// links for this user, as the package does for everyone. Writes
// $XDG_DATA_HOME/applications/pivorel.desktop starting this executable, then asks xdg-mime
// to make it the default for both schemes. Reports each step on `out`; 0 when the entry was
// written, 1 otherwise.
int runInstallDesktopEntry(std::ostream& out);

// The entry's text for `executable`.
std::string desktopEntryText(const std::filesystem::path& executable);

}  // namespace pivorel
