#include "BrisendoKit/Content/ReminderCreator.h"

#include "BrisendoKit/Platform/RemindersService.h"

namespace pivorel {

ReminderCreator::ReminderCreator(MainQueue& queue, ServiceFactory open,
                                 Worker::Runner runInBackground)
    : queue_(&queue), open_(std::move(open)), runInBackground_(std::move(runInBackground)) {}

void ReminderCreator::add(ReminderDraft draft, Completion done) const {
    runInBackground_([creator = *this, draft = std::move(draft), done = std::move(done)]() mutable {
        auto result = creator.addNow(draft);
        creator.queue_->post(
            [done = std::move(done), result = std::move(result)]() mutable { done(result); });
    });
}

ReminderCreator::Outcome ReminderCreator::addNow(const ReminderDraft& draft) const {
    const std::unique_ptr<RemindersService> service = open_ ? open_() : nullptr;
    if (!service) return fail(ReminderError::noList());
    const auto access = service->requestAccess();
    if (!access) return fail(access.error());
    if (!*access) return fail(ReminderError::denied());
    const auto list = service->defaultList();
    if (!list) return fail(ReminderError::noList());

    NewReminder reminder{draft.title, draft.notes, draft.due, std::nullopt};
    // A date alone is due that day without an alert; a time of day alerts at that moment.
    if (draft.due && draft.due->hour) reminder.alarm = draft.due->instant();
    const auto saved = service->save(*list, reminder);
    if (!saved) return fail(saved.error());
    return *list;
}

}  // namespace pivorel
