#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <fstream>

#include "BrisendoKit/Actions/ActionConfigStore.h"
#include "BrisendoKit/BarPanel/BarPlacement.h"
#include "BrisendoKit/Coordinator/AppController.h"
#include "BrisendoKit/Platform/Workspace.h"
#include "BrisendoKit/Storage/BarSettings.h"
#include "BrisendoKit/Storage/Store.h"
#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "LocalHttpServer.h"
#include "Pivorel/AppDelegate.h"
#include "Pivorel/Linux/ChildProcess.h"
#include "Pivorel/Linux/ScreenCoordinates.h"
#include "Pivorel/Linux/WindowServer.h"
#include "Pivorel/Linux/XDesktopTestSupport.h"
#include "TempDir.h"

using namespace pivorel;
using namespace pivorel::test;
using namespace std::chrono_literals;

namespace {

constexpr std::string_view gestureLine = "选择手势";
constexpr std::string_view readLine = "小条读选区";
const std::string fieldsApp = "pivorel-test-fields";

// The rows `sql` gives in the history database, each column as text.
using Row = std::vector<std::optional<std::string>>;
std::vector<Row> query(const std::filesystem::path& database, const std::string& sql) {
    std::vector<Row> rows;
    sqlite3* db = nullptr;
    sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_exec(
        db, sql.c_str(),
        [](void* out, int n, char** values, char**) {
            Row row;
            for (int i = 0; i < n; ++i)
                row.push_back(values[i] ? std::optional<std::string>(values[i]) : std::nullopt);
            static_cast<std::vector<Row>*>(out)->push_back(std::move(row));
            return 0;
        },
        &rows, nullptr);
    sqlite3_close(db);
    return rows;
}

// One row of the bar log as the history store wrote it.
struct BarRow {
    std::optional<std::string> app;
    std::optional<std::string> reason;
    std::int64_t latencyMs = -1;
};

// Not a test: a program whose selection only its own Copy gives out (neither PRIMARY nor the
// accessibility bus), as with some web-view programs; run in a process of its own.
class CopyOnlyView final : public QWidget {
  public:
    static constexpr const char* words = "copied only words";

    CopyOnlyView() {
        setFocusPolicy(Qt::StrongFocus);
        setWindowTitle("Pivorel copy-only text");
        resize(320, 60);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (selected_) painter.fillRect(rect().adjusted(8, 16, -8, -16), palette().highlight());
        painter.drawText(rect(), Qt::AlignCenter, words);
    }
    void mousePressEvent(QMouseEvent* event) override {
        anchor_ = event->position();
        selected_ = false;
        update();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if ((event->position() - anchor_).manhattanLength() > 4) selected_ = true;
        update();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (!event->matches(QKeySequence::Copy)) return QWidget::keyPressEvent(event);
        if (selected_) QGuiApplication::clipboard()->setText(words, QClipboard::Clipboard);
    }

  private:
    QPointF anchor_;
    bool selected_ = false;
};

// The whole program in this process on a private display with openbox, the user's files in
// a temporary home, and real programs around it driven by xdotool.
class EndToEnd : public ::testing::Test {
  protected:
    virtual XSessionOptions layout() const { return {}; }

    void SetUp() override {
        x_ = &XSession::shared(layout());
        if (!x_->ok()) GTEST_SKIP() << x_->error();
        static TempDir home;  // the settings store is the process's once made
        useHome(home.path());
        // Copy first and nothing reordered, so a click on the first icon has no outside
        // effects; the model endpoint refuses at once.
        ActionConfig config;
        config.order.insert(config.order.begin(), "copy");
        config.smartRanking = false;
        ASSERT_TRUE(
            ActionConfigStore{AppIdentity::supportDirectory() / "actions.json"}.save(config));
        UserDefaults::standard()->set("llmBaseURL", "http://127.0.0.1:9/v1");
        settings().setCopyFallbackApps({});
        qtApp("xcb");
        accessible_ = enableAccessibility(*x_);
        log_ = std::make_unique<LogCapture>();
        delegate_ = startDelegate();
        ASSERT_TRUE(delegate_);
        controller_ = delegate_->controller();
        firstRow_ = *sql("SELECT coalesce(max(id), 0) FROM bar_log")[0][0];
    }

    void TearDown() override {
        delegate_.reset();
        for (const pid_t pid : clients_) x_->terminate(pid);
        log_.reset();
    }

    static BarSettings settings() { return BarSettings(UserDefaults::standard()); }
    std::vector<Row> sql(const std::string& s) const {
        return query(delegate_->store()->path(), s);
    }

