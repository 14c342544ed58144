#include "BrisendoKit/Content/ReminderCreator.h"

#include <thread>

#include "BrisendoKit/Platform/RemindersService.h"

namespace pivorel {

ReminderCreator::ReminderCreator(MainQueue& queue, ServiceFactory open)
    : queue_(&queue), open_(std::move(open)) {}

void ReminderCreator::add(ReminderDraft draft, Completion done) const {
    std::thread([creator = *this, draft = std::move(draft), done = std::move(done)]() mutable {
        auto result = creator.addNow(draft);
        creator.queue_->post(
            [done = std::move(done), result = std::move(result)]() mutable { done(result); });
    }).detach();
}

Result<Done, ReminderError> ReminderCreator::addNow(const ReminderDraft& draft) const {
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
    return service->save(*list, reminder);
}

}  // namespace pivorel
