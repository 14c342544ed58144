#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "BrisendoKit/Support/Geometry.h"

namespace pivorel {

class PanelModel;

// One key press, in the program's key-code space.
struct KeyEvent {
    // Modifier flags, as the detector's events carry them.
    static constexpr std::uint64_t shiftFlag = 0x20000;
    static constexpr std::uint64_t controlFlag = 0x40000;
    static constexpr std::uint64_t optionFlag = 0x80000;
    static constexpr std::uint64_t commandFlag = 0x100000;
    static constexpr std::uint64_t modifierMask = 0x1E0000;

    std::uint16_t keyCode = 0;
    std::uint64_t modifierFlags = 0;
    // The characters the key types with no modifier held.
    std::string charactersIgnoringModifiers;

    bool operator==(const KeyEvent&) const = default;
};

// The one window the panel is drawn in: frameless, above other windows, taking the keyboard
// while shown (unless it only shows a notice) without activating the program as a whole, and
// giving it back when hidden.
// Frames are in global coordinates (origin at the bottom left). Main thread.
class PanelWindow {
  public:
    // Answers whether it handled the key.
    using KeyHandler = std::function<bool(const KeyEvent&)>;

    virtual ~PanelWindow() = default;

    // Takes the window off the screen.
    virtual void hide() = 0;
    // Makes fresh content that draws `model` (nullptr removes it).
    virtual void setContent(std::shared_ptr<PanelModel> model) = 0;
    // Lays the content out for the model's current mode and answers its fitting size, the
    // shadow margins included; zero without content.
    virtual Size fittingSize() = 0;
    virtual void setFrame(Rect frame) = 0;
    virtual Rect frame() const = 0;
    // Puts the window on screen above the others and gives it the keyboard.
    virtual void orderFrontAndMakeKey() = 0;
    // Puts the window on screen above the others without the keyboard, giving it back if the
    // window had it: a notice has nothing to type into.
    virtual void orderFront() = 0;
    virtual bool isVisible() const = 0;
    virtual bool isKeyWindow() const = 0;
    // Key presses reach the handler before the content; Escape pressed inside a text field
    // reaches it too (as key code 53), whatever the handler answers.
    virtual void setKeyHandler(KeyHandler handler) = 0;
};

}  // namespace pivorel
