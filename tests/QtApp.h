#pragma once

#include <QApplication>
#include <cstdlib>
#include <string>

namespace pivorel::test {

// The process's one QApplication, made on first use for `platform` ("offscreen" for drawing
// tests, "xcb" for tests on an X display such as the one XSession starts). ctest runs every
// test in its own process, so each test may pick its platform; in one process the first
// choice stands. The application is never destroyed: tearing it down among the other
// static objects at exit crashes inside Qt.
inline QApplication& qtApp(const std::string& platform = "offscreen") {
    static QApplication* app = nullptr;
    if (!app) {
        ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
        static int argc = 1;
        static char name[] = "pivorel_tests";
        static char* argv[] = {name, nullptr};
        app = new QApplication(argc, argv);
    }
    return *app;
}

}  // namespace pivorel::test
