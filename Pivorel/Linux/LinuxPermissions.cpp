#include "Pivorel/Linux/LinuxPermissions.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "BrisendoKit/Shell/PermissionGuide.h"
#include "Pivorel/Linux/AtSpiStatus.h"
#include "Pivorel/Linux/ChildProcess.h"
#include "Pivorel/Linux/DisplayProbe.h"
#include "Pivorel/Linux/FileReveal.h"

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

void LinuxPermissions::request(PermissionKind kind) {
    // The display is reachable or it is not; accessibility is the one switch to turn.
    if (kind == PermissionKind::accessibility) {
        PermissionGuide::log(std::string("enable accessibility -> ") +
                             (AtSpiStatus::enable() ? "on" : "FAILED"));
    }
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
