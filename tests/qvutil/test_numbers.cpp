// Arithmetic, parsing, formatting and byte helpers.
#include "qvutil/qvutil.h"

#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace {

TEST(Arithmetic, IntDevAndMod)
{
    EXPECT_EQ(qvuIntDev(10, 4), 2);
    EXPECT_EQ(qvuMod(10, 4), 2);
    EXPECT_EQ(qvuIntDev(4096, 4096), 1);
    EXPECT_EQ(qvuMod(0, 4096), 0);
    EXPECT_EQ(qvuIntDev(-7, 2), 4294967293.0); // -3 as an unsigned 32-bit number
    EXPECT_EQ(qvuIntDev(-1, 1), 4294967295.0);
    EXPECT_EQ(qvuIntDev(4294967296.0 + 5, 1), 5);
}

TEST(Arithmetic, IntDevWithoutQuotientIsZero)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(qvuIntDev(5, 0), 0);
    EXPECT_EQ(qvuIntDev(0, 0), 0);
    EXPECT_EQ(qvuIntDev(nan, 3), 0);
    EXPECT_EQ(qvuIntDev(3, nan), 0);
    EXPECT_EQ(qvuIntDev(inf, 3), 0);
    EXPECT_EQ(qvuIntDev(1e300, 1e-10), 0);
    EXPECT_EQ(qvuMod(5, 0), 5);
}

TEST(Parsing, AtoL)
{
    const struct {
        std::string text;
        int32_t expected;
    } cases[] = {
        { "-1,234", -1234 },
        { "ab12", 12 },
        { "1.5", 1 },
        { "+12,345x", 12345 },
        { "", 0 },
        { "-", 0 },
        { "x-7", -7 },
        { std::string(77, 'x') + "123", 12 }, // only the first 79 characters count
        { "2147483648", 2147483647 },
        { "-2147483648", -2147483647 - 1 },
        { std::string(100, '9'), 2147483647 },
        { "-" + std::string(100, '9'), -2147483647 - 1 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(qvuAtoL(c.text.c_str()), c.expected) << c.text;
    EXPECT_EQ(qvuAtoL(nullptr), 0);
}

TEST(Parsing, CommaToDouble)
{
    const struct {
        const char* text;
        double expected;
    } cases[] = {
        { "1,234.5", 1234.5 },
        { "12-3", 12 },
        { "-0.25", -0.25 },
        { "7 apples", 7 },
        { "abc", 0 },
        { "", 0 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(qvuCommaToDouble(c.text), c.expected) << c.text;
    EXPECT_EQ(qvuCommaToDouble(nullptr), 0);
}

TEST(Formatting, FormatLongAcceptsOneIntegerConversion)
{
    char buf[QVU_FORMAT_MAX];
    const struct {
        const char* format;
        int32_t value;
        const char* expected;
    } cases[] = {
        { "%05d", 42, "00042" },
        { "Size: %d bytes", 7, "Size: 7 bytes" },
        { "%x", 255, "ff" },
        { "%X", -1, "FFFFFFFF" },
        { "%-4i|", 3, "3   |" },
        { "100%% of %u", 5, "100% of 5" },
    };
    for (const auto& c : cases) {
        qvuFormatLong(buf, c.format, c.value);
        EXPECT_STREQ(buf, c.expected) << c.format;
    }

    const std::string longText = std::string(2000, 'a') + "%d";
    qvuFormatLong(buf, longText.c_str(), 1);
    EXPECT_EQ(std::strlen(buf), QVU_FORMAT_MAX - 1u);
    qvuFormatLong(nullptr, "%d", 1); // nothing happens
}

TEST(Formatting, FormatLongRefusesOtherFormats)
{
    char buf[QVU_FORMAT_MAX];
    for (const char* format :
        { "%s", "%d %d", "%n", "%p", "%ld", "%*d", "%.*d", "%99999d", "no conversion", "%", "%5" }) {
        std::strcpy(buf, "stale");
        qvuFormatLong(buf, format, 1);
        EXPECT_STREQ(buf, "") << format;
    }
    std::strcpy(buf, "stale");
    qvuFormatLong(buf, nullptr, 1);
    EXPECT_STREQ(buf, "");
}

TEST(Bytes, SplitColor)
{
    int32_t red = -1, green = -1, blue = -1;
    EXPECT_EQ(qvuSplitColor(0x00336699, &red, &green, &blue), 1);
    EXPECT_EQ(red, 0x99);
    EXPECT_EQ(green, 0x66);
    EXPECT_EQ(blue, 0x33);
    EXPECT_EQ(qvuSplitColor(-1, nullptr, &green, nullptr), 1);
    EXPECT_EQ(green, 0xff);
}

TEST(Bytes, IsAlNumIsAsciiOnly)
{
    for (int code : { '0', '9', 'A', 'Z', 'a', 'z' })
        EXPECT_EQ(qvuIsAlNum(code), 1) << code;
    const int others[] = { '/', ':', '@', '[', '`', '{', ' ', 0, 0xe9, 0xc0, -1, 256 + 'a' };
    for (int code : others)
        EXPECT_EQ(qvuIsAlNum(code), 0) << code;
}

TEST(Bytes, ByteToLongAndOffsetCode)
{
    const unsigned char bytes[] = { 0x78, 0x56, 0x34, 0x12, 0xff, 0xff, 0xff, 0xff };
    EXPECT_EQ(qvuByteToLong(bytes), 0x12345678);
    EXPECT_EQ(qvuByteToLong(bytes + 4), -1);
    EXPECT_EQ(qvuByteToLong(nullptr), 0);
    EXPECT_EQ(qvuOffsetCode(bytes, 0), 0x78);
    EXPECT_EQ(qvuOffsetCode(bytes, 4), -1);
    EXPECT_EQ(qvuOffsetCode(nullptr, 4), 0);
}

TEST(Bytes, MemcpyMovesOverlappingBytes)
{
    char text[] = "abcdef";
    EXPECT_EQ(qvuMemcpy(text + 2, text, 4), 4);
    EXPECT_STREQ(text, "ababcd");
    EXPECT_EQ(qvuStrToByte(text, text + 2, 4), 4);
    EXPECT_STREQ(text, "abcdcd");
    EXPECT_EQ(qvuMemcpy(nullptr, text, 4), 0);
    EXPECT_EQ(qvuMemcpy(text, nullptr, 4), 0);
    EXPECT_EQ(qvuMemcpy(text, "zz", -1), 0);
    EXPECT_STREQ(text, "abcdcd");
}

} // namespace