    // Starts a client, waits for its window and gives it the keyboard.
    std::uint32_t start(const std::vector<std::string>& argv, const std::string& windowClass) {
        return started(x_->spawn(argv), windowClass);
    }

    std::uint32_t started(pid_t pid, const std::string& windowClass) {
        clients_.push_back(pid);
        const auto window = x_->waitForWindow(windowClass, 20s);
        if (!window) return 0;
        settle(300ms);
        if (!drive(*x_, {"windowactivate", "--sync", std::to_string(*window)}) ||
            !waitUntil([&] { return WindowServer::activeWindow() == *window; })) {
            return 0;
        }
        return *window;
    }

    // A program of this test executable, run in a process of its own.
    std::uint32_t startProgram(const std::string& test, const std::string& windowClass) {
        return started(spawnTestProgram(*x_, test), windowClass);
    }

    std::uint32_t startXterm(const std::string& geometry, const std::string& script) {
        return start({"xterm", "-fn", "6x13", "-geometry", geometry, "-e", "sh", "-c", script},
                     "xterm");
    }

    std::optional<std::string> barText() const {
        if (!controller_->bar().isVisible() || !controller_->barContext()) return std::nullopt;
        return controller_->barContext()->request.text;
    }

    std::vector<BarRow> rows(std::string_view event) const {
        std::vector<BarRow> out;
        for (const auto& r :
             sql("SELECT app, reason, coalesce(latency_ms, -1) FROM bar_log "
                 "WHERE id > " +
                 firstRow_ + " AND event = '" + std::string(event) + "' ORDER BY id"))
            out.push_back({r[0], r[1], std::stoll(*r[2])});
        return out;
    }

    std::string recentLog() const {
        std::string out;
        const auto lines = log_->lines();
        for (std::size_t i = lines.size() > 6 ? lines.size() - 6 : 0; i < lines.size(); ++i)
            out += "\n  " + lines[i];
        return out;
    }

    // A gesture in `client` that must bring up the bar for exactly `text`, logged as shown
    // with the read delay in its latency, while the client keeps the keyboard.
    void expectBar(const std::vector<std::string>& steps, const std::string& text,
                   std::uint32_t client, const std::string& app) {
        SCOPED_TRACE(text);
        const auto shownBefore = rows("shown").size();
        ASSERT_TRUE(drive(*x_, steps));
        ASSERT_TRUE(
            waitUntil([&] { return barText() == text && rows("shown").size() > shownBefore; }, 8s))
            << "bar: " << barText().value_or("none") << recentLog();
        const auto shown = rows("shown");
        ASSERT_EQ(shown.size(), shownBefore + 1);
        EXPECT_EQ(shown.back().app, app);
        EXPECT_GE(shown.back().latencyMs, 80);
        EXPECT_EQ(WindowServer::activeWindow(), client);
        EXPECT_FALSE(WindowServer::isActive());
    }

    // A gesture that must bring up no bar, after `reads` reads of the selection (none for a
    // plain click, two when the first read is retried).
    void expectNoBar(const std::vector<std::string>& steps, std::size_t reads,
                     const std::string& what) {
        SCOPED_TRACE(what);
        const auto gestures = logged(gestureLine);
        const auto readsBefore = logged(readLine);
        const auto shown = rows("shown").size();
        ASSERT_TRUE(drive(*x_, steps));
        if (reads == 0) {
            settle(300ms);
            EXPECT_EQ(logged(gestureLine), gestures) << recentLog();
        } else {
            waitUntil([&] { return logged(readLine) >= readsBefore + reads; }, 8s);
            settle(100ms);
            EXPECT_EQ(logged(readLine), readsBefore + reads) << recentLog();
        }
        EXPECT_EQ(barText(), std::nullopt);
        EXPECT_EQ(rows("shown").size(), shown);
    }

    // How many log lines since the `from`th one hold `fragment`.
    std::size_t logged(std::string_view fragment, std::size_t from = 0) const {
        const auto lines = log_->lines();
        return static_cast<std::size_t>(std::count_if(
            lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())), lines.end(),
            [&](const auto& l) { return l.find(fragment) != std::string::npos; }));
    }

    // A click where the program says the bar's first icon is (copy): chosen, and first.
    void chooseTheFirstIcon() {
        const auto context = controller_->barContext();
        ASSERT_TRUE(context);
        ASSERT_EQ(context->barOrder.front(), ActionID::copy());
        const Point origin = controller_->bar().contentOrigin();
        const Point first =
            ScreenCoordinates::current().toDevice(Point{origin.x + 3 + 12, origin.y + 14});
        ASSERT_TRUE(drive(*x_, clickSteps({static_cast<int>(first.x), static_cast<int>(first.y)})));
        ASSERT_TRUE(waitUntil([&] { return !controller_->bar().isVisible(); }));
        const auto record = delegate_->store()->record(context->id);
        ASSERT_TRUE(record && record->has_value());
        EXPECT_EQ((*record)->chosen, ActionID::copy());
        EXPECT_EQ((*record)->chosenRank, 1);
    }

    bool pressHotKey() { return drive(*x_, {"key", "ctrl+alt+n"}); }

    XSession* x_ = nullptr;
    bool accessible_ = false;
    std::vector<pid_t> clients_;
    std::unique_ptr<LogCapture> log_;
    std::unique_ptr<AppDelegate> delegate_;
    AppController* controller_ = nullptr;
    std::string firstRow_;
};

