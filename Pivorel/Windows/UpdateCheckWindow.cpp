#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Update/Updater.h"

#include "Pivorel/Windows/UpdateCheckWindow.h"

#include <QMessageBox>
#include <QPushButton>

namespace pivorel {

struct UpdateCheckWindow::Listener {
    Connection connection;
};

UpdateCheckWindow::UpdateCheckWindow(Updater& updater, QObject* parent)
    : QObject(parent), updater_(updater), listener_(new Listener) {
    listener_->connection =
        updater_.userCheckFinished.connect([this](const Updater::CheckResult& result) {
            const bool failed = result.outcome == Updater::CheckResult::Outcome::failed;
            QMessageBox& box = prepare(result.message(updater_.currentVersion()),
                                       failed ? QMessageBox::Warning : QMessageBox::Information);
            if (result.outcome == Updater::CheckResult::Outcome::found) {
                QPushButton* go =
                    box.addButton(QString::fromStdString(L("前往下载")), QMessageBox::AcceptRole);
                QObject::connect(go, &QPushButton::clicked, this, [this] { updater_.updateNow(); });
                box.addButton(QMessageBox::Close);
            } else {
                box.addButton(QMessageBox::Ok);
            }
            present();
        });
}

void UpdateCheckWindow::showChecking() {
    // A fetch may take up to its time-out: the user sees at once that the check runs.
    prepare(L("正在检查更新…"), QMessageBox::Information).addButton(QMessageBox::Close);
    present();
}

QMessageBox& UpdateCheckWindow::prepare(const std::string& text, QMessageBox::Icon icon) {
    if (!box_) {
        box_ = new QMessageBox;
        box_->setAttribute(Qt::WA_DeleteOnClose);
    }
    box_->setWindowTitle(QString::fromStdString(L("检查更新")));
    box_->setText(QString::fromStdString(text));
    box_->setIcon(icon);
    for (QAbstractButton* b : box_->buttons()) box_->removeButton(b);
    return *box_;
}

void UpdateCheckWindow::present() {
    box_->show();
    box_->raise();
    box_->activateWindow();
}

UpdateCheckWindow::~UpdateCheckWindow() {
    delete listener_;
    if (box_) delete box_;
}

}  // namespace pivorel
