#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "BrisendoKit/Settings/ServicesForm.h"
#include "BrisendoKit/Support/Signal.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pivorel {

class PackStatusMonitor;
struct SettingsEnvironment;

// The services page: what translation uses now, the engine, the language packs, the model
// form and the flomo form. Binds to ServicesForm; the language packs are polled while the
// page is on screen, and shown only where the machine has an on-device engine.
class ServicesSettingsView : public QWidget {
    Q_OBJECT

  public:
    ServicesSettingsView(const SettingsEnvironment& environment, QWidget* parent = nullptr);
    ~ServicesSettingsView() override;

    ServicesForm& form() { return form_; }

    // The stored values again, typed text forgotten (the window came up).
    void reload();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void retranslate();
    void refresh();

    ServicesForm form_;
    std::unique_ptr<PackStatusMonitor> packs_;

    QLabel* bannerIcon_ = nullptr;
    QLabel* bannerText_ = nullptr;
    QComboBox* engine_ = nullptr;
    QLabel* engineNote_ = nullptr;
    QLabel* packText_ = nullptr;
    QPushButton* packButton_ = nullptr;
    QLabel* modelTitle_ = nullptr;
    QLabel* modelNote_ = nullptr;
    QLineEdit* baseURL_ = nullptr;
    QLineEdit* model_ = nullptr;
    QLineEdit* apiKey_ = nullptr;
    QPushButton* saveModel_ = nullptr;
    QLabel* savedModel_ = nullptr;
    QLineEdit* webhook_ = nullptr;
    QLabel* flomoNote_ = nullptr;
    QCheckBox* dryRun_ = nullptr;
    QPushButton* saveFlomo_ = nullptr;
    QLabel* savedFlomo_ = nullptr;
    QLabel* remindersTitle_ = nullptr;
    QLabel* remindersNote_ = nullptr;
    QLabel* remindersFolder_ = nullptr;
    QPushButton* chooseFolder_ = nullptr;

    std::vector<Connection> connections_;
};

}  // namespace pivorel
