#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "BrisendoKit/Shell/StatusMenuModel.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

// The status item: an icon in the desktop's tray with the program's menu. It draws what a
// StatusMenuModel worked out and reports which item was chosen; it decides nothing.
class Tray : public QObject {
    Q_OBJECT

  public:
    Tray();
    ~Tray() override;

    // Puts the icon in the tray. False, with one log line, when the desktop has no tray: the
    // program works on without its menu, and the icon appears if a tray starts later.
    bool install();
    // Makes the menu afresh (at start and when the interface language changes).
    void populate(const std::vector<StatusMenuModel::Item>& items);
    // Brings the items populated before up to date, sets the text shown with the icon (in
    // its tooltip) and whether the icon wears the waiting-update dot.
    void update(const std::vector<StatusMenuModel::Item>& items, const std::string& title,
                bool badge = false);

    QMenu& menu() { return menu_; }
    QSystemTrayIcon& icon() { return icon_; }
    // The menu's action for `id`; nullptr for separators and before populate().
    QAction* action(StatusMenuModel::ItemID id) const;
    const std::string& title() const { return title_; }

    Signal<StatusMenuModel::ItemID> chosen;
    // Right before the menu opens, so its content can be refreshed.
    Signal<> aboutToShow;

  private:
    void openMenuWhenReleased(int waitsLeft = 100);
    void apply(QAction* action, const StatusMenuModel::Item& item);

    QMenu menu_;
    QSystemTrayIcon icon_;
    std::map<StatusMenuModel::ItemID, QAction*> actions_;
    std::string title_;
    bool badge_ = false;
};

}  // namespace pivorel
