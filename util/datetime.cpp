#include "datetime.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

// The local time zone's offset from UTC over one hour, as localtime_r gives
// it. A run lists tens of thousands of files whose times fall into a few
// hours: working out each one's local time from the offset is a tenth of the
// cost of a time-zone look-up.
struct HourOffset {
    std::int64_t hour = 0; // the UTC hour's first second
    long offset = 0; // seconds east of UTC
    bool valid = false;
    // The zone the offset was read for: tzset() may change it. glibc
    // keeps every zone name it has read, one copy of each, for good, so the
    // names' addresses tell the zones apart.
    const char* zoneNames[2] = {};
    long zoneOffset = 0;
    int zoneDaylight = 0;

    bool sameZone() const
    {
        return zoneNames[0] == tzname[0] && zoneNames[1] == tzname[1] && zoneOffset == timezone
            && zoneDaylight == daylight;
    }
};

struct CivilDate {
    std::int64_t year;
    int month; // 1 to 12
    int day; // 1 to 31
};

// Days since 1970-01-01 as a civil date (proleptic Gregorian calendar).
CivilDate civilFromDays(std::int64_t days)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shifted = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
    const int month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
    return { yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day };
}

// The local date and time of SECONDS as UTC fields of SECONDS + OFFSET.
std::tm shifted(std::int64_t seconds, long offset)
{
    const std::int64_t local = seconds + offset;
    std::int64_t days = local / 86400;
    std::int64_t rest = local % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const CivilDate date = civilFromDays(days);
    std::tm fields {};
    fields.tm_year = static_cast<int>(date.year - 1900);
    fields.tm_mon = date.month - 1;
    fields.tm_mday = date.day;
    fields.tm_hour = static_cast<int>(rest / 3600);
    fields.tm_min = static_cast<int>(rest / 60 % 60);
    fields.tm_sec = static_cast<int>(rest % 60);
    return fields;
}

bool sameFields(const std::tm& a, const std::tm& b)
{
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday && a.tm_hour == b.tm_hour
        && a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

// SECONDS in local time. The offset of its hour is kept when the hour's first
// and last seconds both come out as localtime_r has them: no change of
// offset (nor a leap second) falls inside it then.
bool localTime(std::int64_t seconds, std::tm& local)
{
    thread_local HourOffset cached;
    const std::int64_t hour = seconds - ((seconds % 3600) + 3600) % 3600;
    if (cached.valid && cached.hour == hour && cached.sameZone()) {
        local = shifted(seconds, cached.offset);
        return true;
    }
    std::time_t first = static_cast<std::time_t>(hour);
    std::time_t last = static_cast<std::time_t>(hour + 3599);
    std::tm firstLocal {};
    std::tm lastLocal {};
    if (!localtime_r(&first, &firstLocal) || !localtime_r(&last, &lastLocal))
        return false;
    cached.valid = firstLocal.tm_gmtoff == lastLocal.tm_gmtoff
        && sameFields(shifted(hour, firstLocal.tm_gmtoff), firstLocal)
        && sameFields(shifted(hour + 3599, firstLocal.tm_gmtoff), lastLocal);
    cached.hour = hour;
    cached.offset = firstLocal.tm_gmtoff;
    cached.zoneNames[0] = tzname[0];
    cached.zoneNames[1] = tzname[1];
    cached.zoneOffset = timezone;
    cached.zoneDaylight = daylight;
    if (cached.valid) {
        local = shifted(seconds, cached.offset);
        return true;
    }
    std::time_t exact = static_cast<std::time_t>(seconds);
    return localtime_r(&exact, &local) != nullptr;
}

void putDigits(char*& out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out += width;
}

} // namespace

DateTime DateTime::now()
{
    return DateTime(static_cast<std::int64_t>(std::time(nullptr)));
}

std::string DateTimeText(const DateTime& time)
{
    if (time.isZero())
        return {};
    std::tm local {};
    if (!localTime(time.unixSeconds(), local))
        return {};
    const int year = local.tm_year + 1900;
    if (year < 0 || year > 9999) {
        char text[64];
        std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", year, local.tm_mon + 1, local.tm_mday,
            local.tm_hour, local.tm_min, local.tm_sec);
        return text;
    }
    char text[19];
    char* out = text;
    putDigits(out, year, 4);
    *out++ = '/';
    putDigits(out, local.tm_mon + 1, 2);
    *out++ = '/';
    putDigits(out, local.tm_mday, 2);
    *out++ = ' ';
    putDigits(out, local.tm_hour, 2);
    *out++ = ':';
    putDigits(out, local.tm_min, 2);
    *out++ = ':';
    putDigits(out, local.tm_sec, 2);
    return std::string(text, sizeof text);
}

DateTime dtParseDate(const std::string& text)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char sep1 = 0, sep2 = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), " %4d%c%2d%c%2d%n", &year, &sep1, &month, &sep2, &day, &used) != 5)
        return {};
    if (sep1 != sep2 || (sep1 != '/' && sep1 != '-'))
        return {};
    std::string rest = text.substr(static_cast<size_t>(used));
    int timeUsed = 0;
    if (std::sscanf(rest.c_str(), " %2d:%2d%n", &hour, &minute, &timeUsed) == 2) {
        std::string seconds = rest.substr(static_cast<size_t>(timeUsed));
        int secondsUsed = 0;
        if (std::sscanf(seconds.c_str(), ":%2d%n", &second, &secondsUsed) == 1)
            timeUsed += secondsUsed;
        rest = rest.substr(static_cast<size_t>(timeUsed));
    }
    if (rest.find_first_not_of(" \t") != std::string::npos)
        return {};
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59
        || hour < 0 || minute < 0 || second < 0)
        return {};

    std::tm local {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    local.tm_wday = -1; // mktime fills it in only when it succeeds
    std::time_t seconds = std::mktime(&local);
    if (local.tm_wday == -1)
        return {};
    // mktime rolls 2023/02/30 over into March; such a date is not one.
    if (local.tm_mday != day || local.tm_mon != month - 1)
        return {};
    return DateTime::fromUnixSeconds(seconds);
}
