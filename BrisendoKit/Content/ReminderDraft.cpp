#include "BrisendoKit/Content/ReminderDraft.h"

#include <vector>

#include "BrisendoKit/Actions/ActionLinks.h"
#include "BrisendoKit/Content/DateExtractor.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

ReminderDraft ReminderDraftBuilder::make(std::string_view text, std::optional<std::string_view> app,
                                         std::optional<std::string_view> url, TimePoint now,
                                         const icu::Calendar& calendar) {
    const std::string trimmed = text::trim(text::repairUtf8(text));
    ReminderDraft draft;
    draft.title = ActionLinks::oneLine(trimmed, ReminderDraft::titleLimit);

    std::vector<std::string> parts;
    if (trimmed != draft.title) parts.push_back(trimmed);
    if (auto source = ActionLinks::sourceLine(app, url)) parts.push_back(std::move(*source));
    if (!parts.empty()) {
        std::string notes = parts[0];
        for (std::size_t i = 1; i < parts.size(); ++i) notes += "\n\n" + parts[i];
        draft.notes = std::move(notes);
    }

    draft.due = DateExtractor::extract(trimmed, now, calendar);
    return draft;
}

}  // namespace pivorel
