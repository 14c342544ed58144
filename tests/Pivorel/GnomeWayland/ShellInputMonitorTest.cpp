#include "Pivorel/GnomeWayland/ShellInputMonitor.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QThread>
#include <atomic>
#include <ctime>
#include <limits>

#include "Pivorel/GnomeWayland/ShellExtension.h"
#include "QtApp.h"

using namespace pivorel;
using namespace pivorel::test;

namespace {

// The extension's end of the interface, on a bus connection and a thread of its own so the
// monitor's blocking calls are answered.
class ShellSide final : public QDBusVirtualObject {
  public:
    std::atomic<int> barShownCalls{0};
    std::atomic<bool> barShown{false};

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() == "SetBarShown") {
            barShown = message.arguments().value(0).toBool();
            ++barShownCalls;
        }
        auto reply = message.createReply();
        if (message.member() == "FocusedApp") reply.setArguments({QString("org.gnome.gedit"), 42u});
        return QDBusConnection(connection).send(reply);
    }
};

class ShellInputMonitorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qtApp();
        if (!QDBusConnection::sessionBus().isConnected()) GTEST_SKIP() << "no session bus";
        shellBus_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "pivorel-test-shell"));
        thread_.start();
        side_.moveToThread(&thread_);
        shellBus_->registerVirtualObject(ShellExtension::objectPath, &side_);
        // A name of its own: tests run side by side on one bus.
        service_ = QString("com.morvale.Pivorel.Test%1").arg(QCoreApplication::applicationPid());
        ASSERT_TRUE(shellBus_->registerService(service_));
        // A 100-pixel-high screen: y flips to 100 - y.
        ShellInputMonitor::Environment environment;
        environment.coordinates = [] { return ScreenCoordinates({{{0, 0, 200, 100}, 1}}); };
        environment.isOwnPoint = [](Point p) { return p.x > 150; };
        monitor_ = std::make_unique<ShellInputMonitor>(QDBusConnection::sessionBus(), environment,
                                                       service_);
    }
    void TearDown() override {
        monitor_.reset();
        if (shellBus_) {
            shellBus_->unregisterService(service_);
            shellBus_->unregisterObject(ShellExtension::objectPath);
            QDBusConnection::disconnectFromBus("pivorel-test-shell");
        }
        thread_.quit();
        thread_.wait();
    }

    void emitSignal(const char* name, const QList<QVariant>& arguments) {
        auto signal = QDBusMessage::createSignal(ShellExtension::objectPath,
                                                 ShellExtension::interfaceName, name);
        signal.setArguments(arguments);
        shellBus_->send(signal);
    }
    template <typename Done>
    bool waitFor(Done done) {
        for (int i = 0; i < 200 && !done(); ++i) {
            QCoreApplication::processEvents();
            QThread::msleep(10);
        }
        return done();
    }

    QString service_;
    ShellSide side_;
    QThread thread_;
    std::unique_ptr<QDBusConnection> shellBus_;
    std::unique_ptr<ShellInputMonitor> monitor_;
};

}  // namespace

TEST_F(ShellInputMonitorTest, AGestureArrivesAsPressDragAndReleaseInGlobalPoints) {
    std::vector<GestureEvent> events;
    auto c = monitor_->monitorGestures([&](const GestureEvent& e) { events.push_back(e); });
    emitSignal("Gesture", {10.0, 20.0});  // not a gesture: ignored
    // From an extension that does not say when the button went up.
    emitSignal("Gesture", {10.0, 20.0, 60.0, 20.0, 1, true});
    // One at a time: two signals sent at once right after subscribing once arrived in the
    // opposite order on a loaded machine, and that order is not what this checks.
    ASSERT_TRUE(waitFor([&] { return events.size() == 3; })) << events.size();
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const qlonglong releasedAt = now.tv_sec * 1000000LL + now.tv_nsec / 1000 - 30000;
    emitSignal("Gesture", {30.0, 40.0, 30.0, 40.0, 2, false, releasedAt});
    ASSERT_TRUE(waitFor([&] { return events.size() == 5; })) << events.size();
    EXPECT_EQ(events[2].age, 0);
    EXPECT_GE(events[4].age, 0.03);
    EXPECT_LT(events[4].age, 0.5);
    events[4].age = 0;
    // A time that is not this machine's monotonic clock gives no age.
    EXPECT_EQ(ShellInputMonitor::ageOf(0), 0);
    EXPECT_EQ(ShellInputMonitor::ageOf(std::numeric_limits<std::int64_t>::max()), 0);
    const std::vector<GestureEvent> expected{
        {GestureEvent::leftMouseDownType, 1, 0, 0, {10, 80}},
        {GestureEvent::leftMouseDraggedType, 1, 0, 0, {60, 80}},
        {GestureEvent::leftMouseUpType, 1, GestureEvent::shiftFlag, 0, {60, 80}},
        // A double click selects without moving: no drag.
        {GestureEvent::leftMouseDownType, 2, 0, 0, {30, 60}},
        {GestureEvent::leftMouseUpType, 2, 0, 0, {30, 60}},
    };
    EXPECT_EQ(events, expected);
}

// The shell polls the pointer only while the program listens for moves or presses, and
// presses on the program's own windows are not reported.
TEST_F(ShellInputMonitorTest, PointerWatchRunsOnlyWhileSomeoneListens) {
    int downs = 0;
    std::vector<Point> moves;
    {
        auto m = monitor_->monitorMouseMoves([&](Point p) { moves.push_back(p); });
        auto d = monitor_->monitorMouseDowns([&] { ++downs; });
        ASSERT_TRUE(waitFor([&] { return side_.barShown.load(); }));
        emitSignal("PointerMoved", {5.0, 10.0});
        emitSignal("MouseDown", {160.0, 10.0, 1u});
        emitSignal("MouseDown", {20.0, 10.0, 3u});
        ASSERT_TRUE(waitFor([&] { return downs == 1 && moves.size() == 1; }));
        EXPECT_EQ(moves[0], (Point{5, 90}));
    }
    ASSERT_TRUE(waitFor([&] { return !side_.barShown.load(); }));
    EXPECT_EQ(side_.barShownCalls.load(), 2);
}

TEST_F(ShellInputMonitorTest, FocusChangesAreApplicationSwitches) {
    ASSERT_TRUE(waitFor([&] { return monitor_->focusedPid() == 42u; }));
    EXPECT_EQ(monitor_->focusedApp(), "org.gnome.gedit");
    std::vector<std::optional<std::string>> switches;
    auto c = monitor_->observeActivations([&](const auto& app) { switches.push_back(app); });
    emitSignal("FocusedAppChanged", {QString("org.gnome.gedit"), 43u});
    emitSignal("FocusedAppChanged", {QString(""), 0u});
    emitSignal("FocusedAppChanged", {QString("firefox-esr"), 7u});
    ASSERT_TRUE(waitFor([&] { return monitor_->focusedPid() == 7u; }));
    EXPECT_EQ(switches, (std::vector<std::optional<std::string>>{"firefox-esr"}));
}
