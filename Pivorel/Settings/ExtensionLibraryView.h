#pragma once

#include <QDialog>
#include <map>
#include <string>
#include <vector>

#include "BrisendoKit/Support/Signal.h"

class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace pivorel {

class ActionsSettingsModel;
class ExtensionLibraryModel;

// The extension library: the catalog grouped by category, each entry with an add button
// that turns into "已添加" once one of the user's actions came from it. Every time it is
// shown it asks for a newer catalog. Binds to ExtensionLibraryModel and the actions model.
class ExtensionLibraryView : public QDialog {
    Q_OBJECT

  public:
    ExtensionLibraryView(ActionsSettingsModel& actions, ExtensionLibraryModel& library,
                         QWidget* parent = nullptr);
    ~ExtensionLibraryView() override;

    // The add button of a catalog entry (null when the catalog has no such entry).
    QPushButton* addButton(const std::string& presetID) const;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void retranslate();
    void rebuild();
    void refreshButtons();

    ActionsSettingsModel& actions_;
    ExtensionLibraryModel& library_;

    QLabel* title_ = nullptr;
    QLabel* note_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QPushButton* done_ = nullptr;
    std::map<std::string, QPushButton*> buttons_;
    std::vector<Connection> connections_;
};

}  // namespace pivorel
