#include "BrisendoKit/Settings/ApplicationsListModel.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <algorithm>
#include <memory>
#include <set>

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Support/Text.h"
#include "BrisendoKit/Support/UserDefaults.h"

namespace pivorel {

namespace {

std::string_view keyOf(ApplicationsListModel::Kind kind) {
    return kind == ApplicationsListModel::Kind::excluded ? BarSettings::excludedKey
                                                         : BarSettings::copyFallbackKey;
}

}  // namespace

ApplicationsListModel::ApplicationsListModel(Kind kind, BarSettings settings)
    : kind_(kind), settings_(std::move(settings)) {
    defaultsWatch_ = settings_.defaults()->changed.connect([this](const std::string& key) {
        if (key == keyOf(kind_)) changed.emit();
    });
}

std::string ApplicationsListModel::title() const {
    return kind_ == Kind::excluded ? L("不弹小条的 App") : L("拷贝兜底");
}

std::string ApplicationsListModel::footer() const {
    if (kind_ == Kind::excluded) {
        return L("在这些 App 里选中文字不会弹出小条。密码管理类 App 默认已在其中。");
    }
    // clang-format off
    return L("有些 App（终端、部分 Electron 应用）读不到选中的文字。加进这里后，读不到时改用它「编辑 → 拷贝」菜单取词，取完还原剪贴板。");
    // clang-format on
}

std::string ApplicationsListModel::emptyText() const {
    return kind_ == Kind::excluded ? L("还没有 App：在所有 App 里选中文字都会弹出小条")
                                   : L("还没有 App：选中文字读不到时不会改用拷贝");
}

std::vector<std::string> ApplicationsListModel::apps() const {
    return kind_ == Kind::excluded ? settings_.excluded() : settings_.copyFallbackApps();
}

void ApplicationsListModel::store(const std::vector<std::string>& list) {
    // The defaults observer above tells the views.
    if (kind_ == Kind::excluded) {
        settings_.setExcluded(list);
    } else {
        settings_.setCopyFallbackApps(list);
    }
}

bool ApplicationsListModel::add(std::string_view bundleID) {
    const std::string id = text::trim(bundleID);
    if (id.empty()) return false;
    auto list = apps();
    if (std::find(list.begin(), list.end(), id) != list.end()) return false;
    list.push_back(id);
    store(list);
    return true;
}

void ApplicationsListModel::remove(std::string_view bundleID) {
    auto list = apps();
    if (std::erase(list, bundleID) == 0) return;
    store(list);
}

void ApplicationsListModel::setManual(std::string text) {
    manual_ = std::move(text);
    changed.emit();
}

bool ApplicationsListModel::submitManual() {
    const bool added = add(manual_);
    manual_.clear();
    changed.emit();
    return added;
}

std::vector<RunningApp> ApplicationsListModel::runningChoices(
    const std::vector<RunningApp>& running) const {
    const auto listed = apps();
    std::set<std::string> seen(listed.begin(), listed.end());
    std::vector<RunningApp> out;
    for (const auto& app : running) {
        if (!app.regular || app.bundleID.empty()) continue;
        if (!seen.insert(app.bundleID).second) continue;
        out.push_back(app);
    }

    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale = icu::Locale::forLanguageTag(Localizer::effectiveLanguage(), status);
    std::unique_ptr<icu::Collator> collator(
        U_SUCCESS(status) ? icu::Collator::createInstance(locale, status) : nullptr);
    const auto less = [&](const RunningApp& a, const RunningApp& b) {
        if (collator && U_SUCCESS(status)) {
            UErrorCode s = U_ZERO_ERROR;
            const auto order = collator->compareUTF8(a.name, b.name, s);
            if (U_SUCCESS(s) && order != UCOL_EQUAL) return order == UCOL_LESS;
        } else if (a.name != b.name) {
            return a.name < b.name;
        }
        // Equal names keep a fixed order.
        return a.bundleID < b.bundleID;
    };
    std::stable_sort(out.begin(), out.end(), less);
    return out;
}

}  // namespace pivorel
