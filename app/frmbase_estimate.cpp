// The capacity estimate: a simulated run over the job that adds up the room
// the files to copy will take on the destination volume, shown in frmEst.
#include "frmbase.h"
#include "frmest.h"
#include "textlabel.h"
#include "util/paths.h"
#include "util/qt/pathtext.h"
#include "util/qvubind.h"
#include "util/ui/messagebox.h"

#include <QApplication>
#include <sys/statvfs.h>

namespace {

// The allocation unit of the volume whose mount point is ROOT; -1 when it
// cannot be read or does not fit.
std::int32_t clusterBytesOf(const std::string& root)
{
    struct statvfs volume { };
    if (statvfs(root.c_str(), &volume) != 0 || volume.f_frsize == 0 || volume.f_frsize > INT32_MAX)
        return -1;
    return static_cast<std::int32_t>(volume.f_frsize);
}

} // namespace

void frmBase::btnEst_Click()
{
    const std::optional<RunOrder> order = beginRun();
    if (!order)
        return;
    const QString source = QString::fromStdString(order->source);
    const QString destination = QString::fromStdString(order->destination);

    QApplication::setOverrideCursor(Qt::WaitCursor);
    ResetRunDisplay(false);
    const std::string root = RootOfPath(order->destination);
    double freeBytes = 0;
    double totalBytes = 0;
    const bool spaceRead = !root.empty() && qvu::DiskSpace(root.c_str(), freeBytes, totalBytes);
    std::int32_t result = 0;
    if (spaceRead) {
        if (!estimateWindow) {
            estimateWindow = new frmEst([this] { StopEstimate(); });
            estimateWindow->setHoldWhileAsking([relay = relay_.get()](bool hold) {
                if (hold)
                    relay->hold();
                else
                    relay->release();
            });
        }
        estimateWindow->SetFreeTotal(destination, freeBytes, totalBytes);
        nClusterBytes = clusterBytesOf(root);
        estimateWindow->SetClusterBytes(nClusterBytes);
        estimateWindow->show();
        cpMan->SetSimulation(true);
        estimateSums_ = std::make_unique<EstimateSums>(nClusterBytes);
        dstKeepsHoles_ = keepsHoles(root);
        dbCopySum = 0;
        dbExistSum = 0;
        dbNeedSum = 0;
        bEstimating = true;
        relay_->measureFiles(
            [this](const std::string& pSrc, const std::string& pDst) { return measureFile(pSrc, pDst); },
            [this](const MeasuredFile& file) { estimateFile(file); });
        result = runEngine(*order);
        showProgress(); // the estimate window keeps the final figures
        bEstimating = false;
        cpMan->SetSimulation(false);
    } else {
        nShowMessage(destination + QStringLiteral("の属するディスク容量が検査できません。"), MB_ICONERROR, kCaption);
    }

    if (!endRun())
        return;
    if (result <= 0)
        histories->bAddHistory(source, destination);
    const QString counts = QStringLiteral("検査ファイル数： ") + QString::number(nCheckCount)
        + QStringLiteral(" コピー対象数： ") + QString::number(nCopyCount) + QStringLiteral(" 必要容量: ")
        + formatBytes(dbNeedSum);
    if (spaceRead && result != 0) {
        const QString ending = result == DiffCopy::kStopped
            ? QStringLiteral("コピー見積りを中断しました。")
            : QStringLiteral("エラーのため、コピー見積りを中止しました。エラーコード：") + QString::number(result);
        tellRunEnded(ending + QStringLiteral("\r\n") + counts);
    } else if (spaceRead) {
        // The estimate window shows the result; the desktop hears of it all the same.
        tellDesktopIfUnseen(QStringLiteral("コピー見積りが終了しました。") + counts);
    }
    if (estimateWindow)
        estimateWindow->SetState(1);
}

void frmBase::StopEstimate()
{
    cpMan->StopCopy();
}

std::optional<MeasuredFile> frmBase::measureFile(const std::string& pSrc, const std::string& pDst) const
{
    // A sparse source takes its full length where the destination fills its holes in.
    const std::optional<double> srcBytes = bytesToCopy(pSrc, dstKeepsHoles_);
    if (!srcBytes)
        return std::nullopt;
    MeasuredFile file { *srcBytes, std::nullopt };
    double dstBytes = 0;
    if (qvu::FileSize(pDst.c_str(), dstBytes))
        file.dstBytes = dstBytes;
    return file;
}

void frmBase::estimateFile(const MeasuredFile& file)
{
    if (!estimateSums_)
        return;
    const bool replaces = file.dstBytes.has_value();
    estimateSums_->addFile(file.srcBytes, file.dstBytes);
    dbCopySum = estimateSums_->dbCopySum;
    dbExistSum = estimateSums_->dbExistSum;
    dbNeedSum = estimateSums_->dbNeedSum;
    if (!estimateWindow)
        return;
    estimateWindow->UpdateToCopy(dbCopySum);
    if (replaces)
        estimateWindow->UpdateExist(dbExistSum);
    estimateWindow->updatePeak(estimateSums_->peakSum);
    // Last: it lets the window work, and the estimate window may be closed then.
    estimateWindow->UpdateNeed(dbNeedSum);
}
