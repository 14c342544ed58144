#include "BrisendoKit/Coordinator/LinkDispatcher.h"

#include <algorithm>
#include <optional>
#include <string>

#include "BrisendoKit/Coordinator/AppController.h"
#include "BrisendoKit/Platform/Workspace.h"
#include "BrisendoKit/Selection/SelectionURL.h"
#include "BrisendoKit/Storage/Store.h"
#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/Log.h"

namespace pivorel {

namespace {

// A query item's value; an empty one counts as absent.
std::optional<std::string> itemValue(std::string_view query, std::string_view name) {
    auto value = SelectionURL::queryValue(query, name);
    if (value && value->empty()) return std::nullopt;
    return value;
}

}  // namespace

LinkDispatcher::LinkDispatcher(AppController& controller, Store& store, Workspace& workspace,
                               const Clock& clock)
    : controller_(controller), store_(store), workspace_(workspace), clock_(clock) {}

std::optional<std::string> LinkDispatcher::dispatch(std::string_view link) {
    const SelectionURL::Parts parts = SelectionURL::split(link).value_or(SelectionURL::Parts{});
    const auto& schemes = AppIdentity::urlSchemes;
    const bool ours = std::find(schemes.begin(), schemes.end(), parts.scheme) != schemes.end();

    if (ours && parts.host == "close") {
        controller_.panel().close("url-close");
        controller_.hideBar();
        return std::nullopt;
    }
    if (ours && parts.host == "miss") {
        const auto dry = itemValue(parts.query, "dry");
        auto logged = store_.logBar("miss", itemValue(parts.query, "app"),
                                    itemValue(parts.query, "reason").value_or("probe"),
                                    std::nullopt, dry != "0", clock_.now());
        controller_.statsChanged.emit();
        if (!logged) return "not stored: " + logged.error().describe();
        return std::nullopt;
    }

    auto request = SelectionURL::parse(link);
    if (!request) {
        Log::write("Pivorel: 忽略无效链接 " + SelectionURL::loggable(parts.scheme) + "://" +
                   SelectionURL::loggable(parts.host) + " (" + request.error().description() + ")");
        return "invalid link: " + request.error().description();
    }
    // The panel opens at the pointer; what happens next is the user's choice.
    if (!controller_.handle(*request, workspace_.pointerLocation(),
                            PanelController::Keyboard::whenPointed)) {
        return std::string("not stored");
    }
    return std::nullopt;
}

}  // namespace pivorel
