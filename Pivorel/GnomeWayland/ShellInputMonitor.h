#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "BrisendoKit/Platform/InputMonitor.h"
#include "Pivorel/Linux/ScreenCoordinates.h"

namespace pivorel {

// Global input on GNOME's Wayland session, as the Shell extension reports it over D-Bus:
// a finished selection gesture (press, release, click count, shift), presses and pointer
// moves only while a monitor of them is installed (the extension watches the pointer only
// then), the focused application and the hot key. The extension's points are the
// compositor's, which are Xwayland's device pixels. Main thread, except where noted.
class ShellInputMonitor final : public QObject, public InputMonitor {
    Q_OBJECT

  public:
    struct Environment {
        std::function<ScreenCoordinates()> coordinates;
        // Whether a point in device pixels lies on one of the program's own windows.
        std::function<bool(Point devicePoint)> isOwnPoint;
    };

    // `service`: the bus name the extension owns (tests give another).
    ShellInputMonitor(QDBusConnection bus, Environment environment, QString service = {});
    ~ShellInputMonitor() override;

    Connection monitorGestures(GestureHandler handler) override;
    Connection monitorMouseMoves(MoveHandler handler) override;
    Connection monitorMouseDowns(PressHandler handler) override;
    Connection observeActivations(ActivationHandler handler) override;

    // The focused application and its process as the shell last named them. Any thread.
    std::optional<std::string> focusedApp() const;
    std::optional<std::uint32_t> focusedPid() const;
    // The pointer in global coordinates, asked of the shell; nothing when it does not answer.
    std::optional<Point> pointer();

    // Binds `accelerator` (empty: none) in the shell; false when the shell refused it.
    bool setHotKey(const std::string& accelerator, std::function<void()> onPressed);

    // Seconds since a moment of the monotonic clock; 0 for one in the future or over a
    // second ago.
    static double ageOf(std::int64_t monotonicMicroseconds);

  private Q_SLOTS:
    void gesture(const QDBusMessage& message);
    void mouseDown(double x, double y, uint button);
    void pointerMoved(double x, double y);
    void focusedAppChanged(const QString& id, uint pid);
    void hotKeyPressed();

  private:
    Point global(double x, double y) const;
    Connection watching(Connection inner);
    void tellBarShown();
    void sendBarShown(bool shown);
    QDBusMessage methodCall(const char* name) const;
    void setFocused(const QString& id, uint pid);

    QDBusConnection bus_;
    QString service_;
    Environment environment_;
    std::shared_ptr<bool> alive_;
    Signal<const GestureEvent&> gestures_;
    Signal<Point> moves_;
    Signal<> downs_;
    Signal<const std::optional<std::string>&> activations_;
    std::function<void()> onHotKey_;
    bool barShown_ = false;
    std::optional<std::string> lastActive_;
    bool signalled_ = false;

    mutable std::mutex mutex_;
    std::optional<std::string> focusedApp_;
    std::optional<std::uint32_t> focusedPid_;
};

}  // namespace pivorel
