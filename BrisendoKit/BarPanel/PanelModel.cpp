#include "BrisendoKit/BarPanel/PanelModel.h"
#include "BrisendoKit/Support/Calendar.h"

#include <algorithm>
#include <unordered_map>

#include "BrisendoKit/Content/ContentClassifier.h"
#include "BrisendoKit/Content/DateExtractor.h"
#include "BrisendoKit/Localization/L.h"

namespace pivorel {

PanelModel::PanelModel(std::string selection, std::optional<std::string> sourceApp,
                       const std::vector<ActionID>& ranking,
                       std::optional<std::string> selectionURL, const ActionCatalog& catalog,
                       bool smartRanking, TimePoint now)
    : selection_(std::move(selection)),
      sourceApp_(std::move(sourceApp)),
      selectionURL_(std::move(selectionURL)),
      smartRanking_(smartRanking) {
    const std::size_t n = std::min(ranking.size(), maxRows);
    rows_.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const ActionID& id = ranking[i];
        auto hintText = catalog.hint(id);
        if (!hintText) hintText = hint(id, selection_, selectionURL_, now);
        rows_.push_back({id, catalog.title(id), catalog.symbol(id), std::move(*hintText)});
    }
}

void PanelModel::setMode(PanelMode mode) {
    mode_ = std::move(mode);
    // Also on an equal mode: a new conversation in `ask` keeps the same mode value, and the
    // views must still see it.
    modeChanged.emit(mode_);
}

void PanelModel::moveHighlight(std::int64_t delta) {
    const auto n = static_cast<std::int64_t>(rows_.size());
    if (n == 0) return;
    // Reduced first so any delta, however large or negative, lands on a row.
    const std::int64_t step = delta % n;
    highlighted_ = ((highlighted_ + step) % n + n) % n;
    changed.emit();
}

void PanelModel::choose(std::int64_t index) {
    if (index < 0 || index >= static_cast<std::int64_t>(rows_.size()) || !onChoose) return;
    onChoose(index);
}

void PanelModel::chooseHighlighted() {
    choose(highlighted_);
}

std::string PanelModel::hint(const ActionID& id, const std::string& selection,
                             const std::optional<std::string>& /*url*/, TimePoint now) {
    static const std::unordered_map<std::string, std::string_view> fixed = {
        {"ask", "解释它是什么"},       {"flomo", "带上来源"},    {"calendar", "加到日历"},
        {"dayOne", "新建一篇"},        {"google", "在浏览器搜"}, {"kagi", "在浏览器搜"},
        {"openURL", "用默认浏览器"},   {"copy", "到剪贴板"},     {"cut", "剪切选中的文字"},
        {"paste", "用剪贴板替换选中"}, {"lookup", "词典程序"},
    };
    if (id == ActionID::translate()) {
        const ContentProfile profile = ContentClassifier::classify(selection);
        const bool chineseOnly =
            profile.has(ContentKind::chinese) && !profile.has(ContentKind::english);
        return chineseOnly ? L("译成英文") : L("译成中文");
    }
    if (id == ActionID::todo()) {
        const auto calendar = currentCalendar();
        if (calendar) {
            if (const auto date = DateExtractor::extract(selection, now, *calendar))
                return L("提醒事项 · %@", DateExtractor::describe(*date));
        }
        return L("提醒事项");
    }
    if (const auto it = fixed.find(id.rawValue); it != fixed.end()) return L(it->second);
    return L("自定义");
}

}  // namespace pivorel
