#include "Pivorel/Linux/ICalendarText.h"

#include <libical/ical.h>
#include <unicode/gregocal.h>
#include <unicode/timezone.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>

#include "BrisendoKit/Support/Text.h"

namespace pivorel::ical {

namespace {

// Text as an iCalendar TEXT value may hold it: valid UTF-8 without control characters,
// except tab and line feed (CR LF and a lone CR become a line feed). The library escapes
// the rest (backslash, comma, semicolon, line feed) when it writes the file.
std::string icalText(std::string_view input) {
    const std::string repaired = text::repairUtf8(input);
    std::string out;
    out.reserve(repaired.size());
    for (std::size_t i = 0; i < repaired.size();) {
        const char32_t c = text::decodeNext(repaired, i);
        if (c == '\r') {
            if (i < repaired.size() && repaired[i] == '\n') continue;
            out += '\n';
        } else if (c == '\t' || c == '\n' || (c >= 0x20 && c != 0x7F)) {
            text::appendUtf8(out, c);
        }
    }
    return out;
}

icaltimetype utcTime(TimePoint t) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(t.time_since_epoch()).count();
    return icaltime_from_timet_with_zone(static_cast<time_t>(seconds), 0,
                                         icaltimezone_get_utc_timezone());
}

struct Wall {
    int year, month, day, hour, minute;
};

// The Gregorian wall-clock fields of `due` in its own zone, whatever calendar it was read
// in. Nothing when it names no moment or lies outside the years iCalendar can write.
std::optional<Wall> gregorianWall(const DateComponents& due, const icu::TimeZone& zone) {
    const auto at = due.instant();
    if (!at) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    icu::GregorianCalendar cal(zone, status);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at->time_since_epoch());
    cal.setTime(static_cast<UDate>(ms.count()), status);
    Wall w{cal.get(UCAL_EXTENDED_YEAR, status), cal.get(UCAL_MONTH, status) + 1,
           cal.get(UCAL_DATE, status), cal.get(UCAL_HOUR_OF_DAY, status),
           cal.get(UCAL_MINUTE, status)};
    if (U_FAILURE(status) || w.year < 1 || w.year > 9999) return std::nullopt;
    return w;
}

using Component = std::unique_ptr<icalcomponent, decltype(&icalcomponent_free)>;

using MakeTime = icalproperty* (*)(icaltimetype);

// Adds the time property `make` gives (DUE, DTSTART) to `item`, and the zone's definition
// to `calendar` when the time is local.
void addTime(icalcomponent* calendar, icalcomponent* item, const DateComponents& due,
             MakeTime make) {
    std::unique_ptr<icu::TimeZone> zone(due.calendar ? due.calendar->getTimeZone().clone()
                                                     : icu::TimeZone::createDefault());
    if (!zone) return;
    const auto wall = gregorianWall(due, *zone);
    if (!wall) return;

    icaltimetype t = icaltime_null_time();
    t.year = wall->year;
    t.month = wall->month;
    t.day = wall->day;
    if (!due.hour) {
        t.is_date = 1;
        icalcomponent_add_property(item, make(t));
        return;
    }
    t.hour = wall->hour;
    t.minute = wall->minute;

    icu::UnicodeString id;
    std::string tzid;
    zone->getID(id).toUTF8String(tzid);
    icaltimezone* builtin =
        tzid.empty() ? nullptr : icaltimezone_get_builtin_timezone(tzid.c_str());
    icalcomponent* definition = builtin ? icaltimezone_get_component(builtin) : nullptr;
    if (!builtin || builtin == icaltimezone_get_utc_timezone() || !definition) {
        // A zone the library does not know (or UTC itself): the same moment in UTC.
        if (const auto at = due.instant()) {
            icalcomponent_add_property(item, make(utcTime(*at)));
        }
        return;
    }
    // The library names its zones with a private prefix; calendar programs know the plain
    // Olson name, so the copy written into the file carries that.
    icalcomponent* vtimezone = icalcomponent_new_clone(definition);
    if (icalproperty* p = icalcomponent_get_first_property(vtimezone, ICAL_TZID_PROPERTY)) {
        icalproperty_set_tzid(p, tzid.c_str());
    }
    icalcomponent_add_component(calendar, vtimezone);
    icalproperty* prop = make(t);
    icalproperty_add_parameter(prop, icalparameter_new_tzid(tzid.c_str()));
    icalcomponent_add_property(item, prop);
}

