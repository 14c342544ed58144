#pragma once

#include <functional>
#include <memory>

#include "BrisendoKit/Content/ReminderDraft.h"
#include "BrisendoKit/Platform/ReminderError.h"
#include "BrisendoKit/Support/MainQueue.h"
#include "BrisendoKit/Support/Result.h"
#include "BrisendoKit/Support/Worker.h"

namespace pivorel {

class RemindersService;

// Saves a draft into the user's default reminders list, with an alert at the due time when
// the draft has a time of day.
class ReminderCreator {
  public:
    using ServiceFactory = std::function<std::unique_ptr<RemindersService>()>;
    // The name of the list the reminder went into.
    using Outcome = Result<std::string, ReminderError>;
    using Completion = std::function<void(Outcome)>;

    // `open` gives a freshly opened service for each reminder. Additions run through
    // `runInBackground`, whose owner stops it before `queue` goes.
    ReminderCreator(MainQueue& queue, ServiceFactory open, Worker::Runner runInBackground);

    // Works in the background and hands the outcome to `done` on the main queue.
    void add(ReminderDraft draft, Completion done) const;

    // The same, blocking the calling thread; never on the main thread.
    Outcome addNow(const ReminderDraft& draft) const;

  private:
    MainQueue* queue_;
    ServiceFactory open_;
    Worker::Runner runInBackground_;
};

}  // namespace pivorel
