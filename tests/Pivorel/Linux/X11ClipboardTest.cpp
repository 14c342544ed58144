#include "Pivorel/Linux/X11Clipboard.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "Pivorel/Linux/XDesktopTestSupport.h"

using namespace pivorel;
using namespace pivorel::test;

namespace {

const std::string binary("\x00\x01\xfe\xff binary", 11);

// Qt of this process is a client of its own: it stands for the program the user copied in.
void copyInQt(std::map<QString, QByteArray> formats) {
    auto* data = new QMimeData;
    for (const auto& [format, bytes] : formats) data->setData(format, bytes);
    QGuiApplication::clipboard()->setMimeData(data);
    settle(std::chrono::milliseconds(100));
}

}  // namespace

TEST(X11Clipboard, RestoreServesEverySavedTargetUntilSomeoneCopies) {
    XDesktopEnvironment env;
    PIVOREL_REQUIRE_DESKTOP(env);
    auto& clipboard = env.desktop->pasteboard();

    copyInQt({{"text/plain", "plain words"},
              {"text/html", "<b>bold</b>"},
              {"application/x-pivorel-test", QByteArray(binary.data(), binary.size())}});
    const auto before = clipboardSeenByOthers();
    ASSERT_EQ(before.at("text/html"), "<b>bold</b>");
    const auto count = offThread([&] { return clipboard.changeCount(); });

    const auto saved = offThread([&] { return clipboard.snapshot(); });
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].at("text/html"), "<b>bold</b>");
    EXPECT_EQ(saved[0].at("application/x-pivorel-test"), binary);
    EXPECT_EQ(saved[0].at("UTF8_STRING"), "plain words");
    for (const char* meta : {"TARGETS", "TIMESTAMP", "MULTIPLE", "SAVE_TARGETS"}) {
        EXPECT_EQ(saved[0].count(meta), 0u) << meta;
    }
    EXPECT_EQ(offThread([&] { return clipboard.changeCount(); }), count) << "reading is no change";

    offThread([&] { clipboard.setString("replaced ünïcode"); });
    EXPECT_GT(offThread([&] { return clipboard.changeCount(); }), count);
    EXPECT_EQ(offThread([&] { return clipboard.string(); }), "replaced ünïcode");
    const auto ours = offThread([&] { return clipboard.snapshot(); });
    ASSERT_EQ(ours.size(), 1u) << "what we own, we list too";
    EXPECT_EQ(ours[0].at("text/plain;charset=utf-8"), "replaced ünïcode");
    EXPECT_EQ(ours[0].count("TARGETS"), 0u);
    const auto replaced = clipboardSeenByOthers();
    EXPECT_EQ(replaced.at("UTF8_STRING"), "replaced ünïcode");
    EXPECT_EQ(replaced.at("STRING"),
              "replaced \xfc"
              "n\xef"
              "code")
        << "Latin-1 for old clients";
    EXPECT_EQ(replaced.count("text/html"), 0u);

    offThread([&] { clipboard.restore(saved); });
    const auto after = clipboardSeenByOthers();
    for (const auto& [target, bytes] : before) {
        ASSERT_EQ(after.count(target), 1u) << target;
        EXPECT_EQ(after.at(target), bytes) << target;
    }
    EXPECT_EQ(offThread([&] { return clipboard.string(); }), "plain words");

    // Someone copies: theirs now, and counted.
    const auto restoredCount = offThread([&] { return clipboard.changeCount(); });
    copyInQt({{"text/plain", "newer"}});
    EXPECT_GT(offThread([&] { return clipboard.changeCount(); }), restoredCount);
    EXPECT_EQ(clipboardSeenByOthers().at("UTF8_STRING"), "newer");

    // Restoring an empty clipboard leaves it without an owner.
    offThread([&] { clipboard.restore({}); });
    EXPECT_TRUE(offThread([&] { return clipboard.snapshot(); }).empty());
    EXPECT_EQ(offThread([&] { return clipboard.string(); }), std::nullopt);
}

TEST(X11Clipboard, PasswordManagerSecretsAreNeverHandedOutAsText) {
    XDesktopEnvironment env;
    PIVOREL_REQUIRE_DESKTOP(env);
    auto& clipboard = env.desktop->pasteboard();

    copyInQt({{"text/plain", "hunter2"}, {"x-kde-passwordManagerHint", "secret"}});
    EXPECT_EQ(offThread([&] { return clipboard.string(); }), std::nullopt);
    const auto saved = offThread([&] { return clipboard.snapshot(); });
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].at(std::string(X11Clipboard::passwordHint)), "secret")
        << "a snapshot says what it holds";

    copyInQt({{"text/plain", "not a secret"}, {"x-kde-passwordManagerHint", "other"}});
    EXPECT_EQ(offThread([&] { return clipboard.string(); }), "not a secret");
}