// Two monitors side by side on one X screen; the second is taller and not primary.
class EndToEndTwoScreens : public EndToEnd {
  protected:
    XSessionOptions layout() const override {
        return {{"2720x1024x24"}, false, {"1440x900+0+0", "1280x1024+1440+0"}, true};
    }
};

// Programs people use, each started once with every case in sequence.
class EndToEndApps : public EndToEnd {
  protected:
    void SetUp() override {
        page_.server.Get("/page.html", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(pageHTML, "text/html; charset=utf-8");
        });
        page_.start();
        EndToEnd::SetUp();
    }

    static bool installed(const std::string& program) {
        return !ChildProcess::findInPath(program).empty();
    }

    // A file of the test's home with `lines` copies of the same line.
    static std::string linesFile(const std::string& name, int lines) {
        const auto path = AppIdentity::supportDirectory().parent_path() / name;
        std::ofstream file(path);
        for (int i = 0; i < lines; ++i) file << "alpha beta gamma\n";
        return path.string();
    }

    std::string selectionCount() const { return *sql("SELECT count(*) FROM selections")[0][0]; }

    // The page the browsers show full-screen, so that page and screen share coordinates.
    static constexpr const char* pageHTML =
        "<!doctype html><html><head><meta charset='utf-8'><title>Pivorel page</title></head>"
        "<body style='margin:0;font:24px/32px sans-serif'>"
        "<p style='position:absolute;left:20px;top:20px;margin:0;width:600px'>quick brown fox</p>"
        "<input style='position:absolute;left:20px;top:100px;font:24px sans-serif;width:400px'"
        " value='plain field words'>"
        "<input type='password' style='position:absolute;left:20px;top:180px;"
        "font:24px sans-serif;width:400px' value='hunter2secret'></body></html>";
    static constexpr XPoint quick{40, 36}, paragraphStart{21, 36}, paragraphEnd{250, 36},
        password{60, 196}, emptyArea{800, 500};

    // Gestures on the page: its text, its empty area and its password field.
    void expectPageCases(std::uint32_t browser, const std::string& app) {
        // A press on selected text drags it elsewhere: the drag comes first.
        ASSERT_NO_FATAL_FAILURE(
            expectBar(dragSteps(paragraphStart, paragraphEnd), "quick brown fox", browser, app));
        ASSERT_TRUE(controller_->barContext());
        EXPECT_EQ(controller_->barContext()->request.url, page_.url("/page.html"));
        expectBar(clickSteps(quick, 2), "quick", browser, app);
        expectNoBar(clickSteps(emptyArea, 2), 2, "a double click on the empty page");
        const auto before = log_->lines().size();
        expectNoBar(clickSteps(password, 2), 1, "a double click in the password field");
        EXPECT_TRUE(logged("ignored(secure-field)", before)) << recentLog();
    }

    LocalHttpServer page_;
};

constexpr const char* xtermLines = "printf 'alpha beta gamma\\n'; exec sleep 600";

}  // namespace

TEST(EndToEndCopyOnlyProgram, DISABLED_Serve) {
    static int argc = 1;
    static char name[] = "pivorel-test-copy";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    CopyOnlyView view;
    view.show();
    app.exec();
}

