#include "BrisendoKit/Support/Text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>

#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/Clock.h"
#include "BrisendoKit/Support/Signal.h"
#include "BrisendoKit/Support/XdgDirs.h"
#include "TempDir.h"

using namespace pivorel::text;
using namespace pivorel;
namespace fs = std::filesystem;

TEST(Text, TrimUsesUnicodeWhiteSpace) {
    EXPECT_EQ(trim("  \n\thello world\r\n "), "hello world");
    // NO-BREAK SPACE, IDEOGRAPHIC SPACE, NEXT LINE and LINE SEPARATOR are White_Space.
    EXPECT_EQ(trim("\u00A0\u3000x y\u0085\u2028"), "x y");
    // ZERO WIDTH SPACE and BOM are not.
    EXPECT_EQ(trim("\u200Bx\uFEFF"), "\u200Bx\uFEFF");
    EXPECT_EQ(trim(" \n \u3000"), "");
    EXPECT_EQ(trim("\u3000中\u3000"), "中");
    EXPECT_EQ(trim("x\xE3\x80"), "x\xE3\x80");     // a cut-off ideographic space is not space
    EXPECT_EQ(trim("\xE3\x80\x80\x80 "), "\x80");  // a stray continuation byte stays
}

TEST(Text, GraphemesCountWhatAPersonSees) {
    EXPECT_EQ(graphemeCount(""), 0u);
    EXPECT_EQ(graphemeCount("明天下午"), 4u);
    EXPECT_EQ(graphemeCount("e\u0301"), 1u);             // combining acute
    EXPECT_EQ(graphemeCount("👍🏽"), 1u);            // skin tone modifier
    EXPECT_EQ(graphemeCount("👨‍👩‍👧"), 1u);  // ZWJ family
    EXPECT_EQ(graphemeCount("🇨🇳🇩🇪"), 2u);                // two flags
    EXPECT_EQ(graphemeCount("a\r\nb"), 3u);              // CR LF is one
    EXPECT_EQ(graphemePrefix("👨‍👩‍👧ab", 1), "👨‍👩‍👧");
    EXPECT_EQ(graphemePrefix("e\u0301x", 1), "e\u0301");
    EXPECT_EQ(graphemePrefix("ab", 5), "ab");
}

TEST(Text, RepairReplacesEachIllFormedSubpart) {
    EXPECT_EQ(repairUtf8("中文"), "中文");
    // A truncated three-byte sequence is one maximal subpart: one replacement.
    EXPECT_EQ(repairUtf8("\xE4\xB8"
                         "x"),
              "\uFFFD"
              "x");
    // Overlong encodings and surrogates are ill-formed, byte by byte.
    EXPECT_EQ(repairUtf8("\xC0\xAF"), "\uFFFD\uFFFD");
    EXPECT_EQ(repairUtf8("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(repairUtf8("\xF4\x90\x80\x80"), "\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
    EXPECT_EQ(repairUtf8("end\xF0\x9F\x98"), "end\uFFFD");
    EXPECT_TRUE(isValidUtf8(repairUtf8(std::string("\x80\x81\xC3\x28\xE2\x82", 6))));
}

TEST(Text, Utf16LengthCountsSurrogatePairsAndHelpersSurviveIllFormedInput) {
    EXPECT_EQ(utf16Length("中文"), 2u);
    EXPECT_EQ(utf16Length("😀"), 2u);
    const std::string bad("\xFF \xE4\xB8 x \xC3", 8);
    EXPECT_EQ(trim(bad), bad);
    EXPECT_GE(graphemeCount(bad), 5u);
    EXPECT_EQ(utf16Length(bad), 7u);
}

TEST(Clock, UnixSecondsRoundTripAndClampGarbage) {
    EXPECT_DOUBLE_EQ(toUnixSeconds(fromUnixSeconds(1700000000.25)), 1700000000.25);
    EXPECT_NO_THROW(fromUnixSeconds(1e300));
    EXPECT_EQ(toUnixSeconds(fromUnixSeconds(std::nan(""))), 0.0);
}

TEST(Signal, SlotsMayDisconnectDuringEmitAndConnectionsMayOutliveTheSignal) {
    Connection late;
    std::vector<int> calls;
    {
        Signal<int> s;
        Connection second;
        Connection first = s.connect([&](int v) {
            calls.push_back(v);
            second.reset();  // the later slot must not run any more
        });
        second = s.connect([&](int v) { calls.push_back(100 + v); });
        late = s.connect([&](int v) { calls.push_back(1000 + v); });
        s.emit(1);
        first.reset();
        s.emit(2);
        EXPECT_EQ(s.size(), 1u);
    }
    late.reset();  // the signal is gone: must not crash
    EXPECT_EQ(calls, (std::vector<int>{1, 1001, 1002}));
}

TEST(XdgDirs, VariablesCountOnlyWhenAbsolute) {
    std::map<std::string, std::optional<std::string>> saved;
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS",
                             "XDG_CONFIG_DIRS", "XDG_RUNTIME_DIR"})
        saved[name] =
            std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt;
    test::TempDir dir;
    setenv("HOME", dir.path().c_str(), 1);
    setenv("XDG_DATA_HOME", "relative/dir", 1);
    unsetenv("XDG_CONFIG_HOME");
    setenv("XDG_DATA_DIRS", "/opt/a::relative:/opt/b/", 1);
    setenv("XDG_CONFIG_DIRS", "", 1);
    setenv("XDG_RUNTIME_DIR", "run", 1);
    EXPECT_EQ(XdgDirs::dataHome(), dir.path() / ".local/share");
    EXPECT_EQ(XdgDirs::configHome(), dir.path() / ".config");
    EXPECT_EQ(XdgDirs::dataDirs(), (std::vector<fs::path>{"/opt/a", "/opt/b/"}));
    EXPECT_EQ(XdgDirs::configDirs(), std::vector<fs::path>{"/etc/xdg"});
    EXPECT_EQ(XdgDirs::runtimeDir(), std::nullopt);

    setenv("XDG_CONFIG_HOME", "/nonexistent/xdg", 1);
    setenv("XDG_RUNTIME_DIR", "/run/user/1", 1);
    EXPECT_EQ(XdgDirs::configHome(), fs::path("/nonexistent/xdg"));
    EXPECT_EQ(XdgDirs::runtimeDir(), fs::path("/run/user/1"));

    for (const auto& [name, value] : saved)
        value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
}
