#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string_view>
#include <vector>

#include "BrisendoKit/Actions/ActionConfigStore.h"
#include "BrisendoKit/Content/Ranker.h"

// Input: one byte of content kinds, one byte of flags and history seed, then the bytes of an
// actions.json (the default configuration when they do not decode). Whatever the user's file
// holds, a ranking lists each shown action once, in score order, and the bar order is a
// permutation of it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pivorel;
    if (size < 2) return 0;
    ContentProfile profile;
    for (std::size_t k = 0; k < allContentKinds.size(); ++k) {
        if (data[0] & (1u << k)) profile.kinds.insert(allContentKinds[k]);
    }
    const bool editable = data[1] & 1;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    const ActionConfig config = ActionConfigStore::decode(bytes).value_or(ActionConfig{});
    const ActionConfig normalized = config.normalized();

    HistoryStats history;
    long long count = data[1] >> 1;
    for (const std::string& id : normalized.order) {
        history.contextual[ActionID(id)] = count % 5;
        history.global[ActionID(id)] = count % 11;
        count = count * 7 + 3;
    }
    static const char* apps[] = {"firefox", "code", "com.apple.mail", "unknown"};
    const auto ranked = Ranker::rank(profile, apps[data[1] % 4], history, config, editable);

    std::set<std::string> seen;
    std::size_t expected = 0;
    for (const std::string& id : normalized.order) {
        if (!normalized.isHidden(ActionID(id)) && RankingRules::isEligible(ActionID(id), profile))
            ++expected;
    }
    if (ranked.size() != expected) __builtin_trap();
    std::vector<ActionID> ids;
    for (std::size_t i = 0; i < ranked.size(); ++i) {
        const ActionID& action = ranked[i].action;
        if (!seen.insert(action.rawValue).second || normalized.isHidden(action)) __builtin_trap();
        if (!RankingRules::isEligible(action, profile)) __builtin_trap();
        if (i > 0 && ranked[i - 1].score < ranked[i].score) __builtin_trap();
        if (!normalized.smartRanking && ranked[i].score != double(ranked.size() - i))
            __builtin_trap();
        ids.push_back(action);
    }

    const auto bar = Ranker::barOrder(ids, normalized.barCount, normalized.smartRanking);
    if (std::multiset<ActionID>(bar.begin(), bar.end()) !=
        std::multiset<ActionID>(ids.begin(), ids.end()))
        __builtin_trap();
    if (normalized.smartRanking && seen.count("copy")) {
        const auto at = std::find(bar.begin(), bar.end(), ActionID::copy()) - bar.begin();
        if (at >= normalized.barCount) __builtin_trap();
    }
    return 0;
}
