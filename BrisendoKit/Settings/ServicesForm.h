#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrisendoKit/LanguageModel/TranslateEngine.h"
#include "BrisendoKit/Storage/BarSettings.h"
#include "BrisendoKit/Storage/Credentials.h"
#include "BrisendoKit/Support/LifetimeToken.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

class MainQueue;

// The services page without its widgets: the translation engine, and the two forms that
// end in a save button, the model form (base address, model, API key) and the flomo form
// (webhook, dry run). Secrets go to the secret store through Credentials and are never read
// back into a field: the forms only know whether one is stored. Main thread; the secret
// store is only ever called through `runner`, and its answers arrive through `queue`.
class ServicesForm {
  public:
    // The line beside a save button.
    enum class Note { none, saved, keychainFailed, waitingForKeyring };

    // `onDeviceEngine`: whether this machine has an on-device translator; without one the
    // engine "system" and its language packs are not offered.
    ServicesForm(BarSettings settings, Credentials credentials, MainQueue& queue,
                 Credentials::Runner runner, bool onDeviceEngine);

    bool onDeviceEngine() const { return onDeviceEngine_; }
    // The engines the picker offers, in order.
    std::vector<TranslateEngine> engines() const;
    // Stored the moment it changes.
    TranslateEngine engine() const;
    void setEngine(TranslateEngine engine);
    // What translation will use now, for the banner; `packReady` absent while unknown.
    TranslateEngineStatus status(std::optional<bool> packReady) const;

    // The model form.
    const std::string& baseURL() const { return baseURL_; }
    const std::string& model() const { return model_; }
    const std::string& apiKey() const { return key_.field; }
    void setBaseURL(std::string value);
    void setModel(std::string value);
    void setAPIKey(std::string value);
    bool hasKey() const { return key_.stored; }
    // The key field's prompt: says a key is stored, or asks for one.
    std::string apiKeyPrompt() const;
    // A trimmed address or model that differs from the stored one, or a key typed in.
    bool modelDirty() const;
    // Stores the trimmed address and model, and a typed key in the secret store. A key the
    // store refused stays in its field.
    void saveModel();
    Note modelNote() const { return key_.note; }

    // The flomo form.
    const std::string& webhook() const { return flomo_.field; }
    bool flomoDry() const { return flomoDry_; }
    void setWebhook(std::string value);
    void setFlomoDry(bool on);
    bool hasFlomo() const { return flomo_.stored; }
    std::string webhookPrompt() const;
    // A webhook typed in, or a dry-run switch that differs from the stored one.
    bool flomoDirty() const;
    void saveFlomo();
    Note flomoNote() const { return flomo_.note; }

    // The reminders folder (used when the desktop has no task list service); stored at once.
    std::string remindersFolder() const { return settings_.remindersFolder().string(); }
    void setRemindersFolder(const std::string& folder) {
        settings_.setRemindersFolder(folder);
        changed.emit();
    }

    // The text of a note in the interface language (empty for none).
    static std::string noteText(Note note);

    // Fills the fields from the stores again and forgets what was typed and the notes.
    void reload();

    // Emitted after any field, flag or note changed.
    Signal<> changed;

  private:
    // One secret's field, whether it is stored, and its save in flight.
    struct Secret {
        std::string field;
        bool stored = false;
        Note note = Note::none;
        // Counts saves; an answer for an older one only updates `stored`.
        std::uint64_t round = 0;
        bool saving = false;
    };

    // Saves the trimmed field of `secret` (if any) under `account`; `note` otherwise.
    void save(Secret ServicesForm::*secret, std::string_view account);

    BarSettings settings_;
    Credentials credentials_;
    MainQueue& queue_;
    Credentials::Runner runner_;
    bool onDeviceEngine_;
    std::string baseURL_;
    std::string model_;
    Secret key_;
    bool flomoDry_ = false;
    Secret flomo_;
    std::uint64_t reloads_ = 0;
    LifetimeToken<ServicesForm> self_{this};
};

}  // namespace pivorel
