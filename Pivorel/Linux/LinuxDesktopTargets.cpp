#include "Pivorel/Linux/LinuxDesktopTargets.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QUuid>
#include <array>
#include <cstdlib>
#include <future>

#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/Text.h"
#include "BrisendoKit/Support/XdgDirs.h"
#include "Pivorel/Linux/AppNames.h"
#include "Pivorel/Linux/ChildProcess.h"
#include "Pivorel/Linux/DesktopEntry.h"

namespace pivorel {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t maxDesktopFileBytes = 1u << 20;
constexpr double handlerQueryLimitSeconds = 3.0;
constexpr int busCallLimitMs = 2000;
constexpr const char* calendarService = "org.gnome.evolution.dataserver.Sources5";

struct KnownDictionary {
    std::array<std::string_view, 3> desktopIDs;  // as their packages install them
    std::string_view program;
    bool lookUpOption;
};

constexpr std::array<KnownDictionary, 2> knownDictionaries{{
    {{"org.goldendict.GoldenDict", "goldendict", "io.github.xiaoyifang.goldendict_ng"},
     "goldendict",
     false},
    {{"org.gnome.Dictionary", "gnome-dictionary", ""}, "gnome-dictionary", true},
}};

// The command a desktop file starts, its program found; nothing when the file is not
// there, is hidden, or names a program that is not installed.
std::optional<std::vector<std::string>> commandOf(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return std::nullopt;
    const auto bytes = fileio::readFile(file, maxDesktopFileBytes);
    if (!bytes) return std::nullopt;
    const auto entry = DesktopEntry::parse(*bytes);
    if (entry.value("Hidden") == "true") return std::nullopt;
    if (const auto tryExec = entry.value("TryExec");
        tryExec && ChildProcess::findInPath(*tryExec).empty()) {
        return std::nullopt;
    }
    auto command = LinuxDesktopTargets::execArguments(entry.value("Exec").value_or(""));
    if (command.empty()) return std::nullopt;
    command[0] = ChildProcess::findInPath(command[0]);
    if (command[0].empty()) return std::nullopt;
    return command;
}

// Whether the desktop names a default application for `type` (a MIME type, or
// "x-scheme-handler/<scheme>").
bool hasHandler(const std::string& type) {
    if (ChildProcess::findInPath("xdg-mime").empty()) return false;
    const auto query =
        ChildProcess::run({"xdg-mime", "query", "default", type}, handlerQueryLimitSeconds);
    return query.exitStatus == 0 && !text::trim(query.output).empty();
}

// Whether `service` runs on the session bus or the bus can start it. Without a session bus
// address nothing is asked: connecting would start a bus of its own.
bool sessionBusHas(const QString& service) {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const auto runtime = XdgDirs::runtimeDir();
    std::error_code ec;
    if ((!address || !*address) && !(runtime && fs::exists(*runtime / "bus", ec))) return false;
    const QString name = "pivorel-targets-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool found = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        const auto ask = [&](const char* method, QVariantList arguments) {
            auto message = QDBusMessage::createMethodCall(
                "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method);
            message.setArguments(arguments);
            const auto reply = bus.call(message, QDBus::Block, busCallLimitMs);
            return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                       ? reply.arguments().first()
                       : QVariant();
        };
        if (bus.isConnected()) {
            found = ask("NameHasOwner", {service}).toBool() ||
                    ask("ListActivatableNames", {}).toStringList().contains(service);
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return found;
}

}  // namespace

std::vector<std::string> LinuxDesktopTargets::Dictionary::argv(const std::string& text) const {
    std::vector<std::string> out = command;
    if (lookUpOption) {
        out.push_back("--look-up=" + text);
    } else {
        // A word that begins with "-" would be read as an option; GoldenDict trims the space.
        out.push_back(text.starts_with('-') ? " " + text : text);
    }
    return out;
}

LinuxDesktopTargets::LinuxDesktopTargets() : LinuxDesktopTargets(AppNames::dataDirectories()) {}

LinuxDesktopTargets::LinuxDesktopTargets(std::vector<fs::path> dataDirs)
    : dataDirs_(std::move(dataDirs)) {}

std::vector<std::string> LinuxDesktopTargets::execArguments(std::string_view exec) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < exec.size()) {
                word += exec[++i];
            } else {
                word += c;
            }
        } else if (c == ' ' || c == '\t') {
            if (inWord) words.push_back(std::exchange(word, {}));
            inWord = false;
        } else if (c == '"') {
            quoted = inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    // Field codes stand for files, links and names the caller would give; none is given.
    std::erase_if(words,
                  [](const std::string& w) { return w.size() == 2 && w[0] == '%' && w[1] != '%'; });
    for (auto& w : words) {
        for (auto at = w.find("%%"); at != std::string::npos; at = w.find("%%", at + 1)) {
            w.erase(at, 1);
        }
    }
    return words;
}

std::optional<LinuxDesktopTargets::Dictionary> LinuxDesktopTargets::findDictionary() const {
    for (const KnownDictionary& known : knownDictionaries) {
        for (std::string_view id : known.desktopIDs) {
            if (id.empty()) continue;
            for (const auto& dir : dataDirs_) {
                const fs::path file = dir / "applications" / (std::string(id) + ".desktop");
                if (auto command = commandOf(file)) return Dictionary{*command, known.lookUpOption};
            }
        }
        // Installed without a desktop file.
        if (auto path = ChildProcess::findInPath(std::string(known.program)); !path.empty()) {
            return Dictionary{{path}, known.lookUpOption};
        }
    }
    return std::nullopt;
}

DesktopTargets::Presence LinuxDesktopTargets::presence() {
    const auto dictionary = findDictionary();
    // xdg-mime takes a few hundred milliseconds each: asked side by side.
    auto dictLinks = std::async(std::launch::async, [&dictionary] {
        return dictionary || hasHandler("x-scheme-handler/dict");
    });
    auto journal =
        std::async(std::launch::async, [] { return hasHandler("x-scheme-handler/dayone"); });
    auto calendarFiles = std::async(std::launch::async, [] { return hasHandler("text/calendar"); });
    Presence out;
    out.calendar = sessionBusHas(calendarService);
    out.calendar = calendarFiles.get() || out.calendar;
    out.dictionary = dictLinks.get();
    out.journal = journal.get();
    std::lock_guard lock(mutex_);
    dictionary_ = dictionary;
    return out;
}

bool LinuxDesktopTargets::lookUp(const std::string& text) {
    std::optional<std::optional<Dictionary>> known;
    {
        std::lock_guard lock(mutex_);
        known = dictionary_;
    }
    const auto dictionary = known ? *known : findDictionary();
    if (!dictionary) return false;
    const auto started = ChildProcess::spawnDetached(dictionary->argv(text));
    if (!started) {
        Log::write("Pivorel: 词典启动失败 " + dictionary->command[0] + " (" + started.error() +
                   ")");
        return false;
    }
    return true;
}

}  // namespace pivorel
