#include "Pivorel/Linux/FileReveal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QUrl>
#include <filesystem>

#include "BrisendoKit/Support/Log.h"
#include "Pivorel/Linux/ChildProcess.h"

namespace pivorel {

namespace {

QDBusMessage showItems(const std::string& path) {
    auto message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                                  QStringLiteral("/org/freedesktop/FileManager1"),
                                                  QStringLiteral("org.freedesktop.FileManager1"),
                                                  QStringLiteral("ShowItems"));
    message << QStringList{QUrl::fromLocalFile(QString::fromStdString(path))
                               .toString(QUrl::FullyEncoded)}
            << QString();
    return message;
}

bool openFolder(const std::string& path) {
    return ChildProcess::spawnDetached({"xdg-open", std::filesystem::path(path).parent_path()})
        .ok();
}

}  // namespace

void FileReveal::show(const std::string& path, QObject* context) {
    auto* call = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(showItems(path), 5000), context);
    QObject::connect(call, &QDBusPendingCallWatcher::finished, context,
                     [path](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         if (!w->isError()) return;
                         Log::write("Pivorel: 文件管理器没有回应，改为打开目录 (" +
                                    w->error().message().toStdString() + ")");
                         if (!openFolder(path))
                             Log::write("Pivorel: 无法打开链接 (xdg-open 不可用)");
                     });
}

bool FileReveal::showAndWait(const std::string& path) {
    if (path.empty()) return false;
    const auto reply = QDBusConnection::sessionBus().call(showItems(path), QDBus::Block, 3000);
    return reply.type() == QDBusMessage::ReplyMessage || openFolder(path);
}

}  // namespace pivorel