TEST_F(EndToEnd, XtermShowsTheBarForTheGesturesSelectionOnly) {
    const auto term = startXterm("60x8+40+40", xtermLines);
    ASSERT_TRUE(term);
    const auto g = x_->windowGeometry(term);

    expectBar(dragSteps(cell(g, 0, 0), cell(g, 40, 0)), "alpha beta gamma", term, "debian-xterm");
    expectBar(clickSteps(cell(g, 7, 0), 2), "beta", term, "debian-xterm");
    // One click on the first icon performs it; the short notice comes and goes, and the
    // terminal has the keyboard again.
    chooseTheFirstIcon();
    ASSERT_TRUE(waitUntil([&] { return !controller_->panel().isVisible(); }, 4s));
    EXPECT_EQ(controller_->panel().lastCloseReason(), "notice-timeout");
    EXPECT_TRUE(waitUntil([&] { return WindowServer::activeWindow() == term; }));

    expectNoBar(clickSteps(cell(g, 8, 3)), 0, "a single click");
    // xterm does not select on a shift-click, and still serves "beta" from before the press.
    expectNoBar(clickSteps(cell(g, 20, 0), 1, true), 2, "a shift-click after an earlier selection");
    expectNoBar(dragSteps(cell(g, 2, 3), cell(g, 30, 5)), 2, "a drag over empty lines");

    // A panel an inbound link opens leaves the keyboard with the terminal: a Return typed
    // there runs no action.
    std::optional<std::optional<std::string>> heard;
    delegate_->open("pivorel://select?text=https%3A%2F%2Fexample.com",
                    [&](auto refusal) { heard = refusal; });
    ASSERT_TRUE(waitUntil([&] { return heard.has_value(); }));
    ASSERT_EQ(*heard, std::nullopt);
    ASSERT_TRUE(controller_->panel().isVisible());
    ASSERT_TRUE(drive(*x_, {"key", "Return"}));
    settle(500ms);
    EXPECT_TRUE(controller_->panel().isVisible());
    EXPECT_TRUE(controller_->panel().model()->mode().isList());
    EXPECT_EQ(WindowServer::activeWindow(), term);
    // Pointed at, it takes the keyboard: Escape closes it.
    const Rect panel = controller_->panel().frame();
    // (A relative move: xdotool's absolute one warps, which no raw motion reports.)
    ASSERT_TRUE(
        drive(*x_, {"mousemove", std::to_string(int(panel.x + panel.width / 2)),
                    std::to_string(int(panel.y + 12)), "mousemove_relative", "--", "3", "3"}));
    ASSERT_TRUE(waitUntil([] { return WindowServer::isActive(); }));
    ASSERT_TRUE(drive(*x_, {"key", "Escape"}));
    EXPECT_TRUE(waitUntil([&] { return !controller_->panel().isVisible(); }));
    EXPECT_EQ(controller_->panel().lastCloseReason(), "esc");
}

TEST_F(EndToEnd, QtFieldsShowTheBarButPasswordsNever) {
    const auto fields = startProgram("QtFieldProgram.DISABLED_Serve", fieldsApp);
    ASSERT_TRUE(fields);
    const auto g = x_->windowGeometry(fields);
    const XPoint textLeft{g[0] + 12, g[1] + 25}, textRight{g[0] + 300, g[1] + 25};
    const std::string& app = fieldsApp;

    expectBar(dragSteps(textLeft, textRight), "quick brown fox", fields, app);
    EXPECT_EQ(controller_->barContext()->request.editable, accessible_);
    expectBar(clickSteps({g[0] + 16, g[1] + 25}, 2), "quick", fields, app);
    expectNoBar(clickSteps(textRight), 0, "a single click");
    expectBar(clickSteps(textLeft, 1, true), "quick brown fox", fields, app);
    // The field keeps its selection and PRIMARY while the window's background is dragged
    // across and double-clicked: neither gesture selected anything.
    expectNoBar(dragSteps({g[0] + 20, g[1] + 50}, {g[0] + 200, g[1] + 50}), 2,
                "a drag on empty space");
    expectNoBar(clickSteps({g[0] + 100, g[1] + 50}, 2), 2, "a double click on empty space");

    // Known for what it is on the accessibility bus; it publishes nothing either way.
    const auto before = log_->lines().size();
    expectNoBar(dragSteps({g[0] + 12, g[1] + 75}, {g[0] + 300, g[1] + 75}), accessible_ ? 1 : 2,
                "a password field");
    if (accessible_) {
        EXPECT_TRUE(logged("ignored(secure-field)", before)) << recentLog();
    }
}

