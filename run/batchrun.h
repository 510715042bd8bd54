// Batch mode: a copy set named on the command line, run unattended. The job
// is read from the copy set and run with the batch policy: every question is
// answered Yes, every copy error is logged and skipped, and the messages, the
// copied files and the summary go to the log. Nothing of the window is built:
// Qt Core and the settings store are all it needs.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include "commandline.h"
#include "session.h"
#include "util/throttle.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class Histories;
class QFile;
class SettingsStore;
struct CopyJob;

// Exit statuses of a batch run: the copy completed without a copy error; it
// completed with skipped errors, was stopped or ended with an error code; the
// command line, the copy-set file, the log or the job could not be used.
// The numbers are the program's exit statuses.
enum class BatchStatus { Clean = 0, Incomplete = 1, Unusable = 2 };

class BatchRun : public RunFace {
public:
    // Where the messages go that a person at the screen would see in a box
    // (there is none): TITLE and TEXT.
    using Alert = std::function<void(const QString& title, const QString& text)>;

    // Without an ALERT, the messages go to standard error, one line each.
    explicit BatchRun(SettingsStore& store, Alert alert = {});
    ~BatchRun() override;

    // Runs the copy set of OPTIONS unattended.
    BatchStatus run(const BatchOptions& options);

    // Test seam: runs on the copying thread as each copy starts.
    std::function<void()> beforeThreadedCopy;

    // Engine events.
    void FileChecked(const std::string& pSrc, const std::string& pDst, const DateTime& dtFile, bool bCopied) override;
    void FolderSearching(const std::string& pPath) override;
    void FolderSearched(const std::string& pPath) override;
    void FolderAlreadyCopied(const std::string& pSrc, const std::string& firstDst) override;
    void ErrorDetected(
        const std::string& strSrc, const std::string& strDst, const std::string& strErr, Answer answer) override;

private:
    // Runs JOB as the Start button would, its messages to the log: how the
    // run ended, or nothing when the job was refused.
    std::optional<RunEnd> start(const CopyJob& job);
    // A message of the run: to the log, when one is open.
    void say(const std::string& text);
    // A reason the run cannot go on at all: to the log, and where somebody
    // will see it (standard error, and so the journal), after "vestrelle: ".
    void refuse(const std::string& text);
    // A copy error: logged, and the run goes on.
    void logError(const std::string& src, const std::string& dst, const std::string& error);
    // RECORD as one line of the log, escaped by logText (util/logtext.h):
    // whatever names and texts it holds, it stays one line.
    void writeLog(const std::string& record, bool flush = true);
    // Lets records that were not flushed at once reach the log, at most
    // some 20 ms after they were written, and stops the run as the Stop
    // button does once a stop signal has come (stopsignals.h): no copy
    // starts after it, and the summary and the end are logged.
    void yield();

    SettingsStore& store_;
    Alert alert_;
    CopySession session_;
    std::unique_ptr<QFile> log_;
    Throttle flushes_ { std::chrono::milliseconds(20), 8 };
    bool stopping_ = false; // a signal's stop has been passed on
};
