#include "BrisendoKit/Coordinator/LinkDispatcher.h"

#include <algorithm>
#include <optional>
#include <string>

#include "BrisendoKit/Coordinator/AppController.h"
#include "BrisendoKit/Platform/Workspace.h"
#include "BrisendoKit/Selection/SelectionURL.h"
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

LinkDispatcher::LinkDispatcher(AppController& controller, Workspace& workspace)
    : controller_(controller), workspace_(workspace) {}

void LinkDispatcher::dispatch(std::string_view link, AppController::Answer answer) {
    const SelectionURL::Parts parts = SelectionURL::split(link).value_or(SelectionURL::Parts{});
    const auto& schemes = AppIdentity::urlSchemes;
    const bool ours = std::find(schemes.begin(), schemes.end(), parts.scheme) != schemes.end();

    if (ours && parts.host == "close") {
        controller_.panel().close("url-close");
        controller_.hideBar();
        answer(std::nullopt);
        return;
    }
    if (ours && parts.host == "miss") {
        const auto dry = itemValue(parts.query, "dry");
        controller_.logBar("miss", itemValue(parts.query, "app"),
                           itemValue(parts.query, "reason").value_or("probe"), std::nullopt,
                           dry != "0", std::move(answer));
        controller_.statsChanged.emit();
        return;
    }

    auto request = SelectionURL::parse(link);
    if (!request) {
        Log::write("Pivorel: 忽略无效链接 " + SelectionURL::loggable(parts.scheme) + "://" +
                   SelectionURL::loggable(parts.host) + " (" + request.error().description() + ")");
        answer("invalid link: " + request.error().description());
        return;
    }
    // The panel opens at the pointer; what happens next is the user's choice.
    controller_.handleLink(*request, workspace_.pointerLocation(), std::move(answer));
}

}  // namespace pivorel
