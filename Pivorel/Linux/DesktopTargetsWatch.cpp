#include "Pivorel/Linux/DesktopTargetsWatch.h"

#include <QFileInfo>
#include <chrono>

#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/XdgDirs.h"

namespace pivorel {

namespace fs = std::filesystem;

namespace {

// A package installs many files in a row: one look after it settled.
constexpr int settleMs = 2000;

std::vector<fs::path> mimeappsFiles() {
    std::vector<fs::path> out{XdgDirs::configHome() / "mimeapps.list"};
    for (const auto& dir : XdgDirs::configDirs()) out.push_back(dir / "mimeapps.list");
    out.push_back(XdgDirs::dataHome() / "applications" / "mimeapps.list");
    return out;
}

qint64 stamp(const fs::path& file) {
    const QFileInfo info(QString::fromStdString(file.string()));
    return info.exists() ? info.lastModified().toMSecsSinceEpoch() ^ info.size() : -1;
}

}  // namespace

DesktopTargetsWatch::DesktopTargetsWatch(DesktopTargets& targets, Found found, QObject* parent)
    : QObject(parent), targets_(targets), found_(std::move(found)) {
    settle_.setSingleShot(true);
    settle_.setInterval(settleMs);
    connect(&settle_, &QTimer::timeout, this, [this] {
        // An applications folder or a mimeapps.list may have just been made.
        watchPaths();
        look();
    });
    connect(&watch_, &QFileSystemWatcher::directoryChanged, this, [this](const QString& dir) {
        if (dir == QString::fromStdString(XdgDirs::configHome().string())) {
            configChanged();
        } else {
            settle_.start();
        }
    });
    connect(&watch_, &QFileSystemWatcher::fileChanged, this, [this] { settle_.start(); });
}

DesktopTargetsWatch::~DesktopTargetsWatch() {
    worker_.stop();
}

void DesktopTargetsWatch::start() {
    watchPaths();
    look();
}

void DesktopTargetsWatch::watchPaths() {
    QStringList paths;
    const auto add = [&paths](const fs::path& path) {
        std::error_code ec;
        if (fs::exists(path, ec)) paths << QString::fromStdString(path.string());
    };
    std::vector<fs::path> dataDirs{XdgDirs::dataHome()};
    for (auto& dir : XdgDirs::dataDirs()) dataDirs.push_back(std::move(dir));
    for (const auto& dir : dataDirs) {
        // A user's first installed application creates the folder.
        std::error_code ec;
        add(fs::is_directory(dir / "applications", ec) ? dir / "applications" : dir);
    }
    for (const auto& file : mimeappsFiles()) {
        add(file);
        mimeappsSeen_[file.string()] = stamp(file);
    }
    // The user's mimeapps.list is replaced, not written in place: its folder tells.
    add(XdgDirs::configHome());
    const QStringList watched = watch_.directories() + watch_.files();
    paths.removeIf([&watched](const QString& path) { return watched.contains(path); });
    if (!paths.isEmpty()) watch_.addPaths(paths);
}

void DesktopTargetsWatch::configChanged() {
    // The folder also holds every other program's settings, this one's among them.
    const fs::path file = XdgDirs::configHome() / "mimeapps.list";
    const qint64 now = stamp(file);
    auto& seen = mimeappsSeen_[file.string()];
    if (now == seen) return;
    seen = now;
    if (now >= 0) watch_.addPath(QString::fromStdString(file.string()));
    settle_.start();
}

void DesktopTargetsWatch::look() {
    if (looking_) {
        lookAgain_ = true;
        return;
    }
    looking_ = true;
    worker_.post([this] {
        const auto began = std::chrono::steady_clock::now();
        const auto presence = targets_.presence();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - began)
                            .count();
        Log::write("Pivorel: 查看已装的目标 用时=" + std::to_string(ms) + "ms");
        // Dropped by Qt when the watch is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, presence] {
                looking_ = false;
                found_(presence);
                if (std::exchange(lookAgain_, false)) look();
            },
            Qt::QueuedConnection);
    });
}

}  // namespace pivorel
