#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <string>

namespace pivorel {

class Updater;

// The small window that tells the result of "检查更新…": up to date, a newer version (with
// a button to its page), or why the check failed. One window, reused; it follows the
// updater for the life of the program.
class UpdateCheckWindow final : public QObject {
    Q_OBJECT
  public:
    explicit UpdateCheckWindow(Updater& updater, QObject* parent = nullptr);
    ~UpdateCheckWindow() override;

    // Says a check the user asked for is running, until its result replaces the text.
    void showChecking();

    // The window as last shown (tests).
    QMessageBox* box() const { return box_; }

  private:
    struct Listener;
    // The reused box with `text`, `icon` and no buttons.
    QMessageBox& prepare(const std::string& text, QMessageBox::Icon icon);
    void present();

    Updater& updater_;
    QPointer<QMessageBox> box_;
    Listener* listener_;
};

}  // namespace pivorel
