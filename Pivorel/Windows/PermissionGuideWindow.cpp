#include "Pivorel/Windows/PermissionGuideWindow.h"

#include <QApplication>
#include <QDrag>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "Pivorel/Linux/ScreenCoordinates.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Tray/TrayIcon.h"

namespace pivorel {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QLabel* wrappedLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

PermissionGuideWindow::PermissionGuideWindow(const GuideContent& content, Callbacks callbacks)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint),
      content_(content),
      callbacks_(std::move(callbacks)) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(qs(content.title));
    setFixedWidth(340);

    auto* layout = new QVBoxLayout(this);
    auto* header = new QHBoxLayout;
    dragIcon_ = new QLabel(this);
    const QIcon icon = TrayIcon::image();
    dragIcon_->setPixmap(icon.pixmap(48, 48));
    dragIcon_->setFixedSize(52, 52);
    if (!content.dragPath.empty()) {
        dragIcon_->setToolTip(qs(content.dragTooltip));
        dragIcon_->setCursor(Qt::OpenHandCursor);
        dragIcon_->installEventFilter(this);
    }
    header->addWidget(dragIcon_);
    auto* title = wrappedLabel(qs(content.title), this);
    title->setFont(PivorelStyle::font(15, QFont::DemiBold));
    header->addWidget(title, 1);
    layout->addLayout(header);
    layout->addWidget(wrappedLabel(qs(content.reason), this));

    int number = 1;
    for (const auto& step : content.steps) {
        layout->addWidget(wrappedLabel(QString::number(number++) + ". " + qs(step), this));
    }
    for (const auto& note : content.notes) {
        auto* label = wrappedLabel("· " + qs(note), this);
        label->setFont(PivorelStyle::font(11));
        layout->addWidget(label);
    }
    statusLabel_ = wrappedLabel({}, this);
    statusLabel_->setFont(PivorelStyle::font(13, QFont::DemiBold));
    layout->addWidget(statusLabel_);

    auto* buttons = new QHBoxLayout;
    // A button whose text is empty has nothing to do on this desktop.
    const auto addButton = [&](const std::string& text, std::function<void()> Callbacks::*call) {
        if (text.empty()) return static_cast<QPushButton*>(nullptr);
        auto* button = new QPushButton(qs(text), this);
        buttons->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, call] {
            if (callbacks_.*call) (callbacks_.*call)();
        });
        return button;
    };
    switchButton_ = addButton(content.buttonSwitch, &Callbacks::onSwitch);
    addButton(content.buttonReveal, &Callbacks::onReveal);
    addButton(content.buttonReopen, &Callbacks::onReopen);
    buttons->addStretch(1);
    addButton(content.buttonSkip, &Callbacks::onSkip);
    layout->addLayout(buttons);
    fitHeight();
}

GuideWindowFactory PermissionGuideWindow::factory() {
    return [](const GuideContent& content, Callbacks callbacks) -> std::unique_ptr<GuideWindow> {
        return std::make_unique<PermissionGuideWindow>(content, std::move(callbacks));
    };
}

void PermissionGuideWindow::setStatus(GuideStatus status, const std::string& text) {
    status_ = status;
    statusLabel_->setText(qs(text));
    if (switchButton_) switchButton_->setEnabled(status != GuideStatus::granted);
    const bool good = status == GuideStatus::granted || status == GuideStatus::dropped;
    QPalette pal = statusLabel_->palette();
    pal.setColor(QPalette::WindowText,
                 good ? QColor(0x2E, 0x9E, 0x4F)
                 : status == GuideStatus::dropMissed || status == GuideStatus::switchFailed
                     ? PivorelStyle::orange(palette())
                     : PivorelStyle::secondary(palette()));
    statusLabel_->setPalette(pal);
    fitHeight();
}

// adjustSize() sizes wrapped labels by their one-line width, so in the fixed width a longer
// language's lines overlapped: the height comes from the layout for that width instead.
void PermissionGuideWindow::fitHeight() {
    layout()->activate();
    setFixedHeight(layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width())
                                                 : sizeHint().height());
}

Size PermissionGuideWindow::size() {
    const QSize s = sizeHint().expandedTo(QWidget::size());
    return {static_cast<double>(s.width()), static_cast<double>(s.height())};
}

void PermissionGuideWindow::moveTo(Point origin) {
    const Size s = size();
    const Rect frame =
        ScreenCoordinates::current().toQt(Rect{origin.x, origin.y, s.width, s.height});
    move(static_cast<int>(frame.x), static_cast<int>(frame.y));
}

void PermissionGuideWindow::show() {
    QWidget::show();
}

void PermissionGuideWindow::hide() {
    QWidget::hide();
}

void PermissionGuideWindow::bringToFront() {
    QWidget::show();
    raise();
}

bool PermissionGuideWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == dragIcon_) {
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* e = static_cast<QMouseEvent*>(event);
            pressed_ = e->button() == Qt::LeftButton;
            pressAt_ = e->position().toPoint();
        } else if (event->type() == QEvent::MouseMove && pressed_) {
            const auto* e = static_cast<QMouseEvent*>(event);
            if ((e->position().toPoint() - pressAt_).manhattanLength() >=
                QApplication::startDragDistance()) {
                pressed_ = false;
                startDrag();
            }
        } else if (event->type() == QEvent::MouseButtonRelease) {
            pressed_ = false;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PermissionGuideWindow::startDrag() {
    if (callbacks_.onDragStarted) callbacks_.onDragStarted();
    auto* drag = new QDrag(dragIcon_);
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(qs(content_.dragPath))});
    drag->setMimeData(mime);
    drag->setPixmap(dragIcon_->pixmap());
    const Qt::DropAction action = drag->exec(Qt::CopyAction | Qt::LinkAction);
    const char* operation = action == Qt::CopyAction   ? "copy"
                            : action == Qt::LinkAction ? "link"
                            : action == Qt::MoveAction ? "move"
                                                       : "none";
    if (callbacks_.onDragEnded) callbacks_.onDragEnded(operation);
}

}  // namespace pivorel
