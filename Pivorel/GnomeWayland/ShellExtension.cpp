#include "Pivorel/GnomeWayland/ShellExtension.h"

#include <xkbcommon/xkbcommon.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QString>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "BrisendoKit/Platform/KeyCodes.h"
#include "BrisendoKit/Storage/HotKeySpec.h"
#include "Pivorel/Linux/ChildProcess.h"

namespace pivorel {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string envOr(const char* name, std::string_view fallback = {}) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : std::string(fallback);
}

std::filesystem::path dataHome() {
    if (const auto data = envOr("XDG_DATA_HOME"); !data.empty()) return data;
    return std::filesystem::path(envOr("HOME")) / ".local" / "share";
}

// GSettings prints a string array as ['a', 'b'], or @as [] when it is empty.
std::vector<std::string> parseStringArray(std::string_view text) {
    std::vector<std::string> items;
    std::size_t i = 0;
    while ((i = text.find('\'', i)) != std::string_view::npos) {
        const auto end = text.find('\'', i + 1);
        if (end == std::string_view::npos) break;
        items.emplace_back(text.substr(i + 1, end - i - 1));
        i = end + 1;
    }
    return items;
}

// Adds the extension to org.gnome.shell's enabled-extensions, which GNOME Shell reads at
// log-in; `gnome-extensions enable` only knows extensions the running shell has loaded.
bool enable(std::ostream& out) {
    const auto gsettings = ChildProcess::findInPath("gsettings");
    if (gsettings.empty()) {
        out << "gsettings is missing: enable the extension in the Extensions application\n";
        return false;
    }
    const auto current =
        ChildProcess::run({gsettings, "get", "org.gnome.shell", "enabled-extensions"}, 5.0);
    if (current.exitStatus != 0) {
        out << "cannot read org.gnome.shell enabled-extensions\n";
        return false;
    }
    auto enabled = parseStringArray(current.output);
    if (std::find(enabled.begin(), enabled.end(), ShellExtension::uuid) == enabled.end()) {
        enabled.emplace_back(ShellExtension::uuid);
        std::string list = "[";
        for (std::size_t i = 0; i < enabled.size(); ++i) {
            list += (i ? ", '" : "'") + enabled[i] + "'";
        }
        list += "]";
        const auto set = ChildProcess::run(
            {gsettings, "set", "org.gnome.shell", "enabled-extensions", list}, 5.0);
        if (set.exitStatus != 0) {
            out << "cannot write org.gnome.shell enabled-extensions\n";
            return false;
        }
    }
    out << "enabled " << ShellExtension::uuid << "\n";
    const auto off =
        ChildProcess::run({gsettings, "get", "org.gnome.shell", "disable-user-extensions"}, 5.0);
    if (off.output.find("true") != std::string::npos) {
        out << "note: user extensions are switched off in this session (Extensions "
               "application)\n";
    }
    return true;
}

}  // namespace

ShellExtension::Session ShellExtension::sessionKind(std::string_view sessionType,
                                                    std::string_view currentDesktop) {
    if (lower(sessionType) != "wayland") return Session::x11;
    std::string_view rest = currentDesktop;
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        if (lower(rest.substr(0, colon)) == "gnome") return Session::gnomeWayland;
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return Session::otherWayland;
}

ShellExtension::Session ShellExtension::currentSession() {
    return sessionKind(envOr("XDG_SESSION_TYPE"), envOr("XDG_CURRENT_DESKTOP"));
}

bool ShellExtension::running() {
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    return bus.interface()->isServiceRegistered(QString::fromLatin1(busName)).value();
}

std::optional<std::string> ShellExtension::accelerator(std::uint32_t keyCode,
                                                       std::uint32_t modifiers) {
    const auto keysym = KeyCodes::keysymForKeyCode(keyCode);
    if (!keysym) return std::nullopt;
    char name[64];
    if (xkb_keysym_get_name(*keysym, name, sizeof name) <= 0) return std::nullopt;
    std::string out;
    if (modifiers & HotKeySpec::control) out += "<Control>";
    if (modifiers & HotKeySpec::option) out += "<Alt>";
    if (modifiers & HotKeySpec::shift) out += "<Shift>";
    if (modifiers & HotKeySpec::cmd) out += "<Super>";
    return out + name;
}

std::optional<int> ShellExtension::shellMajorVersion(std::string_view versionOutput) {
    const auto digit = versionOutput.find_first_of("0123456789");
    if (digit == std::string_view::npos) return std::nullopt;
    int major = 0;
    const char* end = versionOutput.data() + versionOutput.size();
    if (std::from_chars(versionOutput.data() + digit, end, major).ec != std::errc()) {
        return std::nullopt;
    }
    return major;
}

Result<std::filesystem::path, std::string> ShellExtension::installFiles(
    const std::filesystem::path& dataHome, int major) {
    if (major < 43)
        return fail("GNOME Shell " + std::to_string(major) + " is too old (43 or later)");
    // 45 made extensions ES modules.
    const QString build = major >= 45 ? QStringLiteral("modules") : QStringLiteral("legacy");
    const auto target = dataHome / "gnome-shell" / "extensions" / uuid;
    std::error_code error;
    std::filesystem::create_directories(target, error);
    if (error) return fail("cannot create " + target.string() + ": " + error.message());
    for (const char* name : {"extension.js", "metadata.json"}) {
        QFile source(QStringLiteral(":/gnome-shell/%1/%2").arg(build, QString::fromLatin1(name)));
        if (!source.open(QIODevice::ReadOnly)) return fail(std::string("missing built-in ") + name);
        const QByteArray bytes = source.readAll();
        std::ofstream file(target / name, std::ios::binary | std::ios::trunc);
        file.write(bytes.constData(), bytes.size());
        if (!file) return fail("cannot write " + (target / name).string());
    }
    return target;
}

bool ShellExtension::install(std::ostream& out) {
    const auto shell = ChildProcess::findInPath("gnome-shell");
    if (shell.empty()) {
        out << "GNOME Shell is not installed\n";
        return false;
    }
    const auto version = ChildProcess::run({shell, "--version"}, 10.0);
    const auto major = shellMajorVersion(version.output);
    if (version.exitStatus != 0 || !major) {
        out << "cannot tell the version of GNOME Shell\n";
        return false;
    }
    const auto written = installFiles(dataHome(), *major);
    if (!written) {
        out << written.error() << "\n";
        return false;
    }
    out << "installed " << written->string() << "\n";
    if (!enable(out)) return false;
    out << "GNOME Shell loads it at the next log-in\n";
    return true;
}

int runInstallGnomeExtension(std::ostream& out) {
    return ShellExtension::install(out) ? 0 : 1;
}

}  // namespace pivorel
