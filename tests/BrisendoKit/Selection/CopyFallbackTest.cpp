#include "BrisendoKit/Selection/CopyFallback.h"

#include <gtest/gtest.h>

#include "Fakes/FakeDesktop.h"

using namespace pivorel;

namespace {

using Items = std::vector<PasteboardLike::Item>;
const Items userItems{{{"UTF8_STRING", "mine"}, {"text/html", "<b>mine</b>"}}};

struct CopyRun {
    test::FakePasteboard board;
    int pauses = 0;
    int copyAfterPauses = -1;  // -1: the copy never lands
    Items copied;

    Result<std::string, CopyFallback::Failure> read(bool triggered = true) {
        board.items = userItems;
        return CopyFallback::read(
            board,
            [&] {
                if (triggered && copyAfterPauses == 0) land();
                return triggered;
            },
            [&] {
                if (++pauses == copyAfterPauses) land();
            });
    }
    void land() {
        board.items = copied;
        ++board.count;
    }
};

TEST(CopyFallbackTest, CopiedTextIsReturnedUntrimmedAndTheUserPasteboardComesBack) {
    CopyRun late;
    late.copyAfterPauses = 2;
    late.copied = {{{"UTF8_STRING", " word\n"}}};
    const auto word = late.read();
    ASSERT_TRUE(word.ok());
    EXPECT_EQ(*word, " word\n");
    EXPECT_EQ(late.pauses, 2);
    EXPECT_EQ(late.board.restores, 1);
    EXPECT_EQ(late.board.items, userItems);

    // A copy that lands at once is seen before any pause; invalid bytes are repaired.
    CopyRun early;
    early.copyAfterPauses = 0;
    early.copied = {{{"UTF8_STRING", "a\xFF"}}};
    EXPECT_EQ(early.read().valueOr(""), "a\xEF\xBF\xBD");
    EXPECT_EQ(early.pauses, 0);
}

TEST(CopyFallbackTest, FailuresRestoreOnlyWhatTheCopyChanged) {
    CopyRun unchanged;
    EXPECT_EQ(unchanged.read().error(), CopyFallback::Failure::clipboardUnchanged);
    EXPECT_EQ(unchanged.pauses, CopyFallback::defaultMaxChecks);
    EXPECT_EQ(unchanged.board.restores, 0);

    CopyRun refused;
    refused.copyAfterPauses = 0;
    EXPECT_EQ(refused.read(false).error(), CopyFallback::Failure::triggerFailed);
    EXPECT_EQ(refused.pauses, 0);
    EXPECT_EQ(refused.board.restores, 0);
    EXPECT_EQ(refused.board.count, 0);

    for (const Items& copied :
         {Items{{{"image/png", "\x89PNG"}}}, Items{{{"UTF8_STRING", " \n\t\u3000"}}}}) {
        CopyRun image;
        image.copyAfterPauses = 1;
        image.copied = copied;
        EXPECT_EQ(image.read().error(), CopyFallback::Failure::notText);
        EXPECT_EQ(image.board.restores, 1);
        EXPECT_EQ(image.board.items, userItems);
    }
}

}  // namespace
