#include "BrisendoKit/Shell/StatusMenuModel.h"

#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <cmath>
#include <map>
#include <memory>
#include <mutex>

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/Localizer.h"

namespace pivorel {

namespace {

std::string wholePercent(double fraction) {
    return std::to_string(std::lround(fraction * 100.0)) + "%";
}

// The "HHmm" skeleton resolved for one language; a generator takes milliseconds to make,
// and the menu asks every time it opens.
std::optional<icu::UnicodeString> hourMinutePattern(const std::string& language) {
    static std::mutex mutex;
    static std::map<std::string, icu::UnicodeString> cache;
    std::lock_guard lock(mutex);
    if (const auto it = cache.find(language); it != cache.end()) return it->second;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale = icu::Locale::forLanguageTag(language, status);
    if (U_FAILURE(status)) return std::nullopt;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_FAILURE(status) || !generator) return std::nullopt;
    const icu::UnicodeString pattern = generator->getBestPattern(u"HHmm", status);
    if (U_FAILURE(status)) return std::nullopt;
    cache.emplace(language, pattern);
    return pattern;
}

bool pauseAhead(const StatusMenuModel::Inputs& in) {
    return in.pausedUntil && *in.pausedUntil > in.now;
}

StatusMenuModel::Item make(StatusMenuModel::ItemID id) {
    StatusMenuModel::Item item;
    item.id = id;
    return item;
}

StatusMenuModel::Item separator() {
    return make(StatusMenuModel::ItemID::separator);
}

}  // namespace

std::string StatusMenuModel::hitPercentage(const TodayStats& stats) {
    const auto rate = stats.hitRate();
    return rate ? wholePercent(*rate) : "—";
}

std::vector<std::string> StatusMenuModel::barLogLines(const std::vector<BarAppSummary>& summary) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < summary.size() && i < barLogLimit; ++i) {
        const auto& row = summary[i];
        const auto rate = row.popRate();
        const std::string latency =
            row.avgLatencyMs ? std::to_string(std::lround(*row.avgLatencyMs)) + " ms" : "—";
        // The store names events without an application "(未知)"; it reads in any language.
        const std::string app = row.app == "(未知)" ? L("(未知)") : row.app;
        lines.push_back(L("%@：弹 %lld · 漏 %lld · 弹出率 %@ · 延迟 %@", app, row.shown, row.misses,
                          rate ? wholePercent(*rate) : "—", latency));
    }
    if (lines.empty()) lines.push_back(L("还没有记录"));
    return lines;
}

std::string StatusMenuModel::pauseEnd(TimePoint until, std::string_view timeZone) {
    const std::string language = Localizer::effectiveLanguage();
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale = icu::Locale::forLanguageTag(language, status);
    const auto pattern = U_SUCCESS(status) ? hourMinutePattern(language) : std::nullopt;
    const icu::UnicodeString fallback(u"HH:mm");
    icu::SimpleDateFormat format(pattern ? *pattern : fallback, locale, status);
    if (U_FAILURE(status)) return {};
    if (!timeZone.empty()) {
        format.adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(
            icu::StringPiece(timeZone.data(), static_cast<int32_t>(timeZone.size())))));
    }
    icu::UnicodeString text;
    format.format(toUnixSeconds(until) * 1000.0, text);
    std::string out;
    return text.toUTF8String(out);
}

std::vector<StatusMenuModel::Item> StatusMenuModel::items(const Inputs& in) {
    std::vector<Item> items;

    Item update = make(ItemID::updateAvailable);
    update.title = L("⬆︎ 有新版本 %@，点此更新", in.pendingUpdate.value_or(""));
    update.hidden = !in.pendingUpdate;
    items.push_back(update);

    Item popclip = make(ItemID::popclipWarning);
    popclip.title = L("⚠︎ PopClip 也在运行，两者会同时弹");
    popclip.enabled = false;
    popclip.warning = true;
    popclip.hidden = !(in.barEnabled && in.popclipRunning);
    items.push_back(popclip);

    items.push_back(separator());

    Item stats = make(ItemID::stats);
    stats.enabled = false;
    stats.title = in.today ? L("今天 %lld 条 · 排第一就是所选 %@（%lld/%lld）", in.today->count,
                               hitPercentage(*in.today), in.today->hits, in.today->chosen)
                           : L("今天 0 条");
    if (in.historyInMemory) stats.title = L("⚠︎ 历史记录打不开，本次运行不保存");
    stats.warning = in.historyInMemory;
    items.push_back(stats);

    Item barLog = make(ItemID::barLog);
    if (in.barSummary) {
        std::int64_t shown = 0;
        std::int64_t misses = 0;
        for (const auto& row : *in.barSummary) {
            shown += row.shown;
            misses += row.misses;
        }
        barLog.title = L("小条：累计弹出 %lld 次 · 漏弹 %lld 次", shown, misses);
        barLog.submenu = barLogLines(*in.barSummary);
    } else {
        barLog.title = L("小条记录");
        barLog.submenu = {L("还没有记录")};
    }
    items.push_back(barLog);

    items.push_back(separator());

    Item toggle = make(ItemID::toggleBar);
    toggle.title = L("选中后自动弹出小条");
    toggle.checkable = true;
    toggle.checked = in.barEnabled;
    items.push_back(toggle);

    Item pause = make(ItemID::togglePause);
    pause.title = pauseAhead(in)
                      ? L("已暂停到 %@，点此恢复", pauseEnd(*in.pausedUntil, in.timeZone))
                      : L("暂停小条 1 小时");
    items.push_back(pause);

    Item hotkey = make(ItemID::hotkey);
    hotkey.title = L("快捷键 %@：对选中文字弹出面板", in.hotkeyDisplay);
    hotkey.enabled = false;
    items.push_back(hotkey);

    Item access = make(ItemID::accessibility);
    access.title = in.trusted ? L("辅助功能：已授权") : L("辅助功能：未授权，点此打开设置");
    // Only the missing permission has something to do.
    access.enabled = !in.trusted;
    items.push_back(access);

    Item settings = make(ItemID::settings);
    settings.title = L("设置…");
    settings.shortcut = ",";
    items.push_back(settings);

    Item packs = make(ItemID::translationPack);
    packs.title = L("下载翻译语言包…");
    packs.hidden = !in.onDeviceTranslator;
    items.push_back(packs);

    Item check = make(ItemID::checkForUpdates);
    check.title = L("检查更新…");
    items.push_back(check);

    Item legacy = make(ItemID::importLegacySecrets);
    legacy.title = L("导入旧版密钥…");
    legacy.hidden = !in.legacySecretsPending;
    items.push_back(legacy);

    Item reveal = make(ItemID::revealDatabase);
    reveal.title = L("在文件管理器中显示记录文件");
    items.push_back(reveal);

    items.push_back(separator());

    Item quit = make(ItemID::quit);
    quit.title = L("退出 Pivorel");
    quit.shortcut = "q";
    items.push_back(quit);

    return items;
}

std::string StatusMenuModel::statusTitle(const Inputs& in) {
    std::string title;
    if (in.barEnabled && in.popclipRunning) title += " ⚠︎";
    if (in.pendingUpdate) title += " ⬆︎";
    if (in.today && in.today->count >= 1) {
        title += " " + std::to_string(in.today->count) + " · " + hitPercentage(*in.today);
    }
    return title;
}

const StatusMenuModel::Item* StatusMenuModel::find(const std::vector<Item>& items, ItemID id) {
    for (const auto& item : items) {
        if (item.id == id) return &item;
    }
    return nullptr;
}

}  // namespace pivorel
