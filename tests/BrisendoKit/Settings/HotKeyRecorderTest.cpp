#include "Settings/HotKeyRecorder.h"

#include <gtest/gtest.h>

#include "Storage/UserDefaults.h"
#include "Support/NotificationCenter.h"
#include "TempDir.h"

using namespace pivorel;

namespace {

KeyEvent key(std::uint16_t code, std::uint64_t flags) {
    return KeyEvent{code, flags, ""};
}

constexpr auto ctrl = KeyEvent::controlFlag;
constexpr auto opt = KeyEvent::optionFlag;
constexpr auto shift = KeyEvent::shiftFlag;
constexpr auto cmd = KeyEvent::commandFlag;

}  // namespace

TEST(HotKeyRecorder, EscapeAndShiftAloneStoreNothingAndControlOptionMStores46With6144) {
    test::TempDir dir;
    const auto file = dir.path() / "d.json";
    auto defaults = std::make_shared<UserDefaults>(file);
    HotKeyRecorder recorder{BarSettings(defaults)};
    int changes = 0;
    auto watch = recorder.changed.connect([&] { ++changes; });

    // Not recording: keys are not ours.
    EXPECT_EQ(recorder.handle(key(46, ctrl | opt)), HotKeyRecorder::Outcome::notRecording);
    EXPECT_FALSE(defaults->contains("hotkeyCode"));
    EXPECT_EQ(recorder.buttonTitle(), "⌃⌥N");

    recorder.toggle();
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(recorder.buttonTitle(), "按下新的组合键…（Esc 取消）");
    // Escape gives up, even with modifiers held.
    EXPECT_EQ(recorder.handle(key(53, ctrl)), HotKeyRecorder::Outcome::cancelled);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(defaults->contains("hotkeyCode"));
    EXPECT_FALSE(defaults->contains("hotkeyMods"));

    recorder.toggle();
    EXPECT_EQ(recorder.handle(key(45, shift)), HotKeyRecorder::Outcome::ignored);
    EXPECT_EQ(recorder.handle(key(45, 0)), HotKeyRecorder::Outcome::ignored);
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_FALSE(defaults->contains("hotkeyCode"));

    EXPECT_EQ(recorder.handle(key(46, ctrl | opt)), HotKeyRecorder::Outcome::recorded);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(recorder.buttonTitle(), "⌃⌥M");
    EXPECT_EQ(changes, 4);

    // What the file holds, as the application reads it.
    UserDefaults reread(file);
    EXPECT_EQ(reread.integerValue("hotkeyCode"), 46);
    EXPECT_EQ(reread.integerValue("hotkeyMods"), 6144);

    // Once recorded, further keys go elsewhere again.
    EXPECT_EQ(recorder.handle(key(0, cmd)), HotKeyRecorder::Outcome::notRecording);
    EXPECT_EQ(recorder.hotkey(), (HotKeySpec{46, 6144}));
}

TEST(HotKeyRecorder, PressingTheButtonAgainStopsAndEveryModifierMapsToItsBit) {
    test::TempDir dir;
    auto defaults = std::make_shared<UserDefaults>(dir.path() / "d.json");
    HotKeyRecorder recorder{BarSettings(defaults)};
    recorder.toggle();
    recorder.toggle();
    EXPECT_FALSE(recorder.isRecording());
    recorder.stop();  // harmless when not recording
    EXPECT_FALSE(recorder.isRecording());

    EXPECT_EQ(HotKeyRecorder::modifierMask(cmd), 256u);
    EXPECT_EQ(HotKeyRecorder::modifierMask(shift), 512u);
    EXPECT_EQ(HotKeyRecorder::modifierMask(opt), 2048u);
    EXPECT_EQ(HotKeyRecorder::modifierMask(ctrl), 4096u);
    // Flags outside the modifier set (caps lock, function key) are not part of a hot key.
    EXPECT_EQ(HotKeyRecorder::modifierMask(cmd | shift | 0x10000 | 0x800000), 768u);

    recorder.toggle();
    EXPECT_EQ(recorder.handle(key(40, cmd | shift)), HotKeyRecorder::Outcome::recorded);
    EXPECT_EQ(defaults->integerValue("hotkeyCode"), 40);
    EXPECT_EQ(defaults->integerValue("hotkeyMods"), 768);
    EXPECT_EQ(recorder.buttonTitle(), "⇧⌘K");
}

// The program holds no hot key while one is recorded, and always gets it back: after a
// recording, an Escape, a stop, and a window that went away mid-recording.
TEST(HotKeyRecorder, EveryRecordingThatBeginsAlsoEnds) {
    test::TempDir dir;
    auto defaults = std::make_shared<UserDefaults>(dir.path() / "d.json");
    int began = 0;
    int ended = 0;
    auto& center = NotificationCenter::defaultCenter();
    auto a = center.observe(HotKeyRecorder::recordingBegan, [&] { ++began; });
    auto b = center.observe(HotKeyRecorder::recordingEnded, [&] { ++ended; });
    {
        HotKeyRecorder recorder{BarSettings(defaults)};
        recorder.stop();  // not recording: nothing to end
        recorder.toggle();
        recorder.handle(key(46, ctrl | opt));
        recorder.toggle();
        recorder.handle(key(53, 0));
        recorder.toggle();
        recorder.toggle();
        recorder.toggle();
        recorder.stop();
        recorder.toggle();
        EXPECT_EQ(began, 5);
        EXPECT_EQ(ended, 4);
    }
    EXPECT_EQ(ended, 5);
}
