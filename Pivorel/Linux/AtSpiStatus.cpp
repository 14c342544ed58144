#include "Pivorel/Linux/AtSpiStatus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include "Pivorel/Linux/ChildProcess.h"

namespace pivorel {

namespace {

constexpr const char* busService = "org.a11y.Bus";
constexpr const char* busPath = "/org/a11y/bus";
constexpr const char* statusInterface = "org.a11y.Status";
constexpr const char* propertiesInterface = "org.freedesktop.DBus.Properties";

QDBusMessage getAll() {
    auto message =
        QDBusMessage::createMethodCall(busService, busPath, propertiesInterface, "GetAll");
    message.setArguments({QString(statusInterface)});
    return message;
}

bool isOn(const QVariantMap& properties) {
    return properties.value("IsEnabled").toBool() ||
           properties.value("ScreenReaderEnabled").toBool();
}

}  // namespace

AtSpiStatus::AtSpiStatus(QObject* parent) : QObject(parent) {
    auto session = QDBusConnection::sessionBus();
    if (!session.isConnected()) return;
    session.connect(busService, busPath, propertiesInterface, "PropertiesChanged", this,
                    SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    // The first answer arrives long before anyone can finish a selection gesture.
    auto* watcher = new QDBusPendingCallWatcher(session.asyncCall(getAll(), 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        QDBusPendingReply<QVariantMap> reply = *w;
        if (reply.isValid()) take(reply.value());
        w->deleteLater();
    });
}

void AtSpiStatus::propertiesChanged(const QString& interface, const QVariantMap& changed,
                                    const QStringList&) {
    if (interface == statusInterface) take(changed);
}

void AtSpiStatus::take(const QVariantMap& properties) {
    if (properties.contains("IsEnabled")) isEnabled_ = properties.value("IsEnabled").toBool();
    if (properties.contains("ScreenReaderEnabled")) {
        screenReader_ = properties.value("ScreenReaderEnabled").toBool();
    }
    enabled_.store(isEnabled_ || screenReader_);
}

std::optional<bool> AtSpiStatus::query(int timeoutMs) {
    auto session = QDBusConnection::sessionBus();
    if (!session.isConnected()) return std::nullopt;
    const QDBusMessage reply = session.call(getAll(), QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    return isOn(qdbus_cast<QVariantMap>(reply.arguments().front()));
}

bool AtSpiStatus::enable() {
    auto session = QDBusConnection::sessionBus();
    if (!session.isConnected()) return false;
    auto message = QDBusMessage::createMethodCall(busService, busPath, propertiesInterface, "Set");
    message.setArguments(
        {QString(statusInterface), QString("IsEnabled"), QVariant::fromValue(QDBusVariant(true))});
    const bool set = session.call(message, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage;
    // GNOME programs and the bus launcher of the next session read the key.
    if (const auto gsettings = ChildProcess::findInPath("gsettings"); !gsettings.empty()) {
        (void)ChildProcess::run(
            {gsettings, "set", "org.gnome.desktop.interface", "toolkit-accessibility", "true"},
            2.0);
    }
    return set;
}

}  // namespace pivorel
