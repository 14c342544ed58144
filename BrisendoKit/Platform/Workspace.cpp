#include "BrisendoKit/Platform/Workspace.h"

namespace pivorel {

std::optional<Screen> screenContaining(Workspace& workspace, Point point) {
    const auto screens = workspace.screens();
    for (const auto& screen : screens) {
        if (screen.frame.contains(point)) return screen;
    }
    if (auto main = workspace.mainScreen(); main && *main < screens.size()) return screens[*main];
    if (!screens.empty()) return screens.front();
    return std::nullopt;
}

}  // namespace pivorel
