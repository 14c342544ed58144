#include "Pivorel/Look/ClickableView.h"

#include <QMouseEvent>

namespace pivorel {

ClickableView::ClickableView(std::function<void()> onClick, QWidget* parent)
    : QWidget(parent), onClick_(std::move(onClick)) {}

void ClickableView::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void ClickableView::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    // The callback may close the window and drop this view; nothing here runs after it.
    if (click && onClick_) {
        auto callback = onClick_;
        callback();
    }
}

}  // namespace pivorel
