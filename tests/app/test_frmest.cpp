#include "app/frmest.h"
#include "app/textlabel.h"
#include "run/estimate.h"
#include "tests/support/eventloop.h"
#include "util/ui/forms.h"
#include "util/ui/messagebox.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <cmath>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

TEST(ClusterRounding, AFileTakesWholeClusters)
{
    EXPECT_EQ(roundToClusters(1, 4096), 4096);
    EXPECT_EQ(roundToClusters(4096, 4096), 4096);
    EXPECT_EQ(roundToClusters(4097, 4096), 8192);
    EXPECT_EQ(roundToClusters(0, 4096), 0);
    // Unknown cluster size: the count as it is.
    EXPECT_EQ(roundToClusters(4097, -1), 4097);
    EXPECT_EQ(roundToClusters(4097, 0), 4097);
    // 2^32 clusters and more: the library's quotient keeps only its low 32 bits.
    const double clusters = std::ldexp(1.0, 32);
    EXPECT_EQ(roundToClusters(clusters * 4096, 4096), clusters * 4096);
    EXPECT_EQ(roundToClusters(clusters * 4096 + 1, 4096), (clusters + 1) * 4096);
}

TEST(NumberFormat, ThousandsSeparatorsAndALeadingMinus)
{
    const std::pair<double, const char*> bytes[] = { { 0, "0" }, { 999, "999" }, { 1000, "1,000" },
        { 1234567, "1,234,567" }, { 1099511627776.0, "1,099,511,627,776" }, { -4096, "-4,096" }, { -999, "-999" },
        { 2.5, "3" }, { -0.4, "0" } };
    for (const auto& [value, text] : bytes)
        EXPECT_EQ(formatBytes(value), text) << value;
    const std::pair<double, const char*> percents[] = { { 50, "50.00" }, { 0, "0.00" }, { 100.0 / 3, "33.33" },
        { 1234.567, "1,234.57" }, { -0.5, "-0.50" }, { -1234567.891, "-1,234,567.89" }, { -0.001, "0.00" } };
    for (const auto& [value, text] : percents)
        EXPECT_EQ(formatPercent(value), text) << value;
}

TEST(EstimateSums, EachFileAddsItsClustersAndTakesBackThoseItReplaces)
{
    EstimateSums sums(4096);
    sums.addFile(1, std::nullopt);
    EXPECT_EQ(sums.dbCopySum, 4096);
    EXPECT_EQ(sums.dbExistSum, 0);
    EXPECT_EQ(sums.dbNeedSum, 4096);
    // The same size replaced: the need stays.
    sums.addFile(5000, 5000);
    EXPECT_EQ(sums.dbNeedSum, 4096);
    // A larger file replaced by a smaller one gives room back; an empty one
    // exists all the same.
    sums.addFile(1, 10000);
    sums.addFile(1, 0);
    EXPECT_EQ(sums.dbCopySum, 4096 + 8192 + 4096 + 4096);
    EXPECT_EQ(sums.dbExistSum, 8192 + 12288);
    EXPECT_EQ(sums.dbNeedSum, 0);
    EXPECT_EQ(sums.largestExisting, 12288);

    EstimateSums unrounded;
    unrounded.addFile(4097, 10);
    EXPECT_EQ(unrounded.dbNeedSum, 4087);
}

TEST(EstimateSums, ThePeakIsTheMostTheRunHoldsAtAnyMoment)
{
    EstimateSums sums(1);
    // A new file of 100, then two files shrunk: the new copy of each stands
    // beside its old file until it replaces it.
    sums.addFile(100, std::nullopt);
    sums.addFile(0, 50);
    sums.addFile(0, 60);
    EXPECT_EQ(sums.dbNeedSum, -10);
    EXPECT_EQ(sums.peakSum, 100);
    sums.addFile(500, 400);
    EXPECT_EQ(sums.peakSum, 490);
}

using testsupport::inEventLoop;

namespace {

// One estimate window, shown, with a stop callback that counts its calls and
// every question it asks recorded.
class EstimateWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        est = new frmEst([this] { ++stops; });
        est->show();
        setMessageBoxAnswerer([this](const QString& text, int flags, const QString& title) {
            questions.push_back(title + " | " + text + " | " + QString::number(flags));
            return reply;
        });
    }
    void TearDown() override
    {
        setMessageBoxAnswerer(nullptr);
        delete est.data();
    }

    // A volume of 1,000 bytes, half of it free: picFree is 3,000 twips wide.
    void startHalfFree() { est->SetFreeTotal(QStringLiteral("/mnt/backup"), 500, 1000); }

    int windowEdge() const { return est->windowWidthTwips(); }

    QPointer<frmEst> est;
    int stops = 0;
    int reply = IDYES;
    std::vector<QString> questions;
};

} // namespace

