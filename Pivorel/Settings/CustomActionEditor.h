#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "BrisendoKit/Actions/ActionConfig.h"
#include "BrisendoKit/Settings/CustomActionForm.h"
#include "BrisendoKit/Support/Signal.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

namespace pivorel {

class ActionsSettingsModel;

// The custom-action editor: name, symbol (with a grid to pick from when the name is not one
// the program can draw) and URL template; saving runs the checks and shows the first
// failing message under its field. Binds to CustomActionForm; saved actions go into the
// actions model, which writes actions.json.
class CustomActionEditor : public QDialog {
    Q_OBJECT

  public:
    CustomActionEditor(ActionsSettingsModel& model, std::optional<CustomAction> existing,
                       QWidget* parent = nullptr);
    ~CustomActionEditor() override;

    CustomActionForm& form() { return form_; }

  private:
    void retranslate();
    void refresh();
    void save();

    ActionsSettingsModel& model_;
    CustomActionForm form_;

    QLabel* title_ = nullptr;
    QLabel* nameLabel_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLabel* nameError_ = nullptr;
    QLabel* symbolLabel_ = nullptr;
    QLabel* preview_ = nullptr;
    QLineEdit* symbol_ = nullptr;
    QLabel* symbolNote_ = nullptr;
    QScrollArea* picker_ = nullptr;
    QLabel* templateLabel_ = nullptr;
    QLineEdit* template_ = nullptr;
    QLabel* templateError_ = nullptr;
    QLabel* templateHelp_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* save_ = nullptr;

    std::vector<Connection> connections_;
};

}  // namespace pivorel
