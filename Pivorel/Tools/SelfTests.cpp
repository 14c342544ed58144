#include "Pivorel/Tools/SelfTests.h"

#include <QApplication>
#include <QUuid>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <variant>

#include "BrisendoKit/Actions/ActionConfigStore.h"
#include "BrisendoKit/BarPanel/BarController.h"
#include "BrisendoKit/BarPanel/PanelController.h"
#include "BrisendoKit/Coordinator/AppController.h"
#include "BrisendoKit/Selection/SelectionDetector.h"
#include "BrisendoKit/Storage/SelectRequest.h"
#include "BrisendoKit/Storage/Store.h"
#include "BrisendoKit/Support/AppIdentity.h"
#include "Pivorel/Bar/BarPanel.h"
#include "Pivorel/Linux/LinuxDesktop.h"
#include "Pivorel/Linux/WindowServer.h"
#include "Pivorel/Panel/FloatingPanel.h"
#include "Pivorel/QtMainQueue.h"

namespace pivorel {

namespace {

using Detector = SelectionDetector;
using namespace std::chrono_literals;

std::string yesNo(bool b) {
    return b ? "true" : "false";
}

std::string freshID() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toLower().toStdString();
}

std::string describe(const Detector::Commands& commands) {
    std::ostringstream s;
    s << "[";
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (i) s << ", ";
        std::visit(
            [&s](const auto& c) {
                using T = std::decay_t<decltype(c)>;
                if constexpr (std::is_same_v<T, Detector::Command::Read>) {
                    s << "read(token=" << c.token << " after=" << c.after << ")";
                } else if constexpr (std::is_same_v<T, Detector::Command::Show>) {
                    s << "show(text=" << c.text << " app=" << c.app.value_or("-") << ")";
                } else {
                    s << "hide(" << toString(c.reason) << ")";
                }
            },
            commands[i].value);
    }
    s << "]";
    return s.str();
}

template <class C>
const C* only(const Detector::Commands& commands) {
    return commands.size() == 1 ? std::get_if<C>(&commands.front().value) : nullptr;
}

// The parts both self tests stand on: the real desktop and windows, a coordinator over a
// database and an action configuration of their own.
struct Rig {
    QtMainQueue queue;
    SystemClock clock;
    std::unique_ptr<Store> store;
    std::unique_ptr<LinuxDesktop> desktop;
    std::unique_ptr<BarPanel> barWindow;
    std::unique_ptr<FloatingPanel> panelWindow;
    std::unique_ptr<BarController> bar;
    std::unique_ptr<PanelController> panel;
    std::unique_ptr<AppController> controller;

    std::filesystem::path actionsDir;

    ~Rig() {
        controller.reset();
        panel.reset();
        bar.reset();
        // Only the database is kept for a look afterwards.
        std::error_code ec;
        if (!actionsDir.empty()) std::filesystem::remove_all(actionsDir, ec);
    }

    // Empty when it is up, else the line that says what failed.
    std::string build(const std::filesystem::path& database) {
        auto opened = Store::open(database);
        if (!opened) return "store FAILED (" + opened.error().describe() + ")";
        store = std::move(*opened);
        auto connected = LinuxDesktop::connect(queue);
        if (!connected) return "desktop FAILED (" + connected.error() + ")";
        desktop = std::move(*connected);
        std::error_code ec;
        actionsDir =
            std::filesystem::temp_directory_path() / ("pivorel-selftest-actions-" + freshID());
        std::filesystem::create_directories(actionsDir, ec);
        ActionConfigStore actions;
        actions.url = actionsDir / ActionConfigStore::fileName;
        barWindow = std::make_unique<BarPanel>();
        panelWindow = std::make_unique<FloatingPanel>(&desktop->pasteboard());
        bar = std::make_unique<BarController>(*barWindow, desktop->workspace());
        panel = std::make_unique<PanelController>(*panelWindow, desktop->workspace(),
                                                  desktop->input(), queue);
        controller = std::make_unique<AppController>(*store, actions, *bar, *panel,
                                                     desktop->workspace(), clock);
        return {};
    }
};

class BarSelfTest {
  public:
    explicit BarSelfTest(std::ostream& out) : out_(out) {}

