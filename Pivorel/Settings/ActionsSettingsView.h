#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "BrisendoKit/Support/Signal.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace pivorel {

class ActionAvailability;
class ActionsSettingsModel;
class CustomActionEditor;
class ExtensionLibraryModel;
class ExtensionLibraryView;
struct SettingsEnvironment;

// The actions page: the order (drag to reorder), the eye toggle, the bar and custom tags,
// smart ranking, the bar size, the custom-action editor, the extension library and the
// reset. Binds to ActionsSettingsModel; every edit is written to actions.json at once, and
// the next selection reads it.
class ActionsSettingsView : public QWidget {
    Q_OBJECT

  public:
    ActionsSettingsView(const SettingsEnvironment& environment, QWidget* parent = nullptr);
    ~ActionsSettingsView() override;

    ActionsSettingsModel& model() { return *model_; }
    QListWidget* list() const { return list_; }
    QPushButton* addExtensionButton() const { return addExtension_; }
    // The library, once it was opened.
    ExtensionLibraryView* library() const { return libraryView_; }
    void openLibrary();
    // The editor for a new action, or for the custom action `id`.
    CustomActionEditor* openEditor(const std::string& id = {});

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void retranslate();
    void refresh();
    void rebuildRows();
    // Row heights for the list's width, and the list's height for its rows.
    void fitRows();
    void rowsMoved(int from, int to);

    std::unique_ptr<ActionsSettingsModel> model_;
    std::unique_ptr<ExtensionLibraryModel> library_;

    QLabel* intro_ = nullptr;
    QCheckBox* smart_ = nullptr;
    QLabel* smartNote_ = nullptr;
    QLabel* countTitle_ = nullptr;
    QSpinBox* count_ = nullptr;
    QLabel* countNote_ = nullptr;
    QListWidget* list_ = nullptr;
    QPushButton* addExtension_ = nullptr;
    QPushButton* addCustom_ = nullptr;
    QPushButton* reset_ = nullptr;
    ExtensionLibraryView* libraryView_ = nullptr;
    bool rebuildPending_ = false;
    int fittedWidth_ = -1;
    std::shared_ptr<ActionAvailability> availability_;

    std::vector<Connection> connections_;
};

}  // namespace pivorel
