#include "Pivorel/Linux/X11Parts.h"

#include <chrono>

namespace pivorel {

Result<std::unique_ptr<X11Parts>, std::string> X11Parts::open() {
    auto connection = X11Connection::open();
    if (!connection) return fail(connection.error());
    auto opened = X11Selections::open(*connection.value());
    if (!opened) return fail(opened.error());
    return std::unique_ptr<X11Parts>(
        new X11Parts(std::move(connection).value(), std::move(opened).value()));
}

X11Parts::X11Parts(std::unique_ptr<X11Connection> connection,
                   std::unique_ptr<X11Selections> openSelections)
    : x(std::move(connection)),
      keyboard(*x),
      workspace(*x, apps, screens),
      selections(std::move(openSelections)),
      clipboard(*selections) {}

X11Parts::~X11Parts() {
    if (warmUp_.valid()) warmUp_.wait();
}

void X11Parts::start() {
    warmUp_ = std::async(std::launch::async, [this] {
        atspi.application(0, std::chrono::steady_clock::now() + std::chrono::seconds(1));
    });
    x->startReading();
    selections->startReading();
}

}  // namespace pivorel
