#pragma once

namespace pivorel {

// What the guide window's status line says.
enum class GuideStatus {
    waiting,
    granted,
    // The icon was dropped somewhere that accepted it.
    dropped,
    // The drag ended without any target accepting the drop.
    dropMissed,
    // The program's own switch was pressed and the desktop refused it.
    switchFailed,
};

}  // namespace pivorel
