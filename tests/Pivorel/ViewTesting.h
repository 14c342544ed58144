#pragma once

#include <QGlyphRun>
#include <QMouseEvent>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>
#include <QWidget>

#include "BrisendoKit/LanguageModel/ChatStreaming.h"
#include "QtApp.h"

namespace pivorel::test {

// Lays `widget` out and draws it over an opaque backdrop of that colour.
inline QImage renderOver(QWidget& widget, QColor backdrop) {
    qtApp("offscreen");
    widget.ensurePolished();
    widget.show();
    // A relayout can ask for another (text that wraps changes its height): let it settle.
    for (int i = 0; i < 4; ++i) QCoreApplication::processEvents();
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(backdrop);
    QPainter painter(&image);
    widget.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    painter.end();
    return image;
}

inline bool near(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// How many pixels of `area` are within `tolerance` of `color`.
inline int countNear(const QImage& image, QRect area, QColor color, int tolerance = 12) {
    int n = 0;
    area = area.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (near(image.pixelColor(x, y), color, tolerance)) ++n;
    return n;
}

// A left click at `pos` in `widget`, released at `releasePos` when given.
inline void click(QWidget* widget, QPoint pos, std::optional<QPoint> releasePos = std::nullopt) {
    const QPoint up = releasePos.value_or(pos);
    QMouseEvent press(QEvent::MouseButtonPress, pos, widget->mapToGlobal(pos), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, up, widget->mapToGlobal(up), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

inline void flushDeletes() {  // what views put off while their events were on the stack
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// What drawing `text` in `font` really uses, font fallback included.
struct Shaped {
    int missing = 0;       // glyphs drawn as the empty box
    QStringList families;  // the fonts that drew it
};

inline Shaped shape(const QString& text, const QFont& font) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    while (layout.createLine().isValid()) {
    }
    layout.endLayout();
    Shaped out;
    for (const QGlyphRun& run : layout.glyphRuns()) {
        out.families << run.rawFont().familyName();
        for (quint32 glyph : run.glyphIndexes())
            if (glyph == 0) ++out.missing;
    }
    return out;
}

// A chat client the test answers by hand.
class ScriptedChat final : public ChatStreaming {
  public:
    std::unique_ptr<Cancellable> stream(std::vector<ChatMessage>, OnPiece piece,
                                        OnFinish finish) override {
        ++calls;
        onPiece = std::move(piece);
        onFinish = std::move(finish);
        return std::make_unique<Handle>();
    }
    OnPiece onPiece;
    OnFinish onFinish;
    int calls = 0;

  private:
    struct Handle final : Cancellable {
        void cancel() override {}
    };
};

}  // namespace pivorel::test
