#pragma once

#include <compare>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pivorel {

// Names one action of the bar and the panel: one of the thirteen built-in ones, or a
// user-defined URL action ("custom:" followed by a UUID). Any string is a valid identifier;
// one that is neither built in nor custom (left in a file by another version) is carried
// along and displays as a generic custom action. Stored everywhere as the bare string.
struct ActionID {
    std::string rawValue;

    ActionID() = default;
    explicit ActionID(std::string raw) : rawValue(std::move(raw)) {}

    static ActionID ask() { return ActionID("ask"); }
    static ActionID translate() { return ActionID("translate"); }
    static ActionID flomo() { return ActionID("flomo"); }
    static ActionID calendar() { return ActionID("calendar"); }
    static ActionID todo() { return ActionID("todo"); }
    static ActionID dayOne() { return ActionID("dayOne"); }
    static ActionID google() { return ActionID("google"); }
    static ActionID kagi() { return ActionID("kagi"); }
    static ActionID openURL() { return ActionID("openURL"); }
    static ActionID copy() { return ActionID("copy"); }
    static ActionID cut() { return ActionID("cut"); }
    static ActionID paste() { return ActionID("paste"); }
    static ActionID lookup() { return ActionID("lookup"); }

    static constexpr std::string_view customPrefix = "custom:";

    // The thirteen built-in identifiers in canonical order.
    static const std::vector<ActionID>& builtins();
    static const std::vector<ActionID>& allCases() { return builtins(); }

    bool isCustom() const { return std::string_view(rawValue).starts_with(customPrefix); }
    bool isBuiltin() const { return defaultOrder() < builtins().size(); }
    // Position in builtins(), or 13 for every other identifier. Breaks ties between equal
    // base scores.
    std::size_t defaultOrder() const;

    // Display texts of the built-in actions, in the interface language. Custom and unknown
    // identifiers get the generic ones; ActionCatalog knows the custom actions' own names.
    std::string title() const;
    std::string shortTitle() const;
    std::string symbol() const;

    friend bool operator==(const ActionID&, const ActionID&) = default;
    friend auto operator<=>(const ActionID&, const ActionID&) = default;
};

}  // namespace pivorel

template <>
struct std::hash<pivorel::ActionID> {
    std::size_t operator()(const pivorel::ActionID& id) const noexcept {
        return std::hash<std::string>{}(id.rawValue);
    }
};
