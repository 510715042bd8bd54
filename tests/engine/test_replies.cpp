#include "engine/diffcopy.h"
#include "recorder.h"
#include "tests/support/testsupport.h"
#include "util/paths.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

using testsupport::readFile;
using testsupport::writeFile;

namespace {

class Replies : public EngineTest {
protected:
    // "bad" cannot be copied: its destination is read-only and older.
    void makeCopyError()
    {
        writeFile(src + "/bad", "new", 2000);
        writeFile(dst + "/bad", "old", 1000);
        chmod((dst + "/bad").c_str(), 0444);
    }
};

} // namespace

TEST_F(Replies, StopReturnsTheFilesErrorCode)
{
    makeCopyError();
    recorder.replies = { 1 };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, false), EACCES);
    ASSERT_EQ(recorder.errors.size(), 1u);
    EXPECT_EQ(recorder.errors[0], std::strerror(EACCES));
    EXPECT_TRUE(recorder.only("checked ").empty());
}

TEST_F(Replies, SkipReportsTheFileAndGoesOn)
{
    makeCopyError();
    writeFile(src + "/sub/good", "g");
    for (std::int32_t reply : { 3, 4 }) {
        recorder.events.clear();
        recorder.replies = { reply };
        EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0) << reply;
        EXPECT_EQ(recorder.only("checked " + src + "/bad").size(), 1u);
        EXPECT_EQ(readFile(dst + "/sub/good"), "g");
        EXPECT_EQ(readFile(dst + "/bad"), "old");
    }
}

TEST_F(Replies, RetryDecidesTheFileAgain)
{
    makeCopyError();
    // The user makes the destination writable before answering the second report.
    struct Fixing : Recorder {
        std::string path;
        void ErrorDetected(const std::string& s, const std::string& d, const std::string& e, std::int32_t& op) override
        {
            Recorder::ErrorDetected(s, d, e, op);
            if (errors.size() == 2)
                chmod(path.c_str(), 0644);
        }
    } fixing;
    fixing.path = dst + "/bad";
    fixing.defaultReply = 2;
    DiffCopy retrying(fixing);
    EXPECT_EQ(retrying.CopyNews(src, dst, 0, false), 0);
    EXPECT_EQ(fixing.errors.size(), 2u);
    EXPECT_EQ(readFile(dst + "/bad"), "new");
    EXPECT_EQ(fixing.only("copied ").size(), 1u);
}

TEST_F(Replies, OutOfRangeReplyKeepsTheCodeAsTheFoldersResult)
{
    makeCopyError();
    recorder.replies = { 9 };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, false), EACCES);
    EXPECT_TRUE(recorder.only("checked ").empty());

    // A subfolder that goes through replaces the code.
    writeFile(src + "/sub/x", "x");
    recorder.replies = { 9 };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    EXPECT_EQ(readFile(dst + "/sub/x"), "x");
}

// Stop ends the run; a skip passes over that folder with everything under it,
// and the run goes on with the next folder.
TEST_F(Replies, FolderThatCannotBeCreated)
{
    writeFile(src + "/f", "f");
    writeFile(src + "/blocked/g", "g");
    writeFile(src + "/blocked/deeper/h", "h");
    writeFile(src + "/next/i", "i");
    writeFile(dst + "/blocked", "a file in the way");
    const std::string blocked = dst + "/blocked";
    const struct {
        std::int32_t reply;
        std::int32_t result;
        bool goesOn;
    } rows[] = { { 1, DiffCopy::kStopped, false }, { 3, 0, true }, { 4, 0, true } };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        unlink((dst + "/next/i").c_str());
        recorder.events.clear();
        recorder.errors.clear();
        recorder.replies = { row.reply };
        EXPECT_EQ(engine.CopyNews(src, dst, 0, true), row.result);
        EXPECT_EQ(recorder.errors, std::vector<std::string> { blocked + "作成エラー" });
        EXPECT_EQ(recorder.only("error "),
            std::vector<std::string> { "error " + src + "/blocked -> " + blocked + ": " + blocked + "作成エラー" });
        EXPECT_TRUE(recorder.only("searching " + src + "/blocked").empty());
        EXPECT_EQ(testsupport::exists(dst + "/next/i"), row.goesOn);
    }
    EXPECT_EQ(readFile(blocked), "a file in the way");

    // The top destination itself: a skip leaves nothing to do.
    const std::string top = dir / "top";
    writeFile(top, "in the way");
    recorder.replies = { 3 };
    EXPECT_EQ(engine.CopyNews(src, top, 0, true), 0);
    EXPECT_EQ(readFile(top), "in the way");
}

TEST_F(Replies, FolderCreationIsRetriedUntilItWorks)
{
    writeFile(src + "/f", "f");
    writeFile(dst, "in the way");
    struct Clearing : Recorder {
        std::string blocker;
        void ErrorDetected(const std::string& s, const std::string& d, const std::string& e, std::int32_t& op) override
        {
            Recorder::ErrorDetected(s, d, e, op);
            op = errors.size() < 3 ? 7 : 2; // anything but 1, 3 and 4 retries
            if (errors.size() == 3)
                unlink(blocker.c_str());
        }
    } clearing;
    clearing.blocker = dst;
    DiffCopy retrying(clearing);
    EXPECT_EQ(retrying.CopyNews(src, dst, 0, false), 0);
    EXPECT_EQ(clearing.errors.size(), 3u);
    EXPECT_EQ(readFile(dst + "/f"), "f");
}

TEST_F(Replies, ThrowingHandlerIsAnUnexpectedFailure)
{
    writeFile(src + "/a", "a");
    writeFile(src + "/sub/b", "b");
    recorder.onFileChecked = [](const std::string& path) {
        if (path.find("/a") != std::string::npos)
            throw std::runtime_error("handler broke");
    };
    recorder.replies = { 3 };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    ASSERT_EQ(recorder.errors.size(), 1u);
    EXPECT_EQ(recorder.errors[0], "handler broke");
    EXPECT_GE(
        std::count(recorder.events.begin(), recorder.events.end(), "error " + src + " -> " + dst + ": handler broke"),
        1);
    EXPECT_EQ(readFile(dst + "/sub/b"), "b");

    recorder.errors.clear();
    recorder.replies = { 1 };
    recorder.onSearching = [](const std::string&) { throw 42; };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), DiffCopy::kHandlerFailure);
    EXPECT_EQ(recorder.errors.size(), 1u);
}

TEST_F(Replies, UnexpectedFailureRetriedAndEndedByOtherReplies)
{
    writeFile(src + "/a", "a");
    int throws = 0;
    recorder.onSearching = [&](const std::string&) {
        if (throws++ < 2)
            throw std::runtime_error("not yet");
    };
    recorder.replies = { 2, 2 };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, false), 0);
    EXPECT_EQ(recorder.errors.size(), 2u);
    EXPECT_EQ(readFile(dst + "/a"), "a");

    // A reply outside 1..4 ends the folder as if it had gone through.
    throws = 0;
    writeFile(src + "/b", "b");
    recorder.replies = { 8 };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, false), 0);
    EXPECT_FALSE(testsupport::exists(dst + "/b"));
}

TEST_F(Replies, ThrowingErrorHandlerStopsTheRun)
{
    makeCopyError();
    struct Throwing : Recorder {
        void ErrorDetected(const std::string&, const std::string&, const std::string&, std::int32_t&) override
        {
            throw std::runtime_error("cannot ask");
        }
    } throwing;
    DiffCopy engine2(throwing);
    EXPECT_EQ(engine2.CopyNews(src, dst, 0, false), EACCES);
}
