#include "BrisendoKit/BarPanel/BarModel.h"

#include <algorithm>

namespace pivorel {

BarItem::BarItem(ActionID id, std::optional<std::string> labelText,
                 std::optional<std::string> symbolName)
    : action(std::move(id)),
      label(labelText ? std::move(*labelText) : action.shortTitle()),
      symbol(symbolName ? std::move(*symbolName) : action.symbol()) {}

BarModel::BarModel(std::vector<BarItem> items) : items_(std::move(items)) {}

BarModel::BarModel(const std::vector<ActionID>& ranking, std::int64_t count,
                   const ActionCatalog& catalog) {
    const auto wanted = static_cast<std::size_t>(std::clamp<std::int64_t>(count, 3, 6));
    const auto n = std::min(wanted, ranking.size());
    items_.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const ActionID& id = ranking[i];
        items_.emplace_back(id, catalog.shortTitle(id), catalog.symbol(id));
    }
}

void BarModel::setItems(std::vector<BarItem> items) {
    items_ = std::move(items);
    changed.emit();
}

}  // namespace pivorel
