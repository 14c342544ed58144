#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolButton>
#include <QWindow>

#include "BrisendoKit/Actions/ActionCatalog.h"
#include "BrisendoKit/BarPanel/PanelController.h"
#include "BrisendoKit/LanguageModel/AskModel.h"
#include "Fakes/FakeDesktop.h"
#include "Pivorel/Linux/WindowServer.h"
#include "Pivorel/Linux/XDesktopTestSupport.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Panel/AskView.h"
#include "Pivorel/Panel/FloatingPanel.h"
#include "Pivorel/Panel/NoticeView.h"
#include "Pivorel/Panel/PanelListView.h"
#include "Pivorel/Panel/PanelRootView.h"
#include "Pivorel/Panel/PanelRowView.h"
#include "Pivorel/ViewTesting.h"
#include "TempDir.h"

using namespace pivorel;
using namespace pivorel::test;
using namespace std::chrono_literals;

namespace {

const QColor kDesktop(205, 214, 226);

std::shared_ptr<PanelModel> listModel(
    bool smart = true, std::optional<std::string> app = "Firefox",
    const std::string& text = "光速不变原理是狭义相对论的基本假设之一。") {
    return std::make_shared<PanelModel>(
        text, std::move(app),
        std::vector<ActionID>{ActionID::translate(), ActionID::ask(), ActionID::copy(),
                              ActionID::google(), ActionID::lookup()},
        std::nullopt, ActionCatalog::builtin(), smart);
}

std::shared_ptr<AskModel> askModel(std::shared_ptr<ScriptedChat> chat = nullptr,
                                   AskKind kind = AskKind::ask) {
    return std::make_shared<AskModel>(kind, chat ? chat : std::make_shared<ScriptedChat>(),
                                      std::vector<ChatMessage>{});
}

int accentPixels(const QImage& image, QWidget* row) {
    QRect r = row->geometry();
    r.translate(row->parentWidget()->mapTo(row->window(), QPoint(0, 0)));
    return countNear(image, r, PivorelStyle::accent(false), 40);
}

// Delivers a key press the way the platform does: to the window, not to a widget.
void press(FloatingPanel& panel, int key, const QString& text = {}) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(panel.windowHandle(), &event);
}

}  // namespace

TEST(PanelListView, HighlightAndTopTagShowOnTheRightRowsOnly) {
    qtApp("offscreen");
    for (bool smart : {true, false}) {
        SCOPED_TRACE(smart ? "smart" : "fixed order");
        auto model = listModel(smart);
        PanelRootView root(model);
        root.setPalette(PivorelStyle::palette(false));
        auto* list = qobject_cast<PanelListView*>(root.modeView());
        ASSERT_NE(list, nullptr);
        const auto& rows = list->rowViews();
        ASSERT_EQ(rows.size(), 5u);
        QImage image = renderOver(root, kDesktop);
        EXPECT_GT(accentPixels(image, rows[0]), 200);
        for (std::size_t i = 1; i < rows.size(); ++i)
            EXPECT_EQ(accentPixels(image, rows[i]), 0) << i;

        // With the highlight elsewhere, only the tag can tint the first row.
        model->moveHighlight(2);
        image = renderOver(root, kDesktop);
        EXPECT_TRUE(rows[2]->isHighlighted());
        EXPECT_FALSE(rows[0]->isHighlighted());
        EXPECT_GT(accentPixels(image, rows[2]), 200);
        EXPECT_EQ(accentPixels(image, rows[0]) > 0, smart);
        EXPECT_EQ(accentPixels(image, rows[1]), 0);
        EXPECT_EQ(rows[0]->showsTopTag(), smart);
        EXPECT_FALSE(rows[1]->showsTopTag());
    }
}

TEST(PanelListView, IsListWidthWideWithAHeaderCutAtTwoLines) {
    qtApp("offscreen");
    std::string longText;  // as long as a selection may be
    for (int i = 0; i < 2000; ++i) longText += "相对论 relativity";
    PanelListView a(listModel(false, "Firefox", longText));
    PanelListView b(listModel(false, std::nullopt, longText));
    EXPECT_EQ(a.sizeHint().width(), 340);
    EXPECT_EQ(a.selectionText().lineCount(), 2);
    EXPECT_TRUE(a.selectionText().isTruncated());
    EXPECT_TRUE(a.selectionText().text().endsWith(QChar(0x2026)));
    // Short lines beyond the second are folded into it.
    const WrappedText lines("一\n二\n三\n四", PivorelStyle::font(12.5), 312, 2);
    EXPECT_EQ(lines.lineCount(), 2);
    EXPECT_EQ(lines.text(), "一\n二 三 四");
    // The application line adds a line and its spacing, nothing else differs.
    EXPECT_GT(a.sizeHint().height(), b.sizeHint().height());
    EXPECT_LT(a.sizeHint().height() - b.sizeHint().height(), 30);
    // Rows: 5 × 32 with 2 between, inside 6 of margin.
    const auto& rows = a.rowViews();
    EXPECT_EQ(rows.back()->geometry().bottom() + 1 - rows.front()->geometry().top(),
              5 * 32 + 4 * 2);
    EXPECT_EQ(rows.front()->width(), 340 - 12);
}

