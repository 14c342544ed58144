#include "Pivorel/Look/WrappedText.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextOption>
#include <algorithm>

namespace pivorel {

WrappedText::WrappedText(const QString& text, const QFont& font, double width, int maxLines)
    : font_(font) {
    QString shown = text;
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
    // No line holds more than a few hundred characters at these widths, so a long text
    // (a selection may have 20000 characters) is cut before it is laid out at all.
    bool cut = false;
    if (maxLines > 0 && shown.size() > maxLines * kCharactersPerLine) {
        qsizetype n = maxLines * kCharactersPerLine;
        if (shown.at(n - 1).isHighSurrogate()) --n;
        shown.truncate(n);
        cut = true;
    }
    const bool overflow = layOut(shown, width, maxLines);
    if ((!overflow && !cut) || layout_->lineCount() == 0) return;

    // Keep the first lines and fold the rest into the last one, cut with "…".
    const QTextLine last = layout_->lineAt(layout_->lineCount() - 1);
    QString rest = shown.mid(last.textStart());
    rest.replace(QChar::LineSeparator, QLatin1Char(' '));
    QString folded = QFontMetricsF(font_).elidedText(rest, Qt::ElideRight, width);
    if (cut && !folded.endsWith(QChar(0x2026))) {
        folded = QFontMetricsF(font_).elidedText(rest + QChar(0x2026), Qt::ElideRight, width);
        if (!folded.endsWith(QChar(0x2026))) folded += QChar(0x2026);
    }
    layOut(shown.left(last.textStart()) + folded, width, maxLines);
    truncated_ = true;
}

bool WrappedText::layOut(const QString& text, double width, int maxLines) {
    layout_ = std::make_unique<QTextLayout>(text, font_);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout_->setTextOption(option);
    const double leading = std::max(0.0, QFontMetricsF(font_).leading());
    height_ = 0;
    width_ = 0;
    bool overflow = false;
    layout_->beginLayout();
    for (;;) {
        if (maxLines > 0 && layout_->lineCount() == maxLines) {
            const QTextLine last = layout_->lineAt(maxLines - 1);
            overflow = last.textStart() + last.textLength() < text.size();
            break;
        }
        QTextLine line = layout_->createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        if (layout_->lineCount() > 1) height_ += leading;
        line.setPosition(QPointF(0, height_));
        height_ += line.height();
        width_ = std::max(width_, line.naturalTextWidth());
    }
    layout_->endLayout();
    return overflow;
}

int WrappedText::lineCount() const {
    return layout_ ? layout_->lineCount() : 0;
}

QString WrappedText::text() const {
    if (!layout_) return {};
    QString out = layout_->text();
    out.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return out;
}

void WrappedText::draw(QPainter& painter, QPointF topLeft, const QColor& color) const {
    if (!layout_) return;
    painter.save();
    painter.setPen(color);
    layout_->draw(&painter, topLeft);
    painter.restore();
}

}  // namespace pivorel
