#include "datetime.h"

#include <cstdio>
#include <ctime>

std::string DateTimeText(const DateTime& time)
{
    if (time.isZero())
        return {};
    std::time_t seconds = static_cast<std::time_t>(time.unixSeconds());
    std::tm local {};
    if (!localtime_r(&seconds, &local))
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
        local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
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