TEST_F(EstimateWindow, TheVolumeIsShownWithItsFreeShare)
{
    startHalfFree();
    EXPECT_EQ(est->lbTotal->text(), "1,000");
    EXPECT_EQ(est->lbFreeDesc->text(), "バイト（50.00 %）");
    EXPECT_EQ(est->picFree->twipsWidth(), 3000);
    // A full volume still shows a sliver of free space, one pixel wide.
    est->SetFreeTotal(QStringLiteral("/mnt/full"), 0, 1e12);
    EXPECT_EQ(est->picFree->twipsWidth(), 1);
    EXPECT_EQ(est->picFree->width(), 1);

    est->SetClusterBytes(-1);
    EXPECT_EQ(est->lbCluster->text(), "不明");
    EXPECT_FALSE(est->lbClusterBytes->isVisible());
    EXPECT_TRUE(est->lbNotice->isVisible());
    // A later estimate on a volume whose cluster size is known takes the notice back.
    est->SetClusterBytes(4096);
    EXPECT_EQ(est->lbCluster->text(), "4,096");
    EXPECT_TRUE(est->lbClusterBytes->isVisible());
    EXPECT_FALSE(est->lbNotice->isVisible());
}

TEST_F(EstimateWindow, TheCopyBarStopsAtTheWindowEdgeAndTheExistBarDoesNot)
{
    startHalfFree();
    est->UpdateToCopy(250);
    EXPECT_EQ(est->picCopy->twipsWidth(), 1500);
    est->UpdateToCopy(2000);
    EXPECT_EQ(est->lbCopy->text(), "2,000");
    EXPECT_EQ(est->picCopy->twipsLeft() + est->picCopy->twipsWidth(), windowEdge());

    est->UpdateExist(2000);
    EXPECT_EQ(est->picExist->twipsWidth(), 12000);
    // A sum beyond any sensible share of the volume does not overflow the width.
    est->UpdateExist(1e300);
    EXPECT_GT(est->picExist->twipsWidth(), 12000);
}

TEST_F(EstimateWindow, ANegativeNeedShowsWithItsSignAndASliverOfBar)
{
    startHalfFree();
    est->UpdateNeed(100);
    EXPECT_EQ(est->picNeed->twipsWidth(), 600);
    est->UpdateNeed(-8192);
    EXPECT_EQ(est->lbNeed->text(), "-8,192");
    EXPECT_EQ(est->picNeed->twipsWidth(), 1);
    EXPECT_EQ(est->picNeed->width(), 1);
}

TEST_F(EstimateWindow, AShortfallGoesOnInRedAfterTheFreeSpaceAndStaysShown)
{
    startHalfFree();
    EXPECT_FALSE(est->picOver->isVisible());
    est->UpdateNeed(600);
    EXPECT_EQ(est->lbOver->text(), "100");
    EXPECT_TRUE(est->lbOver->isVisible());
    EXPECT_TRUE(est->lbOverDesc->isVisible());
    EXPECT_TRUE(est->picOver->isVisible());
    EXPECT_EQ(est->picNeed->twipsWidth(), est->picFree->twipsWidth());
    EXPECT_EQ(est->picOver->twipsLeft(), est->picNeed->twipsLeft() + 3000);
    EXPECT_EQ(est->picOver->twipsTop(), est->picNeed->twipsTop());
    EXPECT_EQ(est->picOver->twipsWidth(), 600);
    // The two bars meet on the screen too.
    EXPECT_EQ(est->picOver->x(), est->picNeed->geometry().right() + 1);

    // Back under the free space: the shortfall keeps its last values.
    est->UpdateNeed(200);
    EXPECT_EQ(est->picNeed->twipsWidth(), 1200);
    EXPECT_EQ(est->lbOver->text(), "100");
    EXPECT_TRUE(est->lbOver->isVisible() && est->lbOverDesc->isVisible() && est->picOver->isVisible());

    est->UpdateNeed(100000);
    EXPECT_EQ(est->lbOver->text(), "99,500");
    EXPECT_EQ(est->picOver->twipsLeft() + est->picOver->twipsWidth(), windowEdge());
}

