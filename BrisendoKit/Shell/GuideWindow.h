#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BrisendoKit/Shell/GuideStatus.h"
#include "BrisendoKit/Shell/PermissionKind.h"
#include "BrisendoKit/Support/Geometry.h"

namespace pivorel {

// The texts one guide window shows, placeholders already filled in.
struct GuideContent {
    PermissionKind kind = PermissionKind::accessibility;
    std::string title;
    std::string reason;  // "用于：…"
    std::vector<std::string> steps;
    std::vector<std::string> notes;
    // Empty: nothing to drag (the desktop has no list to drop the program into).
    std::string dragPath;
    std::string dragTooltip;
    std::string buttonReveal;
    std::string buttonSkip;
    std::string buttonReopen;
    // The program's own switch; empty where the desktop has none. Empty buttons are not shown.
    std::string buttonSwitch;
};

// The floating guide window, as the guide controller drives it. Main thread.
class GuideWindow {
  public:
    struct Callbacks {
        std::function<void()> onReveal;
        std::function<void()> onSkip;
        std::function<void()> onReopen;
        std::function<void()> onSwitch;
        std::function<void()> onDragStarted;
        // The drag's outcome: "none" when no target accepted the drop.
        std::function<void(const std::string& operation)> onDragEnded;
    };

    virtual ~GuideWindow() = default;

    virtual void setStatus(GuideStatus status, const std::string& text) = 0;
    virtual Size size() = 0;
    // Moves the window's bottom-left corner to `origin` (global coordinates, y up).
    virtual void moveTo(Point origin) = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual void bringToFront() = 0;
};

using GuideWindowFactory = std::function<std::unique_ptr<GuideWindow>(
    const GuideContent& content, GuideWindow::Callbacks callbacks)>;

}  // namespace pivorel
