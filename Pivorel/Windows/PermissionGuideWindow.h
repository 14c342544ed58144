#pragma once

#include <QPoint>
#include <QWidget>

#include "BrisendoKit/Shell/GuideWindow.h"

class QLabel;
class QPushButton;

namespace pivorel {

// The floating guide beside the desktop's settings: title, reason, numbered steps, notes,
// a status line, the program's icon to drag, and three buttons. Draws what the guide
// controller tells it and reports button presses and drags back through the callbacks.
class PermissionGuideWindow final : public QWidget, public GuideWindow {
    Q_OBJECT
  public:
    PermissionGuideWindow(const GuideContent& content, Callbacks callbacks);

    // What the guide controller makes its windows with.
    static GuideWindowFactory factory();

    void setStatus(GuideStatus status, const std::string& text) override;
    Size size() override;
    void moveTo(Point origin) override;
    void show() override;
    void hide() override;
    void bringToFront() override;

    GuideStatus status() const { return status_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void fitHeight();
    void startDrag();

    GuideContent content_;
    Callbacks callbacks_;
    GuideStatus status_ = GuideStatus::waiting;
    QLabel* statusLabel_ = nullptr;
    QLabel* dragIcon_ = nullptr;
    QPushButton* switchButton_ = nullptr;
    QPoint pressAt_;
    bool pressed_ = false;
};

}  // namespace pivorel
