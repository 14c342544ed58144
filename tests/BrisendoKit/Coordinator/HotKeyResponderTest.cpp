#include "BrisendoKit/Coordinator/HotKeyResponder.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Coordinator/Harness.h"

using namespace pivorel;

namespace {

struct Registration {
    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;
    std::function<void()> pressed;
};

// The harness with the hot key's registrations recorded instead of grabbed.
struct Rig : test::Harness {
    std::vector<Registration> registrations;
    bool grabSucceeds = true;
    std::unique_ptr<HotKeyResponder> responder = std::make_unique<HotKeyResponder>(
        watcher, reader, controller, workspace, queue,
        [this](std::uint32_t code, std::uint32_t mods, std::function<void()> pressed) {
            registrations.push_back({code, mods, std::move(pressed)});
            return grabSucceeds;
        });

    Rig() { workspace.pointer = {700, 800}; }
};

}  // namespace

TEST(HotKeyResponder, RegistersEachNewKeyOnceAndPressesArriveThroughTheQueue) {
    Rig rig;
    EXPECT_TRUE(rig.responder->update(HotKeySpec::defaultSpec()));
    ASSERT_EQ(rig.registrations.size(), 1u);
    EXPECT_EQ(rig.registrations[0].keyCode, 45u);
    EXPECT_EQ(rig.registrations[0].modifiers, HotKeySpec::control | HotKeySpec::option);
    EXPECT_TRUE(rig.responder->isRegistered());
    EXPECT_FALSE(rig.responder->update(HotKeySpec::defaultSpec()));  // an unchanged key
    EXPECT_EQ(rig.registrations.size(), 1u);

    // A key someone else holds is not asked for again until the settings change.
    rig.grabSucceeds = false;
    const HotKeySpec other{49, HotKeySpec::cmd | HotKeySpec::shift};
    EXPECT_TRUE(rig.responder->update(other));
    EXPECT_FALSE(rig.responder->isRegistered());
    EXPECT_EQ(rig.responder->spec(), other);
    EXPECT_FALSE(rig.responder->update(other));
    EXPECT_EQ(rig.registrations.size(), 2u);

    // The desktop's callback only queues the press; one still queued when the responder
    // goes is dropped.
    rig.accessibility.systemText = "serendipity";
    rig.registrations[0].pressed();
    EXPECT_FALSE(rig.panel.isVisible());
    rig.queue.runReady();
    EXPECT_TRUE(rig.panel.isVisible());
    EXPECT_EQ(rig.panel.model()->selection(), "serendipity");
    rig.panel.close("esc");
    rig.registrations[1].pressed();
    rig.responder.reset();
    rig.queue.runReady();
    EXPECT_FALSE(rig.panel.isVisible());
}

TEST(HotKeyResponder, NothingReadableShowsWhyForFourAndAHalfSeconds) {
    Rig rig;
    rig.responder->pressed();
    ASSERT_TRUE(rig.panel.isVisible());
    EXPECT_EQ(rig.panel.model()->mode(),
              PanelMode::notice("读不到选中的文字。这个 App 可能不暴露选区（终端、部分 Electron "
                                "应用）。可以在设置里为它开启「拷贝兜底」。"));
    EXPECT_TRUE(rig.panel.model()->rows().empty());
    EXPECT_FALSE(rig.controller.currentRecordID());
    rig.expectClosesAfter(4.5);
    EXPECT_EQ(rig.panel.lastCloseReason(), "notice-timeout");

    // Without the permission the notice says what is missing, and the log says so too.
    rig.accessibility.trusted = false;
    rig.accessibility.systemText = "readable, but not allowed";
    rig.responder->pressed();
    ASSERT_TRUE(rig.panel.isVisible());
    EXPECT_EQ(rig.panel.model()->mode(),
              PanelMode::notice("需要先打开桌面的辅助功能支持：点托盘菜单里的「辅助功能」一项"
                                "打开它，然后再按一次快捷键。"));
    EXPECT_TRUE(rig.log.contains("辅助功能未授权"));
}