TEST_F(EstimateWindow, AVolumeOfNoSizeLeavesTheBarsAlone)
{
    est->SetFreeTotal(QStringLiteral("/proc"), 0, 0);
    EXPECT_EQ(est->lbFreeDesc->text(), "バイト");
    est->UpdateToCopy(4096);
    est->UpdateExist(8192);
    est->UpdateNeed(4096);
    EXPECT_EQ(est->lbCopy->text(), "4,096");
    EXPECT_EQ(est->lbExist->text(), "8,192");
    EXPECT_EQ(est->lbNeed->text(), "4,096");
    EXPECT_EQ(est->picFree->twipsWidth(), 6000);
    for (EstimateBar* bar : { est->picCopy, est->picExist, est->picNeed })
        EXPECT_EQ(bar->twipsWidth(), 1) << bar->objectName().toStdString();
    EXPECT_FALSE(est->picOver->isVisible());
    EXPECT_FALSE(est->lbOver->isVisible());
}

TEST_F(EstimateWindow, AWindowKeptOpenStartsTheNextEstimateAfresh)
{
    startHalfFree();
    est->UpdateToCopy(700);
    est->UpdateExist(100);
    est->UpdateNeed(600);
    est->updatePeak(700);
    EXPECT_EQ(est->lbPeak->text(), "700");
    est->SetState(1);

    est->SetFreeTotal(QStringLiteral("/mnt/other"), 0, 0);
    EXPECT_FALSE(est->bFinished);
    EXPECT_EQ(est->btnEnd->text(), "見積中止");
    for (TextLabel* sum : { est->lbCopy, est->lbExist, est->lbNeed, est->lbPeak })
        EXPECT_EQ(sum->text(), "0") << sum->objectName().toStdString();
    EXPECT_FALSE(est->lbOver->isVisible());
    EXPECT_FALSE(est->picOver->isVisible());
    EXPECT_EQ(est->picFree->twipsWidth(), 6000);
    for (EstimateBar* bar : { est->picCopy, est->picExist, est->picNeed })
        EXPECT_EQ(bar->twipsWidth(), 1) << bar->objectName().toStdString();
}

TEST_F(EstimateWindow, TheStopQuestionStopsTheRunOnlyOnYes)
{
    startHalfFree();
    reply = IDNO;
    est->btnEnd->click();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "コピー容量見積 | 見積を中断しますか | 4");
    EXPECT_EQ(stops, 0);
    EXPECT_FALSE(est->bFinished);
    EXPECT_EQ(est->btnEnd->text(), "見積中止");

    reply = IDYES;
    est->btnEnd->click();
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(est->bFinished);
    EXPECT_EQ(est->btnEnd->text(), "閉じる");
    EXPECT_TRUE(bIsFormLoaded(QStringLiteral("frmEst")));

    // The next click closes the window without asking again.
    inEventLoop([this] { est->btnEnd->click(); });
    EXPECT_TRUE(est.isNull());
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(stops, 1);
}

TEST_F(EstimateWindow, AStopClickIsHeardWhileTheSumsGrow)
{
    startHalfFree();
    for (int i = 0; i < 100; ++i)
        est->UpdateNeed(100);
    QTimer::singleShot(0, est->btnEnd, [this] { est->btnEnd->click(); });
    QElapsedTimer waited;
    waited.start();
    while (stops == 0 && !waited.hasExpired(2000))
        est->UpdateNeed(100);
    EXPECT_EQ(stops, 1);
}

TEST_F(EstimateWindow, AFinishedEstimateClosesWithoutAsking)
{
    startHalfFree();
    est->SetState(2);
    EXPECT_FALSE(est->bFinished);
    est->SetState(1);
    EXPECT_EQ(est->btnEnd->text(), "閉じる");

    inEventLoop([this] { est->btnEnd->click(); });
    EXPECT_TRUE(est.isNull());
    EXPECT_FALSE(bIsFormLoaded(QStringLiteral("frmEst")));
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(stops, 0);
}

TEST_F(EstimateWindow, TheTitleBarCloseAsksWhileTheEstimateRunsAndTheProgramsCloseDoesNot)
{
    // What the window system sends when the title bar's close button is clicked.
    const auto closeFromTitleBar = [this] {
        QCloseEvent close;
        QCoreApplication::sendEvent(est->windowHandle(), &close);
    };
    startHalfFree();
    reply = IDNO;
    closeFromTitleBar();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(bIsFormLoaded(QStringLiteral("frmEst")));
    EXPECT_EQ(stops, 0);

    reply = IDYES;
    inEventLoop(closeFromTitleBar);
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(est.isNull());

    est = new frmEst([this] { ++stops; });
    est->show();
    QWidget* form = est;
    EXPECT_TRUE(bUnloadForm(form));
    EXPECT_TRUE(est.isNull());
    EXPECT_EQ(questions.size(), 2u);
}
