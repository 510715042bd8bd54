// The main window's handlers of the engine's events: counters, status line,
// the list of copied files, and the copy-error dialog.
#include "copiedlist.h"
#include "dialogs.h"
#include "forms.h"
#include "frmbase.h"
#include "frmerr.h"
#include "twips.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>

namespace {

QString fromPath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace

void frmBase::FileChecked(const std::string&, const std::string& pDst, const DateTime& dtFile, bool bCopied)
{
    ++nCheckCount;
    lbCheckNum->setText(QString::number(nCheckCount));
    const QString dst = fromPath(pDst);
    lbCheckFile->setText(dst);
    if (!bCopied)
        return;

    ++nCopyCount;
    if (!bEstimating)
        lbCopyNum->setText(QString::number(nCopyCount));
    const QString line = QString::fromStdString(DateTimeText(dtFile)) + QLatin1Char(' ') + dst;
    lstCopied->lines().append(line);
    if (bBatch)
        writeLog(line);

    // The horizontal extent only grows, to the widest line so far.
    const int width = pixelsToTwipsX(QFontMetrics(font()).horizontalAdvance(line));
    if (nMaxTextWidth < width) {
        nMaxTextWidth = width;
        lstCopied->setHorizontalExtent(twipsToPixelsX(nMaxTextWidth));
    }
}

void frmBase::FolderSearching(const std::string& pPath)
{
    lbMsg->setText(fromPath(pPath) + QStringLiteral(" 以下のファイルを検索中です．．．"));
    lbMsg->repaint();
}

void frmBase::FolderSearched(const std::string& pPath)
{
    lbMsg->setText(fromPath(pPath) + QStringLiteral(" 以下のファイルを比較コピーします．．．"));
    lbMsg->repaint();
}

void frmBase::ErrorDetected(
    const std::string& strSrc, const std::string& strDst, const std::string& strErr, std::int32_t& nOp)
{
    const QString src = fromPath(strSrc);
    const QString dst = fromPath(strDst);
    const QString error = QString::fromLocal8Bit(strErr.c_str());
    if (bBatch) {
        writeLog(src + QStringLiteral(" -> ") + dst + QStringLiteral(" でエラーが発生。") + error);
        nOp = 4;
        return;
    }
    if (bSkipAll) {
        nOp = 4;
        return;
    }

    // The dialog is answered with the ordinary pointer; the run's busy
    // pointer returns afterwards.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    frmErr* dialog = new frmErr(this);
    dialog->SetError(src, dst, error);
    execDialog(*dialog);
    nOp = dialog->reply();
    bUnloadForm(dialog);
    if (nOp == 4)
        bSkipAll = true;
    QApplication::restoreOverrideCursor();
}

void frmBase::mnuListSelAll_Click()
{
    BusyCursor busy;
    lstCopied->selectAll();
}

void frmBase::mnuListSelClear_Click()
{
    BusyCursor busy;
    lstCopied->clearSelection();
}

void frmBase::mnuListCopy_Click()
{
    BusyCursor busy;
    QApplication::clipboard()->setText(lstCopied->selectedText());
}
