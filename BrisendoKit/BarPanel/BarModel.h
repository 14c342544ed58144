#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "BrisendoKit/Actions/ActionCatalog.h"
#include "BrisendoKit/Actions/ActionID.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

// One icon on the bar.
struct BarItem {
    ActionID action;
    std::string label;   // tooltip and accessible name; the bar draws no text
    std::string symbol;  // symbol name of the icon

    // A missing label or symbol is the action's own short title or symbol.
    BarItem(ActionID action, std::optional<std::string> label = std::nullopt,
            std::optional<std::string> symbol = std::nullopt);

    bool operator==(const BarItem&) const = default;
};

// What one bar shows, shared by the coordinator, the bar controller and the view. Main
// thread only.
class BarModel {
  public:
    static constexpr std::int64_t maxItems = 4;

    explicit BarModel(std::vector<BarItem> items);
    // The first `count` (clamped to 3...6) actions of `ranking`, named by `catalog`, so a
    // custom action shows its own name and symbol.
    BarModel(const std::vector<ActionID>& ranking, std::int64_t count,
             const ActionCatalog& catalog);

    const std::vector<BarItem>& items() const { return items_; }
    void setItems(std::vector<BarItem> items);

    // Emitted by the view with the clicked item's index, and for the "…" icon.
    Signal<std::int64_t> chosen;
    Signal<> moreChosen;

    // Emitted after the items change.
    Signal<> changed;

  private:
    std::vector<BarItem> items_;
};

}  // namespace pivorel
