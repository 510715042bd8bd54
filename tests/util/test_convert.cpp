#include "util/convert.h"
#include "util/datetime.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

TEST(Conversions, ToLongRoundsHalvesToEven)
{
    EXPECT_EQ(dbToLong("2.5"), 2);
    EXPECT_EQ(dbToLong("3.5"), 4);
    EXPECT_EQ(dbToLong("-2.5"), -2);
    EXPECT_EQ(dbToLong(" 12 "), 12);
    EXPECT_EQ(dbToLong("1e3"), 1000);
    EXPECT_EQ(dbToLong("2147483647"), 2147483647);
    EXPECT_EQ(dbToLong("2147483648"), 0);
    EXPECT_EQ(dbToLong("-2147483648"), -2147483648.0);
}

TEST(Conversions, NonNumbersGiveZero)
{
    for (const char* text : { "", "abc", "12abc", "0x10", "inf", "nan", "1e999", ".", "-", "1 2", "1e" }) {
        EXPECT_EQ(dbToLong(text), 0) << text;
        EXPECT_EQ(dbToDouble(text), 0) << text;
    }
    EXPECT_DOUBLE_EQ(dbToDouble("2.75"), 2.75);
    EXPECT_DOUBLE_EQ(dbToDouble("-.5"), -0.5);
}

TEST(Conversions, ToggleCheck)
{
    EXPECT_EQ(nToggleCheck(0), 1);
    EXPECT_EQ(nToggleCheck(1), 0);
    EXPECT_EQ(nToggleCheck(2), 0);
}

class DateTimes : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        savedTz_ = tz ? tz : "";
        hadTz_ = tz != nullptr;
        setenv("TZ", "JST-9", 1);
        tzset();
    }
    void TearDown() override
    {
        if (hadTz_)
            setenv("TZ", savedTz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string savedTz_;
    bool hadTz_ = false;
};

TEST_F(DateTimes, TextIsLocalTime)
{
    EXPECT_EQ(DateTimeText(DateTime()), "");
    EXPECT_EQ(DateTimeText(DateTime::fromUnixSeconds(1709590089)), "2024/03/05 07:08:09");
    EXPECT_EQ(DateTimeText(DateTime::fromUnixSeconds(0)), "1970/01/01 09:00:00");
}

TEST_F(DateTimes, ParseReadsWhatTextWrites)
{
    EXPECT_EQ(dtParseDate("2024/03/05 07:08:09"), DateTime::fromUnixSeconds(1709590089));
    EXPECT_EQ(dtParseDate("2024-03-05 07:08"), DateTime::fromUnixSeconds(1709590080));
    EXPECT_EQ(dtParseDate("2024/03/05"), DateTime::fromUnixSeconds(1709564400));
    const auto now = DateTime::fromUnixSeconds(1765180000);
    EXPECT_EQ(dtParseDate(DateTimeText(now)), now);
}

TEST_F(DateTimes, UnreadableTextsGiveTheZeroTime)
{
    for (const char* text : { "", "garbage", "2023/02/30 00:00:00", "2024/13/01", "2024/03/05 25:00:00", "2024/03-05",
             "2024/03/05 07:08:09 extra", "12345678" })
        EXPECT_TRUE(dtParseDate(text).isZero()) << text;
}

TEST(DateTimeOrder, ZeroSortsFirst)
{
    EXPECT_LT(DateTime(), DateTime::fromUnixSeconds(-100));
    EXPECT_LT(DateTime::fromUnixSeconds(1), DateTime::fromUnixSeconds(2));
    EXPECT_FALSE(DateTime() < DateTime());
}

TEST_F(DateTimes, TextAgreesWithTheCLibraryAcrossZoneChanges)
{
    auto reference = [](std::int64_t seconds) {
        const std::time_t at = static_cast<std::time_t>(seconds);
        std::tm local {};
        localtime_r(&at, &local);
        char text[64];
        std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
            local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
        return std::string(text);
    };
    // Zones with summer time, half-hour offsets and a half-hour summer shift,
    // written out so that no time-zone database is needed.
    const char* zones[] = { "UTC0", "JST-9", "CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0", "IST-5:30",
        "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", "<-0330>3:30" };
    for (const char* zone : zones) {
        setenv("TZ", zone, 1);
        tzset();
        // Sixty years in odd steps, going back and forth between hours.
        for (std::int64_t seconds = -86400LL * 400; seconds < 86400LL * 365 * 60; seconds += 3599 * 7 + 1234567) {
            for (std::int64_t step : { 0LL, 1LL, 1799LL, 3600LL, -1LL })
                ASSERT_EQ(DateTimeText(DateTime::fromUnixSeconds(seconds + step)), reference(seconds + step)) << zone;
        }
        // The spring of 2024, when most of these zones change their offset.
        for (std::int64_t seconds = 1710000000; seconds < 1712600000; seconds += 900)
            ASSERT_EQ(DateTimeText(DateTime::fromUnixSeconds(seconds)), reference(seconds)) << zone;
    }
}
