// Date-times in whole seconds, and their text form "yyyy/mm/dd HH:MM:SS".
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include <cstdint>
#include <string>

// A point in time in whole seconds since the epoch (UTC). A default-made value
// is the "zero" date-time, which stands for "no time".
class DateTime {
public:
    DateTime() = default;
    static DateTime fromUnixSeconds(std::int64_t seconds) { return DateTime(seconds); }
    // The current time, to the second.
    static DateTime now();

    bool isZero() const { return !valid_; }
    std::int64_t unixSeconds() const { return seconds_; }

    friend bool operator==(const DateTime& a, const DateTime& b)
    {
        return a.valid_ == b.valid_ && a.seconds_ == b.seconds_;
    }
    friend bool operator!=(const DateTime& a, const DateTime& b) { return !(a == b); }
    // The zero date-time sorts before every other.
    friend bool operator<(const DateTime& a, const DateTime& b)
    {
        return a.valid_ != b.valid_ ? !a.valid_ : a.seconds_ < b.seconds_;
    }

private:
    explicit DateTime(std::int64_t seconds)
        : seconds_(seconds)
        , valid_(true)
    {
    }

    std::int64_t seconds_ = 0;
    bool valid_ = false;
};

// "yyyy/mm/dd HH:MM:SS" in local time; empty for the zero date-time.
std::string DateTimeText(const DateTime& time);

// Reads a local date-time "yyyy/mm/dd[ HH:MM[:SS]]" ("-" may stand for "/");
// the zero date-time when the text is not one.
DateTime dtParseDate(const std::string& text);
