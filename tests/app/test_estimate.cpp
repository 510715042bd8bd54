#include "app/copiedlist.h"
#include "app/frmbase.h"
#include "app/frmest.h"
#include "app/textlabel.h"
#include "run/estimate.h"
#include "run/runprogress.h"
#include "settings/store/store.h"
#include "tests/support/fusevolume.h"
#include "tests/support/testsupport.h"
#include "util/ui/messagebox.h"
#include "windowtest.h"

#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/statvfs.h>

using testsupport::exists;
using testsupport::writeFile;

namespace {

class Estimate : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        struct statvfs volume { };
        ASSERT_EQ(statvfs(dir.path().c_str(), &volume), 0);
        cluster = static_cast<double>(volume.f_frsize);
    }

    void fill() { WindowTest::fill(src, dst); }

    // BYTES in whole clusters of this volume.
    double clusters(double bytes) const { return std::ceil(bytes / cluster) * cluster; }

    double cluster = 0;
};

} // namespace

TEST_F(Estimate, AddsUpWholeClustersWithoutWritingAnything)
{
    writeFile(src + "/one.bin", std::string(1, 'x'), 1700000100);
    writeFile(src + "/cluster.bin", std::string(static_cast<size_t>(cluster), 'x'), 1700000100);
    writeFile(src + "/more.bin", std::string(static_cast<size_t>(cluster) + 1, 'x'), 1700000100);
    writeFile(src + "/empty.bin", "", 1700000100);
    writeFile(src + "/sub/same.bin", std::string(10, 'x'), 1700000000);
    // An older destination file of the same size is replaced: no room needed for it in the end.
    writeFile(dst + "/more.bin", std::string(static_cast<size_t>(cluster) + 1, 'y'), 1700000000);
    writeFile(dst + "/sub/same.bin", std::string(10, 'y'), 1700000000);
    fill();

    control<QPushButton>("btnEst")->click();
    finishRun();
    EXPECT_TRUE(messages.empty()) << messages.front().toStdString();
    EXPECT_EQ(control<TextLabel>("lbCheckNum")->text(), "5");
    EXPECT_EQ(control<CopiedListView>("lstCopied")->lines().count(), 4);
    EXPECT_EQ(testsupport::readFile(dst + "/more.bin"), std::string(static_cast<size_t>(cluster) + 1, 'y'));
    EXPECT_FALSE(exists(dst + "/one.bin"));

    frmEst* shown = openEstimateWindow();
    ASSERT_TRUE(shown);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_TRUE(shown->bFinished);
    EXPECT_EQ(shown->btnEnd->text(), QStringLiteral("閉じる"));
    EXPECT_EQ(shown->lbCluster->text(), formatBytes(cluster));
    EXPECT_EQ(shown->lbCopy->text(), formatBytes(cluster + cluster + 2 * cluster + 0));
    EXPECT_EQ(shown->lbExist->text(), formatBytes(2 * cluster));
    EXPECT_EQ(shown->lbNeed->text(), formatBytes(2 * cluster));
    EXPECT_EQ(shown->windowTitle(),
        frmEst::kCaption + QStringLiteral(" - 検査 5 ファイル（") + formatSize(std::int64_t(2 * cluster + 12))
            + QStringLiteral("）"));
    EXPECT_EQ(control<QComboBox>("cmbSrc")->count(), 1);

    // A second estimate takes the window that is still open.
    writeFile(src + "/later.bin", std::string(3, 'x'), 1700000100);
    control<QPushButton>("btnEst")->click();
    finishRun();
    EXPECT_EQ(openEstimateWindow(), shown);
    EXPECT_EQ(shown->lbCopy->text(), formatBytes(5 * cluster));
    // Over: nothing keeps the window from closing.
    EXPECT_TRUE(window->close());
}

// A sparse file counts with its data only where the destination keeps holes
// (the test's folder), and with its full length on a stick, which fills them in.
TEST_F(Estimate, SparseFileCountsInFullWhereHolesAreFilledIn)
{
    constexpr off_t kLength = 8 << 20;
    const std::string sparse = src + "/sparse.bin";
    writeFile(sparse, "data", 1700000100);
    ASSERT_EQ(truncate(sparse.c_str(), kLength), 0);
    struct stat st;
    ASSERT_EQ(stat(sparse.c_str(), &st), 0);
    ASSERT_LT(st.st_blocks * 512, kLength);
    fill();
    control<QPushButton>("btnEst")->click();
    finishRun();
    EXPECT_EQ(openEstimateWindow()->lbCopy->text(), formatBytes(clusters(static_cast<double>(st.st_blocks * 512))));

    testsupport::FuseVolume stick(dir.path(), testsupport::StickFormat::ExFat);
    if (!stick.mounted())
        GTEST_SKIP() << stick.skipReason();
    struct statvfs volume { };
    ASSERT_EQ(statvfs(stick.path().c_str(), &volume), 0);
    const double stickCluster = static_cast<double>(volume.f_frsize);
    WindowTest::fill(src, stick.path());
    control<QPushButton>("btnEst")->click();
    finishRun();
    EXPECT_EQ(openEstimateWindow()->lbCopy->text(), formatBytes(std::ceil(kLength / stickCluster) * stickCluster));
}

TEST_F(Estimate, StoppedFromTheEstimateWindow)
{
    for (int i = 0; i < 3; ++i)
        writeFile(src + "/f" + std::to_string(i) + ".bin", std::string(100, 'x'));
    fill();
    answer = [](const QString&, int) { return IDYES; };
    // The stop button is pressed as soon as the estimate lets the window work.
    actDuringEstimate(*window, [] { openEstimateWindow()->btnEnd->click(); });

    control<QPushButton>("btnEst")->click();
    finishRun();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], QStringLiteral("見積を中断しますか"));
    EXPECT_EQ(messages[1],
        QStringLiteral("コピー見積りを中断しました。\r\n検査ファイル数： 1 コピー対象数： 1 必要容量: ")
            + formatBytes(clusters(100)));
    // A stopped estimate still records its folders.
    EXPECT_EQ(control<QComboBox>("cmbSrc")->count(), 1);
    EXPECT_EQ(control<QComboBox>("cmbDst")->count(), 1);
}

TEST_F(Estimate, RefusesWhileACopyRunsAndAJobTheChecksRefuse)
{
    control<QPushButton>("btnEst")->click();
    finishRun();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("コピー元を指定して下さい"));
    EXPECT_FALSE(openEstimateWindow());

    writeFile(src + "/a.bin", "a");
    fill();
    // An estimate asked for in the middle of a copy run does nothing. The
    // file is copied on a copying thread, while the window works.
    window->setParallelCopies(1);
    bool estimated = true;
    QTimer::singleShot(0, window, [&] {
        control<QPushButton>("btnEst")->click();
        estimated = openEstimateWindow() != nullptr;
    });
    control<QPushButton>("btnStart")->click();
    finishRun();
    EXPECT_FALSE(estimated);
}