TEST(PanelListView, AClickOnARowChoosesIt) {
    qtApp("offscreen");
    auto model = listModel(true);
    std::vector<std::int64_t> chosen;
    model->onChoose = [&](std::int64_t i) { chosen.push_back(i); };
    PanelListView list(model);
    list.show();
    click(list.rowViews()[3], QPoint(300, 16));
    click(list.rowViews()[0], QPoint(4, 4));
    EXPECT_EQ(chosen, (std::vector<std::int64_t>{3, 0}));
}

TEST(AskView, ShowsTheConversationAndItsControlsAct) {
    qtApp("offscreen");
    auto chat = std::make_shared<ScriptedChat>();
    auto ask = askModel(chat);
    auto model = listModel(false);
    model->ask = ask;
    model->setMode(PanelMode::ask(AskKind::ask));
    int closed = 0;
    auto closing = model->closeRequested.connect([&] { ++closed; });
    FakePasteboard pasteboard;
    PanelRootView root(model, &pasteboard);
    root.setPalette(PivorelStyle::palette(false));
    auto* view = qobject_cast<AskView*>(root.modeView());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->size(), QSize(460, 400));
    root.show();

    EXPECT_FALSE(view->archiveButton()->isEnabled());
    ask->start();
    ASSERT_EQ(view->turnViews().size(), 1u);
    EXPECT_EQ(static_cast<QTextEdit*>(view->turnViews()[0])->toPlainText(), QString(QChar(0x2026)));
    EXPECT_TRUE(view->streamingIndicator()->isVisibleTo(view));
    chat->onPiece("光速不变原理说的是：在任何惯性参考系中，");
    chat->onPiece("真空中的光速都相同，与光源和观察者的运动无关。");
    chat->onFinish(std::nullopt);
    EXPECT_FALSE(view->streamingIndicator()->isVisibleTo(view));

    // The follow-up field drives the model; Return sends.
    QLineEdit* field = view->followUpField();
    field->setText("那为什么说它是假设？");
    Q_EMIT field->textEdited(field->text());
    EXPECT_EQ(ask->followUp(), "那为什么说它是假设？");
    Q_EMIT field->returnPressed();
    EXPECT_EQ(chat->calls, 2);
    EXPECT_TRUE(field->text().isEmpty());
    chat->onPiece("因为它是理论的出发点，由实验检验，而不是由更基本的原理推出。");
    chat->onFinish(std::nullopt);
    ASSERT_EQ(view->turnViews().size(), 3u);
    EXPECT_EQ(static_cast<QTextEdit*>(view->turnViews()[1])->toPlainText(), "那为什么说它是假设？");
    // Every turn shows all of its text: wrapped inside the view, nothing cut off below.
    QCoreApplication::processEvents();
    for (QWidget* turn : view->turnViews()) {
        auto* text = static_cast<QTextEdit*>(turn);
        EXPECT_LE(text->document()->idealWidth(), text->viewport()->width() + 1);
        EXPECT_LE(text->document()->size().height(), text->height() + 1);
    }

    view->copyButton()->click();
    EXPECT_EQ(pasteboard.string(), ask->lastAnswer());
    view->archiveButton()->click();
    EXPECT_TRUE(ask->archived());
    EXPECT_FALSE(view->archiveButton()->isEnabled());
    view->closeButton()->click();
    EXPECT_EQ(closed, 1);

    // A long answer keeps its newest text in sight.
    ask->setFollowUp("再详细一点");
    ask->sendFollowUp();
    for (int i = 0; i < 40; ++i) chat->onPiece("这是很长的回答中的一行。\n");
    renderOver(root, kDesktop);
    const QScrollBar* bar = view->findChild<QScrollArea*>()->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST(AskView, AFailedFirstAnswerShowsTheErrorAndNoEmptyTurn) {
    qtApp("offscreen");
    auto chat = std::make_shared<ScriptedChat>();
    auto ask = askModel(chat, AskKind::translate);
    AskView view(ask, "Hello", nullptr);
    view.setPalette(PivorelStyle::palette(false));
    ask->start();
    chat->onFinish(StreamError(LLMError::noAPIKey()));
    EXPECT_TRUE(view.turnViews().empty());
    EXPECT_TRUE(view.errorLine()->isVisibleTo(&view));
    EXPECT_FALSE(view.errorLabel()->text().isEmpty());
    EXPECT_FALSE(view.archiveButton()->isEnabled());
}

