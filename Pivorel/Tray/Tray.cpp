#include "Pivorel/Tray/Tray.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <cctype>

#include "BrisendoKit/Support/Log.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Tray/TrayIcon.h"

namespace pivorel {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// Menu texts treat "&" as a mnemonic marker; application names may hold one.
QString menuText(const std::string& s) {
    return qs(s).replace(u'&', QStringLiteral("&&"));
}

// Menus cannot colour one item's text everywhere; an orange mark beside it can.
QIcon warningMark() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(PivorelStyle::orange(QGuiApplication::palette()));
    painter.drawEllipse(QRectF(3, 3, 10, 10));
    return QIcon(pixmap);
}

}  // namespace

Tray::Tray() {
    icon_.setIcon(TrayIcon::image());
    icon_.setToolTip(QStringLiteral("Pivorel"));
    icon_.setContextMenu(&menu_);
    connect(&menu_, &QMenu::aboutToShow, this, [this] { aboutToShow.emit(); });
    // A tray shows the context menu on the secondary button; the primary one opens it too,
    // as a status item's menu does. The tray reports the press, and a menu opened right then
    // closes again on the button's release: it opens once the button is up.
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger) openMenuWhenReleased();
    });
}

Tray::~Tray() {
    icon_.setContextMenu(nullptr);
}

void Tray::openMenuWhenReleased(int waitsLeft) {
    if (menu_.isVisible()) return;
    // A release Qt never saw (the button let go over another program) must not keep the
    // menu shut for good: two seconds of waiting at most.
    if (QGuiApplication::mouseButtons() != Qt::NoButton && waitsLeft > 0) {
        QTimer::singleShot(20, this, [this, waitsLeft] { openMenuWhenReleased(waitsLeft - 1); });
        return;
    }
    menu_.popup(QCursor::pos());
}

bool Tray::install() {
    icon_.show();
    if (QSystemTrayIcon::isSystemTrayAvailable()) return true;
    Log::write("Pivorel: 没有系统托盘，托盘图标暂不显示");
    return false;
}

void Tray::populate(const std::vector<StatusMenuModel::Item>& items) {
    menu_.clear();
    actions_.clear();
    for (const auto& item : items) {
        if (item.isSeparator()) {
            menu_.addSeparator();
            continue;
        }
        QAction* action = menu_.addAction(menuText(item.title));
        if (item.shortcut.size() == 1) {
            // Qt's key codes for letters and punctuation are their upper-case ASCII codes.
            const auto key =
                static_cast<Qt::Key>(std::toupper(static_cast<unsigned char>(item.shortcut[0])));
            action->setShortcut(QKeySequence(QKeyCombination(Qt::ControlModifier, key)));
        }
        if (item.warning) action->setIcon(warningMark());
        if (item.checkable) action->setCheckable(true);
        const auto id = item.id;
        connect(action, &QAction::triggered, this, [this, id] { chosen.emit(id); });
        actions_[id] = action;
        apply(action, item);
    }
}

void Tray::update(const std::vector<StatusMenuModel::Item>& items, const std::string& title,
                  bool badge) {
    if (badge != badge_) {
        badge_ = badge;
        icon_.setIcon(TrayIcon::image(badge));
    }
    for (const auto& item : items) {
        if (auto* action = this->action(item.id); action && !item.isSeparator()) {
            apply(action, item);
        }
    }
    title_ = title;
    // A tray icon carries no text of its own: the title goes with the name in the tooltip.
    icon_.setToolTip(QStringLiteral("Pivorel") + qs(title));
}

QAction* Tray::action(StatusMenuModel::ItemID id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void Tray::apply(QAction* action, const StatusMenuModel::Item& item) {
    action->setText(menuText(item.title));
    action->setEnabled(item.enabled);
    action->setVisible(!item.hidden);
    if (item.checkable) action->setChecked(item.checked);
    if (item.submenu.empty()) return;
    QMenu* sub = action->menu();
    if (!sub) {
        sub = new QMenu(&menu_);
        action->setMenu(sub);
    }
    sub->clear();
    for (const auto& line : item.submenu) sub->addAction(menuText(line))->setEnabled(false);
}

}  // namespace pivorel
