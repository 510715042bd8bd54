#include "engine/diffcopy.h"
#include "run/estimaterun.h"
#include "run/session.h"
#include "settings/job.h"
#include "settings/store/histories.h"
#include "settings/store/store.h"
#include "tests/support/testsupport.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::writeFile;

namespace {

// A face that answers every copy error with REPLY and can stop the run as
// its first folder is listed.
class Face : public RunFace {
public:
    void FileChecked(const std::string&, const std::string&, const DateTime&, bool) override { }
    void FolderSearching(const std::string&) override { }
    void FolderSearched(const std::string&) override
    {
        if (stop)
            stop();
    }
    void FolderAlreadyCopied(const std::string&, const std::string&) override { }
    void ErrorDetected(const std::string&, const std::string&, const std::string&, Answer answer) override
    {
        ++asked;
        answer(reply);
    }

    ErrorReply reply = ErrorReply::Skip;
    std::function<void()> stop;
    int asked = 0;
};

enum class Ending { WentThrough, Stopped, ErrorCode, NoRoom };

struct SessionRow {
    const char* name;
    CopySession::Mode mode;
    CopySession::Threading threading;
    Ending ending;
    bool recorded;
    const char* summaryStart;
};

class SessionRun : public ::testing::TestWithParam<SessionRow> { };

} // namespace

TEST_P(SessionRun, CountsRecordsAndSumsUp)
{
    const SessionRow& row = GetParam();
    testsupport::TempDir dir;
    const std::string src = dir / "src";
    const std::string dst = dir / "dst";
    writeFile(src + "/a", "new", 2000);
    writeFile(src + "/same", "same", 1000);
    writeFile(dst + "/same", "same", 1000);
    if (row.ending == Ending::ErrorCode) { // a link that leads nowhere
        ASSERT_EQ(symlink("missing", (src + "/b").c_str()), 0);
    }

    SettingsStore store(QString::fromStdString(dir / "settings.ini"));
    Histories histories(
        store, {}, [](const QString&, int, const QString&) { return 1; }, QStringLiteral("t"));
    Face face;
    face.reply = ErrorReply::Stop;
    CopySession session(face, row.threading);
    if (row.ending == Ending::Stopped)
        face.stop = [&session] { session.engine().StopCopy(); };
    std::optional<EstimateRun> room = EstimateRun::of(dst);
    ASSERT_TRUE(room);
    const bool measured = row.mode == CopySession::Mode::Estimate && row.ending != Ending::NoRoom;

    RunOrder order { src, dst, true, 0, FilterKind::None, {} };
    std::optional<RunEnd> ended;
    session.start(order, row.mode, &histories, measured ? &*room : nullptr, [&](const RunEnd& end) { ended = end; });
    // On its own thread the run ends in the event loop.
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const RunEnd& end = *ended;

    switch (row.ending) {
    case Ending::WentThrough:
        EXPECT_EQ(end.result, 0);
        EXPECT_EQ(end.checked, 2);
        EXPECT_EQ(end.copied, 1);
        break;
    case Ending::Stopped:
        EXPECT_EQ(end.result, DiffCopy::kStopped);
        break;
    case Ending::ErrorCode:
        EXPECT_GT(end.result, 0);
        EXPECT_EQ(end.errors, 1);
        break;
    case Ending::NoRoom:
        EXPECT_EQ(end.result, 0);
        EXPECT_EQ(end.checked, 0);
        break;
    }
    EXPECT_EQ(end.recorded, row.recorded);
    EXPECT_EQ(histories.srcHistory().size(), row.recorded ? 1u : 0u);
    EXPECT_TRUE(end.summary.contains(QString::fromUtf8(row.summaryStart))) << end.summary.toStdString();
    if (measured && row.ending == Ending::WentThrough) {
        EXPECT_GT(room->sums().dbCopySum, 0);
        EXPECT_TRUE(end.summary.endsWith(formatBytes(room->sums().dbNeedSum)));
    }
    // An estimate writes nothing.
    if (row.ending != Ending::ErrorCode) {
        EXPECT_EQ(
            testsupport::exists(dst + "/a"), row.mode == CopySession::Mode::Copy && row.ending == Ending::WentThrough);
    }
}

