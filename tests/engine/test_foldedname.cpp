// foldedName against Qt's case folding, code point by code point: the
// engine's own table must join every pair of names that Unicode's simple case
// folding joins.
#include "engine/nametwins.h"

#include <QChar>
#include <QString>
#include <gtest/gtest.h>

namespace {

// The version of Unicode the table in engine/nametwins.cpp was made from
// (tools/make_casefold.cpp, with Qt 6.4). Letters that a later Qt knows of
// are left out; Unicode never changes how the letters it has folds.
constexpr QChar::UnicodeVersion kTableVersion = QChar::Unicode_14_0;

std::string utf8(char32_t code)
{
    return QString::fromUcs4(&code, 1).toStdString();
}

} // namespace

// Every code point amid ASCII folds as Qt folds it, apart from İ and ı, which
// become i as well.
TEST(FoldedName, FoldsEveryCodePointAsUnicodeDoes)
{
    int wrong = 0;
    for (char32_t code = 0; code <= 0x10FFFF; ++code) {
        if ((code >= 0xD800 && code <= 0xDFFF) || QChar::unicodeVersion(code) > kTableVersion)
            continue;
        const char32_t expected = code == 0x130 || code == 0x131 ? U'i' : QChar::toCaseFolded(code);
        const std::string folded = foldedName("Ab" + utf8(code) + ".TXT");
        if (folded != "ab" + utf8(expected) + ".txt" && ++wrong <= 20)
            ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(code) << " folds to " << folded;
    }
    EXPECT_EQ(wrong, 0);
}
