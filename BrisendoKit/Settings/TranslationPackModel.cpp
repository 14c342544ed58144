#include "BrisendoKit/Settings/TranslationPackModel.h"

#include "BrisendoKit/LanguageModel/SystemTranslationChannel.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Platform/OnDeviceTranslator.h"
#include "BrisendoKit/Support/MainQueue.h"

namespace pivorel {

namespace {
constexpr const char* english = "en";
constexpr const char* simplifiedChinese = "zh-Hans";
constexpr std::string_view unavailableKey =
    "这个桌面没有自带的离线翻译，翻译会改用你在设置「服务」页填的模型";
}  // namespace

TranslationPackModel::TranslationPackModel(Check check, Prepare prepare)
    : check_(std::move(check)), prepare_(std::move(prepare)) {}

std::unique_ptr<TranslationPackModel> TranslationPackModel::withoutDownloads(
    std::shared_ptr<OnDeviceTranslator> translator, MainQueue& queue) {
    auto check = [translator] {
        return translator && SystemTranslationChannel::packsReady(*translator);
    };
    auto prepare = [&queue](const std::string&, const std::string&, Done done) {
        queue.post([done = std::move(done)] { done(unavailableMessage()); });
    };
    return std::make_unique<TranslationPackModel>(std::move(check), std::move(prepare));
}

void TranslationPackModel::setPhase(Phase phase, std::string failure) {
    phase_ = phase;
    failure_ = std::move(failure);
    changed.emit();
}

void TranslationPackModel::appear() {
    if (phase_ == Phase::downloading) return;
    ++generation_;
    setPhase(Phase::checking);
    const bool installed = check_ && check_();
    setPhase(installed ? Phase::ready : Phase::needsDownload);
}

void TranslationPackModel::download() {
    if (phase_ == Phase::downloading) return;
    const int generation = ++generation_;
    setPhase(Phase::downloading);
    if (!prepare_) {
        prepared(generation, unavailableMessage(), true);
        return;
    }
    const auto weak = self_.guard();
    prepare_(english, simplifiedChinese, [weak, generation](std::optional<std::string> failure) {
        if (auto* self = weak.get()) self->prepared(generation, std::move(failure), true);
    });
}

void TranslationPackModel::prepared(int generation, std::optional<std::string> failure,
                                    bool first) {
    // A second answer to the same request, or one for a download the model gave up on.
    if (generation != generation_ || phase_ != Phase::downloading) return;
    if (failure) {
        setPhase(Phase::failed, std::move(*failure));
        return;
    }
    if (first) {
        const auto weak = self_.guard();
        prepare_(simplifiedChinese, english, [weak, generation](std::optional<std::string> f) {
            if (auto* self = weak.get()) self->prepared(generation, std::move(f), false);
        });
        return;
    }
    // Both directions prepared: see what is installed now.
    phase_ = Phase::checking;
    appear();
}

std::string TranslationPackModel::statusText() const {
    switch (phase_) {
        case Phase::ready:
            return L("已就绪。选中文字点「翻译」会直接在本机翻译，不联网、不要密钥。");
        case Phase::downloading:
            return L("正在请求下载，请在系统弹出的提示里点「下载」。");
        case Phase::failed:
            // Our own messages are table keys; a platform's text passes through unchanged.
            return L("没有下载成功：%@。可以稍后再试一次，或在设置里填入自己的模型。", L(failure_));
        case Phase::checking:
        case Phase::needsDownload:
            break;
    }
    return {};
}

std::string TranslationPackModel::heading() {
    return L("系统翻译语言包");
}

std::string TranslationPackModel::description() {
    // clang-format off
    return L("翻译默认用这台电脑自带的翻译，在这台电脑上完成，选中的文字不会发到任何服务器。需要先下载一次英语与简体中文（系统会弹出授权，约几百 MB）。");
    // clang-format on
}

std::string TranslationPackModel::unavailableMessage() {
    return std::string(unavailableKey);
}

}  // namespace pivorel
