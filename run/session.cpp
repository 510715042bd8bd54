#include "session.h"

#include "engine/diffcopy.h"
#include "estimaterun.h"
#include "runrelay.h"
#include "settings/store/histories.h"
#include "util/paths.h"

#include <ctime>

namespace {

QString counts(std::int32_t checked, const QString& copiedName, std::int32_t copied)
{
    return QStringLiteral("検査ファイル数： ") + QString::number(checked) + copiedName + QString::number(copied);
}

} // namespace

QString copySummary(std::int32_t result, std::int32_t checked, std::int32_t copied, std::optional<std::int64_t> kept)
{
    QString summary;
    if (result == DiffCopy::kStopped)
        summary = QStringLiteral("コピーを中断しました。");
    else if (result == 0)
        summary = QStringLiteral("コピーが終了しました。");
    else
        summary = QStringLiteral("エラーのため、処理を中止しました。エラーコード：") + QString::number(result);
    summary += counts(checked, QStringLiteral(" コピーした数： "), copied);
    if (kept)
        summary += QStringLiteral(" 退避した数： ") + QString::number(*kept);
    return summary;
}

bool massChange(std::int64_t kept, std::int64_t found)
{
    constexpr std::int64_t kFewestFiles = 100;
    return kept >= kFewestFiles && kept * 2 > found;
}

QString massChangeWarning(std::int64_t kept, std::int64_t found, const std::string& destination)
{
    return QStringLiteral("警告：コピー先にあったファイル ") + QString::number(found) + QStringLiteral(" 個のうち ")
        + QString::number(kept)
        + QStringLiteral(" 個を置き換えました。コピー元のファイルが壊された（暗号化された、書き換えられた）おそれが"
                         "あります。置き換える前のファイルは ")
        + QString::fromStdString(AddBackslash(destination)) + QString::fromUtf8(kVersionsFolder)
        + QStringLiteral(" に残してあります。");
}

QString estimateSummary(std::int32_t result, std::int32_t checked, std::int32_t toCopy, double needBytes)
{
    const QString figures = counts(checked, QStringLiteral(" コピー対象数： "), toCopy) + QStringLiteral(" 必要容量: ")
        + formatBytes(needBytes);
    if (result == 0)
        return QStringLiteral("コピー見積りが終了しました。") + figures;
    const QString ending = result == DiffCopy::kStopped
        ? QStringLiteral("コピー見積りを中断しました。")
        : QStringLiteral("エラーのため、コピー見積りを中止しました。エラーコード：") + QString::number(result);
    return ending + QStringLiteral("\r\n") + figures;
}

bool CopySession::recordsFolders(Mode mode, std::int32_t result)
{
    return mode == Mode::Copy ? result >= 0 : result <= 0;
}

CopySession::CopySession(RunFace& face, Threading threading)
    : face_(face)
{
    if (threading == Threading::OwnThread)
        relay_ = std::make_unique<RunRelay>(static_cast<RunFace&>(*this));
    engine_ = std::make_unique<DiffCopy>(
        relay_ ? static_cast<DiffCopyListener&>(*relay_) : static_cast<DiffCopyListener&>(*this));
}

CopySession::~CopySession()
{
    // A run still going ends before the engine it runs goes.
    if (relay_) {
        engine_->StopCopy();
        relay_.reset();
    }
}

