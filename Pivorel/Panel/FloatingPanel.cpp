#include "Pivorel/Panel/FloatingPanel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>

#include "BrisendoKit/BarPanel/PanelPlacement.h"
#include "BrisendoKit/Platform/KeyCodes.h"
#include "Pivorel/Linux/Compositor.h"
#include "Pivorel/Look/WindowFrame.h"
#include "Pivorel/Panel/PanelRootView.h"

namespace pivorel {

namespace {

// The keysym of a Qt key, for events that carry none (synthesised ones, other platforms).
std::optional<std::uint32_t> keysymForQtKey(int key) {
    switch (key) {
        case Qt::Key_Escape:
            return 0xff1b;
        case Qt::Key_Return:
            return 0xff0d;
        case Qt::Key_Enter:
            return 0xff8d;
        case Qt::Key_Tab:
            return 0xff09;
        case Qt::Key_Backspace:
            return 0xff08;
        case Qt::Key_Delete:
            return 0xffff;
        case Qt::Key_Left:
            return 0xff51;
        case Qt::Key_Up:
            return 0xff52;
        case Qt::Key_Right:
            return 0xff53;
        case Qt::Key_Down:
            return 0xff54;
        case Qt::Key_Home:
            return 0xff50;
        case Qt::Key_End:
            return 0xff57;
        case Qt::Key_PageUp:
            return 0xff55;
        case Qt::Key_PageDown:
            return 0xff56;
        default:
            break;
    }
    // Latin-1 keys: Qt names letters by their capital, keysyms by the small letter.
    if (key >= 0x20 && key <= 0x7e) {
        if (key >= 'A' && key <= 'Z') return static_cast<std::uint32_t>(key - 'A' + 'a');
        return static_cast<std::uint32_t>(key);
    }
    return std::nullopt;
}

}  // namespace

FloatingPanel::FloatingPanel(PasteboardLike* pasteboard, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      pasteboard_(pasteboard) {
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowTitle(QStringLiteral("Pivorel"));
    // Key presses come to the window before any widget sees them.
    create();
    if (QWindow* window = windowHandle()) window->installEventFilter(this);
}

FloatingPanel::~FloatingPanel() = default;

std::optional<KeyEvent> FloatingPanel::keyEvent(const QKeyEvent& event) {
    std::optional<std::uint32_t> code;
    if (event.nativeVirtualKey() != 0) code = KeyCodes::keyCodeForKeysym(event.nativeVirtualKey());
    if (!code) {
        if (auto keysym = keysymForQtKey(event.key())) code = KeyCodes::keyCodeForKeysym(*keysym);
    }
    if (!code) return std::nullopt;

    KeyEvent out;
    out.keyCode = static_cast<std::uint16_t>(*code);
    const Qt::KeyboardModifiers mods = event.modifiers();
    if (mods & Qt::ShiftModifier) out.modifierFlags |= KeyEvent::shiftFlag;
    if (mods & Qt::ControlModifier) out.modifierFlags |= KeyEvent::controlFlag;
    if (mods & Qt::AltModifier) out.modifierFlags |= KeyEvent::optionFlag;
    if (mods & Qt::MetaModifier) out.modifierFlags |= KeyEvent::commandFlag;
    // What the key types without modifiers: printable keys from their unshifted keysym,
    // the rest (Escape, Return, keypad digits) as the event typed them.
    const auto keysym = KeyCodes::keysymForKeyCode(*code);
    if (keysym && *keysym >= 0x20 && *keysym <= 0x7e && !(event.modifiers() & Qt::KeypadModifier)) {
        out.charactersIgnoringModifiers = std::string(1, static_cast<char>(*keysym));
    } else if (event.key() == Qt::Key_Escape) {
        out.charactersIgnoringModifiers = "\x1b";
    } else {
        out.charactersIgnoringModifiers = event.text().toStdString();
    }
    return out;
}

bool FloatingPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched == windowHandle() && keyHandler_) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (auto translated = keyEvent(*key)) {
            // A copy: the handler may replace itself while it runs (closing the panel).
            auto handler = keyHandler_;
            if (handler(*translated)) return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FloatingPanel::dropRoot() {
    if (!root_) return;
    // The click or key that closes the panel may come from inside the content.
    root_->detach();
    root_->hide();
    root_->deleteLater();
    root_ = nullptr;
}

void FloatingPanel::hide() {
    QWidget::hide();
}

void FloatingPanel::setContent(std::shared_ptr<PanelModel> model) {
    dropRoot();
    if (!model) return;
    root_ = new PanelRootView(std::move(model), pasteboard_, this);
    root_->setGeometry(QRect(QPoint(0, 0), root_->sizeHint()));
    root_->show();
}

Size FloatingPanel::fittingSize() {
    if (!root_) return {};
    root_->syncMode();
    const QSize size = root_->sizeHint();
    return {static_cast<double>(size.width()), static_cast<double>(size.height())};
}

void FloatingPanel::setFrame(Rect frame) {
    frame_ = frame;
    setGeometry(WindowFrame::toDesktop(frame));
    updateClip();
}

Rect FloatingPanel::frame() const {
    return WindowFrame::current(geometry(), frame_);
}

void FloatingPanel::orderFrontAndMakeKey() {
    acceptKeyboard(true);
    updateClip();
    QWidget::show();
    raise();
    activateWindow();
}

void FloatingPanel::orderFront() {
    // The window manager hands the keyboard back to the window that had it before.
    if (QWidget::isVisible() && isActiveWindow()) QWidget::hide();
    acceptKeyboard(false);
    updateClip();
    QWidget::show();
    raise();
}

// Set on the native window: QWidget::setWindowFlag() would hide the window to change it.
void FloatingPanel::acceptKeyboard(bool accept) {
    setAttribute(Qt::WA_ShowWithoutActivating, !accept);
    if (QWindow* window = windowHandle()) window->setFlag(Qt::WindowDoesNotAcceptFocus, !accept);
}

bool FloatingPanel::isVisible() const {
    return QWidget::isVisible();
}

bool FloatingPanel::isKeyWindow() const {
    return QWidget::isVisible() && isActiveWindow();
}

void FloatingPanel::setKeyHandler(KeyHandler handler) {
    keyHandler_ = std::move(handler);
}

void FloatingPanel::updateClip() {
    if (root_) {
        root_->setClippedToShape(
            Compositor::clipWhenNeeded(*this, root_->contentRect(), PanelMetrics::cornerRadius));
    }
}

void FloatingPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (root_) root_->setGeometry(rect());
}

void FloatingPanel::mousePressEvent(QMouseEvent* event) {
    // Presses the content left alone land on the background: move the window with them.
    if (event->button() == Qt::LeftButton && windowHandle() && windowHandle()->startSystemMove()) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

}  // namespace pivorel
