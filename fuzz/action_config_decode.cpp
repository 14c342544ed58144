// actions.json content: decoding never crashes; what loads is normalized and survives a
// save and a load unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_set>

#include "BrisendoKit/Actions/ActionConfig.h"
#include "BrisendoKit/Actions/ActionConfigStore.h"

using namespace pivorel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto decoded = ActionConfigStore::decode(bytes);
    if (!decoded) return 0;
    const ActionConfig config = decoded->normalized();

    if (config.version != ActionConfig::currentVersion) std::abort();
    if (config.barCount < ActionConfig::barCountRange.lowerBound ||
        config.barCount > ActionConfig::barCountRange.upperBound) {
        std::abort();
    }
    // Every built-in and every custom action exactly once; nothing else.
    const std::unordered_set<std::string> order(config.order.begin(), config.order.end());
    if (order.size() != config.order.size()) std::abort();
    if (config.order.size() != ActionID::builtins().size() + config.custom.size()) std::abort();
    for (const ActionID& id : ActionID::builtins()) {
        if (!order.count(id.rawValue)) std::abort();
    }
    for (const CustomAction& action : config.custom) {
        if (!ActionID(action.id).isCustom() || !order.count(action.id)) std::abort();
    }
    for (const std::string& id : config.hidden) {
        if (!order.count(id)) std::abort();
    }
    if (config.normalized() != config) std::abort();

    // Strings that are not UTF-8 cannot come out of the decoder, so the round trip is exact.
    const auto again = ActionConfigStore::decode(ActionConfigStore::encode(config));
    if (!again || *again != config) std::abort();
    return 0;
}
