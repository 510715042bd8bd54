#include "settings_fixture.h"

#include <QDir>
#include <QFileInfo>

TEST(SettingsStore, ReadsBackExactlyWhatWasWritten)
{
    const QStringList texts { "line one\nline two", "2024/01/15 12:00:00\t/写真", "  spaces around  ", "123", "true",
        "a,b", "a, b ,c", "@ByteArray(x)", "say \"hi\"; a=b \\ c", "" };
    StoreFolder folder;
    SettingsStore store(folder.path());
    ASSERT_TRUE(store.open());
    for (int i = 0; i < texts.size(); ++i)
        ASSERT_TRUE(store.write(QString::number(i), texts[i]));
    ASSERT_TRUE(store.write({ { QStringLiteral("Src"), QStringLiteral("a") }, { QStringLiteral("Dst"), QString() } }));
    store.close();

    SettingsStore fromFile(folder.reopened());
    ASSERT_TRUE(fromFile.open());
    for (int i = 0; i < texts.size(); ++i)
        EXPECT_EQ(fromFile.read(QString::number(i)), std::optional<QString>(texts[i])) << i;
    EXPECT_EQ(fromFile.read(QStringLiteral("Src")), QStringLiteral("a"));
    EXPECT_EQ(fromFile.read(QStringLiteral("Dst")), QString());
    EXPECT_EQ(fromFile.read(QStringLiteral("Missing")), std::nullopt) << "missing differs from empty";
}

TEST(SettingsStore, ReadsValuesWrittenByOtherHandsAndRemovesWhatIsUnderAName)
{
    StoreFolder folder;
    folder.writeRaw("[General]\nNul=@String(before\\0after)\nList=a,b\nOdd=@Invalid()\n[Nul]\nsub=z\n");
    SettingsStore store(folder.path());
    ASSERT_TRUE(store.open());
    EXPECT_EQ(store.read(QStringLiteral("Nul")), QStringLiteral("before"));
    EXPECT_EQ(store.read(QStringLiteral("List")), QStringLiteral("a,b"));
    EXPECT_EQ(store.read(QStringLiteral("Odd")), std::nullopt);
    ASSERT_TRUE(store.remove(QStringLiteral("Nul")));
    EXPECT_EQ(store.read(QStringLiteral("Nul/sub")), std::nullopt);
    EXPECT_EQ(store.read(QStringLiteral("List")), QStringLiteral("a,b"));
}

TEST(SettingsStore, CannotBeOpened)
{
    StoreFolder folder;
    SettingsStore unavailable(folder.path());
    unavailable.setUnavailable(true);
    EXPECT_FALSE(unavailable.open());
    EXPECT_FALSE(unavailable.write(QStringLiteral("A"), QStringLiteral("x")));

    folder.writeRaw("[General\nA=1\n");
    SettingsStore damaged(folder.path());
    EXPECT_FALSE(damaged.open()) << "a damaged file must not be overwritten";

    // Its folder cannot be made: a file stands in its place (this holds for root too).
    SettingsStore blocked(folder.path() + QStringLiteral("/Vestrelle.conf"));
    EXPECT_FALSE(blocked.open());
}

TEST(SettingsStore, TheUsersStoreIsTheVestrelleFileInTheConfigFolder)
{
    // The test main points XDG_CONFIG_HOME at a temporary folder.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    ASSERT_TRUE(config.startsWith(QDir::tempPath())) << "refusing to touch the real settings";
    SettingsStore store;
    ASSERT_TRUE(store.open());
    ASSERT_TRUE(store.write(QStringLiteral("MRUList"), QStringLiteral("/x.vstl")));
    store.close();
    EXPECT_TRUE(QFileInfo::exists(config + QStringLiteral("/Quorvane/Vestrelle.conf")));
}
