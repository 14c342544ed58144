#include "BrisendoKit/Actions/ActionID.h"

#include <array>

#include "BrisendoKit/Localization/L.h"

namespace pivorel {

namespace {

struct BuiltinInfo {
    std::string_view raw;
    std::string_view title;       // localization key
    std::string_view shortTitle;  // empty: the title
    bool localizeShortTitle;      // brand names read the same in every language
    std::string_view symbol;
};

constexpr std::array<BuiltinInfo, 13> kBuiltins{{
    {"ask", "问一下", "", true, "sparkles"},
    {"translate", "翻译", "", true, "character.bubble"},
    {"flomo", "记到 flomo", "flomo", false, "note.text"},
    {"calendar", "加日程", "日程", true, "calendar.badge.plus"},
    {"todo", "加待办", "待办", true, "checkmark.circle"},
    {"dayOne", "记到 Day One", "Day One", false, "book.closed"},
    {"google", "Google 搜索", "Google", false, "magnifyingglass"},
    {"kagi", "Kagi 搜索", "Kagi", false, "magnifyingglass.circle"},
    {"openURL", "打开链接", "打开", true, "safari"},
    {"copy", "复制", "", true, "doc.on.doc"},
    {"cut", "剪切", "", true, "scissors"},
    {"paste", "粘贴", "", true, "doc.on.clipboard"},
    {"lookup", "查词典", "", true, "character.book.closed"},
}};

constexpr BuiltinInfo kOther{"", "自定义动作", "", true, "link"};

const BuiltinInfo& infoFor(std::size_t order) {
    return order < kBuiltins.size() ? kBuiltins[order] : kOther;
}

}  // namespace

const std::vector<ActionID>& ActionID::builtins() {
    static const std::vector<ActionID> all = [] {
        std::vector<ActionID> ids;
        for (const auto& info : kBuiltins) ids.emplace_back(std::string(info.raw));
        return ids;
    }();
    return all;
}

std::size_t ActionID::defaultOrder() const {
    for (std::size_t i = 0; i < kBuiltins.size(); ++i) {
        if (kBuiltins[i].raw == rawValue) return i;
    }
    return kBuiltins.size();
}

std::string ActionID::title() const {
    return L(infoFor(defaultOrder()).title);
}

std::string ActionID::shortTitle() const {
    const BuiltinInfo& info = infoFor(defaultOrder());
    if (info.shortTitle.empty()) return L(info.title);
    return info.localizeShortTitle ? L(info.shortTitle) : std::string(info.shortTitle);
}

std::string ActionID::symbol() const {
    return std::string(infoFor(defaultOrder()).symbol);
}

}  // namespace pivorel
