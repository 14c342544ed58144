#pragma once

#include <QWidget>
#include <memory>

#include "BrisendoKit/Settings/GeneralForm.h"
#include "BrisendoKit/Settings/HotKeyRecorder.h"
#include "BrisendoKit/Support/Signal.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace pivorel {

struct SettingsEnvironment;

// The general page: the bar switch, the hot key, the interface language, starting at
// login, update checks and the links. Binds to GeneralForm and HotKeyRecorder.
class GeneralSettingsView : public QWidget {
    Q_OBJECT

  public:
    GeneralSettingsView(const SettingsEnvironment& environment, QWidget* parent = nullptr);
    ~GeneralSettingsView() override;

    HotKeyRecorder& recorder() { return recorder_; }
    GeneralForm& form() { return form_; }
    QPushButton* hotKeyButton() const { return hotKeyButton_; }

    // Shows the stored values again (the window came up).
    void refresh();

  private:
    void retranslate();

    GeneralForm form_;
    // Outlives the recorder, which still says it stopped recording when it goes.
    Connection recordingWatch_;
    HotKeyRecorder recorder_;

    QLabel* tagline_ = nullptr;
    QCheckBox* barToggle_ = nullptr;
    QLabel* barNote_ = nullptr;
    QLabel* hotKeyNote_ = nullptr;
    QPushButton* hotKeyButton_ = nullptr;
    QLabel* languageTitle_ = nullptr;
    QComboBox* language_ = nullptr;
    QLabel* languageNote_ = nullptr;
    QCheckBox* loginToggle_ = nullptr;
    QLabel* loginNote_ = nullptr;
    QCheckBox* updateToggle_ = nullptr;
    QLabel* versionLine_ = nullptr;
    QToolButton* checkNow_ = nullptr;
    std::vector<QPushButton*> links_;

    std::vector<Connection> connections_;
};

}  // namespace pivorel
