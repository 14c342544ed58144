#include "BrisendoKit/Support/Calendar.h"

#include <unicode/gregocal.h>
#include <unicode/timezone.h>

namespace pivorel {

std::unique_ptr<icu::Calendar> currentCalendar() {
    UErrorCode status = U_ZERO_ERROR;
    auto cal = std::make_unique<icu::GregorianCalendar>(icu::TimeZone::createDefault(), status);
    if (U_FAILURE(status)) return nullptr;
    return cal;
}

}  // namespace pivorel
