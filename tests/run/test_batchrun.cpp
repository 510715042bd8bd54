#include "run/batchrun.h"
#include "settings/store/store.h"
#include "tests/support/testsupport.h"

#include <QString>
#include <gtest/gtest.h>
#include <sys/stat.h>

using testsupport::readFile;
using testsupport::writeFile;

namespace {

// A batch run in this process, on settings of its own; what it would have
// told a person at the screen is kept.
class BatchRunTest : public ::testing::Test {
protected:
    BatchStatus run(const std::string& copySet)
    {
        writeFile(dir / "set.vstl", copySet);
        SettingsStore store(QString::fromStdString(dir / "settings.ini"));
        BatchRun batch(store, [this](const QString&, const QString& text) { alerts.push_back(text); });
        return batch.run({ QString::fromStdString(dir / "set.vstl"), QString::fromStdString(dir / "log.txt") });
    }
    QString log() const { return QString::fromStdString(readFile(dir / "log.txt")); }

    testsupport::TempDir dir;
    std::string src = dir / "src";
    std::string dst = dir / "dst";
    std::vector<QString> alerts;
};

} // namespace

TEST_F(BatchRunTest, ErrorsAreLoggedAndSkipped)
{
    writeFile(src + "/a", "new", 2000);
    writeFile(dst + "/a", "old", 1000);
    chmod((dst + "/a").c_str(), 0444);
    writeFile(src + "/b", "b", 2000);
    EXPECT_EQ(run("cmbSrc\t" + src + "\r\ncmbDst\t" + dst + "\r\n"), BatchStatus::Incomplete);

    EXPECT_TRUE(
        log().contains(QString::fromStdString(src + "/a -> " + dst + "/a") + QStringLiteral(" でエラーが発生。")));
    EXPECT_TRUE(log().contains(QString::fromStdString(" " + dst + "/b\r\n")));
    EXPECT_TRUE(log().contains(QStringLiteral("コピーが終了しました。")));
    EXPECT_TRUE(alerts.empty());
}

TEST_F(BatchRunTest, QuestionsGoToTheLogAndAreAnsweredYes)
{
    // The folder to make is named like the destination already: a question.
    writeFile(src + "/photos/a", "a");
    EXPECT_EQ(run("cmbSrc\t" + src + "/photos\r\ncmbDst\t" + dst + "/photos\r\nchkMakeDir\t1\r\n"), BatchStatus::Clean);
    EXPECT_TRUE(log().contains(QStringLiteral("になってもよいですか？\r\n")));
    EXPECT_EQ(readFile(dst + "/photos/photos/a"), "a");
    EXPECT_TRUE(alerts.empty());
}

TEST_F(BatchRunTest, IsNotHeldUpByItsBackgroundPicture)
{
    writeFile(src + "/a.txt", "a");
    const BatchStatus status = run("cmbSrc\t" + src + "\r\ncmbDst\t" + dst
        + "\r\nreg\tGradation\t100\r\nreg\tBGPicture\t" + dir / "missing.png" + "\r\n");
    EXPECT_EQ(status, BatchStatus::Clean);
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(readFile(dst + "/a.txt"), "a");
}
