#include "settings/ui/historywidgets.h"
#include "settings_fixture.h"

#include <QAction>
#include <QComboBox>
#include <memory>

namespace {

const QString kCaption = QStringLiteral("更新ファイルコピー");
const QString kNotDeleted = QStringLiteral("レジストリが開けないため、履歴が完全に削除できませんでした。");
const QStringList kAllHidden { "-", "-", "-" };

struct Message {
    QString text;
    int buttons;
    QString title;
};

// A main window's worth of controls around one Histories on a store in a
// temporary folder; every run's clock is a minute later than the last.
class HistoriesTest : public ::testing::Test {
protected:
    HistoriesTest() { make(folder.path()); }

    void make(const QString& path)
    {
        storePath = path;
        store = std::make_unique<SettingsStore>(path);
        for (QComboBox* combo : { &cmbSrc, &cmbDst }) {
            combo->clear();
            combo->setEditable(true);
            combo->clearEditText();
        }
        for (QAction* item : { &mru[0], &mru[1], &mru[2], &separator })
            item->setVisible(false);
        auto record = [this](const QString& text, int buttons, const QString& title) {
            messages.push_back({ text, buttons, title });
            return reply;
        };
        auto clock = [this] { return DateTime::fromUnixSeconds(1705320000 + 60 * ++runs); };
        histories = std::make_unique<Histories>(*store,
            historyView({ &cmbSrc, &cmbDst, { &mru[0], &mru[1], &mru[2] }, &separator }), record, kCaption, clock);
    }
    // A new instance on a copy of the file, loading as at the next start.
    void restart()
    {
        make(folder.reopened());
        ASSERT_TRUE(histories->bLoadMRUList());
        ASSERT_TRUE(histories->bLoadHistory());
    }
    std::optional<QString> stored(const QString& name)
    {
        SettingsStore reader(storePath);
        EXPECT_TRUE(reader.open());
        return reader.read(name);
    }
    static QStringList items(const QComboBox& combo)
    {
        QStringList list;
        for (int i = 0; i < combo.count(); ++i)
            list.append(combo.itemText(i));
        return list;
    }
    QStringList shownMRU() const
    {
        QStringList shown;
        for (const QAction& item : mru)
            shown.append(item.isVisible() ? item.text() : QStringLiteral("-"));
        return shown;
    }
    DateTime srcTime(const char* folder) const
    {
        const int i = histories->nFindSrcHistory(QString::fromUtf8(folder));
        return i < 0 ? DateTime() : histories->srcHistory()[static_cast<std::size_t>(i)].dtUsed;
    }

    StoreFolder folder;
    QString storePath;
    std::unique_ptr<SettingsStore> store;
    QComboBox cmbSrc, cmbDst;
    QAction mru[3], separator;
    std::unique_ptr<Histories> histories;
    std::vector<Message> messages;
    int reply = 6;
    int runs = 0;
};

} // namespace

