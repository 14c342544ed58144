#pragma once

#include <string>

class QObject;

namespace pivorel {

// Shows a file selected in the desktop's file manager (org.freedesktop.FileManager1's
// ShowItems on the session bus, the file named by its percent-encoded file:// URI); when no
// file manager answers, opens the file's folder with xdg-open instead.
struct FileReveal {
    FileReveal() = delete;

    // Returns at once, as a file manager that must first be started may take a while; the
    // answer is awaited on `context`'s thread, and a fall-back leaves a log line.
    static void show(const std::string& path, QObject* context);

    // Waits for the file manager's answer; whether it or the fall-back worked.
    static bool showAndWait(const std::string& path);
};

}  // namespace pivorel
