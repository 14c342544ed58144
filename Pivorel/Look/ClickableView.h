#pragma once

#include <QWidget>
#include <functional>

namespace pivorel {

// A view that is one button: a left press and a release both on it call `onClick`.
class ClickableView : public QWidget {
    Q_OBJECT
  public:
    ClickableView(std::function<void()> onClick, QWidget* parent);

  protected:
    // A left press on the view is held.
    bool isPressed() const { return pressed_; }
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    std::function<void()> onClick_;
    bool pressed_ = false;
};

}  // namespace pivorel
