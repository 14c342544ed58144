#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "BrisendoKit/Actions/ActionID.h"
#include "BrisendoKit/Content/ReminderCreator.h"
#include "BrisendoKit/LanguageModel/AskKind.h"
#include "BrisendoKit/Selection/SelectionReader.h"
#include "BrisendoKit/Storage/Credentials.h"
#include "BrisendoKit/Storage/SelectRequest.h"
#include "BrisendoKit/Support/LifetimeToken.h"
#include "BrisendoKit/Support/Worker.h"

namespace pivorel {

class AppController;
class CalendarService;
class BarSettings;
class DesktopTargets;
class MainQueue;
class OnDeviceTranslator;
class PanelModel;
class PasteboardLike;
class Workspace;
class Clock;

// Carries out a chosen action: writes to the clipboard, presses the source application's
// Edit command, opens links built from the text, adds a reminder or an event, posts a flomo note,
// or starts a streamed conversation in the panel; every outcome ends in a notice through the
// coordinator. Main thread; the reminder and the note are sent on the performer's own
// worker threads (destroying the performer waits for them) and report back through the
// main queue.
class ActionPerformer {
  public:
    struct Services {
        AppController& controller;
        const SelectionReader& reader;
        PasteboardLike& pasteboard;
        Workspace& workspace;
        const BarSettings& settings;
        MainQueue& queue;
        const Clock& clock;
        // A freshly opened reminders service for each reminder.
        ReminderCreator::ServiceFactory reminders;
        // A freshly opened calendar for each event; called on a worker thread.
        std::function<std::unique_ptr<CalendarService>()> calendar;
        std::shared_ptr<OnDeviceTranslator> onDeviceTranslator;
        // The model key and the flomo webhook.
        Credentials credentials;
        // The installed dictionary program; without one, looking up opens a dict: link.
        DesktopTargets* targets = nullptr;
    };

    explicit ActionPerformer(Services services);
    ~ActionPerformer();
    ActionPerformer(const ActionPerformer&) = delete;
    ActionPerformer& operator=(const ActionPerformer&) = delete;

    void perform(const ActionID& action, const SelectRequest& request, std::int64_t recordID,
                 const std::shared_ptr<PanelModel>& model);

    // What a dictionary is asked: the first 200 characters of the trimmed text.
    static std::string dictionaryText(const std::string& text);
    // "dict://" and dictionaryText, percent-encoded.
    static std::string dictionaryURL(const std::string& text);

  private:
    void performCustom(const ActionID& action, const SelectRequest& request);
    void lookUp(const std::string& text);
    // Opens `url`, or tells `missing` when nothing can.
    void open(const std::optional<std::string>& url, const std::string& missing);
    void startAsk(AskKind kind, const SelectRequest& request, std::int64_t recordID,
                  const std::shared_ptr<PanelModel>& model);
    void edit(SelectionReader::EditCommand command, const SelectRequest& request);
    void addReminder(const SelectRequest& request);
    void addEvent(const SelectRequest& request);
    void sendToFlomo(const SelectRequest& request);
    std::optional<std::string> displayName(const std::optional<std::string>& app) const;

    Services s_;
    // Work handed out holds a guard and reports nothing once the performer is gone.
    LifetimeToken<ActionPerformer> self_{this};
    // Stopped first: a send in flight finishes before the services go.
    Worker background_{2};
};

}  // namespace pivorel
