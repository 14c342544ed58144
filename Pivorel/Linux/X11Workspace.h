#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "BrisendoKit/Platform/Workspace.h"

namespace pivorel {

class DesktopAppIndex;
class ScreenWatch;
class X11Connection;

// The desktop's applications, links, pointer and screens over X11 and the window manager's
// EWMH properties; screens come from Qt. Applications are named by DesktopAppIndex.
class X11Workspace final : public Workspace {
  public:
    // What the program knows of one top-level client window.
    struct WindowInfo {
        xcb_window_t window = XCB_WINDOW_NONE;
        std::optional<std::uint32_t> pid;
        std::optional<std::string> app;
        std::optional<std::string> instance;  // WM_CLASS
        std::optional<std::string> klass;
    };

    X11Workspace(X11Connection& x, DesktopAppIndex& apps, const ScreenWatch& screens);

    DesktopAppIndex& apps() { return apps_; }

    std::optional<std::string> frontmostApp() override;
    std::vector<RunningApp> runningApps() override;
    bool canOpen(const std::string& url) override;
    void open(const std::string& url) override;
    Point pointerLocation() override;
    std::vector<Screen> screens() override;
    std::optional<std::size_t> mainScreen() override;
    std::optional<std::string> displayName(const std::string& bundleID) override;

    // The window the window manager calls active (the focused client); any thread.
    std::optional<WindowInfo> activeWindow();
    // The client window shown at a point in the X server's device pixels (origin at the
    // top left); any thread.
    std::optional<WindowInfo> windowAt(Point devicePoint);
    // The active window when it belongs to `bundleID`, else the first client window of it.
    std::optional<WindowInfo> windowOf(const std::string& bundleID);

    // The application of a client window; our own windows are the program's own id.
    std::optional<std::string> appOf(xcb_window_t window);

  private:
    WindowInfo info(xcb_window_t window);
    // appOf with the window's process id and WM_CLASS already read.
    std::optional<std::string> appOf(
        xcb_window_t window, const std::optional<std::uint32_t>& pid,
        const std::optional<std::pair<std::string, std::string>>& wmClass);
    // The client window inside a top-level (a window manager's frame holds it).
    std::optional<xcb_window_t> clientIn(xcb_window_t topLevel);
    std::vector<xcb_window_t> clientList();

    X11Connection& x_;
    DesktopAppIndex& apps_;
    const ScreenWatch& screens_;
    std::mutex mutex_;
    struct CachedApp {
        std::optional<std::uint32_t> pid;
        std::optional<std::pair<std::string, std::string>> wmClass;
        std::optional<std::string> app;
    };
    std::map<xcb_window_t, CachedApp> appCache_;
    std::map<std::string, std::pair<bool, std::chrono::steady_clock::time_point>> openable_;
};

}  // namespace pivorel
