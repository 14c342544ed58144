#pragma once

#include <QIcon>

namespace pivorel {

// The picture of the status item.
struct TrayIcon {
    TrayIcon() = delete;

    // The installed "pivorel" icon of the desktop's theme, else a drawn arrow turning down
    // and right.
    static QIcon image();
};

}  // namespace pivorel
