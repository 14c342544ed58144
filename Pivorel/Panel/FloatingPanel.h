#pragma once

#include <QWidget>
#include <memory>
#include <optional>

#include "BrisendoKit/Platform/PanelWindow.h"

class QKeyEvent;

namespace pivorel {

class PanelRootView;
class PasteboardLike;

// The panel's window: frameless and above other windows; it takes the keyboard while shown
// (a notice does not) and the window manager hands it back to the previous window when it
// hides. Every key press reaches the key handler before the focused control, so Escape
// closes the panel also from the follow-up field. Dragging its background moves it.
class FloatingPanel final : public QWidget, public PanelWindow {
    Q_OBJECT
  public:
    // The conversation's copy button writes to `pasteboard`, or to the toolkit's clipboard
    // without one.
    explicit FloatingPanel(PasteboardLike* pasteboard = nullptr, QWidget* parent = nullptr);
    ~FloatingPanel() override;

    void hide() override;
    void setContent(std::shared_ptr<PanelModel> model) override;
    Size fittingSize() override;
    void setFrame(Rect frame) override;
    Rect frame() const override;
    void orderFrontAndMakeKey() override;
    void orderFront() override;
    bool isVisible() const override;
    bool isKeyWindow() const override;
    void setKeyHandler(KeyHandler handler) override;

    PanelRootView* rootView() const { return root_; }

    // A key press in the program's key codes and modifier flags; nothing for a key the
    // program has no code for.
    static std::optional<KeyEvent> keyEvent(const QKeyEvent& event);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void dropRoot();
    void updateClip();
    void acceptKeyboard(bool accept);

    PasteboardLike* pasteboard_;
    PanelRootView* root_ = nullptr;
    KeyHandler keyHandler_;
    Rect frame_;
};

}  // namespace pivorel
