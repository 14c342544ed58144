#include "Pivorel/Bar/BarPanel.h"

#include <QFontMetricsF>
#include <QImage>
#include <QTimer>

#include "BrisendoKit/Localization/L.h"
#include "Pivorel/Bar/BarView.h"
#include "Pivorel/Linux/Compositor.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Look/WindowFrame.h"

namespace pivorel {

BarPanel::BarPanel(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Qt shows tooltips only in the active window, which the bar never is.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Pivorel"));
    QTimer::singleShot(0, this, [this] { warmUp(); });
}

// The first bar would wait about a hundred milliseconds for the fonts and the window's
// resources; once the event loop runs, that happens here instead of on a selection.
void BarPanel::warmUp() {
    winId();
    BarView sample(std::make_shared<BarModel>(std::vector<BarItem>{BarItem(ActionID::copy())}));
    QImage image(sample.sizeHint(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    sample.render(&image);
    QFontMetricsF(PivorelStyle::font(13)).horizontalAdvance(QString::fromStdString(L("复制")));
}

BarPanel::~BarPanel() = default;

void BarPanel::dropView() {
    if (!view_) return;
    // A click on the bar may be what hides it: the clicked icon is still on the stack, so
    // the view goes later, but lets go of its model now.
    view_->detach();
    view_->hide();
    view_->deleteLater();
    view_ = nullptr;
}

void BarPanel::hide() {
    QWidget::hide();
    dropView();
}

Size BarPanel::setContent(std::shared_ptr<BarModel> model) {
    dropView();
    view_ = new BarView(std::move(model), this);
    const QSize size = view_->sizeHint();
    view_->setGeometry(0, 0, size.width(), size.height());
    view_->show();
    return {static_cast<double>(size.width()), static_cast<double>(size.height())};
}

void BarPanel::setFrame(Rect frame) {
    frame_ = frame;
    setGeometry(WindowFrame::toDesktop(frame));
}

Rect BarPanel::frame() const {
    return WindowFrame::current(geometry(), frame_);
}

void BarPanel::orderFront() {
    if (view_) {
        const QRectF capsule = view_->capsuleRect();
        view_->setClippedToShape(Compositor::clipWhenNeeded(*this, capsule, capsule.height() / 2));
    }
    QWidget::show();
    raise();
}

bool BarPanel::isVisible() const {
    return QWidget::isVisible();
}

std::int64_t BarPanel::windowNumber() const {
    return static_cast<std::int64_t>(internalWinId());
}

void BarPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (view_) view_->setGeometry(rect());
}

}  // namespace pivorel
