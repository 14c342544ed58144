#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "BrisendoKit/Settings/TranslationPackModel.h"
#include "BrisendoKit/Support/Signal.h"

class QLabel;
class QPushButton;

namespace pivorel {

// The language-pack window's content: what the offline translator needs, the state of the
// packs, the download button and "完成". Binds to TranslationPackModel; checks again each
// time it is shown.
class TranslationPackView : public QWidget {
    Q_OBJECT

  public:
    TranslationPackView(std::unique_ptr<TranslationPackModel> model, QWidget* parent = nullptr);
    ~TranslationPackView() override;

    TranslationPackModel& model() { return *model_; }
    QPushButton* downloadButton() const { return download_; }

    // "完成" was pressed.
    Signal<> done;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void retranslate();
    void refresh();

    std::unique_ptr<TranslationPackModel> model_;
    QLabel* heading_ = nullptr;
    QLabel* description_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* download_ = nullptr;
    QPushButton* done_ = nullptr;
    std::vector<Connection> connections_;
};

// The window that holds it: made on first use, kept for the life of the program, titled
// "Pivorel 翻译语言包" in the interface language.
class TranslationPackWindow : public QWidget {
    Q_OBJECT

  public:
    explicit TranslationPackWindow(std::unique_ptr<TranslationPackModel> model);
    ~TranslationPackWindow() override;

    TranslationPackView& view() { return *view_; }

    // The program's window, made on first use over the platform's offline translator.
    static TranslationPackWindow& shared();
    // Brings it up in front.
    static void showShared();

  private:
    static constexpr int width = 480;
    static constexpr int minimumContentHeight = 200;

    void retitle();
    void fit();

    TranslationPackView* view_ = nullptr;
    Connection languageWatch_;
    Connection modelWatch_;
    Connection doneWatch_;
};

}  // namespace pivorel
