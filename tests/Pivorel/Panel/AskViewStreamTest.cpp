#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include "BrisendoKit/LanguageModel/AskModel.h"
#include "Pivorel/Panel/AskView.h"
#include "Pivorel/ViewTesting.h"

using namespace pivorel;
using namespace pivorel::test;

namespace {

// Runs the event loop until `done` holds, for at most a second.
bool settle(const std::function<bool()>& done) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 1000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
}

}  // namespace

TEST(AskViewStream, PiecesAreAppendedOnceAFrameAndKeepTheSelection) {
    qtApp("offscreen");
    auto chat = std::make_shared<ScriptedChat>();
    auto ask = std::make_shared<AskModel>(AskKind::ask, chat, std::vector<ChatMessage>{});
    AskView view(ask, "Hello", nullptr);
    view.show();
    ask->start();
    auto* answer = static_cast<QTextEdit*>(view.turnViews().at(0));
    chat->onPiece("First.");
    ASSERT_TRUE(settle([&] { return answer->toPlainText() == "First."; }));

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
    ASSERT_TRUE(settle([&] { return answer->toPlainText().size() == 6 + 5 * 1000; }));
    EXPECT_EQ(edits, 1);  // one append for the whole frame, no rebuild
    EXPECT_EQ(answer->textCursor().selectedText(), "First");

    // The end of the answer shows at once, with nothing pending.
    chat->onPiece(" last");
    chat->onFinish(std::nullopt);
    EXPECT_TRUE(answer->toPlainText().endsWith(" last"));
    EXPECT_FALSE(view.streamingIndicator()->isVisibleTo(&view));
}
