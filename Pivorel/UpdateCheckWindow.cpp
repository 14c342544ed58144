#include "Localization/L.h"
#include "Update/Updater.h"

#include "UpdateCheckWindow.h"

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
            if (!box_) {
                box_ = new QMessageBox;
                box_->setAttribute(Qt::WA_DeleteOnClose);
            }
            box_->setWindowTitle(QString::fromStdString(L("检查更新")));
            box_->setText(QString::fromStdString(result.message(updater_.currentVersion())));
            box_->setIcon(result.outcome == Updater::CheckResult::Outcome::failed
                              ? QMessageBox::Warning
                              : QMessageBox::Information);
            for (QAbstractButton* b : box_->buttons()) box_->removeButton(b);
            if (result.outcome == Updater::CheckResult::Outcome::found) {
                QPushButton* go =
                    box_->addButton(QString::fromStdString(L("前往下载")), QMessageBox::AcceptRole);
                QObject::connect(go, &QPushButton::clicked, this, [this] { updater_.updateNow(); });
                box_->addButton(QMessageBox::Close);
            } else {
                box_->addButton(QMessageBox::Ok);
            }
            box_->show();
            box_->raise();
            box_->activateWindow();
        });
}

UpdateCheckWindow::~UpdateCheckWindow() {
    delete listener_;
    if (box_) delete box_;
}

}  // namespace pivorel
