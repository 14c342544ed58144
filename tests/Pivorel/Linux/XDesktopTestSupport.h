#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <sstream>

#include "Pivorel/Linux/LinuxDesktop.h"
#include "Pivorel/Linux/X11Clipboard.h"
#include "Pivorel/Linux/X11Connection.h"
#include "Pivorel/Linux/X11Selections.h"
#include "Pivorel/QtMainQueue.h"
#include "Pivorel/WindowTest.h"
#include "XSession.h"

namespace pivorel::test {

// Runs `work` on a thread of its own while the event loop keeps spinning, as the program's
// blocking reads do.
template <class F>
auto offThread(F work) -> decltype(work()) {
    auto future = std::async(std::launch::async, std::move(work));
    waitUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
              std::chrono::seconds(20));
    return future.get();
}

// Runs xdotool while the event loop spins: the program sees each step as it happens.
inline bool drive(XSession& x, std::vector<std::string> args) {
    return offThread([&] { return x.xdotool(std::move(args)); });
}

// The same with the steps written as one line: "mousemove 10 20 click 1".
inline bool driveLine(XSession& x, const std::string& steps) {
    std::istringstream words(steps);
    return drive(x, std::vector<std::string>(std::istream_iterator<std::string>(words), {}));
}

using XPoint = std::pair<int, int>;

// Raw events carry no position: the hand keeps still around each press and release.
inline std::vector<std::string> pointerAt(XPoint p) {
    return {"mousemove", std::to_string(p.first), std::to_string(p.second), "sleep", "0.12"};
}

// A drag as a hand makes it, in relative steps: raw motion tells a drag from a click.
inline std::vector<std::string> dragSteps(XPoint from, XPoint to) {
    auto steps = pointerAt(from);
    steps.insert(steps.end(), {"mousedown", "1", "sleep", "0.12"});
    constexpr int parts = 4;
    for (int i = 1; i <= parts; ++i) {
        const auto part = [&](int a, int b) {
            return std::to_string((b - a) * i / parts - (b - a) * (i - 1) / parts);
        };
        steps.insert(steps.end(), {"mousemove_relative", "--", part(from.first, to.first),
                                   part(from.second, to.second), "sleep", "0.03"});
    }
    steps.insert(steps.end(), {"sleep", "0.12", "mouseup", "1", "sleep", "0.12"});
    return steps;
}

inline std::vector<std::string> clickSteps(XPoint p, int clicks = 1, bool shift = false) {
    auto steps = pointerAt(p);
    if (shift) steps.insert(steps.end(), {"keydown", "Shift_L", "sleep", "0.05"});
    steps.insert(steps.end(), {"click", "--repeat", std::to_string(clicks), "--delay", "80", "1"});
    if (shift) steps.insert(steps.end(), {"sleep", "0.05", "keyup", "Shift_L"});
    steps.insert(steps.end(), {"sleep", "0.12"});
    return steps;
}

// Centre of a character cell of an xterm drawn with the 6x13 font (2-pixel border).
inline XPoint cell(const std::array<int, 4>& window, int column, int row) {
    return {window[0] + 2 + column * 6 + 3, window[1] + 2 + row * 13 + 6};
}

// Accessibility on the test's own session bus: programs started from now expose themselves.
inline bool enableAccessibility(XSession& x) {
    return x.run({"dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                  "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status",
                  "string:IsEnabled", "variant:boolean:true"})
               .status == 0;
}

// Starts a program of this test executable in a process of its own.
inline pid_t spawnTestProgram(XSession& x, const std::string& test) {
    const auto self = std::filesystem::read_symlink("/proc/self/exe").string();
    return x.spawn({self, "--gtest_also_run_disabled_tests", "--gtest_filter=" + test},
                   {{"QT_QPA_PLATFORM", "xcb"}, {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}});
}

// Another X client looking at the clipboard: every target it offers, with its bytes.
inline std::map<std::string, std::string> clipboardSeenByOthers() {
    return offThread([] {
        std::map<std::string, std::string> out;
        auto connection = X11Connection::open();
        if (!connection) return out;
        auto selections = X11Selections::open(*connection.value());
        if (!selections) return out;
        auto& s = *selections.value();
        const xcb_atom_t clipboard = s.atom("CLIPBOARD");
        const auto targets =
            s.convert(clipboard, s.atom("TARGETS"), std::chrono::milliseconds(500), 4096);
        if (!targets) return out;
        for (std::size_t i = 0; i + 4 <= targets->bytes.size(); i += 4) {
            xcb_atom_t atom;
            std::memcpy(&atom, targets->bytes.data() + i, 4);
            const auto name = s.atomName(atom);
            if (X11Clipboard::isMetaTarget(name)) continue;
            const auto data = s.convert(clipboard, atom, std::chrono::milliseconds(500), 1 << 20);
            out[name] = data ? data->bytes : "<refused>";
        }
        return out;
    });
}

// A display with openbox, Qt on it and the desktop connected; skips without Xvfb.
struct XDesktopEnvironment {
    XSession* x = nullptr;
    std::unique_ptr<QtMainQueue> queue;
    std::unique_ptr<LinuxDesktop> desktop;
    std::string skipReason;

    explicit XDesktopEnvironment(const XSessionOptions& options = {}) {
        x = &XSession::shared(options);
        if (!x->ok()) {
            skipReason = x->error();
            return;
        }
        qtApp("xcb");
        queue = std::make_unique<QtMainQueue>();
        auto connected = LinuxDesktop::connect(*queue);
        if (!connected) {
            skipReason = "no desktop: " + connected.error();
            return;
        }
        desktop = std::move(connected).value();
    }
};

#define PIVOREL_REQUIRE_DESKTOP(env)                                     \
    do {                                                                 \
        if (!(env).skipReason.empty()) GTEST_SKIP() << (env).skipReason; \
    } while (0)

}  // namespace pivorel::test
