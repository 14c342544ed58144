#include "Pivorel/Linux/ScreenCoordinates.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pivorel;

namespace {

using Screen = ScreenCoordinates::Screen;

struct Case {
    std::string what;
    // As Qt reports them: logical geometry and scale, the primary first.
    std::vector<Screen> screens;
    // Where the X server has the pointer, and where the program must see it.
    Point device;
    Point program;
};

// Each device position lands where Qt draws the same spot, and goes back exactly.
TEST(ScreenCoordinates, DevicePixelsAreThePointsOfTheScreenTheyAreOn) {
    // 2880x1800 device pixels at scale 2 and a 2560x1600 monitor right of it at 1.5 (Qt
    // rounds its logical size), which Qt keeps at its device position x 2880.
    const std::vector<Screen> twoScales{{{0, 0, 1440, 900}, 2}, {{2880, 0, 1707, 1067}, 1.5}};
    // The same monitors with the unscaled one primary: the flip follows its height.
    const std::vector<Screen> primaryRight{{{2880, 0, 2560, 1600}, 1}, {{0, 0, 1440, 900}, 2}};
    const Case cases[] = {
        {"scale 1", {{{0, 0, 1440, 900}, 1}}, {100, 200}, {100, 700}},
        {"scale 2", {{{0, 0, 1440, 900}, 2}}, {1800, 900}, {900, 450}},
        {"scale 1.5", {{{0, 0, 1920, 1200}, 1.5}}, {300, 600}, {200, 800}},
        {"first of two monitors", twoScales, {100, 100}, {50, 850}},
        {"second of two monitors", twoScales, {3180, 300}, {3080, 700}},
        {"below the shorter monitor: the nearest one's scale",
         twoScales,
         {3180, 1700},
         {3080, 900 - 1700 / 1.5}},
        {"on a monitor left of the primary", primaryRight, {1000, 200}, {500, 1500}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ScreenCoordinates coordinates(c.screens);
        const Point program = coordinates.fromDevice(c.device);
        EXPECT_NEAR(program.x, c.program.x, 1e-9);
        EXPECT_NEAR(program.y, c.program.y, 1e-9);
        const Point back = coordinates.toDevice(program);
        EXPECT_NEAR(back.x, c.device.x, 1e-9);
        EXPECT_NEAR(back.y, c.device.y, 1e-9);
    }
}

}  // namespace
