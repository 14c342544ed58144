#pragma once

#include <QString>
#include <QWidget>

#include "Pivorel/Look/WrappedText.h"

namespace pivorel {

// A short notice in the panel, 340 wide: an info symbol and the text, wrapped over as many
// lines as it needs.
class NoticeView final : public QWidget {
    Q_OBJECT
  public:
    explicit NoticeView(const std::string& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    const WrappedText& text() const { return text_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    double iconWidth() const;

    WrappedText text_;
};

}  // namespace pivorel
