#include "BrisendoKit/Settings/ServicesForm.h"

#include "BrisendoKit/LanguageModel/LLMClient.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Support/MainQueue.h"
#include "BrisendoKit/Support/Text.h"
#include "BrisendoKit/Support/UserDefaults.h"

namespace pivorel {

ServicesForm::ServicesForm(BarSettings settings, Credentials credentials, MainQueue& queue,
                           Credentials::Runner runner, bool onDeviceEngine)
    : settings_(std::move(settings)),
      credentials_(std::move(credentials)),
      queue_(queue),
      runner_(std::move(runner)),
      onDeviceEngine_(onDeviceEngine) {
    reload();
}

void ServicesForm::reload() {
    baseURL_ = settings_.llmBaseURL();
    model_ = settings_.llmModel();
    flomoDry_ = settings_.flomoDry();
    const auto generation = ++reloads_;
    for (const auto& entry : {std::pair{&ServicesForm::key_, Credentials::llmAccount},
                              std::pair{&ServicesForm::flomo_, Credentials::flomoAccount}}) {
        const auto secret = entry.first;
        const auto account = entry.second;
        Secret& s = this->*secret;
        s.field.clear();
        s.note = Note::none;
        s.stored = false;
        credentials_.existsLater(account, queue_, runner_,
                                 [guard = self_.guard(), secret, generation](bool found) {
                                     auto* self = guard.get();
                                     // A save that landed meanwhile already knows better than an
                                     // older answer.
                                     if (!self || !found || generation != self->reloads_) return;
                                     (self->*secret).stored = true;
                                     self->changed.emit();
                                 });
    }
    changed.emit();
}

std::vector<TranslateEngine> ServicesForm::engines() const {
    if (onDeviceEngine_) return {allTranslateEngines.begin(), allTranslateEngines.end()};
    return {TranslateEngine::automatic, TranslateEngine::model};
}

TranslateEngine ServicesForm::engine() const {
    return currentTranslateEngine(*settings_.defaults(), onDeviceEngine_);
}

void ServicesForm::setEngine(TranslateEngine engine) {
    settings_.defaults()->set(translateEngineDefaultsKey, std::string(toString(engine)));
    changed.emit();
}

TranslateEngineStatus ServicesForm::status(std::optional<bool> packReady) const {
    const bool modelReady = key_.stored || LLMClient::isLoopback(settings_.llmBaseURL());
    // With nothing on the device, automatic is the model.
    return translateEngineStatus(onDeviceEngine_ ? engine() : TranslateEngine::model, modelReady,
                                 packReady, settings_.llmModel());
}

// Typing again makes an earlier note stale.
void ServicesForm::setBaseURL(std::string value) {
    baseURL_ = std::move(value);
    key_.note = Note::none;
    changed.emit();
}

void ServicesForm::setModel(std::string value) {
    model_ = std::move(value);
    key_.note = Note::none;
    changed.emit();
}

void ServicesForm::setAPIKey(std::string value) {
    key_.field = std::move(value);
    key_.note = Note::none;
    changed.emit();
}

std::string ServicesForm::apiKeyPrompt() const {
    return key_.stored ? L("已保存，留空则不改") : std::string("API Key");
}

bool ServicesForm::modelDirty() const {
    return text::trim(baseURL_) != settings_.llmBaseURL() ||
           text::trim(model_) != settings_.llmModel() || !text::trim(key_.field).empty();
}

void ServicesForm::saveModel() {
    baseURL_ = text::trim(baseURL_);
    model_ = text::trim(model_);
    settings_.defaults()->set(BarSettings::llmBaseURLKey, baseURL_);
    settings_.defaults()->set(BarSettings::llmModelKey, model_);
    save(&ServicesForm::key_, Credentials::llmAccount);
    changed.emit();
}

void ServicesForm::setWebhook(std::string value) {
    flomo_.field = std::move(value);
    flomo_.note = Note::none;
    changed.emit();
}

void ServicesForm::setFlomoDry(bool on) {
    flomoDry_ = on;
    flomo_.note = Note::none;
    changed.emit();
}

std::string ServicesForm::webhookPrompt() const {
    return flomo_.stored ? L("已保存，留空则不改") : std::string("Webhook");
}

bool ServicesForm::flomoDirty() const {
    return !text::trim(flomo_.field).empty() || flomoDry_ != settings_.flomoDry();
}

void ServicesForm::saveFlomo() {
    settings_.defaults()->set(BarSettings::flomoDryKey, flomoDry_);
    save(&ServicesForm::flomo_, Credentials::flomoAccount);
    changed.emit();
}

void ServicesForm::save(Secret ServicesForm::*secret, std::string_view account) {
    Secret& saving = this->*secret;
    std::string value = text::trim(saving.field);
    if (value.empty()) {
        saving.note = Note::saved;
        return;
    }
    saving.note = Note::none;  // until the store answers
    saving.saving = true;
    const auto round = ++saving.round;
    auto done = [guard = self_.guard(), secret, round, value](bool ok) {
        auto* self = guard.get();
        if (!self) return;
        Secret& s = self->*secret;
        s.stored = s.stored || ok;
        if (round == s.round) {
            s.saving = false;
            s.note = ok ? Note::saved : Note::keychainFailed;
            // A stored value leaves its field, unless something else was typed since.
            if (ok && text::trim(s.field) == value) s.field.clear();
        }
        self->changed.emit();
    };
    credentials_.setLater(std::move(value), account, queue_, runner_, std::move(done));
    queue_.postAfter(Credentials::unlockNoteDelay, [guard = self_.guard(), secret, round] {
        auto* self = guard.get();
        if (!self) return;
        Secret& s = self->*secret;
        if (!s.saving || round != s.round) return;
        s.note = Note::waitingForKeyring;
        self->changed.emit();
    });
}

std::string ServicesForm::noteText(Note note) {
    switch (note) {
        case Note::saved:
            return L("已保存");
        case Note::keychainFailed:
            return L("写入钥匙环失败");
        case Note::waitingForKeyring:
            return L("正在等钥匙环解锁…");
        case Note::none:
            break;
    }
    return {};
}

}  // namespace pivorel
