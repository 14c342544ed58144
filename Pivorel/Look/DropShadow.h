#pragma once

#include <QImage>
#include <QPainterPath>
#include <QPointF>

class QPainter;

namespace pivorel {

// A soft black shadow under a shape, blurred once per shape size and reused while the size
// stays the same (a streaming answer repaints the panel many times).
class DropShadow {
  public:
    // `radius` is the blur radius, `offset` moves the shadow (y down, as painters go).
    DropShadow(double opacity, double radius, QPointF offset);

    void paint(QPainter& painter, const QPainterPath& shape);

  private:
    QImage render(const QPainterPath& shape, double scale) const;

    double opacity_;
    double radius_;
    QPointF offset_;
    QImage cached_;
    QPainterPath cachedShape_;
    double cachedScale_ = 0;
};

}  // namespace pivorel
