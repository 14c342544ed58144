#include "BrisendoKit/Settings/HotKeyRecorder.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Support/UserDefaults.h"
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

class Recording : public ::testing::Test {
  protected:
    test::TempDir dir;
    std::filesystem::path file = dir.path() / "d.json";
    std::shared_ptr<UserDefaults> defaults = std::make_shared<UserDefaults>(file);
    HotKeyRecorder recorder{BarSettings(defaults)};
};

}  // namespace

TEST_F(Recording, EscapeAndShiftAloneStoreNothingAndControlOptionMStores46With6144) {
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

TEST_F(Recording, PressingTheButtonAgainStopsAndEveryModifierMapsToItsBit) {
    recorder.toggle();
    recorder.toggle();
    EXPECT_FALSE(recorder.isRecording());

    // Control-option is 6144 above; flags outside the modifier set (caps lock, function key) are
    // not part of a hot key.
    EXPECT_EQ(HotKeyRecorder::modifierMask(cmd | shift | 0x10000 | 0x800000), 768u);

    recorder.toggle();
    EXPECT_EQ(recorder.handle(key(40, cmd | shift)), HotKeyRecorder::Outcome::recorded);
    EXPECT_EQ(defaults->integerValue("hotkeyCode"), 40);
    EXPECT_EQ(defaults->integerValue("hotkeyMods"), 768);
    EXPECT_EQ(recorder.buttonTitle(), "⇧⌘K");
}

// The program holds no hot key while one is recorded, and always gets it back: after a
// recording, an Escape, a stop, and a window that went away mid-recording.
TEST_F(Recording, EveryRecordingThatBeginsAlsoEnds) {
    int began = 0;
    int ended = 0;
    Connection watch;
    {
        HotKeyRecorder scoped{BarSettings(defaults)};
        watch = scoped.recordingChanged.connect([&](bool on) { ++(on ? began : ended); });
        scoped.stop();  // not recording: nothing to end
        scoped.toggle();
        scoped.handle(key(46, ctrl | opt));
        scoped.toggle();
        scoped.handle(key(53, 0));
        scoped.toggle();
        scoped.toggle();
        scoped.toggle();
        scoped.stop();
        scoped.toggle();
        EXPECT_EQ(began, 5);
        EXPECT_EQ(ended, 4);
    }
    EXPECT_EQ(ended, 5);
}