TEST_F(HistoriesTest, RecordedPairsComeBackNewestFirstAfterARestart)
{
    cmbSrc.setEditText(QStringLiteral("/typed"));
    int textChanges = 0;
    QObject::connect(&cmbSrc, &QComboBox::editTextChanged, [&] { ++textChanges; });
    ASSERT_TRUE(histories->bAddHistory("/src/one", "/dst/one"));
    ASSERT_TRUE(histories->bAddHistory("/src/two", "/dst/two"));
    ASSERT_TRUE(histories->bAddHistory("/src/one", "/dst/one"));
    EXPECT_EQ(items(cmbSrc), (QStringList { "/src/two", "/src/one" })) << "a reused entry keeps its place";
    EXPECT_EQ(cmbSrc.currentText() + cmbDst.currentText(), QStringLiteral("/typed"));
    EXPECT_EQ(textChanges, 0);
    // Cannot be stored as itself; must not come back as "/tmp/a".
    ASSERT_TRUE(histories->bAddHistory("/tmp/a\n/b/c/d", "/dst/one"));

    restart();
    EXPECT_EQ(items(cmbSrc), (QStringList { "/src/one", "/src/two" }));
    EXPECT_EQ(items(cmbDst), (QStringList { "/dst/one", "/dst/two" }));
    EXPECT_EQ(cmbSrc.currentText(), QString()) << "loading fills the list, not the text";
    EXPECT_EQ(histories->nFindDstHistoryByTime(srcTime("/src/two")), 1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(HistoriesTest, MalformedStoredPiecesAreSkippedAndUnreadableDatesSortLast)
{
    storeValue(folder.path(), "SrcList",
        "garbage\t/undated/folder\n2024/01/15 12:00:00\t/older\n\n/bare/path/no/tab\n"
        "2024/01/15 12:00:00\t/two\ttabs\nshort\n2024/01/16 08:30:00\t/newer");
    storeValue(folder.path(), "DstList", "bad\t/undated/destination");
    ASSERT_TRUE(histories->bLoadHistory());
    EXPECT_EQ(items(cmbSrc), (QStringList { "/newer", "/older", "/undated/folder" }));
    // Unreadable dates all become the zero time, which pairs nothing.
    EXPECT_EQ(histories->nFindDstHistoryByTime(srcTime("/undated/folder")), -1);
}

TEST_F(HistoriesTest, ASourceLeadsOnlyToTheDestinationOfItsLastRun)
{
    histories->bAddHistory("/s1", "/d1");
    histories->bAddHistory("/s2", "/d1");
    EXPECT_EQ(histories->nFindDstHistoryByTime(srcTime("/s1")), -1) << "/d1 now carries run 2";
    EXPECT_EQ(histories->nFindDstHistoryByTime(srcTime("/s2")), 0);

    histories->bAddHistory("/s1", "/d2");
    EXPECT_EQ(histories->srcHistory().size(), 2u);
    ASSERT_EQ(histories->dstHistory().size(), 2u);
    EXPECT_EQ(histories->nFindDstHistoryByTime(srcTime("/s1")), 1);
    EXPECT_EQ(histories->dstHistory()[1].strFolder, "/d2");
    EXPECT_EQ(histories->nFindSrcHistory("/s3"), -1);
}

TEST_F(HistoriesTest, RecentFilesKeepThreeMostRecentFirst)
{
    for (const char* path : { "/a.vstl", "/b.vstl", "/c.vstl", "/d.vstl" })
        ASSERT_TRUE(histories->bAddMRU(path));
    EXPECT_EQ(shownMRU(), (QStringList { "/d.vstl", "/c.vstl", "/b.vstl" }));
    ASSERT_TRUE(histories->bAddMRU("/c.vstl"));
    EXPECT_EQ(stored("MRUList"), QStringLiteral("/c.vstl\n/d.vstl\n/b.vstl"));
    ASSERT_TRUE(histories->bAddMRU("/b.vstl"));
    EXPECT_EQ(histories->mru(), (QStringList { "/b.vstl", "/c.vstl", "/d.vstl" }));

    storeValue(folder.path(), "MRUList", "/1\n/2\n/3\n/4\n/5");
    restart();
    EXPECT_EQ(shownMRU(), (QStringList { "/1", "/2", "/3" }));
    ASSERT_TRUE(histories->bAddMRU("/new"));
    EXPECT_EQ(stored("MRUList"), QStringLiteral("/new\n/1\n/2"));
}

// Letter case tells folders and files apart here: /data/Photos and
// /data/photos are two folders, each with its own entry and its own pair.
TEST_F(HistoriesTest, PathsThatDifferOnlyInCaseKeepEntriesOfTheirOwn)
{
    histories->bAddHistory("/data/Photos", "/backup/Photos");
    histories->bAddHistory("/data/photos", "/backup/photos");
    EXPECT_EQ(items(cmbSrc), (QStringList { "/data/photos", "/data/Photos" }));
    EXPECT_EQ(histories->nFindSrcHistory("/data/Photos"), 0);
    EXPECT_EQ(histories->nFindSrcHistory("/DATA/PHOTOS"), -1);
    const int paired = histories->nFindDstHistoryByTime(srcTime("/data/Photos"));
    ASSERT_GE(paired, 0);
    EXPECT_EQ(histories->dstHistory()[static_cast<std::size_t>(paired)].strFolder, "/backup/Photos");

    histories->bAddMRU("/sets/Night.vstl");
    histories->bAddMRU("/sets/night.vstl");
    EXPECT_EQ(histories->mru(), (QStringList { "/sets/night.vstl", "/sets/Night.vstl" }));
}

TEST_F(HistoriesTest, AMissingRecentListShowsNothingAndAnEmptyOneOnlyTheSeparator)
{
    ASSERT_TRUE(histories->bLoadMRUList());
    EXPECT_FALSE(separator.isVisible());
    EXPECT_EQ(shownMRU(), kAllHidden);

    storeValue(folder.path(), "MRUList", "");
    restart();
    EXPECT_TRUE(separator.isVisible());
    EXPECT_EQ(shownMRU(), kAllHidden);
}

TEST_F(HistoriesTest, AnUnavailableStoreKeepsMemoryAndSaysNothingExceptWhenClearing)
{
    storeValue(folder.path(), "SrcList", "2024/01/15 12:00:00\t/stored");
    storeValue(folder.path(), "MRUList", "/stored.vstl");
    store->setUnavailable(true);
    EXPECT_FALSE(histories->bLoadMRUList());
    EXPECT_FALSE(histories->bLoadHistory());
    EXPECT_FALSE(separator.isVisible());
    EXPECT_EQ(cmbSrc.count(), 0);

    EXPECT_FALSE(histories->bAddHistory("/src", "/dst"));
    EXPECT_FALSE(histories->bAddMRU("/new.vstl"));
    EXPECT_EQ(items(cmbSrc), QStringList { "/src" });
    EXPECT_EQ(histories->dstHistory().size(), 1u);
    EXPECT_EQ(shownMRU()[0], QStringLiteral("/new.vstl"));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(stored("MRUList"), QStringLiteral("/stored.vstl"));

    histories->mnuExeClearHistory();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, kNotDeleted);
    EXPECT_EQ(messages[1].buttons, 16);
    EXPECT_EQ(messages[1].title, kCaption);
    EXPECT_TRUE(histories->srcHistory().empty());
}

TEST_F(HistoriesTest, ClearingAsksAndRemovesOnlyTheFolderHistories)
{
    histories->bAddHistory("/src", "/dst");
    histories->bAddMRU("/set.vstl");
    storeValue(folder.path(), "ExtIncludeList", "jpg png");
    cmbSrc.setEditText(QStringLiteral("/typed"));

    reply = 7;
    histories->mnuExeClearHistory();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
        QStringLiteral("コピー先、コピー元の履歴を削除してよいですか？\r\n（これらの履歴はレジストリに保存されており、"
                       "設定ファイル（.vstl）の読込でも復元されません。）"));
    EXPECT_EQ(messages[0].buttons, 4);
    EXPECT_EQ(messages[0].title, kCaption);
    EXPECT_EQ(items(cmbSrc), QStringList { "/src" });
    EXPECT_EQ(cmbSrc.currentText(), QStringLiteral("/typed"));
    EXPECT_TRUE(stored("SrcList").has_value());

    reply = 6;
    histories->mnuExeClearHistory();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[2].text, QStringLiteral("コピー元、コピー先の履歴を削除しました。"));
    EXPECT_EQ(messages[2].buttons, 0);
    EXPECT_EQ(messages[2].title, QString());
    EXPECT_EQ(cmbSrc.count() + cmbDst.count(), 0);
    EXPECT_EQ(cmbSrc.currentText(), QString());
    EXPECT_TRUE(histories->srcHistory().empty() && histories->dstHistory().empty());
    EXPECT_EQ(stored("SrcList"), std::nullopt);
    EXPECT_EQ(stored("DstList"), std::nullopt);
    EXPECT_EQ(stored("MRUList"), QStringLiteral("/set.vstl"));
    EXPECT_EQ(stored("ExtIncludeList"), QStringLiteral("jpg png"));
}

