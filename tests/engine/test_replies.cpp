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
    recorder.replies = { ErrorReply::Stop };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, false), EACCES);
    ASSERT_EQ(recorder.errors.size(), 1u);
    EXPECT_EQ(recorder.errors[0], std::strerror(EACCES));
    EXPECT_TRUE(recorder.only("checked ").empty());
}

TEST_F(Replies, SkipReportsTheFileAndGoesOn)
{
    makeCopyError();
    writeFile(src + "/sub/good", "g");
    for (ErrorReply reply : { ErrorReply::Skip, ErrorReply::SkipAll }) {
        recorder.events.clear();
        recorder.replies = { reply };
        EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0) << static_cast<int>(reply);
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
        void ErrorDetected(const std::string& s, const std::string& d, const std::string& e, ErrorReply& op) override
        {
            Recorder::ErrorDetected(s, d, e, op);
            if (errors.size() == 2)
                chmod(path.c_str(), 0644);
        }
    } fixing;
    fixing.path = dst + "/bad";
    fixing.defaultReply = ErrorReply::Retry;
    DiffCopy retrying(fixing);
    EXPECT_EQ(retrying.CopyNews(src, dst, 0, false), 0);
    EXPECT_EQ(fixing.errors.size(), 2u);
    EXPECT_EQ(readFile(dst + "/bad"), "new");
    EXPECT_EQ(fixing.only("copied ").size(), 1u);
}

TEST_F(Replies, OutOfRangeReplyKeepsTheCodeAsTheFoldersResult)
{
    const auto outside = static_cast<ErrorReply>(9);
    makeCopyError();
    recorder.replies = { outside };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, false), EACCES);
    EXPECT_TRUE(recorder.only("checked ").empty());

    // A subfolder that goes through replaces the code.
    writeFile(src + "/sub/x", "x");
    recorder.replies = { outside };
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
        ErrorReply reply;
        std::int32_t result;
        bool goesOn;
    } rows[] = { { ErrorReply::Stop, DiffCopy::kStopped, false }, { ErrorReply::Skip, 0, true },
        { ErrorReply::SkipAll, 0, true } };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.reply));
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

    // The top destination itself: there is nothing to go on to, and a skip
    // ends the run as a stop does, so that nobody takes it for a copy made.
    const std::string top = dir / "top";
    writeFile(top, "in the way");
    for (const ErrorReply reply : { ErrorReply::Skip, ErrorReply::SkipAll }) {
        recorder.replies = { reply };
        EXPECT_EQ(engine.CopyNews(src, top, 0, true), DiffCopy::kStopped);
    }
    EXPECT_EQ(readFile(top), "in the way");
}

TEST_F(Replies, FolderCreationIsRetriedUntilItWorks)
{
    writeFile(src + "/f", "f");
    writeFile(dst, "in the way");
    struct Clearing : Recorder {
        std::string blocker;
        void ErrorDetected(const std::string& s, const std::string& d, const std::string& e, ErrorReply& op) override
        {
            Recorder::ErrorDetected(s, d, e, op);
            // Anything but stop and the skips retries.
            op = errors.size() < 3 ? static_cast<ErrorReply>(7) : ErrorReply::Retry;
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
    recorder.replies = { ErrorReply::Skip };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, true), 0);
    ASSERT_EQ(recorder.errors.size(), 1u);
    EXPECT_EQ(recorder.errors[0], "handler broke");
    EXPECT_GE(
        std::count(recorder.events.begin(), recorder.events.end(), "error " + src + " -> " + dst + ": handler broke"),
        1);
    EXPECT_EQ(readFile(dst + "/sub/b"), "b");

    recorder.errors.clear();
    recorder.replies = { ErrorReply::Stop };
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
    recorder.replies = { ErrorReply::Retry, ErrorReply::Retry };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, false), 0);
    EXPECT_EQ(recorder.errors.size(), 2u);
    EXPECT_EQ(readFile(dst + "/a"), "a");

    // A reply outside ErrorReply ends the folder as if it had gone through.
    throws = 0;
    writeFile(src + "/b", "b");
    recorder.replies = { static_cast<ErrorReply>(8) };
    EXPECT_EQ(engine.CopyNews(src, dst, 0, false), 0);
    EXPECT_FALSE(testsupport::exists(dst + "/b"));
}

// A folder whose listing a failing yield cuts short is closed: retried many
// times, it does not use up the process's descriptors.
TEST_F(Replies, AListingCutShortByAFailureLeavesNoFolderOpen)
{
    writeFile(src + "/a", "a");
    int throws = 0;
    engine.setYield([&] {
        if (throws < 20) {
            ++throws;
            throw std::runtime_error("not yet");
        }
    });
    recorder.replies.assign(20, ErrorReply::Retry);
    const size_t open = testsupport::namesIn("/proc/self/fd").size();
    EXPECT_EQ(engine.CopyNews(src, dst, 0, false), 0);
    EXPECT_EQ(throws, 20);
    EXPECT_EQ(testsupport::namesIn("/proc/self/fd").size(), open);
    EXPECT_EQ(readFile(dst + "/a"), "a");
}

TEST_F(Replies, ThrowingErrorHandlerStopsTheRun)
{
    makeCopyError();
    struct Throwing : Recorder {
        void ErrorDetected(const std::string&, const std::string&, const std::string&, ErrorReply&) override
        {
            throw std::runtime_error("cannot ask");
        }
    } throwing;
    DiffCopy engine2(throwing);
    EXPECT_EQ(engine2.CopyNews(src, dst, 0, false), EACCES);
}
