#include "BrisendoKit/Content/DateExtractor.h"
#include "BrisendoKit/Support/Calendar.h"

#include <unicode/dtptngen.h>
#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/regex.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <vector>

#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Support/IcuRegex.h"

namespace pivorel {

namespace {

enum Pattern : std::size_t {
    relativeDay,
    weekday,
    monthDay,
    clock,
    periodBeforeClock,
    hourWord,
    englishTime,
    patternCount,
};

// The clock pattern also takes an "am"/"pm" right after the time, so «9:45 pm» is 21:45.
constexpr IcuRegex::Source sources[patternCount] = {
    {R"re((大后天|后天|明天|明日|今天|今日))re"},
    {R"re((下下周|下下个星期|下周|下个星期|下礼拜|这周|本周|这个星期|周|星期|礼拜)\s*([一二三四五六日天1-7]))re"},
    {R"re((?:(\d{4})\s*[-/.年]\s*)?(\d{1,2})\s*[-/.月]\s*(\d{1,2})\s*[日号]?)re"},
    {R"re((\d{1,2})\s*[:：]\s*(\d{2})(?:\s*(am|pm)\b)?)re"},
    {R"re((凌晨|早上|早晨|上午|中午|下午|傍晚|晚上)\s*\d{1,2}\s*[:：]\s*\d{2})re"},
    {R"re((凌晨|早上|早晨|上午|中午|下午|傍晚|晚上)?\s*(\d{1,2}|[一二两三四五六七八九十]{1,3})\s*点\s*(半|(\d{1,2})\s*分?)?)re"},
    {R"re(\b(\d{1,2})(?::(\d{2}))?\s*(am|pm)\b)re"},
};
constinit const IcuRegex patterns{sources};

// The groups of a first match anywhere in the text; an absent group is nothing. An engine
// failure (such as the backtracking limit) counts as no match.
using Groups = std::array<std::optional<icu::UnicodeString>, 5>;

std::optional<Groups> findFirst(Pattern p, const icu::UnicodeString& text) {
    UErrorCode status = U_ZERO_ERROR;
    const auto m = patterns.matcher(p, text);
    if (!m || !m->find(status) || U_FAILURE(status)) return std::nullopt;
    Groups groups;
    const int32_t count = std::min<int32_t>(m->groupCount(), static_cast<int32_t>(groups.size()));
    for (int32_t g = 0; g <= count && g < static_cast<int32_t>(groups.size()); ++g) {
        status = U_ZERO_ERROR;
        if (m->start(g, status) < 0 || U_FAILURE(status)) continue;
        groups[static_cast<std::size_t>(g)] = m->group(g, status);
        if (U_FAILURE(status)) groups[static_cast<std::size_t>(g)].reset();
    }
    return groups;
}

std::vector<UChar32> codePoints(const icu::UnicodeString& s) {
    std::vector<UChar32> out;
    for (int32_t i = 0; i < s.length(); i = s.moveIndex32(i, 1)) out.push_back(s.char32At(i));
    return out;
}

// A run of decimal digits of any script («12», «１２»), optionally signed.
std::optional<int> decimal(const std::vector<UChar32>& cps) {
    std::size_t i = 0;
    bool negative = false;
    if (!cps.empty() && (cps[0] == '+' || cps[0] == '-')) {
        negative = cps[0] == '-';
        i = 1;
    }
    if (i >= cps.size() || cps.size() - i > 9) return std::nullopt;
    int value = 0;
    for (; i < cps.size(); ++i) {
        if (u_charType(cps[i]) != U_DECIMAL_DIGIT_NUMBER) return std::nullopt;
        value = value * 10 + u_charDigitValue(cps[i]);
    }
    return negative ? -value : value;
}

std::optional<int> decimal(const std::optional<icu::UnicodeString>& s) {
    if (!s) return std::nullopt;
    return decimal(codePoints(*s));
}

std::optional<int> chineseDigit(UChar32 c) {
    switch (c) {
        case u'一':
            return 1;
        case u'二':
            return 2;
        case u'两':
            return 2;
        case u'三':
            return 3;
        case u'四':
            return 4;
        case u'五':
            return 5;
        case u'六':
            return 6;
        case u'七':
            return 7;
        case u'八':
            return 8;
        case u'九':
            return 9;
        default:
            return std::nullopt;
    }
}

std::optional<int> numberOf(const std::vector<UChar32>& cps) {
    if (const auto value = decimal(cps)) return value;
    constexpr UChar32 ten = u'十';
    const std::size_t n = cps.size();
    if (n == 1 && cps[0] == ten) return 10;
    if (n == 2 && cps[0] == ten) {
        if (const auto d = chineseDigit(cps[1])) return 10 + *d;
    }
    if (n == 2 && cps[1] == ten) {
        if (const auto d = chineseDigit(cps[0])) return 10 * *d;
    }
    if (n == 3 && cps[1] == ten) {
        const auto a = chineseDigit(cps[0]);
        const auto b = chineseDigit(cps[2]);
        if (a && b) return 10 * *a + *b;
    }
    if (n == 1) return chineseDigit(cps[0]);
    return std::nullopt;
}

bool is(const std::optional<icu::UnicodeString>& s, const char16_t* word) {
    return s && *s == icu::UnicodeString(word);
}

bool isEvening(const std::optional<icu::UnicodeString>& s) {
    return is(s, u"下午") || is(s, u"晚上") || is(s, u"傍晚");
}

// "am"/"pm" in any case: 12 am is midnight, an hour before 12 pm is in the afternoon.
int applyMeridiem(int hour, const std::optional<icu::UnicodeString>& word) {
    if (!word) return hour;
    icu::UnicodeString lower(*word);
    lower.toLower(icu::Locale::getRoot());
    if (lower == icu::UnicodeString(u"pm") && hour < 12) return hour + 12;
    if (lower == icu::UnicodeString(u"am") && hour == 12) return 0;
    return hour;
}

struct Day {
    int year;
    int month;  // 1-12
    int day;
    UDate noon;
};

struct TimeOfDay {
    int hour;  // 0-24; 24 is the end of the day, 0:00 of the next one
    int minute;
};

// The calendar date of `year`/`month`/`dayOfMonth`, normalized leniently (3月32日 is
// 1 April). Nothing when the calendar cannot represent it.
std::optional<Day> dayAt(icu::Calendar& cal, int year, int month, int dayOfMonth) {
    cal.clear();
    cal.set(year, month - 1, dayOfMonth, 12, 0, 0);
    UErrorCode status = U_ZERO_ERROR;
    const UDate noon = cal.getTime(status);
    if (U_FAILURE(status)) return std::nullopt;
    Day d{cal.get(UCAL_YEAR, status), cal.get(UCAL_MONTH, status) + 1, cal.get(UCAL_DATE, status),
          noon};
    if (U_FAILURE(status)) return std::nullopt;
    return d;
}

std::optional<Day> addDays(icu::Calendar& cal, const Day& from, int days) {
    return dayAt(cal, from.year, from.month, from.day + days);
}

std::optional<int> weekdayNumber(UChar32 c) {
    if (c >= '1' && c <= '7') return static_cast<int>(c - '0');
    switch (c) {
        case u'一':
            return 1;
        case u'二':
            return 2;
        case u'三':
            return 3;
        case u'四':
            return 4;
        case u'五':
            return 5;
        case u'六':
            return 6;
        case u'日':
        case u'天':
            return 7;
        default:
            return std::nullopt;
    }
}

std::optional<Day> readDay(const icu::UnicodeString& text, icu::Calendar& cal, const Day& today,
                           int todayWeekday) {
    if (const auto g = findFirst(relativeDay, text)) {
        int offset = 0;
        if (is((*g)[1], u"明天") || is((*g)[1], u"明日")) offset = 1;
        if (is((*g)[1], u"后天")) offset = 2;
        if (is((*g)[1], u"大后天")) offset = 3;
        return addDays(cal, today, offset);
    }
    if (const auto g = findFirst(weekday, text)) {
        const auto target = (*g)[2] ? weekdayNumber((*g)[2]->char32At(0)) : std::nullopt;
        if (!target) return std::nullopt;
        const auto& word = (*g)[1];
        int offset;
        if (is(word, u"下下周") || is(word, u"下下个星期")) {
            offset = *target + 14 - todayWeekday;
        } else if (is(word, u"下周") || is(word, u"下个星期") || is(word, u"下礼拜")) {
            offset = *target + 7 - todayWeekday;
        } else if (is(word, u"这周") || is(word, u"本周") || is(word, u"这个星期")) {
            offset = *target - todayWeekday;
        } else {
            offset = (*target - todayWeekday + 7) % 7;
        }
        return addDays(cal, today, offset);
    }
    if (const auto g = findFirst(monthDay, text)) {
        const auto month = decimal((*g)[2]);
        const auto dayOfMonth = decimal((*g)[3]);
        if (!month || !dayOfMonth || *month < 1 || *month > 12 || *dayOfMonth < 1 ||
            *dayOfMonth > 31) {
            return std::nullopt;
        }
        const auto writtenYear = decimal((*g)[1]);
        // Year 0 is no year of the calendar's era: such a date cannot be formed.
        if (writtenYear && *writtenYear < 1) return std::nullopt;
        const auto date = dayAt(cal, writtenYear.value_or(today.year), *month, *dayOfMonth);
        if (!date) return std::nullopt;
        if (!writtenYear && date->noon < today.noon) {
            if (const auto next = dayAt(cal, today.year + 1, *month, *dayOfMonth)) return next;
        }
        return date;
    }
    return std::nullopt;
}

std::optional<TimeOfDay> readTime(const icu::UnicodeString& text) {
    if (const auto g = findFirst(clock, text)) {
        const auto hour = decimal((*g)[1]);
        const auto minute = decimal((*g)[2]);
        if (hour && minute && *hour <= 23 && *minute <= 59) {
            int h = *hour;
            if (const auto p = findFirst(periodBeforeClock, text)) {
                const auto& period = (*p)[1];
                if ((isEvening(period) && h <= 11) || (is(period, u"中午") && h <= 10)) h += 12;
            }
            return TimeOfDay{applyMeridiem(h, (*g)[3]), *minute};
        }
    }
    if (const auto g = findFirst(hourWord, text)) {
        const auto hour = (*g)[2] ? numberOf(codePoints(*(*g)[2])) : std::nullopt;
        if (hour && *hour >= 0 && *hour <= 24) {
            int h = *hour;
            const auto& period = (*g)[1];
            if ((isEvening(period) && h <= 11) || (is(period, u"中午") && h <= 10)) h += 12;
            if (is(period, u"凌晨") && h == 12) h = 0;
            int minute = 0;
            if (is((*g)[3], u"半")) {
                minute = 30;
            } else if (const auto digits = decimal((*g)[4])) {
                minute = *digits;
            }
            // «3点75分» names no time of day; the English form may still.
            if (minute <= 59) return TimeOfDay{h, minute};
        }
    }
    if (const auto g = findFirst(englishTime, text)) {
        const auto hour = decimal((*g)[1]);
        const int minute = decimal((*g)[2]).value_or(0);
        if (hour) {
            const int h = applyMeridiem(*hour, (*g)[3]);
            if (h <= 23 && minute <= 59) return TimeOfDay{h, minute};
        }
    }
    return std::nullopt;
}

// Milliseconds since 1970 as ICU counts them.
UDate toUDate(TimePoint t) {
    return static_cast<UDate>(
        std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count());
}

DateComponents makeComponents(const Day& d, std::optional<TimeOfDay> time,
                              std::shared_ptr<const icu::Calendar> calendar) {
    DateComponents c;
    c.year = d.year;
    c.month = d.month;
    c.day = d.day;
    if (time) {
        c.hour = time->hour;
        c.minute = time->minute;
    }
    c.calendar = std::move(calendar);
    return c;
}

}  // namespace

std::optional<DateComponents> DateExtractor::extract(std::string_view input, TimePoint now,
                                                     const icu::Calendar& calendar) {
    std::shared_ptr<icu::Calendar> cal(calendar.clone());
    if (!cal) return std::nullopt;
    cal->setFirstDayOfWeek(UCAL_MONDAY);
    cal->setLenient(true);
    cal->setRepeatedWallTimeOption(UCAL_WALLTIME_FIRST);
    cal->setSkippedWallTimeOption(UCAL_WALLTIME_NEXT_VALID);
    // The working copy is changed while reading; the attached one never is.
    std::unique_ptr<icu::Calendar> work(cal->clone());
    if (!work) return std::nullopt;

    const UDate nowMs = toUDate(now);
    UErrorCode status = U_ZERO_ERROR;
    work->setTime(nowMs, status);
    const int y = work->get(UCAL_YEAR, status);
    const int m = work->get(UCAL_MONTH, status) + 1;
    const int d = work->get(UCAL_DATE, status);
    const int w = work->get(UCAL_DAY_OF_WEEK, status);
    if (U_FAILURE(status)) return std::nullopt;
    const auto today = dayAt(*work, y, m, d);
    if (!today) return std::nullopt;
    const int todayWeekday = ((w + 5) % 7) + 1;  // Monday 1 ... Sunday 7

    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(input.data(), static_cast<int32_t>(input.size())));
    auto day = readDay(text, *work, *today, todayWeekday);
    auto time = readTime(text);

