#pragma once

#include <QFont>
#include <QString>
#include <QTextLayout>
#include <memory>

class QPainter;

namespace pivorel {

// A paragraph broken into lines at a width, optionally at most `maxLines` of them with the
// last one cut at its end with "…". Line breaks in the text start new lines.
class WrappedText {
  public:
    WrappedText() = default;
    WrappedText(const QString& text, const QFont& font, double width, int maxLines = 0);

    double height() const { return height_; }
    // The widest line.
    double width() const { return width_; }
    int lineCount() const;
    bool isTruncated() const { return truncated_; }
    // The text as drawn (cut when truncated).
    QString text() const;

    void draw(QPainter& painter, QPointF topLeft, const QColor& color) const;

  private:
    static constexpr int kCharactersPerLine = 400;

    // Answers whether text was left over after `maxLines` lines.
    bool layOut(const QString& text, double width, int maxLines);

    QFont font_;
    std::unique_ptr<QTextLayout> layout_;
    double height_ = 0;
    double width_ = 0;
    bool truncated_ = false;
};

}  // namespace pivorel