    // Sets up and runs the synchronous steps; the window checks follow on the event loop.
    bool begin() {
        database_ = std::filesystem::temp_directory_path() /
                    ("pivorel-barselftest-" + freshID() + ".sqlite");
        if (const auto error = rig_.build(database_); !error.empty()) {
            line(error);
            return false;
        }
        startActive_ = WindowServer::activeWindow();
        startFront_ = rig_.desktop->workspace().frontmostApp();
        line("at start isActive=" + yesNo(WindowServer::isActive()) +
             " front=" + startFront_.value_or("-"));

        Detector::Config config;
        config.enabled = true;
        config.excluded.clear();
        config.pausedUntil.reset();
        config.ownBundleID = std::string(AppIdentity::bundleID);
        Detector detector(config);

        const std::string safari = "com.apple.Safari";
        auto t = rig_.clock.now();
        auto commands = gesture(detector, safari, t);
        line("after mouseUp -> " + describe(commands));
        check(commands.size() == 1, "mouseUp 之后状态机要求读一次选区");
        if (const auto* read = only<Detector::Command::Read>(commands)) {
            t += 100ms;
            commands = detector.readFinished(read->token, Detector::ReadResult::Text{"serendipity"},
                                             safari, t);
            check(commands.size() == 1, "读到字之后状态机要求显示小条");
            if (const auto* show = only<Detector::Command::Show>(commands)) {
                SelectRequest request;
                request.text = show->text;
                request.app = show->app;
                request.source = "bar";
                check(rig_.controller->showBar(request, show->down, show->up),
                      "AppController.showBar 入库并上屏");
                line("after showBar isActive=" + yesNo(WindowServer::isActive()));
            }
        }

        rig_.store->logBar("shown", safari, std::nullopt, 96, false, rig_.clock.now());

        const std::string terminal = "com.apple.Terminal";
        t += 1s;
        commands = gesture(detector, terminal, t);
        const auto gestureAt = t;
        for (int answer = 0; answer < 2; ++answer) {
            const auto* read = only<Detector::Command::Read>(commands);
            if (!read) break;
            t += 250ms;
            commands = detector.readFinished(
                read->token, Detector::ReadResult::Empty{"no-selection"}, terminal, t);
        }
        if (const auto miss = detector.hotkeyPressed(gestureAt + 1100ms)) {
            const bool logged = static_cast<bool>(rig_.store->logBar(
                "miss", miss->app, miss->reason, miss->ageMs, false, rig_.clock.now()));
            const std::string app = miss->app.value_or("-");
            check(logged && app == terminal && miss->reason == "no-selection",
                  "漏弹被识别并入库（" + app + " " + miss->reason + "）");
        } else {
            check(false, "应当识别出一次漏弹");
        }

        rig_.store->logBar("miss", std::string("com.dry.probe"), std::string("probe"), std::nullopt,
                           true, rig_.clock.now());
        return true;
    }

    // Half a second on: the bar as the window server sees it, then "…".
    void checkBar() {
        WindowServer::sync();
        const auto shown = WindowServer::ownWindowsOnScreen();
        int above = 0;
        bool barOnScreen = false;
        for (const auto& w : shown) {
            if (w.level() == WindowServer::popUpLevel) ++above;
            if (static_cast<std::int64_t>(w.id) == rig_.bar->windowNumber()) barOnScreen = true;
        }
        check(rig_.bar->isVisible(), "BarController 报告小条在屏");
        check(above == 1, "窗口服务器里恰有 1 个层级 101 的窗口（小条）");
        check(barOnScreen, "小条在窗口服务器里是在屏状态");
        check(!WindowServer::isActive(), "NSApp 没有被激活");
        check(WindowServer::activeWindow() == startActive_, "前台 App 未变");
        rig_.controller->barMore();
        check(!rig_.bar->isVisible(), "展开后小条消失");
    }