    if (day) {
        // A day was named: its time stays even when already past.
        if (time && time->hour == 24) {
            day = addDays(*work, *day, 1);
            if (!day) return std::nullopt;
            time->hour = 0;
        }
        return makeComponents(*day, time, cal);
    }
    if (time) {
        Day on = *today;
        if (time->hour == 24) {
            // The end of today is 0:00 tomorrow, always still ahead.
            const auto next = addDays(*work, on, 1);
            if (!next) return std::nullopt;
            on = *next;
            time->hour = 0;
        } else {
            work->clear();
            work->set(on.year, on.month - 1, on.day, time->hour, time->minute, 0);
            status = U_ZERO_ERROR;
            const UDate at = work->getTime(status);
            if (U_FAILURE(status)) return std::nullopt;
            if (!(at > nowMs)) {
                const auto next = addDays(*work, on, 1);
                if (!next) return std::nullopt;
                on = *next;
            }
        }
        return makeComponents(on, time, cal);
    }
    // A natural-language date detector would be asked here; Linux has none to ask.
    return std::nullopt;
}

std::optional<int> DateExtractor::number(std::string_view text) {
    return numberOf(codePoints(icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())))));
}

namespace {

// The localized "MMMd" pattern per interface language; making a generator takes
// milliseconds, so each language's pattern is worked out once.
std::optional<icu::UnicodeString> monthDayPattern(const icu::Locale& locale,
                                                  const std::string& language) {
    static std::mutex mutex;
    static std::map<std::string, icu::UnicodeString> cache;
    std::lock_guard lock(mutex);
    if (const auto it = cache.find(language); it != cache.end()) return it->second;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DateTimePatternGenerator> generator(
        icu::DateTimePatternGenerator::createInstance(locale, status));
    if (U_FAILURE(status) || !generator) return std::nullopt;
    icu::UnicodeString pattern = generator->getBestPattern(icu::UnicodeString(u"MMMd"), status);
    if (U_FAILURE(status)) return std::nullopt;
    cache.emplace(language, pattern);
    return pattern;
}

}  // namespace

