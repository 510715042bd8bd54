#include "util/utf8.h"

#include <gtest/gtest.h>
#include <string_view>

using namespace std::string_view_literals;

TEST(Utf8, DecodesShortestFormsOnly)
{
    const struct {
        const char* name;
        std::string_view bytes;
        char32_t code; // with length 0: none
        std::size_t length;
    } rows[] = {
        { "nul", "\0"sv, 0, 1 },
        { "ascii", "A", 'A', 1 },
        { "smallest two-byte", "\xC2\x80", 0x80, 2 },
        { "largest two-byte", "\xDF\xBF", 0x7FF, 2 },
        { "overlong nul", "\xC0\x80", 0, 0 },
        { "overlong two-byte", "\xC1\xBF", 0, 0 },
        { "smallest three-byte", "\xE0\xA0\x80", 0x800, 3 },
        { "overlong three-byte", "\xE0\x9F\xBF", 0, 0 },
        { "last before the surrogates", "\xED\x9F\xBF", 0xD7FF, 3 },
        { "first surrogate", "\xED\xA0\x80", 0, 0 },
        { "last surrogate", "\xED\xBF\xBF", 0, 0 },
        { "first after the surrogates", "\xEE\x80\x80", 0xE000, 3 },
        { "largest three-byte", "\xEF\xBF\xBF", 0xFFFF, 3 },
        { "smallest four-byte", "\xF0\x90\x80\x80", 0x10000, 4 },
        { "overlong four-byte", "\xF0\x8F\xBF\xBF", 0, 0 },
        { "largest code point", "\xF4\x8F\xBF\xBF", 0x10FFFF, 4 },
        { "above the largest", "\xF4\x90\x80\x80", 0, 0 },
        { "lead byte F5", "\xF5\x80\x80\x80", 0, 0 },
        { "lead byte FF", "\xFF", 0, 0 },
        { "stray continuation", "\x80", 0, 0 },
        { "cut short", "\xE6\x97", 0, 0 },
        { "second byte no continuation", "\xC3\x41", 0, 0 },
        { "fourth byte no continuation", "\xF0\x9F\x98\x41", 0, 0 },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Utf8Char c = decodeUtf8(row.bytes, 0);
        EXPECT_EQ(c.length, row.length);
        EXPECT_EQ(c.code, row.code);
        EXPECT_EQ(isUtf8(row.bytes), row.length > 0);
        if (row.length > 0) {
            std::string encoded;
            appendUtf8(encoded, row.code);
            EXPECT_EQ(encoded, row.bytes);
        }
    }
}

TEST(Utf8, DecodesOneCharacterWhereAsked)
{
    const Utf8Char c = decodeUtf8("a\xC3\xA9z", 1);
    EXPECT_EQ(c.code, 0xE9u);
    EXPECT_EQ(c.length, 2u);
    EXPECT_EQ(decodeUtf8("a", 1).length, 0u);
    EXPECT_TRUE(isUtf8(""));
    EXPECT_TRUE(isUtf8("caf\xC3\xA9 \xE6\x97\xA5\xF0\x9F\x98\x80"));
    EXPECT_FALSE(isUtf8("caf\xC3\xA9 \xE9"));
}
