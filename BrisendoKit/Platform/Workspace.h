#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "BrisendoKit/Support/Geometry.h"

namespace pivorel {

// One screen, in global coordinates (origin at the bottom left of the primary screen).
struct Screen {
    Rect frame;
    // The frame less the panels and docks the desktop reserves.
    Rect visibleFrame;
    bool operator==(const Screen&) const = default;
};

struct RunningApp {
    std::string bundleID;
    std::string name;  // the display name
    // An application with a normal window that shows in the task bar.
    bool regular = true;
    bool operator==(const RunningApp&) const = default;
};

// The desktop around the program: applications, links, the pointer and the screens. Main
// thread, except where a method says otherwise.
class Workspace {
  public:
    virtual ~Workspace() = default;

    // The bundle identifier of the application the user works in. Any thread.
    virtual std::optional<std::string> frontmostApp() = 0;
    virtual std::vector<RunningApp> runningApps() = 0;

    // Whether some installed application would open `url`.
    virtual bool canOpen(const std::string& url) = 0;
    // Hands `url` to the application the desktop assigns to it.
    virtual void open(const std::string& url) = 0;

    virtual Point pointerLocation() = 0;

    // The screens in the window system's order; empty when there is none.
    virtual std::vector<Screen> screens() = 0;
    // The index in screens() of the main screen (the one with the focus), when there is one.
    virtual std::optional<std::size_t> mainScreen() = 0;

    // The name people know an application by; nothing for an empty identifier. Any thread.
    virtual std::optional<std::string> displayName(const std::string& bundleID) = 0;
};

// The first screen whose frame contains `point`, else the main screen, else the first one;
// nothing without screens.
std::optional<Screen> screenContaining(Workspace& workspace, Point point);

}  // namespace pivorel
