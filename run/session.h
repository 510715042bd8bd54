// A copy session: the engine and the runs made with it, as both the window
// and batch mode drive them. A session keeps a run's counts and the user's
// "skip all", applies the rule of which runs the histories record, and
// composes the summary that ends a run. Whoever shows the run (the window,
// the batch log) is its face (runface.h): it gets the engine's events and
// answers the copy errors.
#pragma once

#include "engine/listener.h"
#include "runface.h"
#include "settings/job.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class DiffCopy;
class EstimateRun;
class Histories;
class RunRelay;

// How a run ended.
struct RunEnd {
    std::int32_t result = 0; // the engine's: 0, DiffCopy::kStopped or the error code that ended it
    std::int32_t checked = 0; // files checked
    std::int32_t copied = 0; // files copied, or that an estimate would copy
    std::int32_t errors = 0; // copy errors, answered or passed over
    bool recorded = false; // its folders went into the histories
    // With kept versions: how many replaced files were kept aside, and
    // whether so many were replaced that the source may have been ruined.
    std::int64_t kept = 0;
    bool massChange = false;
    QString warning; // what tells of a mass change, said after the summary
    QString summary; // the message that tells how it ended
};

// The message that ends a copy run: how it ended (the engine's RESULT), and
// how many files were checked and copied, and when replaced files are kept,
// how many were kept aside (KEPT).
QString copySummary(
    std::int32_t result, std::int32_t checked, std::int32_t copied, std::optional<std::int64_t> kept = std::nullopt);

// Whether a run that kept KEPT replaced files aside, of FOUND files it found at
// the destination, replaced so large a share of them (more than half, and
// at least 100 files) that the source may have been ruined: encrypted,
// truncated, overwritten by mistake.
bool massChange(std::int64_t kept, std::int64_t found);

// The warning that tells of such a run, with the versions folder of DESTINATION.
QString massChangeWarning(std::int64_t kept, std::int64_t found, const std::string& destination);

// The message that ends an estimate: how it ended, the files checked and to
// copy, and the room the copy needs (NEED_BYTES).
QString estimateSummary(std::int32_t result, std::int32_t checked, std::int32_t toCopy, double needBytes);

class CopySession : private DiffCopyListener, private RunFace {
public:
    enum class Mode { Copy, Estimate };
    // Where the engine runs: on the caller's thread, its events raised there
    // and each copy error answered before its handler returns (batch mode);
    // or on a thread of its own through a RunRelay, while the caller's thread
    // goes on with its event loop (the window).
    enum class Threading { Caller, OwnThread };

    CopySession(RunFace& face, Threading threading);
    ~CopySession() override;
    CopySession(const CopySession&) = delete;
    CopySession& operator=(const CopySession&) = delete;

    // Starts ORDER: a copy, or with Estimate a simulated run that measures
    // every file it would copy into ESTIMATE. HISTORIES, when given, records
    // the folders as recordsFolders() says, and ENDED hears how the run
    // ended: before start() returns with Threading::Caller, on the caller's
    // thread once the run is over with OwnThread. One run at a time;
    // HISTORIES and ESTIMATE must last until then.
    using Ended = std::function<void(const RunEnd& end)>;
    void start(const RunOrder& order, Mode mode, Histories* histories, EstimateRun* estimate, Ended ended);

    // Whether a run of MODE that ended with RESULT puts its folders into the
    // histories. A copy does when it went through or an error code ended it:
    // it wrote into that destination, and the pair is one in use. A copy that
    // was stopped does not: people stop a copy most often on seeing that the
    // folders are the wrong ones, and the lists should not offer them again.
    // An estimate writes nothing: stopped, it has still shown the pair to be
    // the one meant, and it records it; ended by an error code, it found a
    // folder it could not read, and does not.
    static bool recordsFolders(Mode mode, std::int32_t result);

    // The copy errors met while "skip all" is in force are answered by the
    // session; they reach the face only through this, when set.
    std::function<void(const std::string& src, const std::string& dst, const std::string& error)> passedOver;

    // Whether the runs started from now on keep the files they replace, and
    // for how long (the job's option).
    KeepReplaced keepReplaced;

    DiffCopy& engine() { return *engine_; }
    const DiffCopy& engine() const { return *engine_; }
    // The relay between the engine's thread and the caller's; none with Threading::Caller.
    RunRelay* relay() { return relay_.get(); }

    // The run in progress, or the last one.
    bool estimating() const { return estimating_; }
    std::int32_t checked() const { return checked_; }
    std::int32_t copied() const { return copied_; }

private:
    // The run is over with RESULT: the counts, the histories, the summary.
    void finish(std::int32_t result, Mode mode, Histories* histories, const Ended& ended);

    // The engine's events, counted and handed to the face: from the engine
    // itself (Threading::Caller) or from the relay (OwnThread).
    void FileChecked(const std::string& pSrc, const std::string& pDst, const DateTime& dtFile, bool bCopied) override;
    void FolderSearching(const std::string& pPath) override;
    void FolderSearched(const std::string& pPath) override;
    void FolderAlreadyCopied(const std::string& pSrc, const std::string& firstDst) override;
    void ErrorDetected(
        const std::string& strSrc, const std::string& strDst, const std::string& strErr, ErrorReply& nOp) override;
    void ErrorDetected(
        const std::string& strSrc, const std::string& strDst, const std::string& strErr, Answer answer) override;

    RunFace& face_;
    std::unique_ptr<RunRelay> relay_;
    std::unique_ptr<DiffCopy> engine_;
    RunOrder order_; // the run in progress, or the last one
    bool keeping_ = false; // it keeps the files it replaces
    EstimateRun* estimate_ = nullptr; // the estimate in progress
    bool estimating_ = false;
    bool skipAll_ = false;
    std::int32_t checked_ = 0;
    std::int32_t copied_ = 0;
    std::int32_t errors_ = 0;
};