namespace {

using Mode = CopySession::Mode;
using Threading = CopySession::Threading;

const SessionRow kSessionRows[] = {
    { "CopyWentThrough", Mode::Copy, Threading::Caller, Ending::WentThrough, true,
        "コピーが終了しました。検査ファイル数： 2 コピーした数： 1" },
    { "CopyStopped", Mode::Copy, Threading::Caller, Ending::Stopped, false, "コピーを中断しました。" },
    { "CopyEndedByAnErrorCode", Mode::Copy, Threading::Caller, Ending::ErrorCode, true,
        "エラーのため、処理を中止しました。エラーコード：" },
    { "CopyOnItsOwnThread", Mode::Copy, Threading::OwnThread, Ending::WentThrough, true, "コピーが終了しました。" },
    { "EstimateWentThrough", Mode::Estimate, Threading::OwnThread, Ending::WentThrough, true,
        "コピー見積りが終了しました。検査ファイル数： 2 コピー対象数： 1 必要容量: " },
    { "EstimateOnTheCallersThread", Mode::Estimate, Threading::Caller, Ending::WentThrough, true,
        "コピー見積りが終了しました。" },
    { "EstimateStopped", Mode::Estimate, Threading::Caller, Ending::Stopped, true, "コピー見積りを中断しました。\r\n" },
    { "EstimateEndedByAnErrorCode", Mode::Estimate, Threading::Caller, Ending::ErrorCode, false,
        "エラーのため、コピー見積りを中止しました。エラーコード：" },
    { "EstimateWithoutRoomToRead", Mode::Estimate, Threading::Caller, Ending::NoRoom, true,
        "の属するディスク容量が検査できません。" },
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Endings, SessionRun, ::testing::ValuesIn(kSessionRows),
    [](const ::testing::TestParamInfo<SessionRow>& info) { return std::string(info.param.name); });

// "Skip all" answers every later error of the run without asking; the next
// run asks again.
TEST(Session, SkipAllLastsOneRun)
{
    testsupport::TempDir dir;
    mkdir((dir / "dst").c_str(), 0755);
    for (const char* name : { "a", "b", "c" }) {
        writeFile(dir / ("src/" + std::string(name)), "new", 2000);
        mkdir((dir / ("dst/" + std::string(name))).c_str(), 0755);
    }
    Face face;
    face.reply = ErrorReply::SkipAll;
    CopySession session(face, CopySession::Threading::Caller);
    int passedOver = 0;
    session.passedOver = [&](const std::string&, const std::string&, const std::string&) { ++passedOver; };
    const RunOrder order { dir / "src", dir / "dst", true, 0, FilterKind::None, {} };
    for (int run = 1; run <= 2; ++run) {
        RunEnd end;
        session.start(order, CopySession::Mode::Copy, nullptr, nullptr, [&end](const RunEnd& ended) { end = ended; });
        EXPECT_EQ(end.errors, 3);
        EXPECT_EQ(face.asked, run);
        EXPECT_EQ(passedOver, 2 * run);
        EXPECT_FALSE(end.recorded);
    }
}

TEST(Session, MassChangeIsMoreThanHalfAndAtLeastAHundred)
{
    const struct {
        std::int64_t kept, found;
        bool mass;
    } cases[] = {
        { 1000, 1000, true },
        { 100, 199, true },
        { 100, 200, false }, // half is not more than half
        { 99, 99, false }, // too few to tell
        { 0, 0, false },
    };
    for (const auto& c : cases)
        EXPECT_EQ(massChange(c.kept, c.found), c.mass) << c.kept << " of " << c.found;
}

TEST(Session, EstimateCountsKeptVersionsAsRoomStillTaken)
{
    EstimateSums replacing(4096);
    EstimateSums keeping(4096);
    keeping.replacedKept = true;
    for (EstimateSums* sums : { &replacing, &keeping }) {
        sums->addFile(10000, 8000); // a file replaced
        sums->addFile(100, std::nullopt); // a new one
    }
    EXPECT_EQ(replacing.dbNeedSum, 12288 + 4096 - 8192);
    EXPECT_EQ(keeping.dbNeedSum, 12288 + 4096);
}
