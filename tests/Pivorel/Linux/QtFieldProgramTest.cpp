#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QWidget>

// Not a test: a small Qt program of its own, with a text field and a password field, that
// the X11 tests start as another process (a program's own windows are invisible to its
// global input monitor). It runs until it is killed.
TEST(QtFieldProgram, DISABLED_Serve) {
    static int argc = 1;
    static char name[] = "pivorel-test-fields";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Pivorel test fields");
    window.resize(320, 100);
    QLineEdit text(&window);
    text.setObjectName("text");
    text.setGeometry(10, 10, 300, 30);
    text.setText("quick brown fox");
    QLineEdit password(&window);
    password.setObjectName("password");
    password.setGeometry(10, 60, 300, 30);
    password.setEchoMode(QLineEdit::Password);
    password.setText("hunter2secret");
    window.show();
    app.exec();
}