TEST_F(EndToEnd, TheHotKeyOpensThePanelAndReportsTheBarThatDidNotCome) {
    const auto fields = startProgram("QtFieldProgram.DISABLED_Serve", fieldsApp);
    ASSERT_TRUE(fields);
    const auto g = x_->windowGeometry(fields);
    expectBar(dragSteps({g[0] + 12, g[1] + 25}, {g[0] + 300, g[1] + 25}), "quick brown fox", fields,
              fieldsApp);

    // With a bar up: the panel, on what is selected, and no miss.
    ASSERT_TRUE(pressHotKey());
    ASSERT_TRUE(waitUntil([&] { return controller_->panel().isVisible(); }));
    ASSERT_TRUE(controller_->currentRequest());
    EXPECT_EQ(controller_->currentRequest()->text, "quick brown fox");
    EXPECT_EQ(controller_->currentRequest()->source, "hotkey");
    EXPECT_FALSE(controller_->bar().isVisible());
    // The panel has the keyboard; Escape closes it and gives the keyboard back.
    auto model = controller_->panel().model();
    ASSERT_TRUE(model);
    ASSERT_TRUE(waitUntil([] { return WindowServer::isActive(); }));
    ASSERT_TRUE(drive(*x_, {"key", "Down"}));
    EXPECT_TRUE(waitUntil([&] { return model->highlighted() == 1; }));
    ASSERT_TRUE(drive(*x_, {"key", "Escape"}));
    ASSERT_TRUE(waitUntil([&] { return !controller_->panel().isVisible(); }));
    EXPECT_EQ(controller_->panel().lastCloseReason(), "esc");
    ASSERT_TRUE(waitUntil([&] { return WindowServer::activeWindow() == fields; }));

    // A second after a gesture that brought no bar: a miss, with the reader's reason and
    // the time since the gesture.
    const auto reads = logged(readLine);
    ASSERT_TRUE(drive(*x_, dragSteps({g[0] + 20, g[1] + 50}, {g[0] + 200, g[1] + 50})));
    const auto released = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitUntil([&] { return logged(readLine) == reads + 2; }));
    settle(std::chrono::duration_cast<std::chrono::milliseconds>(released + 1s -
                                                                 std::chrono::steady_clock::now()));
    EXPECT_FALSE(controller_->bar().isVisible());
    ASSERT_TRUE(pressHotKey());
    ASSERT_TRUE(waitUntil([&] { return !rows("miss").empty(); }));
    const auto misses = rows("miss");
    ASSERT_EQ(misses.size(), 1u);
    EXPECT_EQ(misses[0].app, fieldsApp);
    EXPECT_EQ(misses[0].reason, "no-selection");
    EXPECT_GE(misses[0].latencyMs, 1000);
    EXPECT_LT(misses[0].latencyMs, 3000);
    // The hot key reads what the field still holds selected.
    ASSERT_TRUE(waitUntil([&] { return controller_->panel().isVisible(); }));
    controller_->panel().close("esc");
    // One gesture, one miss.
    ASSERT_TRUE(pressHotKey());
    ASSERT_TRUE(waitUntil([&] { return controller_->panel().isVisible(); }));
    EXPECT_EQ(rows("miss").size(), 1u);
    // A click elsewhere (on the bare desktop) closes the list.
    ASSERT_TRUE(waitUntil([] { return WindowServer::isActive(); }));
    ASSERT_TRUE(drive(*x_, clickSteps({1400, 880})));
    ASSERT_TRUE(waitUntil([&] { return !controller_->panel().isVisible(); }));
    EXPECT_EQ(controller_->panel().lastCloseReason(), "outside-click");
}

TEST_F(EndToEnd, TheCopyFallbackRestoresTheClipboardAndSparesTerminals) {
    // What the user had copied earlier, in several kinds (this process's Qt copies it).
    auto* copied = new QMimeData;
    copied->setText("user clip");
    copied->setHtml("<i>user</i>");
    copied->setData("application/x-pivorel-test", QByteArray("\x00\x01\xfe\xff", 4));
    QGuiApplication::clipboard()->setMimeData(copied);
    settle(100ms);
    const auto before = clipboardSeenByOthers();
    ASSERT_EQ(before.at("text/html"), "<i>user</i>");

    // A program that comes and goes first: the next one may get its window ids.
    const auto fields = startProgram("QtFieldProgram.DISABLED_Serve", fieldsApp);
    ASSERT_TRUE(fields);
    const auto f = x_->windowGeometry(fields);
    expectBar(dragSteps({f[0] + 12, f[1] + 25}, {f[0] + 300, f[1] + 25}), "quick brown fox", fields,
              fieldsApp);
    x_->terminate(clients_.back());
    ASSERT_TRUE(waitUntil([&] {
        return x_->run({"xwininfo", "-id", std::to_string(fields)}).status != 0;
    }));

    const auto copyOnly =
        startProgram("EndToEndCopyOnlyProgram.DISABLED_Serve", "pivorel-test-copy");
    ASSERT_TRUE(copyOnly);
    const std::string copyApp = "pivorel-test-copy";
    ASSERT_EQ(delegate_->desktop()->workspace().frontmostApp(), copyApp);
    settings().setCopyFallbackApps({copyApp, "debian-xterm"});
    const auto g = x_->windowGeometry(copyOnly);

    // Nothing to read the first time; the retry copies.
    auto from = log_->lines().size();
    expectBar(dragSteps({g[0] + 20, g[1] + 30}, {g[0] + 300, g[1] + 30}), "copied only words",
              copyOnly, copyApp);
    EXPECT_TRUE(logged("empty(no-selection)", from)) << recentLog();
    EXPECT_EQ(clipboardSeenByOthers(), before);
    EXPECT_GE(rows("shown").back().latencyMs, 330) << "read again 250 ms after the first read";

    // Control+C in a terminal would interrupt its job: the fallback never sends it there.
    const auto marker = std::filesystem::temp_directory_path() /
                        ("pivorel-e2e-interrupted-" + std::to_string(::getpid()));
    std::filesystem::remove(marker);
    const auto term =
        startXterm("60x8+40+300", "trap 'touch " + marker.string() +
                                      "' INT; printf 'alpha\\n'; while :; do sleep 1; done");
    ASSERT_TRUE(term);
    const auto t = x_->windowGeometry(term);
    from = log_->lines().size();
    expectNoBar(dragSteps(cell(t, 2, 3), cell(t, 30, 5)), 2, "blank lines in a listed terminal");
    EXPECT_TRUE(logged("empty(copy-triggerFailed)", from)) << recentLog();
    settle(300ms);
    EXPECT_FALSE(std::filesystem::exists(marker));
    EXPECT_EQ(clipboardSeenByOthers(), before);
    std::filesystem::remove(marker);
}

