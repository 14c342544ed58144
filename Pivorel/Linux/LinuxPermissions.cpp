#include "Pivorel/Linux/LinuxPermissions.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "BrisendoKit/Shell/PermissionGuide.h"
#include "Pivorel/Linux/AppNames.h"
#include "Pivorel/Linux/AtSpiClient.h"
#include "Pivorel/Linux/AtSpiStatus.h"
#include "Pivorel/Linux/ChildProcess.h"
#include "Pivorel/Linux/DesktopAppIndex.h"
#include "Pivorel/Linux/DisplayProbe.h"
#include "Pivorel/Linux/FileReveal.h"
#include "Pivorel/Linux/X11Connection.h"

namespace pivorel {

namespace {

bool seenByDisplay(PermissionKind kind) {
    return kind == PermissionKind::accessibility || kind == PermissionKind::screenRecording ||
           kind == PermissionKind::inputMonitoring;
}

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

std::string joined(const std::vector<std::string>& command) {
    std::string out;
    for (const auto& part : command) out += (out.empty() ? "" : " ") + part;
    return out;
}

}  // namespace

LinuxPermissions::LinuxPermissions(std::string executable) : executable_(std::move(executable)) {}

bool LinuxPermissions::checkInProcess(PermissionKind kind) {
    if (!seenByDisplay(kind) || !x11InputReachable()) return false;
    // Other programs' text, roles and password fields are there only with accessibility on.
    return kind != PermissionKind::accessibility || AtSpiStatus::query(500).value_or(false);
}

std::optional<bool> LinuxPermissions::checkLive(PermissionKind kind, double timeoutSeconds) {
    if (!seenByDisplay(kind) || std::getenv("APP_SANDBOX_CONTAINER_ID")) return std::nullopt;
    const std::string name(toString(kind));
    const auto outcome = ChildProcess::run(
        {executable_.empty() ? programPath() : executable_, "--permission-probe", name},
        timeoutSeconds);
    if (!outcome.started) {
        PermissionGuide::log("live permission check " + name +
                             " failed to start: " + outcome.startError);
        return std::nullopt;
    }
    if (outcome.timedOut) {
        PermissionGuide::log("live permission check " + name +
                             " timed out (宿主 main 第一行是否调了 handleProbeIfNeeded?)");
        return std::nullopt;
    }
    auto answer = PermissionGuide::interpretProbe(outcome.exitStatus, outcome.output);
    if (!answer) {
        PermissionGuide::log("live permission check " + name + " unusable: rc=" +
                             std::to_string(outcome.exitStatus) + " out=" + outcome.output);
    }
    return answer;
}

void LinuxPermissions::request(PermissionKind) {
    // No prompt here: the display is reachable or it is not, and the accessibility bus is
    // turned on by the guide's button, where the user sees what it does.
}

bool LinuxPermissions::canSwitchOn(PermissionKind kind) {
    return kind == PermissionKind::accessibility;
}

bool LinuxPermissions::switchOn(PermissionKind kind) {
    return kind == PermissionKind::accessibility && AtSpiStatus::enable();
}

std::vector<std::string> LinuxPermissions::programsToRestart(PermissionKind kind) {
    if (kind != PermissionKind::accessibility) return {};
    auto x = X11Connection::open();
    if (!x) return {};
    X11Connection& c = *x.value();
    AtSpiClient atspi;
    const auto exposed =
        atspi.registeredProcesses(std::chrono::steady_clock::now() + std::chrono::seconds(1));
    DesktopAppIndex index;
    std::vector<std::string> ids, names;
    for (const auto window : c.cardinals(c.root(), "_NET_CLIENT_LIST", XCB_ATOM_WINDOW)) {
        const auto pid = c.cardinal(window, "_NET_WM_PID");
        if (pid && (*pid == static_cast<std::uint32_t>(::getpid()) || exposed.count(*pid))) {
            continue;
        }
        DesktopAppIndex::WindowHints hints;
        hints.gtkApplicationID = c.text(window, "_GTK_APPLICATION_ID");
        hints.kdeDesktopFile = c.text(window, "_KDE_NET_WM_DESKTOP_FILE");
        if (const auto wmClass = c.windowClass(window)) {
            hints.instance = wmClass->first;
            hints.klass = wmClass->second;
        }
        const auto id = index.resolve(hints);
        if (!id || std::find(ids.begin(), ids.end(), *id) != ids.end()) continue;
        ids.push_back(*id);
        names.push_back(AppNames::display(*id).value_or(*id));
    }
    return names;
}

std::vector<std::vector<std::string>> LinuxPermissions::settingsCommands(
    PermissionKind kind, const std::string& currentDesktop) {
    const bool sound =
        kind == PermissionKind::microphone || kind == PermissionKind::systemAudioCapture;
    const bool access = seenByDisplay(kind);
    struct Desktop {
        const char* name;  // as $XDG_CURRENT_DESKTOP spells it, upper-cased
        std::vector<std::string> command;
    };
    std::vector<Desktop> desktops = {
        {"GNOME",
         {"gnome-control-center", access  ? "universal-access"
                                  : sound ? "sound"
                                          : "privacy"}},
        {"KDE",
         {"systemsettings", access  ? "kcm_access"
                            : sound ? "kcm_pulseaudio"
                                    : "kcm_users"}},
        {"X-CINNAMON",
         {"cinnamon-settings", access  ? "universal-access"
                               : sound ? "sound"
                                       : "privacy"}},
        {"XFCE", {access ? "xfce4-accessibility-settings" : "xfce4-settings-manager"}},
        {"MATE", {access ? "mate-at-properties" : "mate-control-center"}},
    };
    std::vector<std::vector<std::string>> preferred, others;
    const std::string current = ":" + upper(currentDesktop) + ":";
    for (auto& d : desktops) {
        const bool mine = current.find(":" + std::string(d.name) + ":") != std::string::npos;
        (mine ? preferred : others).push_back(std::move(d.command));
    }
    preferred.insert(preferred.end(), others.begin(), others.end());
    return preferred;
}

std::string LinuxPermissions::openSettingsPane(PermissionKind kind) {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    std::string method;
    for (auto command : settingsCommands(kind, desktop ? desktop : "")) {
        const std::string program = ChildProcess::findInPath(command[0]);
        if (program.empty()) continue;
        const std::string shown = joined(command);
        command[0] = program;
        if (ChildProcess::spawnDetached(command)) {
            method = "exec:" + shown;
            break;
        }
    }
    // A freshly started settings program is raised by the window manager; one that was
    // already running is not, and there is no reliable way to tell which happened.
    PermissionGuide::log("open settings pane " + std::string(toString(kind)) + " -> " +
                         (method.empty() ? "FAILED" : method) + " (front=false)");
    return method;
}

std::optional<Rect> LinuxPermissions::settingsWindowFrame() {
    return std::nullopt;
}

std::string LinuxPermissions::programPath() {
    const auto self = ChildProcess::ownExecutable();
    return self ? self.value().string() : std::string();
}

bool LinuxPermissions::reveal(const std::string& path) {
    return FileReveal::showAndWait(path);
}

}  // namespace pivorel