    // A moment after "…": only the panel, and the summary read back.
    int finish() {
        WindowServer::sync();
        const auto shown = WindowServer::ownWindowsOnScreen();
        check(shown.size() == 1 &&
                  static_cast<std::int64_t>(shown.front().id) != rig_.bar->windowNumber() &&
                  rig_.panel->isVisible(),
              "展开后只剩面板一个窗口");
        // The panel holds the keyboard, as a key panel does, and the window manager hands it
        // back on close; no other application may have come to the front.
        const auto active = WindowServer::activeWindow();
        check(active == startActive_ || WindowServer::isActive(), "展开后前台 App 仍未变");

        const auto summary = rig_.store->barSummary();
        bool terminalMiss = false;
        bool dryListed = false;
        if (summary) {
            for (const auto& row : *summary) {
                line("summary app=" + row.app + " shown=" + std::to_string(row.shown) +
                     " misses=" + std::to_string(row.misses));
                if (row.app == "com.apple.Terminal" && row.misses == 1) terminalMiss = true;
                if (row.app == "com.dry.probe") dryListed = true;
            }
        }
        check(summary && terminalMiss, "按 App 汇总能回读漏弹");
        check(summary && !dryListed, "dry 探针不进汇总");

        line("db kept at " + database_.string());
        line(failures_ == 0 ? std::string("ALL PASS") : std::to_string(failures_) + " FAILED");
        return failures_ == 0 ? 0 : 1;
    }

  private:
    Detector::Commands gesture(Detector& detector, const std::string& app, TimePoint& t) {
        const Point start{-30000, -30000};
        const Point end{-29800, -30000};
        detector.handle(Detector::Event::MouseDown{1, start}, app, t);
        t += 50ms;
        detector.handle(Detector::Event::MouseDragged{end}, app, t);
        t += 50ms;
        return detector.handle(Detector::Event::MouseUp{1, end, false}, app, t);
    }

    void line(const std::string& text) { out_ << "bar-selftest: " << text << std::endl; }

    void check(bool passed, const std::string& text) {
        line(std::string(passed ? "PASS " : "FAIL ") + text);
        if (!passed) ++failures_;
    }

    std::ostream& out_;
    Rig rig_;
    std::filesystem::path database_;
    std::optional<std::uint32_t> startActive_;
    std::optional<std::string> startFront_;
    int failures_ = 0;
};

// The process's application for a self test: X11, no quitting when a window closes.
std::unique_ptr<QApplication> makeApplication(int& argc, char** argv, std::ostream& out,
                                              const char* prefix) {
    if (!WindowServer::displayReachable()) {
        out << prefix << "no X display" << std::endl;
        return nullptr;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    auto app = std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pivorel"));
    QApplication::setQuitOnLastWindowClosed(false);
    return app;
}

}  // namespace

int runBarSelftest(int argc, char** argv, std::ostream& out) {
    auto app = makeApplication(argc, argv, out, "bar-selftest: ");
    if (!app) return 1;
    BarSelfTest test(out);
    if (!test.begin()) return 1;
    QtMainQueue queue;
    int status = 1;
    queue.postAfter(0.6, [&] {
        test.checkBar();
        queue.postAfter(0.3, [&] {
            status = test.finish();
            QCoreApplication::quit();
        });
    });
    QApplication::exec();
    return status;
}

int runPanelSelftest(int argc, char** argv, std::ostream& out) {
    auto app = makeApplication(argc, argv, out, "selftest: ");
    if (!app) return 1;
    Rig rig;
    const auto database =
        std::filesystem::temp_directory_path() / ("pivorel-selftest-" + freshID() + ".sqlite");
    if (const auto error = rig.build(database); !error.empty()) {
        out << "selftest: " << error << std::endl;
        return 1;
    }
    SelectRequest request;
    request.text = "serendipity";
    request.app = "com.apple.Safari";
    request.source = "popclip";
    rig.controller->handle(request, rig.desktop->workspace().pointerLocation());

    int status = 1;
    rig.queue.postAfter(1.5, [&] {
        WindowServer::sync();
        const auto shown = WindowServer::ownWindowsOnScreen();
        out << "selftest: panel windows=" << shown.size() << std::endl;
        for (const auto& w : shown) {
            out << "selftest: layer=" << w.level() << " w=" << w.width << " h=" << w.height
                << " onscreen=" << yesNo(w.onScreen) << std::endl;
        }
        out << "selftest: NSApp.isActive=" << yesNo(WindowServer::isActive()) << std::endl;
        status = shown.size() == 1 && shown.front().level() == WindowServer::popUpLevel ? 0 : 1;
        QCoreApplication::quit();
    });
    QApplication::exec();
    return status;
}

}  // namespace pivorel
