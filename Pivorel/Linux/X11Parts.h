#pragma once

#include <future>
#include <memory>
#include <string>

#include "BrisendoKit/Support/Result.h"
#include "Pivorel/Linux/AtSpiClient.h"
#include "Pivorel/Linux/AtSpiStatus.h"
#include "Pivorel/Linux/DesktopAppIndex.h"
#include "Pivorel/Linux/ScreenCoordinates.h"
#include "Pivorel/Linux/X11Clipboard.h"
#include "Pivorel/Linux/X11Connection.h"
#include "Pivorel/Linux/X11Keyboard.h"
#include "Pivorel/Linux/X11Selections.h"
#include "Pivorel/Linux/X11Workspace.h"

namespace pivorel {

// What every desktop session is built on, X11 or Xwayland: the connection, its screens,
// keyboard, windows and applications, the selections and the clipboard, and the
// accessibility bus. Main thread.
class X11Parts {
  public:
    // Opens the display and its selections; an error text when that fails.
    static Result<std::unique_ptr<X11Parts>, std::string> open();

    ~X11Parts();
    X11Parts(const X11Parts&) = delete;
    X11Parts& operator=(const X11Parts&) = delete;

    // Starts reading X events, and asks the accessibility bus a first question in the
    // background: that starts its registry, which takes a while, before the user's first read.
    void start();

    std::unique_ptr<X11Connection> x;
    ScreenWatch screens;
    X11Keyboard keyboard;
    DesktopAppIndex apps;
    X11Workspace workspace;
    std::unique_ptr<X11Selections> selections;
    X11Clipboard clipboard;
    AtSpiClient atspi;
    AtSpiStatus status;

  private:
    X11Parts(std::unique_ptr<X11Connection> connection,
             std::unique_ptr<X11Selections> openSelections);

    std::future<void> warmUp_;
};

}  // namespace pivorel
