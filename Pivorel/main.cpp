#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "Pivorel/AppDelegate.h"
#include "Pivorel/GnomeWayland/ShellExtension.h"
#include "Pivorel/Linux/SingleInstance.h"
#include "Pivorel/Tools/AskSelftest.h"
#include "Pivorel/Tools/CommandLine.h"
#include "Pivorel/Tools/DesktopEntryInstall.h"
#include "Pivorel/Tools/Explain.h"
#include "Pivorel/Tools/PermissionProbe.h"
#include "Pivorel/Tools/Probes.h"
#include "Pivorel/Tools/SeedCredentials.h"
#include "Pivorel/Tools/SelfTests.h"

// Sanitizer builds: Qt's D-Bus thread and fontconfig's caches are left behind at exit. Those
// leaks are not ours, and must not turn a passing run (a self test's status) into a failure.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\nleak:libfontconfig.so\n";
}

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Asked by a guide waiting for a permission: answer before anything else starts.
    if (pivorel::isPermissionProbe(args)) return pivorel::runPermissionProbe(args);
    const auto parsed = pivorel::CommandLine::parse(args);
    if (!parsed) {
        std::cerr << "pivorel: " << parsed.error() << "\n" << pivorel::CommandLine::usage();
        return 2;
    }
    // The user's settings: the interface language of every tool and of the program.
    pivorel::Localizer::setPreferenceDefaults(pivorel::UserDefaults::standard());
    if (parsed->has("--explain")) return pivorel::runExplain(parsed->toolArgs);
    if (parsed->has("--help")) {
        std::cout << pivorel::CommandLine::usage();
        return 0;
    }
    if (parsed->has("--seed-credentials")) return pivorel::runSeedCredentials();
    if (parsed->has("--ask-selftest")) return pivorel::runAskSelftest();
    if (parsed->has("--l10n-probe")) {
        std::cout << pivorel::l10nProbeLine() << "\n";
        return 0;
    }
    if (parsed->has("--bar-selftest")) return pivorel::runBarSelftest(argc, argv, std::cout);
    if (parsed->has("--panel-selftest")) return pivorel::runPanelSelftest(argc, argv, std::cout);
    if (parsed->has("--install-desktop-entry")) return pivorel::runInstallDesktopEntry(std::cout);
    if (parsed->has("--install-gnome-extension")) {
        return pivorel::runInstallGnomeExtension(std::cout);
    }
    if (parsed->has("--version")) {
        std::cout << "pivorel " << PIVOREL_VERSION << "\n";
        return 0;
    }
    pivorel::AppDelegate::Options options;
    options.keychainMigration = !parsed->has("--no-keychain-migration");
    options.permissionGuide = !parsed->has("--no-permission-guide");
    options.updaterOnly = parsed->has("--updater-only");
    options.link = options.updaterOnly ? std::nullopt : parsed->link;
    if (options.link) {
        // A running instance takes the link; otherwise this process becomes the instance.
        const auto handed = pivorel::SingleInstance::forward(*options.link);
        if (handed.outcome == pivorel::SingleInstance::Forward::forwarded) return 0;
        // Only nobody listening makes this process the instance: a hand-off that failed
        // must neither pass for done nor be tried again by a second instance.
        if (handed.outcome != pivorel::SingleInstance::Forward::notRunning) {
            std::cerr << "pivorel: " << handed.detail << "\n";
            return 1;
        }
    }
    return pivorel::runApplication(argc, argv, std::move(options));
}