TEST_F(HistoriesTest, AStoreThatCannotBeWrittenIsReportedNotPassedOff)
{
    histories->bAddMRU("/set/with/a/long/name.vstl");
    {
        FileSizeLimit full;
        EXPECT_FALSE(histories->bAddHistory("/src", "/dst"));
    }
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_FALSE(messages[0].text.isEmpty());
    EXPECT_EQ(messages[0].buttons, 0);
    EXPECT_EQ(messages[0].title, QStringLiteral("コピー履歴追加"));

    // A failed write stays pending in QSettings until a write succeeds.
    ASSERT_TRUE(histories->bAddMRU("/other.vstl"));
    {
        FileSizeLimit full;
        histories->mnuExeClearHistory();
    }
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[2].text, kNotDeleted);
    EXPECT_EQ(messages[2].buttons, 16);
}

TEST_F(HistoriesTest, AFullHistoryLosesItsOldestEntriesNotTheNewest)
{
    // A full list as stored at the last start, then one session's new entry
    // appended after it, as bAddHistory stores it.
    QString value;
    for (std::size_t i = 0; i < kHistoryEntriesKept; ++i)
        value += QStringLiteral("2024/01/15 12:00:00\t/old/%1\n").arg(i);
    value += QStringLiteral("2024/01/16 08:30:00\t/new");
    storeValue(folder.path(), "SrcList", value);
    ASSERT_TRUE(histories->bLoadHistory());
    ASSERT_EQ(histories->srcHistory().size(), kHistoryEntriesKept);
    EXPECT_EQ(cmbSrc.itemText(0), QStringLiteral("/new"));
}
