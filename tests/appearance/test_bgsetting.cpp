#include "appearance/bgsetting.h"
#include "tests/settings/store/settings_fixture.h"

namespace {

struct Setting {
    std::int32_t gradation = 3;
    QString picture = QStringLiteral("/before.png");
    std::int32_t labelColor = 77;
};

class BackgroundSettingTest : public ::testing::Test {
protected:
    void seed(const QString& name, const QString& value) { storeValue(folder.path(), name, value); }
    std::optional<QString> stored(const QString& name)
    {
        SettingsStore reader(folder.reopened());
        EXPECT_TRUE(reader.open());
        return reader.read(name);
    }
    // Loads from a fresh copy of the file (when there is one) into a setting
    // that held something else.
    Setting load()
    {
        Setting setting;
        SettingsStore reader(QFile::exists(folder.path()) ? folder.reopened() : folder.path());
        EXPECT_TRUE(bLoadBGSetting(reader, setting.gradation, setting.picture, setting.labelColor));
        return setting;
    }

    StoreFolder folder;
    SettingsStore store { folder.path() };
};

} // namespace

TEST_F(BackgroundSettingTest, ASavedSettingComesBack)
{
    ASSERT_TRUE(bSaveBGSetting(store, 9, QStringLiteral("/home/u/写真/海 1.jpg"), 0x00B4FFFF));
    EXPECT_EQ(stored("Gradation"), QStringLiteral("9"));
    EXPECT_EQ(stored("LabelColor"), QStringLiteral("11862015"));
    Setting setting = load();
    EXPECT_EQ(setting.gradation, 9);
    EXPECT_EQ(setting.picture, QStringLiteral("/home/u/写真/海 1.jpg"));
    EXPECT_EQ(setting.labelColor, 0x00B4FFFF);

    // Signed numbers, and a path far beyond 260 bytes comes back whole.
    const QString longPath = QStringLiteral("/pictures/") + QString(300, u'あ') + QStringLiteral(".png");
    ASSERT_TRUE(bSaveBGSetting(store, -1, longPath, -16777216));
    EXPECT_EQ(stored("Gradation"), QStringLiteral("-1"));
    setting = load();
    EXPECT_EQ(setting.gradation, -1);
    EXPECT_EQ(setting.picture, longPath);
    EXPECT_EQ(setting.labelColor, -16777216);
}

TEST_F(BackgroundSettingTest, MissingEmptyOrNonNumericValues)
{
    // Missing or empty: automatic, no picture, the label colour as it was.
    for (int round = 0; round < 2; ++round) {
        const Setting setting = load();
        EXPECT_EQ(setting.gradation, -1);
        EXPECT_EQ(setting.picture, QString());
        EXPECT_EQ(setting.labelColor, 77);
        for (const char* name : { "Gradation", "BGPicture", "LabelColor" })
            seed(name, QString());
    }

    // A number that does not read as one counts as 0.
    const std::pair<QString, std::int32_t> cases[]
        = { { "abc", 0 }, { " 7 ", 7 }, { "4.5", 4 }, { "&HFF", 0 }, { "4294967295", 0 } };
    for (const auto& [text, value] : cases) {
        seed("Gradation", text);
        seed("LabelColor", text);
        const Setting setting = load();
        EXPECT_EQ(setting.gradation, value) << text.toStdString();
        EXPECT_EQ(setting.labelColor, value) << text.toStdString();
    }
}

TEST_F(BackgroundSettingTest, AStoreThatCannotBeUsedIsReported)
{
    seed("Gradation", "5");
    store.setUnavailable(true);
    Setting setting;
    EXPECT_FALSE(bLoadBGSetting(store, setting.gradation, setting.picture, setting.labelColor));
    EXPECT_EQ(setting.gradation, -1);
    EXPECT_EQ(setting.picture, QString());
    EXPECT_EQ(setting.labelColor, 77);
    EXPECT_FALSE(bSaveBGSetting(store, 2, QStringLiteral("/other.png"), 1));
    store.setUnavailable(false);
    EXPECT_EQ(stored("Gradation"), QStringLiteral("5"));

    // A full volume: the values cannot be written.
    FileSizeLimit full;
    EXPECT_FALSE(bSaveBGSetting(store, 2, QStringLiteral("/other/picture/with/a/long/name.png"), 1));
}
