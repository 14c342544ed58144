#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pivorel {

class AppController;
class Clock;
class Store;
class Workspace;

// Carries out an inbound link of the program's schemes: "close" closes the bar and the
// panel, "miss" logs a test miss, "select" records the selection and opens the panel at
// the pointer (never performing an action by itself, nor taking the keyboard before the
// user points at it). Anything else is logged and ignored.
class LinkDispatcher {
  public:
    LinkDispatcher(AppController& controller, Store& store, Workspace& workspace,
                   const Clock& clock);

    // Nothing once the link is carried out (a selection stored), else why it was not.
    std::optional<std::string> dispatch(std::string_view link);

  private:
    AppController& controller_;
    Store& store_;
    Workspace& workspace_;
    const Clock& clock_;
};

}  // namespace pivorel
