#include "BrisendoKit/Settings/ServicesForm.h"

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Support/Text.h"
#include "BrisendoKit/Support/UserDefaults.h"

namespace pivorel {

ServicesForm::ServicesForm(BarSettings settings, Credentials credentials)
    : settings_(std::move(settings)), credentials_(std::move(credentials)) {
    reload();
}

void ServicesForm::reload() {
    baseURL_ = settings_.llmBaseURL();
    model_ = settings_.llmModel();
    apiKey_.clear();
    webhook_.clear();
    flomoDry_ = settings_.flomoDry();
    hasKey_ = credentials_.exists(Credentials::llmAccount);
    hasFlomo_ = credentials_.exists(Credentials::flomoAccount);
    modelNote_ = Note::none;
    flomoNote_ = Note::none;
    changed.emit();
}

TranslateEngine ServicesForm::engine() const {
    return currentTranslateEngine(*settings_.defaults());
}

void ServicesForm::setEngine(TranslateEngine engine) {
    settings_.defaults()->set(translateEngineDefaultsKey, std::string(toString(engine)));
    changed.emit();
}

TranslateEngineStatus ServicesForm::status(std::optional<bool> packReady) const {
    return translateEngineStatus(engine(), hasKey_, packReady, settings_.llmModel());
}

// Typing again makes an earlier note stale.
void ServicesForm::setBaseURL(std::string value) {
    baseURL_ = std::move(value);
    modelNote_ = Note::none;
    changed.emit();
}

void ServicesForm::setModel(std::string value) {
    model_ = std::move(value);
    modelNote_ = Note::none;
    changed.emit();
}

void ServicesForm::setAPIKey(std::string value) {
    apiKey_ = std::move(value);
    modelNote_ = Note::none;
    changed.emit();
}

std::string ServicesForm::apiKeyPrompt() const {
    return hasKey_ ? L("已保存，留空则不改") : std::string("API Key");
}

bool ServicesForm::modelDirty() const {
    return text::trim(baseURL_) != settings_.llmBaseURL() ||
           text::trim(model_) != settings_.llmModel() || !text::trim(apiKey_).empty();
}

void ServicesForm::saveModel() {
    baseURL_ = text::trim(baseURL_);
    model_ = text::trim(model_);
    settings_.defaults()->set(BarSettings::llmBaseURLKey, baseURL_);
    settings_.defaults()->set(BarSettings::llmModelKey, model_);
    modelNote_ = Note::saved;
    if (const std::string key = text::trim(apiKey_); !key.empty()) {
        if (credentials_.set(key, Credentials::llmAccount)) {
            hasKey_ = true;
            apiKey_.clear();
        } else {
            modelNote_ = Note::keychainFailed;
        }
    }
    changed.emit();
}

void ServicesForm::setWebhook(std::string value) {
    webhook_ = std::move(value);
    flomoNote_ = Note::none;
    changed.emit();
}

void ServicesForm::setFlomoDry(bool on) {
    flomoDry_ = on;
    flomoNote_ = Note::none;
    changed.emit();
}

std::string ServicesForm::webhookPrompt() const {
    return hasFlomo_ ? L("已保存，留空则不改") : std::string("Webhook");
}

bool ServicesForm::flomoDirty() const {
    return !text::trim(webhook_).empty() || flomoDry_ != settings_.flomoDry();
}

void ServicesForm::saveFlomo() {
    settings_.defaults()->set(BarSettings::flomoDryKey, flomoDry_);
    flomoNote_ = Note::saved;
    if (const std::string url = text::trim(webhook_); !url.empty()) {
        if (credentials_.set(url, Credentials::flomoAccount)) {
            hasFlomo_ = true;
            webhook_.clear();
        } else {
            flomoNote_ = Note::keychainFailed;
        }
    }
    changed.emit();
}

std::string ServicesForm::noteText(Note note) {
    switch (note) {
        case Note::saved:
            return L("已保存");
        case Note::keychainFailed:
            return L("写入钥匙环失败");
        case Note::none:
            break;
    }
    return {};
}

}  // namespace pivorel
