#include "BrisendoKit/Settings/GeneralForm.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Platform/LoginItemHook.h"
#include "BrisendoKit/Platform/UpdateHook.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "TempDir.h"

using namespace pivorel;

namespace {

struct FakeLogin final : LoginItemHook {
    bool enabled = false;
    bool accept = true;
    bool isEnabled() override { return enabled; }
    bool set(bool on) override {
        if (accept) enabled = on;
        return accept;
    }
};

struct FakeUpdate final : UpdateHook {
    bool automatic = true;
    std::optional<TimePoint> last;
    int checks = 0;
    Signal<> signal;
    bool autoCheck() override { return automatic; }
    void setAutoCheck(bool on) override { automatic = on; }
    std::optional<TimePoint> lastCheck() override { return last; }
    void checkNow() override { ++checks; }
    std::string version() override { return "0.1.0"; }
    Connection observe(std::function<void()> handler) override {
        return signal.connect(std::move(handler));
    }
};

struct Fixture {
    test::TempDir dir;
    std::shared_ptr<UserDefaults> defaults = std::make_shared<UserDefaults>(dir.path() / "d.json");
    std::shared_ptr<FakeLogin> login = std::make_shared<FakeLogin>();
    std::shared_ptr<FakeUpdate> update = std::make_shared<FakeUpdate>();
    GeneralForm form{BarSettings(defaults), login, update};
};

}  // namespace

TEST(GeneralForm, ARefusedLoginChangeSpringsBackWithANote) {
    Fixture f;
    f.form.setLoginOn(true);
    EXPECT_TRUE(f.form.loginOn());
    EXPECT_EQ(f.form.loginNote(), "");

    f.login->accept = false;
    f.form.setLoginOn(false);
    EXPECT_TRUE(f.form.loginOn());
    EXPECT_EQ(f.form.loginNote(), "系统没有接受，请在系统设置 → 通用 → 登录项里手动设置");

    f.login->accept = true;
    f.form.setLoginOn(false);
    EXPECT_FALSE(f.form.loginOn());
    EXPECT_EQ(f.form.loginNote(), "");

    // Without a hook the switch stays off and says it was refused.
    GeneralForm bare{BarSettings(f.defaults), nullptr, nullptr};
    bare.setLoginOn(true);
    EXPECT_FALSE(bare.loginOn());
    EXPECT_FALSE(bare.loginNote().empty());
    EXPECT_EQ(bare.versionLine(), "当前版本 　还没检查过");
}

TEST(GeneralForm, TheLastCheckIsWrittenInTheInterfaceLanguagesMonthDayTimeForm) {
    // 2025-06-15 15:06:40 UTC.
    const TimePoint t = fromUnixSeconds(1'750'000'000);
    EXPECT_EQ(GeneralForm::formatCheckTime(t, "zh-Hans", "UTC"), "6月15日 15:06");
    EXPECT_EQ(GeneralForm::formatCheckTime(t, "en", "UTC"), "Jun 15, 15:06");
    EXPECT_EQ(GeneralForm::formatCheckTime(t, "de", "Asia/Shanghai"), "15. Juni, 23:06");
}
