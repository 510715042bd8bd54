#include "settings/ui/sortstrings.h"
#include "tests/settings/store/settings_fixture.h"

#include <QLocale>

namespace {

// Sets the application's locale for one test.
class LocaleScope {
public:
    explicit LocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(saved_); }
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;

private:
    QLocale saved_;
};

QStringList sorted(QStringList items)
{
    SortStrings(0, static_cast<int>(items.size()) - 1, items);
    return items;
}

} // namespace

TEST(SortStrings, FollowsTheProcedureForEqualItems)
{
    LocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
    // By hand: pivot "B" (middle of 0..3), its place takes "doc"; only "a" is
    // below "B" and swaps to 1; "a" goes first and "B" to 1. Then 2..3 with
    // pivot "DOC": "doc" is not below it, so "DOC" stays in front, although
    // "doc" stood first in the input (a stable sort would keep "doc" first).
    EXPECT_EQ(sorted({ "doc", "B", "DOC", "a" }), QStringList({ "a", "B", "DOC", "doc" }));
    // Letter case is ignored ("a" before "B", unlike code-point order), and
    // an empty item, as a run of spaces leaves, goes first.
    EXPECT_EQ(sorted({ "ppt", "B", "", "xls", "a", "" }), QStringList({ "", "", "a", "B", "ppt", "xls" }));
}

TEST(SortStrings, UsesTheLocalesCollation)
{
    const QStringList items { "zz", "äb", "ab" };
    {
        LocaleScope german(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(sorted(items), QStringList({ "ab", "äb", "zz" }));
    }
    {
        LocaleScope swedish(QLocale(QLocale::Swedish, QLocale::Sweden));
        EXPECT_EQ(sorted(items), QStringList({ "ab", "zz", "äb" }));
    }
}

TEST(SortStrings, SortsOnlyTheGivenRange)
{
    QStringList items { "z", "c", "b", "a", "0" };
    SortStrings(1, 3, items);
    EXPECT_EQ(items, QStringList({ "z", "a", "b", "c", "0" }));

    // A range that is not inside the list is left alone.
    SortStrings(3, 5, items);
    SortStrings(-1, 2, items);
    EXPECT_EQ(items, QStringList({ "z", "a", "b", "c", "0" }));
}
