// The main window's handlers of the engine's events, which the run view
// shows, the copy-error dialog, and the list's commands.
#include "copiedlist.h"
#include "frmbase.h"
#include "frmerr.h"
#include "runview.h"
#include "util/qt/pathtext.h"
#include "util/ui/dialogs.h"
#include "util/ui/forms.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>

void frmBase::FileChecked(const std::string&, const std::string& pDst, const DateTime& dtFile, bool bCopied)
{
    runView_->fileChecked(pDst, dtFile, bCopied);
}

void frmBase::FolderSearching(const std::string& pPath)
{
    runView_->showStatus(fromPath(pPath) + QStringLiteral(" 以下のファイルを検索中です．．．"));
}

void frmBase::FolderSearched(const std::string& pPath)
{
    runView_->showStatus(fromPath(pPath) + QStringLiteral(" 以下のファイルを比較コピーします．．．"));
}

void frmBase::FolderAlreadyCopied(const std::string& pSrc, const std::string& firstDst)
{
    runView_->showStatus(fromPath(pSrc) + QStringLiteral(" は既に ") + fromPath(firstDst)
        + QStringLiteral(" へコピーしたため、たどりません"));
}

void frmBase::ErrorDetected(
    const std::string& strSrc, const std::string& strDst, const std::string& strErr, Answer answer)
{
    // Asked from the window's own event loop while the run waits. The dialog
    // is answered with the ordinary pointer; the run's busy pointer returns
    // afterwards.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    runView_->setAsking(true);
    frmErr* dialog = new frmErr(this);
    dialog->SetError(fromPath(strSrc), fromPath(strDst), QString::fromLocal8Bit(strErr.c_str()));
    openDialog(*dialog, [this, dialog, answer = std::move(answer)](int) {
        const ErrorReply reply = dialog->reply();
        QWidget* form = dialog;
        bUnloadForm(form);
        QApplication::restoreOverrideCursor();
        runView_->setAsking(false);
        answer(reply);
    });
}

void frmBase::mnuListSelAll_Click()
{
    BusyCursor busy;
    lstCopied->lines().flush();
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
