#include "Pivorel/Linux/DesktopColorScheme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <cctype>

#include "Pivorel/Linux/ChildProcess.h"

namespace pivorel {

namespace {

constexpr const char* portalService = "org.freedesktop.portal.Desktop";
constexpr const char* portalPath = "/org/freedesktop/portal/desktop";
constexpr const char* settingsInterface = "org.freedesktop.portal.Settings";
constexpr const char* appearance = "org.freedesktop.appearance";
constexpr const char* colorScheme = "color-scheme";

std::string_view trimmed(std::string_view s) {
    constexpr std::string_view junk = " \t\r\n'\"";
    const auto start = s.find_first_not_of(junk);
    if (start == std::string_view::npos) return {};
    return s.substr(start, s.find_last_not_of(junk) - start + 1);
}

bool endsWithNoCase(std::string_view s, std::string_view suffix) {
    if (s.size() < suffix.size()) return false;
    s.remove_prefix(s.size() - suffix.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) != suffix[i]) return false;
    }
    return true;
}

// GTK_THEME wins over the settings, as it does for GTK itself.
QString gtkThemeName() {
    if (const QString env = qEnvironmentVariable("GTK_THEME"); !env.isEmpty()) return env;
    const auto gsettings = ChildProcess::findInPath("gsettings");
    if (gsettings.empty()) return {};
    const auto outcome =
        ChildProcess::run({gsettings, "get", "org.gnome.desktop.interface", "gtk-theme"}, 1.0);
    if (outcome.exitStatus != 0) return {};
    return QString::fromStdString(outcome.output);
}

}  // namespace

bool DesktopColorScheme::decide(std::optional<unsigned> portal, std::string_view gtkTheme,
                                bool paletteDark) {
    if (portal == preferDark) return true;
    if (portal == preferLight) return false;
    const auto theme = trimmed(gtkTheme);
    if (!theme.empty()) return endsWithNoCase(theme, "-dark") || endsWithNoCase(theme, ":dark");
    return paletteDark;
}

DesktopColorScheme::DesktopColorScheme(bool startPaletteDark, QObject* parent)
    : QObject(parent), gtkTheme_(gtkThemeName()), paletteDark_(startPaletteDark) {
    dark_ = decide(std::nullopt, gtkTheme_.toStdString(), paletteDark_);
    auto session = QDBusConnection::sessionBus();
    if (!session.isConnected()) return;
    session.connect(portalService, portalPath, settingsInterface, "SettingChanged", this,
                    SLOT(settingChanged(QDBusMessage)));
    readPortal(false);
}

void DesktopColorScheme::readPortal(bool oldMethod) {
    // ReadOne answers the value; Read, all a portal before version 2 has, wraps it twice.
    auto message = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface,
                                                  oldMethod ? "Read" : "ReadOne");
    message.setArguments({QString(appearance), QString(colorScheme)});
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, oldMethod](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusMessage reply = w->reply();
                if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
                    takePortal(reply.arguments().front());
                } else if (!oldMethod &&
                           reply.errorName() == "org.freedesktop.DBus.Error.UnknownMethod") {
                    readPortal(true);
                }
            });
}

// The whole message: QtDBus's connect refuses a slot that takes a QDBusVariant.
void DesktopColorScheme::settingChanged(const QDBusMessage& message) {
    const auto args = message.arguments();
    if (args.size() == 3 && args[0].toString() == appearance && args[1].toString() == colorScheme) {
        takePortal(args[2]);
    }
}

void DesktopColorScheme::takePortal(const QVariant& value) {
    QVariant v = value;
    while (v.canConvert<QDBusVariant>() && v.userType() == qMetaTypeId<QDBusVariant>()) {
        v = v.value<QDBusVariant>().variant();
    }
    bool ok = false;
    const unsigned scheme = v.toUInt(&ok);
    if (!ok) return;
    portal_ = scheme;
    update();
}

void DesktopColorScheme::update() {
    const bool dark = decide(portal_, gtkTheme_.toStdString(), paletteDark_);
    if (dark == dark_) return;
    dark_ = dark;
    Q_EMIT changed(dark);
}

}  // namespace pivorel
