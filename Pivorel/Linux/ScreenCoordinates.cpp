#include "Pivorel/Linux/ScreenCoordinates.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <limits>

namespace pivorel {

namespace {

double distanceTo(const Rect& r, Point p) {
    const double dx = std::max({r.minX() - p.x, 0.0, p.x - r.maxX()});
    const double dy = std::max({r.minY() - p.y, 0.0, p.y - r.maxY()});
    return std::hypot(dx, dy);
}

}  // namespace

ScreenCoordinates::ScreenCoordinates(std::vector<Screen> screens) : screens_(std::move(screens)) {
    // The whole desktop's coordinates start at the primary screen's top-left corner on X11,
    // so only its bottom matters for the flip.
    if (!screens_.empty()) primaryBottom_ = screens_.front().logical.maxY();
}

const ScreenCoordinates::Screen* ScreenCoordinates::screenAt(Point p, bool device) const {
    const Screen* nearest = nullptr;
    double best = std::numeric_limits<double>::infinity();
    for (const auto& screen : screens_) {
        const Rect r = device ? screen.device() : screen.logical;
        if (r.contains(p)) return &screen;
        if (const double d = distanceTo(r, p); d < best) {
            best = d;
            nearest = &screen;
        }
    }
    return nearest;
}

Point ScreenCoordinates::toDevice(Point p) const {
    const Point q = toQt(p);
    const Screen* screen = screenAt(q, false);
    if (!screen) return q;
    const Rect& s = screen->logical;
    return {s.x + (q.x - s.x) * screen->scale, s.y + (q.y - s.y) * screen->scale};
}

Point ScreenCoordinates::fromDevice(Point p) const {
    const Screen* screen = screenAt(p, true);
    if (!screen) return fromQt(p);
    const Rect& s = screen->logical;
    return fromQt(Point{s.x + (p.x - s.x) / screen->scale, s.y + (p.y - s.y) / screen->scale});
}

ScreenCoordinates ScreenCoordinates::current() {
    std::vector<Screen> screens;
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        Screen s{Rect{static_cast<double>(g.x()), static_cast<double>(g.y()),
                      static_cast<double>(g.width()), static_cast<double>(g.height())},
                 screen->devicePixelRatio()};
        if (screen == primary) {
            screens.insert(screens.begin(), s);
        } else {
            screens.push_back(s);
        }
    }
    return ScreenCoordinates(std::move(screens));
}

ScreenWatch::ScreenWatch() : context_(std::make_unique<QObject>()) {
    QObject::connect(qGuiApp, &QGuiApplication::screenAdded, context_.get(), [this](QScreen* s) {
        watch(s);
        refresh();
    });
    // Asked once the removal is done: Qt may still list the screen while it tells of it.
    QObject::connect(
        qGuiApp, &QGuiApplication::screenRemoved, context_.get(), [this] { refresh(); },
        Qt::QueuedConnection);
    QObject::connect(qGuiApp, &QGuiApplication::primaryScreenChanged, context_.get(),
                     [this] { refresh(); });
    for (QScreen* screen : QGuiApplication::screens()) watch(screen);
    refresh();
}

ScreenWatch::~ScreenWatch() = default;

void ScreenWatch::watch(QScreen* screen) {
    // A new scale changes the logical geometry, and with it the logical DPI.
    QObject::connect(screen, &QScreen::geometryChanged, context_.get(), [this] { refresh(); });
    QObject::connect(screen, &QScreen::logicalDotsPerInchChanged, context_.get(),
                     [this] { refresh(); });
}

void ScreenWatch::refresh() {
    auto now = ScreenCoordinates::current();
    std::lock_guard lock(mutex_);
    coordinates_ = std::move(now);
}

ScreenCoordinates ScreenWatch::coordinates() const {
    std::lock_guard lock(mutex_);
    return coordinates_;
}

}  // namespace pivorel
