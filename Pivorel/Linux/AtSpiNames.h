#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pivorel {

// How AT-SPI's roles, states and key bindings read in the program's own terms: the role
// names of the selection reader ("AXButton", "AXTextField", ...) and Control-key menu
// shortcuts.
struct AtSpiNames {
    AtSpiNames() = delete;

    static constexpr std::string_view secureSubrole = "AXSecureTextField";

    // `states` is AT-SPI's state set as one 64-bit mask (bit n = state n).
    static bool hasState(std::uint64_t states, std::uint32_t state);
    // The reader's role for an AT-SPI role; "AXUnknown" for roles it has no name for.
    static std::string role(std::uint32_t atspiRole, std::uint64_t states);
    // "AXSecureTextField" for password text, else nothing.
    static std::optional<std::string> subrole(std::uint32_t atspiRole);
    // Roles that only hold others (notebooks, panes, fillers, frames): pressing one says
    // nothing about whether text was pressed.
    static bool isContainer(std::uint32_t atspiRole);

    // Whether an action's key binding makes Control with `key` (a letter) alone its
    // shortcut. Toolkits write bindings as "<mnemonic>;<path>;<accelerator>" with
    // accelerators such as "<Control>c", "<Primary>c" or "Ctrl+C".
    static bool isControlShortcut(std::string_view binding, char key);
};

}  // namespace pivorel
