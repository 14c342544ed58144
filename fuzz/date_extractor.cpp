#include "BrisendoKit/Content/DateExtractor.h"
#include "BrisendoKit/Localization/Localizer.h"

#include <unicode/gregocal.h>
#include <unicode/timezone.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

// Any text at any moment in any of these zones (two with daylight saving, one whose clocks
// move by half an hour) either reads as no date or as a date the calendar can hold, with a
// time of day inside the clock's range, and reads the same way twice.
namespace {

const std::array<const char*, 5> zones = {"America/New_York", "Europe/Berlin", "Asia/Shanghai",
                                          "Australia/Lord_Howe", "UTC"};

const icu::Calendar& calendar(std::size_t i) {
    static const auto* all = [] {
        auto* list = new std::array<std::unique_ptr<icu::Calendar>, zones.size()>();
        for (std::size_t k = 0; k < zones.size(); ++k) {
            UErrorCode status = U_ZERO_ERROR;
            (*list)[k] = std::make_unique<icu::GregorianCalendar>(
                icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(zones[k])), status);
        }
        return list;
    }();
    return *(*all)[i];
}

}  // namespace

// A fixed interface language: the user's saved preference is no input of this target.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    pivorel::Localizer::setLanguageOverride("en");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pivorel;
    if (size < 9) return 0;
    // The first eight bytes are the moment (milliseconds since 1970, any value); the next
    // picks the zone.
    std::int64_t ms = 0;
    std::memcpy(&ms, data, sizeof ms);
    // The clock counts nanoseconds in 64 bits; keep the moment where it can be held.
    constexpr std::int64_t limit = 9'000'000'000'000'000 / 1'000'000;
    ms %= limit;
    const TimePoint now{std::chrono::milliseconds(ms)};
    const icu::Calendar& cal = calendar(data[8] % zones.size());
    const std::string_view text(reinterpret_cast<const char*>(data + 9), size - 9);

    const auto result = DateExtractor::extract(text, now, cal);
    if (!result) return 0;
    if (result->month < 1 || result->month > 12 || result->day < 1 || result->day > 31)
        __builtin_trap();
    if (result->hour.has_value() != result->minute.has_value()) __builtin_trap();
    if (result->hour && (*result->hour < 0 || *result->hour > 23)) __builtin_trap();
    if (result->minute && (*result->minute < 0 || *result->minute > 59)) __builtin_trap();
    if (!result->calendar) __builtin_trap();
    if (!(DateExtractor::extract(text, now, cal) == result)) __builtin_trap();
    (void)result->instant();
    (void)DateExtractor::describe(*result);
    return 0;
}
