#include "Pivorel/GnomeWayland/ShellInputMonitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariant>
#include <ctime>

#include "Pivorel/GnomeWayland/ShellExtension.h"

namespace pivorel {

namespace {

constexpr int callTimeoutMs = 500;
// The first question waits for a shell that may be busy starting the session.
constexpr int firstCallTimeoutMs = 10000;
constexpr uint leftButton = 1;
constexpr uint rightButton = 3;

}  // namespace

ShellInputMonitor::ShellInputMonitor(QDBusConnection bus, Environment environment, QString service)
    : bus_(std::move(bus)),
      service_(service.isEmpty() ? QString::fromLatin1(ShellExtension::busName) : service),
      environment_(std::move(environment)),
      alive_(std::make_shared<bool>(true)) {
    const QString path = QString::fromLatin1(ShellExtension::objectPath);
    const QString iface = QString::fromLatin1(ShellExtension::interfaceName);
    // Taken whole: an extension from before the release time (still running until the next
    // log-in after an upgrade) sends one argument fewer.
    bus_.connect(service_, path, iface, QStringLiteral("Gesture"), this,
                 SLOT(gesture(QDBusMessage)));
    bus_.connect(service_, path, iface, QStringLiteral("MouseDown"), this,
                 SLOT(mouseDown(double, double, uint)));
    bus_.connect(service_, path, iface, QStringLiteral("PointerMoved"), this,
                 SLOT(pointerMoved(double, double)));
    bus_.connect(service_, path, iface, QStringLiteral("FocusedAppChanged"), this,
                 SLOT(focusedAppChanged(QString, uint)));
    bus_.connect(service_, path, iface, QStringLiteral("HotKey"), this, SLOT(hotKeyPressed()));
    // Asked without waiting: the program starts meanwhile, and a change signalled before the
    // answer is newer than it.
    auto* watcher = new QDBusPendingCallWatcher(
        bus_.asyncCall(methodCall("FocusedApp"), firstCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        if (signalled_ || reply.type() != QDBusMessage::ReplyMessage ||
            reply.arguments().size() != 2) {
            return;
        }
        setFocused(reply.arguments()[0].toString(), reply.arguments()[1].toUInt());
        lastActive_ = focusedApp();
    });
}

ShellInputMonitor::~ShellInputMonitor() {
    // The shell stops watching the pointer with us gone anyway; say so at once.
    if (barShown_) sendBarShown(false);
}

Connection ShellInputMonitor::monitorGestures(GestureHandler handler) {
    return gestures_.connect(std::move(handler));
}

Connection ShellInputMonitor::monitorMouseMoves(MoveHandler handler) {
    return watching(moves_.connect(std::move(handler)));
}

Connection ShellInputMonitor::monitorMouseDowns(PressHandler handler) {
    return watching(downs_.connect(std::move(handler)));
}

Connection ShellInputMonitor::observeActivations(ActivationHandler handler) {
    return activations_.connect(std::move(handler));
}

Connection ShellInputMonitor::watching(Connection inner) {
    tellBarShown();
    auto held = std::make_shared<Connection>(std::move(inner));
    return Connection([this, held, alive = std::weak_ptr<bool>(alive_)] {
        held->reset();
        if (alive.lock()) tellBarShown();
    });
}

void ShellInputMonitor::tellBarShown() {
    // Moves and presses are watched by polling in the shell: only while someone listens.
    const bool shown = moves_.size() > 0 || downs_.size() > 0;
    if (shown == barShown_) return;
    barShown_ = shown;
    sendBarShown(shown);
}

void ShellInputMonitor::sendBarShown(bool shown) {
    auto message = methodCall("SetBarShown");
    message.setArguments({shown});
    bus_.send(message);
}

QDBusMessage ShellInputMonitor::methodCall(const char* name) const {
    return QDBusMessage::createMethodCall(service_, QString::fromLatin1(ShellExtension::objectPath),
                                          QString::fromLatin1(ShellExtension::interfaceName),
                                          QString::fromLatin1(name));
}

Point ShellInputMonitor::global(double x, double y) const {
    return environment_.coordinates().fromDevice(Point{x, y});
}

void ShellInputMonitor::gesture(const QDBusMessage& message) {
    const QList<QVariant> a = message.arguments();
    if (message.signature() != QLatin1String("ddddib") &&
        message.signature() != QLatin1String("ddddibx")) {
        return;
    }
    const Point down = global(a[0].toDouble(), a[1].toDouble());
    const Point up = global(a[2].toDouble(), a[3].toDouble());
    const std::int64_t clicks = a[4].toInt() > 0 ? a[4].toInt() : 1;
    gestures_.emit(GestureEvent(GestureEvent::leftMouseDownType, clicks, 0, 0, down));
    if (up != down) {
        gestures_.emit(GestureEvent(GestureEvent::leftMouseDraggedType, clicks, 0, 0, up));
    }
    GestureEvent release(GestureEvent::leftMouseUpType, clicks,
                         a[5].toBool() ? GestureEvent::shiftFlag : 0, 0, up);
    // The shell's clock is this machine's monotonic clock, in microseconds.
    if (a.size() == 7) release.age = ageOf(a[6].toLongLong());
    gestures_.emit(release);
}

double ShellInputMonitor::ageOf(std::int64_t monotonicMicroseconds) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::int64_t nowUs = static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
    // Nothing from the future, and nothing older than a second: a value that far off is
    // not this machine's clock.
    const std::int64_t age = nowUs - monotonicMicroseconds;
    if (monotonicMicroseconds <= 0 || age < 0 || age > 1000000) return 0;
    return static_cast<double>(age) / 1e6;
}