TEST(PanelRootView, TakesTheSizeOfEachModeAndFollowsModeChanges) {
    qtApp("offscreen");
    auto model = listModel(true);
    PanelRootView root(model);
    model->setMode(PanelMode::notice("好"));
    EXPECT_NE(qobject_cast<NoticeView*>(root.modeView()), nullptr);
    // Ask mode before the conversation exists shows nothing: margins only.
    model->setMode(PanelMode::ask(AskKind::ask));
    EXPECT_EQ(root.modeView(), nullptr);
    EXPECT_EQ(root.sizeHint(), QSize(36, 36));
    model->ask = askModel();
    root.syncMode();
    EXPECT_EQ(root.contentRect(), QRectF(18, 18, 460, 400));
    model->setMode(PanelMode::list());
    EXPECT_NE(qobject_cast<PanelListView*>(root.modeView()), nullptr);
    flushDeletes();
}

TEST(FloatingPanel, TranslatesKeysIntoTheProgramsKeyCodes) {
    qtApp("offscreen");
    auto key = [](int k, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        return FloatingPanel::keyEvent(QKeyEvent(QEvent::KeyPress, k, mods, text));
    };
    EXPECT_EQ(key(Qt::Key_Return, "\r"), (KeyEvent{36, 0, "\r"}));
    EXPECT_EQ(key(Qt::Key_Enter, "\r", Qt::KeypadModifier), (KeyEvent{76, 0, "\r"}));
    EXPECT_EQ(key(Qt::Key_3, "3"), (KeyEvent{20, 0, "3"}));
    // A keypad digit types the digit.
    EXPECT_EQ(key(Qt::Key_3, "3", Qt::KeypadModifier)->charactersIgnoringModifiers, "3");
    // Shift-1 types "!", but the key is still the 1 key, its character "1".
    EXPECT_EQ(key(Qt::Key_Exclam, "!", Qt::ShiftModifier),
              (KeyEvent{18, KeyEvent::shiftFlag, "1"}));
    EXPECT_EQ(
        key(Qt::Key_A, "a", Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier),
        (KeyEvent{0, KeyEvent::controlFlag | KeyEvent::optionFlag | KeyEvent::commandFlag, "a"}));
    EXPECT_FALSE(key(Qt::Key_F20, "").has_value());
}

TEST(FloatingPanel, KeysReachTheHandlerBeforeTheFollowUpField) {
    qtApp("offscreen");
    FloatingPanel panel;
    std::vector<KeyEvent> seen;
    bool handled = false;
    panel.setKeyHandler([&](const KeyEvent& e) {
        seen.push_back(e);
        return handled || e.keyCode == 53;
    });
    auto m = listModel();
    m->ask = askModel();
    m->setMode(PanelMode::ask(AskKind::ask));
    panel.setContent(m);
    const Size size = panel.fittingSize();
    panel.setFrame({40, 40, size.width, size.height});
    panel.orderFrontAndMakeKey();
    QCoreApplication::processEvents();
    auto* ask = qobject_cast<AskView*>(panel.rootView()->modeView());
    ASSERT_NE(ask, nullptr);
    ASSERT_EQ(panel.focusWidget(), ask->followUpField());

    // Not handled: the field types it.
    press(panel, Qt::Key_A, "a");
    EXPECT_EQ(ask->followUpField()->text(), "a");
    // Handled: the field never sees it.
    handled = true;
    press(panel, Qt::Key_B, "b");
    EXPECT_EQ(ask->followUpField()->text(), "a");
    handled = false;
    // Escape while the field has focus reaches the handler.
    press(panel, Qt::Key_Escape, "\x1b");
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2].keyCode, 53);

    // Without a handler keys go straight to the field.
    panel.setKeyHandler(nullptr);
    press(panel, Qt::Key_C, "c");
    EXPECT_EQ(ask->followUpField()->text(), "ac");
}

