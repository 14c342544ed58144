#include <gtest/gtest.h>

#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextEdit>
#include <QToolButton>

#include "BrisendoKit/Actions/ActionCatalog.h"
#include "BrisendoKit/BarPanel/PanelModel.h"
#include "BrisendoKit/LanguageModel/AskModel.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/Localizer.h"
#include "Fakes/FakeDesktop.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Panel/AskView.h"
#include "Pivorel/Panel/NoticeView.h"
#include "Pivorel/Panel/PanelListView.h"
#include "Pivorel/Panel/PanelRootView.h"
#include "Pivorel/Panel/PanelRowView.h"
#include "Pivorel/ViewTesting.h"

using namespace pivorel;
using namespace pivorel::test;

namespace {

const QColor kDesktop(205, 214, 226);

std::vector<ActionID> ranking() {
    return {ActionID::translate(), ActionID::ask(), ActionID::copy(), ActionID::google(),
            ActionID::lookup()};
}

std::shared_ptr<PanelModel> listModel(
    bool smart, std::optional<std::string> app = "Firefox",
    const std::string& text = "光速不变原理是狭义相对论的基本假设之一。") {
    return std::make_shared<PanelModel>(text, std::move(app), ranking(), std::nullopt,
                                        ActionCatalog::builtin(), smart);
}

int accentPixels(const QImage& image, QWidget* row) {
    QRect r = row->geometry();
    r.translate(row->parentWidget()->mapTo(row->window(), QPoint(0, 0)));
    return countNear(image, r, PivorelStyle::accent(false), 40);
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
        if (smart) keepScreenshot(image, "view-panel-list");
        // Row 0 is highlighted: accent background, badge and icon.
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
    // As long as a selection may be.
    std::string longText;
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

TEST(PanelListView, AClickOnARowChoosesItAndKeepsTitleAndHintApart) {
    qtApp("offscreen");
    auto model = listModel(true);
    std::vector<std::int64_t> chosen;
    model->onChoose = [&](std::int64_t i) { chosen.push_back(i); };
    PanelListView list(model);
    list.show();
    click(list.rowViews()[3], QPoint(300, 16));
    click(list.rowViews()[0], QPoint(4, 4));
    EXPECT_EQ(chosen, (std::vector<std::int64_t>{3, 0}));

    // A title far too long for the row shrinks, then is cut; the hint keeps at least "…".
    PanelRow row{ActionID("custom:x"), std::string(80, 'W'), "link", "自定义 · www.example.com"};
    PanelRowView view(0, row, false, true, nullptr);
    view.resize(328, 32);
    const auto parts = view.layout();
    EXPECT_NEAR(parts.titleSize, 13.5 * 0.78, 0.01);
    EXPECT_GT(parts.hint.width(), 0);
    EXPECT_FALSE(parts.tag.isEmpty());
    EXPECT_LE(parts.title.right(), parts.tag.left());
    EXPECT_LE(parts.tag.right() + 10 + 8 + 10, parts.hint.left() + 0.01);
    EXPECT_LE(parts.hint.right(), 328 - 8 + 0.01);
}

TEST(NoticeView, WrapsLongTextInTheListWidth) {
    qtApp("offscreen");
    NoticeView shortNotice("已复制");
    NoticeView longNotice(
        "还没有配置模型：请在设置的「服务」里填写接口地址、模型名和密钥，然后再试一次。这段话故意写"
        "得很长，"
        "好看出它会换行。");
    EXPECT_EQ(longNotice.sizeHint().width(), 340);
    EXPECT_EQ(shortNotice.text().lineCount(), 1);
    EXPECT_GE(longNotice.text().lineCount(), 3);
    EXPECT_GT(longNotice.sizeHint().height(), shortNotice.sizeHint().height());

    auto model = listModel(false);
    model->setMode(
        PanelMode::notice("还没有配置模型：请在设置的「服务」里填写接口地址、模型名和密钥。"));
    PanelRootView root(model);
    root.setPalette(PivorelStyle::palette(false));
    keepScreenshot(renderOver(root, kDesktop), "view-panel-notice");
}

TEST(AskView, ShowsTheConversationAndItsControlsAct) {
    qtApp("offscreen");
    auto chat = std::make_shared<ScriptedChat>();
    auto ask = std::make_shared<AskModel>(AskKind::ask, chat, std::vector<ChatMessage>{});
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

    // Before any answer: no turns, archive off, copy does nothing.
    EXPECT_TRUE(view->turnViews().empty());
    EXPECT_FALSE(view->archiveButton()->isEnabled());
    view->copyButton()->click();
    EXPECT_EQ(pasteboard.count, 0);
    EXPECT_EQ(view->copyButton()->text(), QString::fromStdString(L("复制")));

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
    keepScreenshot(renderOver(root, kDesktop), "view-panel-ask");
    // Every turn shows all of its text: wrapped inside the view, nothing cut off below.
    for (QWidget* turn : view->turnViews()) {
        auto* text = static_cast<QTextEdit*>(turn);
        EXPECT_LE(text->document()->idealWidth(), text->viewport()->width() + 1);
        EXPECT_LE(text->document()->size().height(), text->height() + 1);
    }

    view->copyButton()->click();
    EXPECT_EQ(pasteboard.string(), ask->lastAnswer());
    EXPECT_EQ(view->copyButton()->text(), QString::fromStdString(L("已复制")));
    view->archiveButton()->click();
    EXPECT_TRUE(ask->archived());
    EXPECT_FALSE(view->archiveButton()->isEnabled());
    EXPECT_EQ(view->archiveButton()->text(), QString::fromStdString(L("已存档")));
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

TEST(AskView, AFailedFirstAnswerShowsTheOrangeErrorAndNoEmptyTurn) {
    qtApp("offscreen");
    auto chat = std::make_shared<ScriptedChat>();
    auto ask = std::make_shared<AskModel>(AskKind::translate, chat, std::vector<ChatMessage>{});
    AskView view(ask, "Hello", nullptr);
    view.setPalette(PivorelStyle::palette(false));
    ask->start();
    chat->onFinish(StreamError(LLMError::noAPIKey()));
    EXPECT_TRUE(view.turnViews().empty());
    EXPECT_TRUE(view.errorLine()->isVisibleTo(&view));
    EXPECT_FALSE(view.errorLabel()->text().isEmpty());
    EXPECT_FALSE(view.archiveButton()->isEnabled());
    const QImage image = renderOver(view, PivorelStyle::background(view.palette()));
    QRect error = view.errorLine()->rect();
    error.moveTopLeft(view.errorLine()->mapTo(&view, QPoint(0, 0)));
    EXPECT_GT(countNear(image, error, PivorelStyle::orange(view.palette()), 40), 20);
}

TEST(PanelRootView, TakesTheSizeOfEachModeAndFollowsModeChanges) {
    qtApp("offscreen");
    auto model = listModel(true);
    PanelRootView root(model);
    EXPECT_EQ(root.sizeHint().width(), 340 + 36);
    model->setMode(PanelMode::notice("好"));
    EXPECT_NE(qobject_cast<NoticeView*>(root.modeView()), nullptr);
    EXPECT_EQ(root.sizeHint().width(), 340 + 36);
    // Ask mode before the conversation exists shows nothing: margins only.
    model->setMode(PanelMode::ask(AskKind::ask));
    EXPECT_EQ(root.modeView(), nullptr);
    EXPECT_EQ(root.sizeHint(), QSize(36, 36));
    model->ask = std::make_shared<AskModel>(AskKind::ask, std::make_shared<ScriptedChat>(),
                                            std::vector<ChatMessage>{});
    root.syncMode();
    EXPECT_EQ(root.sizeHint(), QSize(496, 436));
    EXPECT_EQ(root.contentRect(), QRectF(18, 18, 460, 400));
    model->setMode(PanelMode::list());
    EXPECT_NE(qobject_cast<PanelListView*>(root.modeView()), nullptr);
    flushDeletes();
}

TEST(PanelViews, ChineseAndIconTextDrawWithRealGlyphsInEveryInterfaceLanguage) {
    qtApp("offscreen");
    // Han characters must come from the Simplified Chinese face, not the fallback's pick.
    EXPECT_EQ(QFontInfo(PivorelStyle::font(13)).family(), PivorelStyle::textFamily);
    const Shaped han = shape("直选 最可能 追问，回车发送 复制 存档 翻译", PivorelStyle::font(13));
    EXPECT_EQ(han.missing, 0);
    for (const auto& family : han.families) EXPECT_EQ(family, PivorelStyle::textFamily);

    const std::vector<std::string> keys = {"1–9 直选 · ↩ 选中高亮项 · Esc 关闭",
                                           "最可能",
                                           "关闭（Esc）",
                                           "追问，回车发送",
                                           "复制",
                                           "已复制",
                                           "存档",
                                           "已存档"};
    std::vector<std::string> languages = Localizer::supported();
    for (const auto& language : languages) {
        Localizer::setLanguageOverride(language);
        std::vector<std::string> texts;
        for (const auto& key : keys) texts.push_back(L(key));
        for (const auto& id : ActionID::builtins()) {
            texts.push_back(id.title());
            texts.push_back(PanelModel::hint(id, "hello 你好", std::nullopt));
        }
        for (const auto& text : texts) {
            const Shaped shaped = shape(QString::fromStdString(text), PivorelStyle::font(12.5));
            EXPECT_EQ(shaped.missing, 0) << language << ": " << text;
        }
    }
    Localizer::setLanguageOverride("zh-Hans");
}
