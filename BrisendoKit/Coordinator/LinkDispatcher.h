#pragma once

#include <string_view>

#include "BrisendoKit/Coordinator/AppController.h"

namespace pivorel {

class Workspace;

// Carries out an inbound link of the program's schemes: "close" closes the bar and the
// panel, "miss" logs a test miss, "select" records the selection and opens the panel at
// the pointer (never performing an action by itself, nor taking the keyboard before the
// user points at it). Anything else is logged and ignored.
class LinkDispatcher {
  public:
    LinkDispatcher(AppController& controller, Workspace& workspace);

    // `answer` hears nothing once the link is carried out (its row stored), else why it was
    // not; on the main queue, possibly after this returns.
    void dispatch(std::string_view link, AppController::Answer answer);

  private:
    AppController& controller_;
    Workspace& workspace_;
};

}  // namespace pivorel
