#include "BrisendoKit/Actions/ActionCatalog.h"

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace {

std::string replaceAll(std::string_view s, std::string_view from, std::string_view to) {
    std::string out;
    std::size_t start = 0;
    for (std::size_t pos; (pos = s.find(from, start)) != std::string_view::npos;
         start = pos + from.size()) {
        out.append(s.substr(start, pos - start));
        out.append(to);
    }
    out.append(s.substr(start));
    return out;
}

}  // namespace

ActionCatalog::ActionCatalog(const ActionConfig& config) {
    for (const CustomAction& action : config.custom) custom.emplace(action.id, action);
}

const ActionCatalog& ActionCatalog::builtin() {
    static const ActionCatalog catalog(ActionConfig::defaultConfig());
    return catalog;
}

std::string ActionCatalog::title(const ActionID& id) const {
    const auto it = custom.find(id.rawValue);
    return it != custom.end() ? it->second.name : id.title();
}

std::string ActionCatalog::shortTitle(const ActionID& id) const {
    const auto it = custom.find(id.rawValue);
    return it != custom.end() ? it->second.name : id.shortTitle();
}

std::string ActionCatalog::symbol(const ActionID& id) const {
    const auto it = custom.find(id.rawValue);
    return it != custom.end() ? it->second.symbol : id.symbol();
}

std::optional<std::string> ActionCatalog::hint(const ActionID& id) const {
    const auto it = custom.find(id.rawValue);
    if (it == custom.end()) return std::nullopt;
    std::string sample = replaceAll(it->second.urlTemplate, URLTemplate::placeholders[0], "x");
    sample = replaceAll(sample, URLTemplate::placeholders[1], "x");
    const auto url = URLTemplate::makeURL(text::trim(sample));
    const auto parts = url ? URLTemplate::parse(*url) : std::nullopt;
    if (parts && !parts->host.empty()) return L("自定义 · %@", parts->host);
    return L("自定义");
}

}  // namespace pivorel