TEST(FloatingPanel, FitsEachModeAndDropsItsContent) {
    qtApp("offscreen");
    FloatingPanel panel;
    EXPECT_EQ(panel.fittingSize(), (Size{0, 0}));
    auto m = listModel();
    std::weak_ptr<PanelModel> weak = m;
    panel.setContent(m);
    // The size follows a mode change even before the view heard of it.
    m->ask = askModel();
    m->setMode(PanelMode::ask(AskKind::ask));
    EXPECT_EQ(panel.fittingSize(), (Size{496, 436}));

    const double screenHeight = QGuiApplication::primaryScreen()->geometry().height();
    const Rect frame{30, 50, 376, 120};
    panel.setFrame(frame);
    EXPECT_EQ(panel.geometry(), QRect(30, static_cast<int>(screenHeight) - 170, 376, 120));
    EXPECT_EQ(panel.frame(), frame);

    m.reset();
    panel.setContent(nullptr);
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(panel.fittingSize(), (Size{0, 0}));
    flushDeletes();
}

// The case: "QRS" typed just after a copy from the bar went into the notice.
TEST(FloatingPanelOnX, NoticesLeaveTheKeyboardWithTheApplicationListsTakeIt) {
    auto& x = XSession::shared();
    if (!x.ok()) GTEST_SKIP() << x.error();
    qtApp("xcb");
    TempDir dir;
    const auto typed = dir.path() / "typed";
    x.spawn({"xterm", "-e", "sh", "-c",
             "read line; printf %s \"$line\" > " + typed.string() + "; exec sleep 600"});
    const auto term = x.waitForWindow("xterm");
    ASSERT_TRUE(term);
    ASSERT_TRUE(drive(x, {"windowactivate", "--sync", std::to_string(*term)}));
    ASSERT_TRUE(waitUntil([&] { return WindowServer::activeWindow() == term; }));

    FloatingPanel window;
    FakeWorkspace workspace;
    FakeInputMonitor input;
    QtMainQueue queue;
    PanelController panel(window, workspace, input, queue);
    auto notice = std::make_shared<PanelModel>("", std::nullopt, std::vector<ActionID>{},
                                               std::nullopt, ActionCatalog::builtin(), true);
    notice->setMode(PanelMode::notice("已复制"));
    panel.show(notice, {300, 600});
    panel.notice("已复制", 5);
    ASSERT_TRUE(waitUntil([] { return !WindowServer::ownWindowsOnScreen().empty(); }));
    settle(150ms);
    ASSERT_TRUE(drive(x, {"type", "QRS"}));
    ASSERT_TRUE(drive(x, {"key", "Return"}));
    EXPECT_TRUE(waitUntil([&] { return readText(typed) == "QRS"; })) << readText(typed);
    EXPECT_EQ(WindowServer::activeWindow(), term);
    EXPECT_TRUE(panel.isVisible());
    EXPECT_FALSE(panel.isKeyWindow());

    panel.show(listModel(), {300, 600});
    EXPECT_TRUE(waitUntil([&] { return panel.isKeyWindow() && WindowServer::isActive(); }));
    // A choice in the list that ends in a notice gives the keyboard back.
    panel.notice("已复制", 5);
    EXPECT_TRUE(waitUntil([&] { return WindowServer::activeWindow() == term; }))
        << "active: " << WindowServer::activeWindow().value_or(0);
    EXPECT_TRUE(panel.isVisible());
}

TEST(AskViewStream, PiecesAreAppendedOnceAFrameAndKeepTheSelection) {
    qtApp("offscreen");
    auto chat = std::make_shared<ScriptedChat>();
    auto ask = std::make_shared<AskModel>(AskKind::ask, chat, std::vector<ChatMessage>{});
    AskView view(ask, "Hello", nullptr);
    view.show();
    ask->start();
    auto* answer = static_cast<QTextEdit*>(view.turnViews().at(0));
    chat->onPiece("First.");
    ASSERT_TRUE(waitUntil([&] { return answer->toPlainText() == "First."; }, 1s));

    // The reader selects the first word while the answer goes on.
    QTextCursor selection(answer->document());
    selection.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, 5);
    answer->setTextCursor(selection);
    int edits = 0;
    QObject::connect(answer->document(), &QTextDocument::contentsChange, answer,
                     [&](int, int, int) { ++edits; });

    const std::string piece = " more";
    for (int i = 0; i < 1000; ++i) chat->onPiece(piece);
    EXPECT_EQ(answer->toPlainText(), "First.");  // nothing shown before the frame
    ASSERT_TRUE(waitUntil([&] { return answer->toPlainText().size() == 6 + 5 * 1000; }, 1s));
    EXPECT_EQ(edits, 1);  // one append for the whole frame, no rebuild
    EXPECT_EQ(answer->textCursor().selectedText(), "First");

    // The end of the answer shows at once, with nothing pending.
    chat->onPiece(" last");
    chat->onFinish(std::nullopt);
    EXPECT_TRUE(answer->toPlainText().endsWith(" last"));
    EXPECT_FALSE(view.streamingIndicator()->isVisibleTo(&view));
}
