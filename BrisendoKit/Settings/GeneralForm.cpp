#include "BrisendoKit/Settings/GeneralForm.h"

#include <unicode/dtptngen.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Platform/LoginItemHook.h"
#include "BrisendoKit/Platform/UpdateHook.h"
#include "BrisendoKit/Support/AppIdentity.h"

namespace pivorel {

GeneralForm::GeneralForm(BarSettings settings, std::shared_ptr<LoginItemHook> login,
                         std::shared_ptr<UpdateHook> update)
    : settings_(std::move(settings)), login_(std::move(login)), update_(std::move(update)) {
    if (update_) updateWatch_ = update_->observe([this] { changed.emit(); });
}

void GeneralForm::setBarEnabled(bool on) {
    settings_.setEnabled(on);
    changed.emit();
}

std::vector<std::pair<std::string, std::string>> GeneralForm::languageChoices() {
    std::vector<std::pair<std::string, std::string>> out{
        {std::string(Localizer::followSystem), L("跟随系统")}};
    for (const auto& pair : Localizer::nativeNames()) out.push_back(pair);
    return out;
}

std::string GeneralForm::language() const {
    return Localizer::preference();
}

void GeneralForm::setLanguage(std::string_view code) {
    // The language store tells every view; this page re-renders with the rest.
    Localizer::setPreference(code);
}

bool GeneralForm::loginOn() const {
    return login_ && login_->isEnabled();
}

void GeneralForm::setLoginOn(bool on) {
    loginRefused_ = !login_ || !login_->set(on);
    changed.emit();
}

std::string GeneralForm::loginNote() const {
    return loginRefused_ ? L("没能改写自动启动文件，请确认 ~/.config/autostart 可以写入，再试一次")
                         : std::string();
}

bool GeneralForm::autoCheck() const {
    return update_ && update_->autoCheck();
}

void GeneralForm::setAutoCheck(bool on) {
    if (update_) update_->setAutoCheck(on);
    changed.emit();
}

void GeneralForm::checkNow() {
    if (update_) update_->checkNow();
    changed.emit();
}

std::string GeneralForm::versionLine() const {
    const std::string version = update_ ? update_->version() : std::string();
    const auto last = update_ ? update_->lastCheck() : std::nullopt;
    if (!last) return L("当前版本 %@　还没检查过", version);
    return L("当前版本 %@　上次检查 %@", version,
             formatCheckTime(*last, Localizer::effectiveLanguage()));
}

std::vector<GeneralForm::Link> GeneralForm::links() {
    return {{L("官网"), "https://pivorel.app"},
            {L("隐私政策"), "https://pivorel.app/privacy"},
            {L("联系与反馈"), "mailto:" + std::string(AppIdentity::contactEmail)}};
}

std::string GeneralForm::formatCheckTime(TimePoint when, std::string_view language,
                                         std::string_view timeZone) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale = icu::Locale::forLanguageTag(
        icu::StringPiece(language.data(), static_cast<int32_t>(language.size())), status);
    if (U_FAILURE(status)) return {};
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_FAILURE(status) || !generator) return {};
    const icu::UnicodeString pattern =
        generator->getBestPattern(icu::UnicodeString(u"MMMdHHmm"), status);
    if (U_FAILURE(status)) return {};
    icu::SimpleDateFormat format(pattern, locale, status);
    if (U_FAILURE(status)) return {};
    if (!timeZone.empty()) {
        format.adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(
            icu::StringPiece(timeZone.data(), static_cast<int32_t>(timeZone.size())))));
    }
    icu::UnicodeString formatted;
    format.format(toUnixSeconds(when) * 1000.0, formatted);
    std::string out;
    formatted.toUTF8String(out);
    return out;
}

}  // namespace pivorel
