#pragma once

#include <QIcon>
#include <QWidget>
#include <string>
#include <vector>

#include "BrisendoKit/Settings/ApplicationsListModel.h"
#include "BrisendoKit/Support/Signal.h"

class QLabel;
class QLineEdit;
class QToolButton;
class QVBoxLayout;

namespace pivorel {

class Workspace;

// One editable application list of the applications page: a row per application with its
// icon, display name and a remove button, a menu of the running applications, and a field
// for a desktop-file id. Binds to ApplicationsListModel.
class AppListGroup : public QWidget {
    Q_OBJECT

  public:
    AppListGroup(ApplicationsListModel::Kind kind, BarSettings settings, Workspace* workspace,
                 QWidget* parent = nullptr);
    ~AppListGroup() override;

    ApplicationsListModel& model() { return model_; }

    // The icon of the application with that desktop-file id, from its desktop file's Icon
    // (a theme name or a path); a generic window symbol when there is none.
    static QIcon appIcon(const std::string& bundleID);

  private:
    void retranslate();
    void refresh();
    void fillRunningMenu();

    ApplicationsListModel model_;
    Workspace* workspace_;

    QLabel* title_ = nullptr;
    QVBoxLayout* rows_ = nullptr;
    QLabel* empty_ = nullptr;
    QToolButton* running_ = nullptr;
    QLineEdit* manual_ = nullptr;
    QLabel* footer_ = nullptr;
    std::vector<Connection> connections_;
};

}  // namespace pivorel
