#include "BrisendoKit/Settings/ActionRow.h"

#include "BrisendoKit/Actions/ActionAvailability.h"
#include "BrisendoKit/Actions/ActionsSettingsModel.h"
#include "BrisendoKit/Localization/L.h"

namespace pivorel {

std::vector<ActionRow> ActionRow::rows(const ActionsSettingsModel& model) {
    const ActionConfig& config = model.config();
    const ActionCatalog catalog = model.catalog();
    std::vector<ActionRow> out;
    std::int64_t shown = 0;
    for (ActionID& id : model.actions()) {
        ActionRow row;
        row.title = catalog.title(id);
        row.symbol = catalog.symbol(id);
        row.custom = config.customAction(id).has_value();
        row.hidden = config.isHidden(id);
        row.unavailable = model.unavailable().contains(id);
        if (row.unavailable) row.requirement = ActionAvailability::requirement(id).value_or("");
        const bool shows = !row.hidden && !row.unavailable;
        row.onBar = shows && shown < config.barCount;
        if (shows) ++shown;
        row.eyeHelp = row.hidden ? L("已隐藏，点此显示") : L("显示中，点此隐藏");
        row.accessibilityLabel = row.unavailable ? L("%@，未安装", row.title)
                                 : row.hidden    ? L("%@，已隐藏", row.title)
                                                 : row.title;
        row.id = std::move(id);
        out.push_back(std::move(row));
    }
    return out;
}

std::string ActionRow::smartDescription(bool on) {
    // clang-format off
    if (on) return L("下面的顺序是基础顺序；再按选中的内容、来源 App 和你的使用习惯，把最可能的下一步提到前面。");
    return L("已关闭：小条和面板严格按下面的顺序，不再自动调整（只会省掉对这段内容没意义的，比如没有链接时的「打开链接」）。");
    // clang-format on
}

}  // namespace pivorel
