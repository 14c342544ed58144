#pragma once

#include <optional>
#include <string>

namespace pivorel {

// One selection handed to the coordinator, from whichever source found it.
struct SelectRequest {
    std::string text;
    // Bundle identifier of the application that holds the selection.
    std::optional<std::string> app;
    // Address of the document the selection came from, when known.
    std::optional<std::string> url;
    // A dry request is recorded as such and, arriving through the panel path, opens nothing.
    bool dry = false;
    // "bar" (a selection gesture), "hotkey", or the source an inbound link names.
    std::string source = "popclip";
    // Whether the selection sits in an editable text field; ranking uses it.
    bool editable = false;
    // Ranked and shown, but neither the selection nor anything done with it is stored.
    bool unrecorded = false;

    bool operator==(const SelectRequest&) const = default;
};

}  // namespace pivorel
