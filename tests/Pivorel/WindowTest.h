#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace pivorel::test {

// Keeps Qt's event loop turning until `done` holds or `limit` passes; answers `done()`.
inline bool waitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Lets whatever is queued happen for `time`.
inline void settle(std::chrono::milliseconds time) {
    waitUntil([] { return false; }, time);
}

// The whole screen as `name`.png, in $PIVOREL_SCREENSHOT_DIR when it is set and in
// /tmp/pivorel-shots for a person to look at.
inline void keepScreenshot(const std::string& name) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QImage image = screen->grabWindow(0).toImage();
    std::vector<std::filesystem::path> dirs{"/tmp/pivorel-shots"};
    if (const char* dir = std::getenv("PIVOREL_SCREENSHOT_DIR"); dir && *dir)
        dirs.emplace_back(dir);
    for (const auto& dir : dirs) {
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        image.save(QString::fromStdString((dir / (name + ".png")).string()), "PNG");
    }
}

}  // namespace pivorel::test