TEST_F(EndToEndTwoScreens, TheBarStaysOnTheScreenOfTheSelection) {
    // In the top right corner of the second screen, where the bar can go neither above the
    // text nor centred on the release point.
    const auto term = startXterm("60x8-0+0", xtermLines);
    ASSERT_TRUE(term);
    const auto g = x_->windowGeometry(term);
    ASSERT_GE(g[0], 1440) << "the terminal is on the second screen";
    expectBar(dragSteps(cell(g, 0, 0), cell(g, 59, 0)), "alpha beta gamma", term, "debian-xterm");

    // Top edges aligned on X11: the taller screen reaches below the primary's bottom.
    auto& workspace = delegate_->desktop()->workspace();
    const auto screens = workspace.screens();
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[0].frame, (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(screens[1].frame, (Rect{1440, -124, 1280, 1024}));
    EXPECT_EQ(workspace.mainScreen(), 1u);
    const Rect visible = screens[1].visibleFrame;
    const Rect capsule = controller_->bar().frame().insetBy(BarPlacement::shadowInset);
    EXPECT_GE(capsule.minX(), visible.minX());
    EXPECT_LE(capsule.maxX(), visible.maxX());
    EXPECT_GE(capsule.minY(), visible.minY());
    EXPECT_LE(capsule.maxY(), visible.maxY());
}

TEST_F(EndToEndApps, GtkNotebookProgramsShowTheBarForTheExactText) {
    ASSERT_TRUE(installed("mousepad") && installed("gnome-terminal"));
    // Their text sits inside a notebook, whose page tabs have no area of their own.
    const auto pad =
        start({"mousepad", "--disable-server", linesFile("notes.txt", 40)}, "mousepad");
    ASSERT_TRUE(pad);
    settle(500ms);
    auto g = x_->windowGeometry(pad);
    // Each gesture on a line of its own below the last (the bar sits above a selection): a
    // press on selected text would drag it away.
    const auto gestures = [&](std::uint32_t window, const std::string& app, int left, int right,
                              int y) {
        expectBar(clickSteps({left + 4, y}, 3), "alpha beta gamma", window, app);
        expectBar(dragSteps({left, y + 40}, {right, y + 40}), "alpha beta gamma", window, app);
        expectBar(clickSteps({left + 4, y + 80}, 2), "alpha", window, app);
    };
    gestures(pad, "org.xfce.mousepad", g[0] + 4, g[0] + g[2] - 40, g[1] + g[3] / 2);

    const auto term = start({"gnome-terminal", "--geometry=60x20+60+60", "--", "sh", "-c",
                             "for i in $(seq 40); do echo alpha beta gamma; done; exec sleep 600"},
                            "gnome-terminal");
    ASSERT_TRUE(term);
    settle(500ms);
    g = x_->windowGeometry(term);
    gestures(term, "org.gnome.Terminal", g[0] + 2, g[0] + 300, g[1] + g[3] / 2);
    // Output, not a field: no cut or paste for it.
    ASSERT_TRUE(controller_->barContext());
    EXPECT_FALSE(controller_->barContext()->request.editable);
}

TEST_F(EndToEndApps, ChromiumShowsPageTextAndItsAddressButNeverAPassword) {
    ASSERT_TRUE(installed("chromium"));
    static TempDir profile;
    // The switch that makes Chromium give its pages to the accessibility bus.
    const auto browser = start(
        {"chromium", "--kiosk", "--force-renderer-accessibility", "--no-sandbox", "--disable-gpu",
         "--no-first-run", "--disable-background-networking", "--disable-component-update",
         "--disable-sync", "--password-store=basic", "--test-type",
         "--user-data-dir=" + profile.path().string(), page_.url("/page.html")},
        "chromium");
    ASSERT_TRUE(browser);
    settle(1500ms);
    expectPageCases(browser, "chromium");

    // With the desktop's accessibility off nothing is read, shown or stored.
    for (const char* flag : {"string:IsEnabled", "string:ScreenReaderEnabled"}) {
        ASSERT_TRUE(x_->run({"dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                             "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                             "string:org.a11y.Status", flag, "variant:boolean:false"})
                        .status == 0);
    }
    settle(300ms);
    const auto before = log_->lines().size();
    const auto stored = selectionCount();
    expectNoBar(clickSteps(quick, 2), 1, "accessibility off");
    EXPECT_TRUE(logged("unavailable(not-trusted)", before)) << recentLog();
    EXPECT_EQ(selectionCount(), stored);
}

TEST_F(EndToEndApps, FirefoxShowsPageTextAndItsAddressButNeverAPassword) {
    ASSERT_TRUE(installed("firefox-esr"));
    static TempDir profile;
    {
        std::ofstream prefs(profile.path() / "user.js");
        for (const char* pref :
             {"browser.aboutwelcome.enabled\", false", "browser.shell.checkDefaultBrowser\", false",
              "datareporting.policy.dataSubmissionEnabled\", false",
              "browser.startup.homepage_override.mstone\", \"ignore\"",
              "toolkit.telemetry.reportingpolicy.firstRun\", false"}) {
            prefs << "user_pref(\"" << pref << ");\n";
        }
    }
    const auto browser = start({"firefox-esr", "--kiosk", "--no-remote", "--profile",
                                profile.path().string(), page_.url("/page.html")},
                               "firefox-esr");
    ASSERT_TRUE(browser);
    settle(2s);
    expectPageCases(browser, "firefox-esr");
}

TEST_F(EndToEndApps, LibreOfficeWriterShowsTheBarForADrag) {
    ASSERT_TRUE(installed("soffice"));
    static TempDir profile;
    const auto writer = start(
        {"soffice", "--writer", "--norestore", "--nologo", "--nolockcheck",
         "-env:UserInstallation=file://" + profile.path().string(), linesFile("letter.txt", 3)},
        "libreoffice-writer");
    ASSERT_TRUE(writer);
    settle(2s);
    // The window fills the screen and the page sits in its middle: from the page's left
    // margin past the end of the first line.
    const auto g = x_->windowGeometry(writer);
    expectBar(dragSteps({g[0] + 300, g[1] + 206}, {g[0] + 800, g[1] + 206}), "alpha beta gamma",
              writer, "libreoffice-writer");
}

// A desktop where Qt scales (Qt reads "Xft.dpi:\t192", with the tab, only), where xterm goes,
// the device rectangle of the screen it goes on and that screen's scale.
struct ScaledDesktop {
    std::string name;
    XSessionOptions layout;
    std::map<std::string, std::string> environment;
    std::string resources;
    std::string xtermGeometry;
    std::array<int, 4> screen;
    double scale;
};

void PrintTo(const ScaledDesktop& d, std::ostream* os) {
    *os << d.name;
}

class EndToEndScaled : public EndToEnd, public ::testing::WithParamInterface<ScaledDesktop> {
  protected:
    XSessionOptions layout() const override { return GetParam().layout; }

    void SetUp() override {
        for (const auto& [name, value] : GetParam().environment)
            ::setenv(name.c_str(), value.c_str(), 1);
        auto& x = XSession::shared(layout());
        if (x.ok() && !GetParam().resources.empty()) {
            x.run({"xprop", "-root", "-format", "RESOURCE_MANAGER", "8s", "-set",
                   "RESOURCE_MANAGER", GetParam().resources});
        }
        EndToEnd::SetUp();
    }
};

const XSessionOptions oneScaledScreen{{"2880x1800x24"}, false, {}, true};

INSTANTIATE_TEST_SUITE_P(
    Desktop, EndToEndScaled,
    ::testing::Values(ScaledDesktop{"XftDpi192",
                                    oneScaledScreen,
                                    {},
                                    "Xft.dpi:\t192",
                                    "60x8+400+300",
                                    {0, 0, 2880, 1800},
                                    2},
                      // The terminal on the second monitor, whose scale differs from the primary's.
                      ScaledDesktop{
                          "TwoMonitorScales",
                          {{"5440x1800x24"}, false, {"2880x1800+0+0", "2560x1600+2880+0"}, true},
                          {{"QT_SCREEN_SCALE_FACTORS", "PIVOREL-0=2;PIVOREL-1=1.5"}},
                          "",
                          "60x8+3300+300",
                          {2880, 0, 2560, 1600},
                          1.5}),
    [](const auto& p) { return p.param.name; });

// The pointer is in device pixels, the bar in Qt's: placement, distance and clicks in points.
TEST_P(EndToEndScaled, TheBarComesToTheReleasePointAndMeasuresInPoints) {
    const auto& d = GetParam();
    ASSERT_EQ(QGuiApplication::primaryScreen()->devicePixelRatio(), 2) << "Qt scales";
    const auto term = startXterm(d.xtermGeometry, xtermLines);
    ASSERT_TRUE(term);
    const auto g = x_->windowGeometry(term);
    ASSERT_GE(g[0], d.screen[0]) << "the terminal is on the screen meant";
    const XPoint release = cell(g, 10, 0);
    expectBar(dragSteps(cell(g, 6, 0), release), "beta", term, "debian-xterm");

    // Where the X server shows the capsule, in device pixels.
    const auto shown = WindowServer::ownWindowsOnScreen();
    ASSERT_EQ(shown.size(), 1u);
    const double inset = BarPlacement::shadowInset * d.scale;
    const Rect capsule{shown[0].x + inset, shown[0].y + inset, shown[0].width - 2 * inset,
                       shown[0].height - 2 * inset};
    const Point up{static_cast<double>(release.first), static_cast<double>(release.second)};
    EXPECT_LE(BarPlacement::distance(up, capsule) / d.scale, 40)
        << "capsule at " << capsule.x << "," << capsule.y << ", release at " << up.x << "," << up.y;

    // Straight away from the capsule towards the roomier side, by hand (raw motion).
    const bool below = capsule.y + capsule.height / 2 < d.screen[3] / 2.0;
    const auto moveAway = [&](double points) {
        const double y =
            below ? capsule.maxY() + points * d.scale : capsule.minY() - points * d.scale;
        return drive(*x_, {"mousemove", std::to_string(int(capsule.x + capsule.width / 2)),
                           std::to_string(int(y)), "sleep", "0.1", "mousemove_relative", "--", "0",
                           "1", "sleep", "0.3"});
    };
    ASSERT_TRUE(moveAway(120));
    EXPECT_TRUE(controller_->bar().isVisible()) << "120 points from the bar" << recentLog();
    ASSERT_TRUE(moveAway(240));
    EXPECT_TRUE(waitUntil([&] { return !controller_->bar().isVisible(); }))
        << "240 points from the bar";

    expectBar(dragSteps(cell(g, 6, 0), release), "beta", term, "debian-xterm");
    chooseTheFirstIcon();
}

TEST_F(EndToEnd, TheClickOnMoreOpensThePanelEvenAsThePointerArrives) {
    const auto term = startXterm("60x8+40+40", xtermLines);
    ASSERT_TRUE(term);
    const auto g = x_->windowGeometry(term);
    for (int attempt = 0; attempt < 6; ++attempt) {
        SCOPED_TRACE(attempt);
        expectBar(clickSteps(cell(g, 7, 0), 2), "beta", term, "debian-xterm");
        // "…" is the 20 points before the capsule's 3-point padding on the right.
        const Rect capsule = controller_->bar().frame().insetBy(BarPlacement::shadowInset);
        const Point more = ScreenCoordinates::current().toDevice(
            Point{capsule.maxX() - 3 - 10, capsule.y + capsule.height / 2});
        const std::vector<std::string> click{"mousemove", std::to_string(static_cast<int>(more.x)),
                                             std::to_string(static_cast<int>(more.y)), "click",
                                             "1"};
        // The press lands as the pointer arrives: the input monitor then often hears of it
        // only after the bar has handled the click and the panel is up.
        ASSERT_TRUE(inProgramLoop([&] { return x_->xdotool(click); }, 300ms));
        ASSERT_TRUE(controller_->panel().isVisible())
            << "closed: " << controller_->panel().lastCloseReason().value_or("never opened");
        ASSERT_TRUE(drive(*x_, {"key", "Escape"}));
        ASSERT_TRUE(waitUntil([&] { return !controller_->panel().isVisible(); }));
    }
}
