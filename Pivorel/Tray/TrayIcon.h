#pragma once

#include <QIcon>

namespace pivorel {

// The picture of the status item.
struct TrayIcon {
    TrayIcon() = delete;

    // The installed "pivorel" icon of the desktop's theme, else a drawn arrow turning down
    // and right; with `badge`, an orange dot in its top right corner (an update waits: a
    // tray shows no title text to say so).
    static QIcon image(bool badge = false);
};

}  // namespace pivorel
