#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "BrisendoKit/Storage/BarSettings.h"
#include "BrisendoKit/Support/Clock.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

class LoginItemHook;
class UpdateHook;

// The general page without its widgets: the bar switch, the interface language, starting
// at login, update checks and the three links. Values are stored the moment they change.
// The hot key has its own model (HotKeyRecorder). Main thread.
class GeneralForm {
  public:
    struct Link {
        std::string title;  // localized
        std::string url;
    };

    // Either hook may be missing: its controls then show off and do nothing.
    GeneralForm(BarSettings settings, std::shared_ptr<LoginItemHook> login,
                std::shared_ptr<UpdateHook> update);
    GeneralForm(const GeneralForm&) = delete;
    GeneralForm& operator=(const GeneralForm&) = delete;

    bool barEnabled() const { return settings_.enabled(); }
    void setBarEnabled(bool on);

    // "system" (follow the desktop) first, then each interface language by its own name.
    static std::vector<std::pair<std::string, std::string>> languageChoices();
    std::string language() const;
    void setLanguage(std::string_view code);

    // What the desktop reports, after any change: a refused change springs back.
    bool loginOn() const;
    void setLoginOn(bool on);
    // Set when the desktop refused the last change; empty otherwise.
    std::string loginNote() const;

    bool autoCheck() const;
    void setAutoCheck(bool on);
    void checkNow();
    // "当前版本 0.1.0　上次检查 …", the time in the interface language's month-day-time form.
    std::string versionLine() const;

    static std::vector<Link> links();

    // The moment of a check as the version line shows it; `timeZone` an Olson id, or the
    // process's zone when empty.
    static std::string formatCheckTime(TimePoint when, std::string_view language,
                                       std::string_view timeZone = {});

    // Emitted after any value shown on the page changed.
    Signal<> changed;

  private:
    BarSettings settings_;
    std::shared_ptr<LoginItemHook> login_;
    std::shared_ptr<UpdateHook> update_;
    bool loginRefused_ = false;
    Connection updateWatch_;
};

}  // namespace pivorel
