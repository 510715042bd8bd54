#include "engine/extfilter.h"

#include <gtest/gtest.h>

TEST(ExtFilter, RefusesBadKindsAndBlankLists)
{
    ExtFilter filter;
    ASSERT_TRUE(filter.set(ExtFilter::Include, "txt"));
    EXPECT_FALSE(filter.set(3, "doc"));
    EXPECT_FALSE(filter.set(ExtFilter::Exclude, "   "));
    EXPECT_FALSE(filter.set(ExtFilter::Exclude, ""));
    // The include-only filter for txt is still in force.
    EXPECT_FALSE(filter.passesOver("TXT"));
    EXPECT_TRUE(filter.passesOver("doc"));
}

TEST(ExtFilter, IncludeOnlyIgnoresCase)
{
    ExtFilter filter;
    ASSERT_TRUE(filter.set(ExtFilter::Include, "TXT"));
    EXPECT_FALSE(filter.passesOver("txt"));
    EXPECT_TRUE(filter.passesOver("doc"));
    EXPECT_TRUE(filter.passesOver("")); // README
}

TEST(ExtFilter, ExcludeAndNoExtensionEntries)
{
    ExtFilter filter;
    ASSERT_TRUE(filter.set(ExtFilter::Exclude, "tmp \"\""));
    EXPECT_TRUE(filter.passesOver("TMP"));
    EXPECT_TRUE(filter.passesOver(""));
    EXPECT_FALSE(filter.passesOver("txt"));

    // Two spaces make an empty middle entry, which matches files without an extension.
    ASSERT_TRUE(filter.set(ExtFilter::Include, "txt  doc"));
    EXPECT_FALSE(filter.passesOver(""));
    EXPECT_FALSE(filter.passesOver("doc"));
    EXPECT_TRUE(filter.passesOver("xls"));

    ASSERT_TRUE(filter.set(ExtFilter::Include, "txt doc"));
    EXPECT_TRUE(filter.passesOver(""));
}

TEST(ExtFilter, KindZeroAndNegativeKinds)
{
    ExtFilter filter;
    ASSERT_TRUE(filter.set(ExtFilter::None, "txt"));
    EXPECT_FALSE(filter.passesOver("txt"));
    EXPECT_FALSE(filter.passesOver("doc"));
    // Every kind other than none and include-only excludes what it lists.
    ASSERT_TRUE(filter.set(-1, "txt"));
    EXPECT_TRUE(filter.passesOver("txt"));
    EXPECT_FALSE(filter.passesOver("doc"));
    filter.reset();
    EXPECT_FALSE(filter.passesOver("txt"));
}

TEST(ExtFilter, FoldCaseKeepsInvalidBytes)
{
    EXPECT_EQ(foldCase("JPG"), "jpg");
    EXPECT_EQ(foldCase("caf\xe9"), "caf\xe9");
    EXPECT_EQ(foldCase("\xe6\x97\xa5"), "\xe6\x97\xa5"); // 日
    // Overlong forms are no letters either: not "a", nor a NUL.
    EXPECT_EQ(foldCase("\xc1\x81"), "\xc1\x81");
    EXPECT_EQ(foldCase("x\xc0\x80"), "x\xc0\x80");
}