// A calendar and one `kind` item with its identity, title and notes; `finish` puts the item
// into the calendar after any zone definitions, which readers want first.
std::pair<Component, icalcomponent*> document(icalcomponent_kind kind, std::string_view uid,
                                              TimePoint stamp, std::string_view title,
                                              const std::optional<std::string>& notes) {
    Component calendar(icalcomponent_new(ICAL_VCALENDAR_COMPONENT), &icalcomponent_free);
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid("-//Morvale//Pivorel//EN"));
    icalcomponent* item = icalcomponent_new(kind);
    const std::string uidText = icalText(uid);
    const std::string titleText = icalText(title);
    icalcomponent_add_property(item, icalproperty_new_uid(uidText.c_str()));
    icalcomponent_add_property(item, icalproperty_new_dtstamp(utcTime(stamp)));
    icalcomponent_add_property(item, icalproperty_new_created(utcTime(stamp)));
    icalcomponent_add_property(item, icalproperty_new_summary(titleText.c_str()));
    if (notes) {
        const std::string notesText = icalText(*notes);
        icalcomponent_add_property(item, icalproperty_new_description(notesText.c_str()));
    }
    return {std::move(calendar), item};
}

std::string finish(const Component& calendar, icalcomponent* item) {
    icalcomponent_add_component(calendar.get(), item);
    char* text = icalcomponent_as_ical_string_r(calendar.get());
    std::string out = text ? text : "";
    icalmemory_free_buffer(text);
    return out;
}

}  // namespace

std::string newUid() {
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    unsigned char bytes[16];
    for (int i = 0; i < 16; i += 8) {
        const auto r = rng();
        for (int k = 0; k < 8; ++k) bytes[i + k] = static_cast<unsigned char>(r >> (8 * k));
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    char out[37];
    std::snprintf(out, sizeof out,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                  bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return out;
}

std::string todo(const NewReminder& reminder, std::string_view uid, TimePoint stamp) {
    auto [calendar, todo] =
        document(ICAL_VTODO_COMPONENT, uid, stamp, reminder.title, reminder.notes);
    icalcomponent_add_property(todo, icalproperty_new_status(ICAL_STATUS_NEEDSACTION));
    if (reminder.due) addTime(calendar.get(), todo, *reminder.due, icalproperty_new_due);

    if (reminder.alarm) {
        const std::string title = icalText(reminder.title);
        icalcomponent* alarm = icalcomponent_new(ICAL_VALARM_COMPONENT);
        icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
        // A display alarm needs a text of its own; an empty one would be invalid.
        icalcomponent_add_property(
            alarm, icalproperty_new_description(title.empty() ? "Pivorel" : title.c_str()));
        icaltriggertype trigger = icaltriggertype_from_int(0);
        trigger.time = utcTime(*reminder.alarm);
        icalcomponent_add_property(alarm, icalproperty_new_trigger(trigger));
        icalcomponent_add_component(todo, alarm);
    }
    return finish(calendar, todo);
}

std::string event(const NewEvent& event, std::string_view uid, TimePoint stamp) {
    auto [calendar, item] = document(ICAL_VEVENT_COMPONENT, uid, stamp, event.title, event.notes);
    addTime(calendar.get(), item, event.start, icalproperty_new_dtstart);
    icaldurationtype length = icaldurationtype_null_duration();
    if (event.start.hour) {
        length.hours = 1;
    } else {
        length.days = 1;
    }
    icalcomponent_add_property(item, icalproperty_new_duration(length));
    return finish(calendar, item);
}

}  // namespace pivorel::ical