std::string DateExtractor::describe(const DateComponents& components) {
    std::unique_ptr<icu::Calendar> cal(components.calendar ? components.calendar->clone()
                                                           : currentCalendar().release());
    std::string out;
    // Far outside any calendar's range the fields would overflow ICU's arithmetic.
    const auto sane = [](int v) { return v > -1'000'000 && v < 1'000'000; };
    if (cal && sane(components.year) && sane(components.month) && sane(components.day)) {
        cal->setLenient(true);
        cal->clear();
        cal->set(components.year, components.month - 1, components.day, 12, 0, 0);
        UErrorCode status = U_ZERO_ERROR;
        const UDate noon = cal->getTime(status);
        const std::string language = Localizer::effectiveLanguage();
        const icu::Locale locale = icu::Locale::forLanguageTag(language, status);
        const auto pattern = U_SUCCESS(status) ? monthDayPattern(locale, language) : std::nullopt;
        if (pattern) {
            icu::SimpleDateFormat format(*pattern, locale, status);
            if (U_SUCCESS(status)) {
                format.setCalendar(*cal);
                icu::UnicodeString formatted;
                format.format(noon, formatted);
                formatted.toUTF8String(out);
            }
        }
    }
    if (components.hour) {
        char clockText[32];
        std::snprintf(clockText, sizeof clockText, " %02d:%02d", *components.hour,
                      components.minute.value_or(0));
        out += clockText;
    }
    return out;
}

}  // namespace pivorel