void CopySession::start(const RunOrder& order, Mode mode, Histories* histories, EstimateRun* estimate, Ended ended)
{
    order_ = order;
    checked_ = 0;
    copied_ = 0;
    errors_ = 0;
    skipAll_ = false;
    if (mode == Mode::Estimate && !estimate) {
        // The room on the destination's volume cannot be told: nothing runs,
        // and the run counts as one that went through.
        finish(0, mode, histories, ended);
        return;
    }
    if (order.filterKind != FilterKind::None)
        engine_->SetExtFilter(static_cast<std::int32_t>(order.filterKind), order.filterList);
    else
        engine_->ResetExtFilter();
    estimating_ = mode == Mode::Estimate;
    estimate_ = estimate;
    engine_->SetSimulation(estimating_);
    // Named by the time the run begins; an estimate keeps nothing, but passes
    // over the source's versions folder as the copy would.
    keeping_ = keepReplaced.on;
    const Retention retention { keepReplaced.byRuns ? Retention::By::Runs : Retention::By::Days, keepReplaced.count };
    engine_->setKeepReplaced(keeping_ ? versionsRunName(std::time(nullptr)) : std::string(), retention);
    auto run = [this] {
        return engine_->CopyNews(order_.source, order_.destination, order_.toleranceSeconds, order_.subfolders);
    };
    if (!relay_) {
        finish(run(), mode, histories, ended);
        return;
    }
    if (estimate_)
        relay_->measureFiles(
            [this](const std::string& src, const std::string& dst) { return estimate_->measure(src, dst); },
            [this](const MeasuredFile& file) { estimate_->add(file); });
    relay_->start(run, [this, mode, histories, ended](std::int32_t result) { finish(result, mode, histories, ended); });
}

void CopySession::finish(std::int32_t result, Mode mode, Histories* histories, const Ended& ended)
{
    RunEnd end;
    end.result = result;
    end.checked = checked_;
    end.copied = copied_;
    end.errors = errors_;
    const RunProgress progress = engine_->progress();
    if (keeping_ && mode == Mode::Copy) {
        end.kept = progress.keptAside;
        end.massChange = massChange(progress.keptAside, progress.foundAtDestination);
        if (end.massChange)
            end.warning = massChangeWarning(progress.keptAside, progress.foundAtDestination, order_.destination);
    }
    if (mode == Mode::Copy)
        end.summary
            = copySummary(result, checked_, copied_, keeping_ ? std::optional<std::int64_t>(end.kept) : std::nullopt);
    else if (estimate_)
        end.summary = estimateSummary(result, checked_, copied_, estimate_->sums().dbNeedSum);
    else
        end.summary
            = QString::fromStdString(order_.destination) + QStringLiteral("の属するディスク容量が検査できません。");
    engine_->SetSimulation(false);
    estimating_ = false;
    estimate_ = nullptr;
    end.recorded = histories && recordsFolders(mode, result);
    if (end.recorded)
        histories->bAddHistory(QString::fromStdString(order_.source), QString::fromStdString(order_.destination));
    ended(end);
}

void CopySession::FileChecked(const std::string& pSrc, const std::string& pDst, const DateTime& dtFile, bool bCopied)
{
    ++checked_;
    copied_ += bCopied;
    face_.FileChecked(pSrc, pDst, dtFile, bCopied);
    // Through the relay the files are measured on the run's thread; here
    // the run's thread is this one.
    if (bCopied && estimate_ && !relay_)
        if (const std::optional<MeasuredFile> file = estimate_->measure(pSrc, pDst))
            estimate_->add(*file);
}

void CopySession::FolderSearching(const std::string& pPath)
{
    face_.FolderSearching(pPath);
}

void CopySession::FolderSearched(const std::string& pPath)
{
    face_.FolderSearched(pPath);
}

void CopySession::FolderAlreadyCopied(const std::string& pSrc, const std::string& firstDst)
{
    face_.FolderAlreadyCopied(pSrc, firstDst);
}

void CopySession::ErrorDetected(
    const std::string& strSrc, const std::string& strDst, const std::string& strErr, ErrorReply& nOp)
{
    // On the caller's thread the face answers before it returns; one that
    // does not has not answered, and the run stops.
    nOp = ErrorReply::Stop;
    ErrorDetected(strSrc, strDst, strErr, [&nOp](ErrorReply reply) { nOp = reply; });
}

void CopySession::ErrorDetected(
    const std::string& strSrc, const std::string& strDst, const std::string& strErr, Answer answer)
{
    ++errors_;
    if (skipAll_) {
        if (passedOver)
            passedOver(strSrc, strDst, strErr);
        answer(ErrorReply::SkipAll);
        return;
    }
    face_.ErrorDetected(strSrc, strDst, strErr, [this, answer = std::move(answer)](ErrorReply reply) {
        if (reply == ErrorReply::SkipAll)
            skipAll_ = true;
        answer(reply);
    });
}
