#include "Pivorel/Linux/LinuxDesktop.h"

#include <QGuiApplication>
#include <QStyleHints>
#include <QWindow>
#include <algorithm>
#include <set>

#include "Pivorel/Linux/X11Accessibility.h"
#include "Pivorel/Linux/X11HotKey.h"
#include "Pivorel/Linux/X11InputMonitor.h"
#include "Pivorel/Linux/X11Parts.h"

namespace pivorel {

namespace {

class X11Desktop final : public LinuxDesktop {
  public:
    explicit X11Desktop(std::unique_ptr<X11Parts> parts) : parts_(std::move(parts)) {}

    ~X11Desktop() override {
        // The accessibility and the hot key refer to the input monitor's neighbours.
        hotKey_.reset();
        accessibility_.reset();
        input_.reset();
    }

    Result<bool, std::string> start() {
        X11InputMonitor::Environment environment;
        environment.isOwnWindow = [this](xcb_window_t child) { return isOwnWindow(child); };
        environment.ownWindowFocused = [] { return QGuiApplication::focusWindow() != nullptr; };
        environment.frontmostApp = [this] { return workspace_.frontmostApp(); };
        environment.coordinates = [this] { return screens_.coordinates(); };
        environment.doubleClickInterval = [] {
            const int ms = QGuiApplication::styleHints()->mouseDoubleClickInterval();
            return static_cast<std::uint32_t>(ms > 0 ? ms : 400);
        };
        auto input = X11InputMonitor::create(*x_, keyboard_, std::move(environment));
        if (!input) return fail(input.error());
        input_ = std::move(input).value();

        X11Accessibility::Environment accessEnv;
        accessEnv.lastPressTime = [this] { return input_->lastLeftPressTime(); };
        accessEnv.coordinates = [this] { return screens_.coordinates(); };
        accessEnv.expectSyntheticKeys = [this](const std::vector<xcb_keycode_t>& codes) {
            input_->expectSyntheticKeys(codes);
        };
        accessEnv.trusted = [this] { return status_.enabled(); };
        accessibility_ = std::make_unique<X11Accessibility>(
            *x_, *selections_, workspace_, keyboard_, atspi_, std::move(accessEnv));
        hotKey_ = std::make_unique<X11HotKey>(*x_, keyboard_);
        parts_->start();
        return true;
    }

    InputMonitor& input() override { return *input_; }
    Accessibility& accessibility() override { return *accessibility_; }
    PasteboardLike& pasteboard() override { return clipboard_; }
    Workspace& workspace() override { return workspace_; }

    bool registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                        std::function<void()> onPressed) override {
        const bool ok = hotKey_->registerKey(keyCode, modifiers, std::move(onPressed));
        input_->setHotKey(hotKey_->grabbed());
        return ok;
    }

    void unregisterHotKey() override {
        hotKey_->unregisterKey();
        input_->setHotKey(std::nullopt);
    }

  private:
    // Whether the top-level window under the pointer is the bar, the panel or another of
    // ours, directly or inside the window manager's frame.
    bool isOwnWindow(xcb_window_t child) {
        if (child == XCB_WINDOW_NONE) return false;
        std::set<xcb_window_t> own;
        for (QWindow* window : QGuiApplication::topLevelWindows()) {
            if (window->isVisible()) own.insert(static_cast<xcb_window_t>(window->winId()));
        }
        if (own.empty()) return false;
        const auto windows = x_->windowAndDescendants(child, 2);
        return std::any_of(windows.begin(), windows.end(),
                           [&](xcb_window_t w) { return own.count(w) > 0; });
    }

    std::unique_ptr<X11Parts> parts_;
    std::unique_ptr<X11Connection>& x_ = parts_->x;
    ScreenWatch& screens_ = parts_->screens;
    X11Keyboard& keyboard_ = parts_->keyboard;
    X11Workspace& workspace_ = parts_->workspace;
    std::unique_ptr<X11Selections>& selections_ = parts_->selections;
    X11Clipboard& clipboard_ = parts_->clipboard;
    AtSpiClient& atspi_ = parts_->atspi;
    AtSpiStatus& status_ = parts_->status;
    std::unique_ptr<X11InputMonitor> input_;
    std::unique_ptr<X11Accessibility> accessibility_;
    std::unique_ptr<X11HotKey> hotKey_;
};

}  // namespace

Result<std::unique_ptr<LinuxDesktop>, std::string> LinuxDesktop::connect(MainQueue& queue) {
    (void)queue;  // every callback already arrives on the main thread's event loop
    if (!qGuiApp) return fail(std::string("no QGuiApplication"));
    if (QGuiApplication::platformName() != "xcb") {
        return fail("not an X11 session (Qt platform \"" +
                    QGuiApplication::platformName().toStdString() + "\")");
    }
    auto parts = X11Parts::open();
    if (!parts) return fail(parts.error());
    auto desktop = std::make_unique<X11Desktop>(std::move(parts).value());
    if (auto started = desktop->start(); !started) return fail(started.error());
    return std::unique_ptr<LinuxDesktop>(std::move(desktop));
}

}  // namespace pivorel
