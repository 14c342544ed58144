#include "BrisendoKit/Content/EventDraft.h"

#include <chrono>
#include <memory>

#include "BrisendoKit/Content/ReminderDraft.h"

namespace pivorel {

EventDraft EventDraft::make(std::string_view text, std::optional<std::string_view> app,
                            std::optional<std::string_view> url, TimePoint now,
                            const icu::Calendar& calendar) {
    ReminderDraft draft = ReminderDraftBuilder::make(text, app, url, now, calendar);
    EventDraft out{{std::move(draft.title), std::move(draft.notes), {}}, draft.due.has_value()};
    if (draft.due) {
        out.event.start = std::move(*draft.due);
        return out;
    }
    std::shared_ptr<icu::Calendar> next(calendar.clone());
    UErrorCode status = U_ZERO_ERROR;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    next->setTime(static_cast<UDate>(ms.count()), status);
    next->add(UCAL_HOUR_OF_DAY, 1, status);
    out.event.start = DateComponents{next->get(UCAL_YEAR, status),
                                     next->get(UCAL_MONTH, status) + 1,
                                     next->get(UCAL_DATE, status),
                                     next->get(UCAL_HOUR_OF_DAY, status),
                                     0,
                                     {}};
    out.event.start.calendar = std::move(next);
    return out;
}

}  // namespace pivorel