void ShellInputMonitor::mouseDown(double x, double y, uint button) {
    // Presses on the bar or the panel are theirs, as on X11.
    if (environment_.isOwnPoint && environment_.isOwnPoint(Point{x, y})) return;
    const Point at = global(x, y);
    if (button == leftButton) {
        gestures_.emit(GestureEvent(GestureEvent::leftMouseDownType, 1, 0, 0, at));
    } else if (button == rightButton) {
        gestures_.emit(GestureEvent(GestureEvent::rightMouseDownType, 1, 0, 0, at));
    } else {
        return;
    }
    downs_.emit();
}

void ShellInputMonitor::pointerMoved(double x, double y) {
    moves_.emit(global(x, y));
}

void ShellInputMonitor::focusedAppChanged(const QString& id, uint pid) {
    signalled_ = true;
    setFocused(id, pid);
    const auto now = focusedApp();
    // Focus on no window names no application; windows of one application are no switch.
    if (!now || now == lastActive_) return;
    lastActive_ = now;
    activations_.emit(now);
}

void ShellInputMonitor::setFocused(const QString& id, uint pid) {
    std::lock_guard lock(mutex_);
    focusedApp_ = id.isEmpty() ? std::nullopt : std::optional<std::string>(id.toStdString());
    focusedPid_ = pid == 0 ? std::nullopt : std::optional<std::uint32_t>(pid);
}

std::optional<std::string> ShellInputMonitor::focusedApp() const {
    std::lock_guard lock(mutex_);
    return focusedApp_;
}

std::optional<std::uint32_t> ShellInputMonitor::focusedPid() const {
    std::lock_guard lock(mutex_);
    return focusedPid_;
}

std::optional<Point> ShellInputMonitor::pointer() {
    const QDBusMessage reply = bus_.call(methodCall("Pointer"), QDBus::Block, callTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2) {
        return std::nullopt;
    }
    return global(reply.arguments()[0].toDouble(), reply.arguments()[1].toDouble());
}

bool ShellInputMonitor::setHotKey(const std::string& accelerator, std::function<void()> onPressed) {
    onHotKey_ = std::move(onPressed);
    auto message = methodCall("SetHotKey");
    message.setArguments({QString::fromStdString(accelerator)});
    const QDBusMessage reply = bus_.call(message, QDBus::Block, callTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments()[0].toBool();
}

void ShellInputMonitor::hotKeyPressed() {
    if (onHotKey_) onHotKey_();
}

}  // namespace pivorel
