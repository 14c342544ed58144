#include "Pivorel/Tools/DesktopEntryInstall.h"

#include <cerrno>
#include <cstring>

#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/XdgDirs.h"
#include "Pivorel/Linux/AutostartLoginItem.h"
#include "Pivorel/Linux/ChildProcess.h"

namespace pivorel {

namespace fs = std::filesystem;

namespace {

constexpr const char* schemes[] = {"x-scheme-handler/pivorel", "x-scheme-handler/brisendo"};

}  // namespace

std::string desktopEntryText(const fs::path& executable) {
    std::string text = "[Desktop Entry]\n";
    text += "Type=Application\n";
    text += "Version=1.0\n";
    text += "Name=" + std::string(AppIdentity::productName) + "\n";
    text += "Comment=Select text anywhere and a bar of next steps appears beside it\n";
    text += "Comment[zh_CN]=选中文字后在旁边弹出下一步小条\n";
    text += "Icon=pivorel\n";
    // "%u" is where the launcher puts the link.
    text += "Exec=" + AutostartLoginItem::execArgument(executable.string()) + " %u\n";
    text += "Terminal=false\n";
    text += "Categories=Utility;\n";
    text += "MimeType=x-scheme-handler/pivorel;x-scheme-handler/brisendo;\n";
    text += "StartupNotify=false\n";
    return text;
}

int runInstallDesktopEntry(std::ostream& out) {
    const auto self = ChildProcess::ownExecutable();
    if (!self) {
        out << "pivorel: cannot tell where this program is: " << self.error() << "\n";
        return 1;
    }
    const fs::path& executable = self.value();
    const fs::path applications = XdgDirs::dataHome() / "applications";
    const fs::path file = applications / "pivorel.desktop";
    if (!fileio::writeFileAtomically(file, desktopEntryText(executable),
                                     fileio::Access::everyone)) {
        const int saved = errno;
        out << "pivorel: cannot write " << file.string()
            << (saved ? ": " + std::string(std::strerror(saved)) : std::string()) << "\n";
        return 1;
    }
    out << "wrote " << file.string() << " (Exec=" << executable.string() << ")\n";

    if (ChildProcess::findInPath("xdg-mime").empty()) {
        out << "xdg-mime is not installed: links open Pivorel once a desktop picks up the "
               "entry (package xdg-utils)\n";
        return 0;
    }
    for (const char* scheme : schemes) {
        const auto outcome =
            ChildProcess::run({"xdg-mime", "default", "pivorel.desktop", scheme}, 10);
        if (outcome.exitStatus == 0) {
            out << "default for " << scheme << "\n";
        } else {
            out << "xdg-mime could not make it the default for " << scheme << "\n";
        }
    }
    if (!ChildProcess::findInPath("update-desktop-database").empty()) {
        ChildProcess::run({"update-desktop-database", applications.string()}, 10);
    }
    return 0;
}

}  // namespace pivorel
