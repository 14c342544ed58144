#include "Pivorel/GnomeWayland/GnomeWaylandDesktop.h"

#include <QGuiApplication>
#include <QWindow>
#include <atomic>
#include <chrono>
#include <future>

#include "Pivorel/GnomeWayland/ShellExtension.h"
#include "Pivorel/GnomeWayland/ShellInputMonitor.h"
#include "Pivorel/Linux/X11Accessibility.h"
#include "Pivorel/Linux/X11Parts.h"

namespace pivorel {

namespace {

// X11's view of the desktop, but for what only the compositor knows: which application has
// the focus and where the pointer is.
class ShellWorkspace final : public Workspace {
  public:
    ShellWorkspace(X11Workspace& x11, ShellInputMonitor& shell) : x11_(x11), shell_(shell) {}

    std::optional<std::string> frontmostApp() override { return shell_.focusedApp(); }
    std::vector<RunningApp> runningApps() override { return x11_.runningApps(); }
    bool canOpen(const std::string& url) override { return x11_.canOpen(url); }
    void open(const std::string& url) override { x11_.open(url); }
    Point pointerLocation() override {
        const auto pointer = shell_.pointer();
        return pointer ? *pointer : x11_.pointerLocation();
    }
    std::vector<Screen> screens() override { return x11_.screens(); }
    std::optional<std::size_t> mainScreen() override { return x11_.mainScreen(); }
    std::optional<std::string> displayName(const std::string& bundleID) override {
        return x11_.displayName(bundleID);
    }

  private:
    X11Workspace& x11_;
    ShellInputMonitor& shell_;
};

class ShellDesktop final : public LinuxDesktop {
  public:
    explicit ShellDesktop(std::unique_ptr<X11Parts> parts) : parts_(std::move(parts)) {}

    ~ShellDesktop() override {
        gestureEnds_.reset();
        if (prefetch_.valid()) prefetch_.wait();
        accessibility_.reset();
        workspace_.reset();
        input_.reset();
    }

    void start() {
        ShellInputMonitor::Environment environment;
        environment.coordinates = [this] { return screens_.coordinates(); };
        environment.isOwnPoint = [](Point p) { return onOwnWindow(p); };
        input_ = std::make_unique<ShellInputMonitor>(QDBusConnection::sessionBus(),
                                                     std::move(environment));
        workspace_ = std::make_unique<ShellWorkspace>(x11Workspace_, *input_);
        // Mutter's bridge owns X11 PRIMARY for every change, so a selection is told fresh by
        // counting changes: those after the end of the gesture before the last one belong
        // to the last gesture (or to the hot key's read after it). Connected before the
        // selection watcher, so the count is taken before its read.
        const xcb_atom_t primary = selections_->atom("PRIMARY");
        lastUp_ = selections_->changes(primary).count;
        baseline_ = lastUp_;
        gestureEnds_ = input_->monitorGestures([this, primary](const GestureEvent& event) {
            if (!event.isLeftMouseUp()) return;
            baseline_ = lastUp_;
            lastUp_ = selections_->changes(primary).count;
            // The shell reports a gesture only when the selection changed: start reading it
            // now, during the read's delay (skipped while an earlier read still waits).
            if (!prefetch_.valid() ||
                prefetch_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
                prefetch_ =
                    std::async(std::launch::async, [this] { accessibility_->prefetchPrimary(); });
            }
        });

        X11Accessibility::Environment accessEnv;
        accessEnv.coordinates = [this] { return screens_.coordinates(); };
        accessEnv.trusted = [this] { return status_.enabled(); };
        accessEnv.primaryBaseline = [this] { return baseline_.load(); };
        accessEnv.pointQueries = false;
        accessEnv.focusedPid = [this](const std::optional<std::string>& app) {
            // Only the focused window's process is known; another application's is not.
            if (app && *app != input_->focusedApp()) return std::optional<std::uint32_t>();
            return input_->focusedPid();
        };
        accessibility_ = std::make_unique<X11Accessibility>(
            *x_, *selections_, x11Workspace_, keyboard_, atspi_, std::move(accessEnv));
        parts_->start();
    }

    InputMonitor& input() override { return *input_; }
    Accessibility& accessibility() override { return *accessibility_; }
    PasteboardLike& pasteboard() override { return clipboard_; }
    Workspace& workspace() override { return *workspace_; }

    bool registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                        std::function<void()> onPressed) override {
        const auto accelerator = ShellExtension::accelerator(keyCode, modifiers);
        if (!accelerator) return false;
        return input_->setHotKey(*accelerator, std::move(onPressed));
    }

    void unregisterHotKey() override { input_->setHotKey({}, {}); }

  private:
    static bool onOwnWindow(Point devicePoint) {
        for (QWindow* window : QGuiApplication::topLevelWindows()) {
            if (!window->isVisible()) continue;
            const double scale = window->devicePixelRatio();
            const QRect g = window->geometry();
            if (devicePoint.x >= g.x() * scale && devicePoint.x < (g.x() + g.width()) * scale &&
                devicePoint.y >= g.y() * scale && devicePoint.y < (g.y() + g.height()) * scale) {
                return true;
            }
        }
        return false;
    }

    std::unique_ptr<X11Parts> parts_;
    std::unique_ptr<X11Connection>& x_ = parts_->x;
    ScreenWatch& screens_ = parts_->screens;
    X11Keyboard& keyboard_ = parts_->keyboard;
    X11Workspace& x11Workspace_ = parts_->workspace;
    std::unique_ptr<X11Selections>& selections_ = parts_->selections;
    X11Clipboard& clipboard_ = parts_->clipboard;
    AtSpiClient& atspi_ = parts_->atspi;
    AtSpiStatus& status_ = parts_->status;
    std::unique_ptr<ShellInputMonitor> input_;
    std::unique_ptr<ShellWorkspace> workspace_;
    std::unique_ptr<X11Accessibility> accessibility_;
    std::future<void> prefetch_;
    Connection gestureEnds_;
    std::int64_t lastUp_ = 0;
    std::atomic<std::int64_t> baseline_{0};
};

}  // namespace

Result<std::unique_ptr<LinuxDesktop>, std::string> GnomeWaylandDesktop::connect(MainQueue& queue) {
    (void)queue;  // D-Bus signals and X events arrive on the main thread's event loop
    if (!qGuiApp) return fail(std::string("no QGuiApplication"));
    if (QGuiApplication::platformName() != "xcb") {
        return fail(std::string("Xwayland is not in use (Qt platform \"") +
                    QGuiApplication::platformName().toStdString() + "\")");
    }
    if (!ShellExtension::running())
        return fail(std::string("the GNOME Shell extension is not running"));
    auto parts = X11Parts::open();
    if (!parts) return fail(parts.error());
    auto desktop = std::make_unique<ShellDesktop>(std::move(parts).value());
    desktop->start();
    return std::unique_ptr<LinuxDesktop>(std::move(desktop));
}

}  // namespace pivorel
