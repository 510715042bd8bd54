#include "dialogs.h"

#include "util/qvubind.h"

#include <QDir>
#include <QFile>
#include <utility>

namespace {

DialogAnswerer& answerer()
{
    static DialogAnswerer instance;
    return instance;
}

} // namespace

int execDialog(QDialog& dialog)
{
    // A copy, so that an answerer may replace itself while it answers.
    const DialogAnswerer answer = answerer();
    if (!answer)
        return dialog.exec();
    // As exec() does: a dialog that is closed without a choice reads as rejected.
    dialog.setResult(QDialog::Rejected);
    answer(dialog);
    return dialog.result();
}

void openDialog(QDialog& dialog, std::function<void(int result)> finished)
{
    const DialogAnswerer answer = answerer();
    if (answer) {
        dialog.setResult(QDialog::Rejected);
        answer(dialog);
        finished(dialog.result());
        return;
    }
    QObject::connect(&dialog, &QDialog::finished, &dialog, std::move(finished), Qt::SingleShotConnection);
    dialog.open();
}

void setDialogAnswerer(DialogAnswerer replacement)
{
    answerer() = std::move(replacement);
}

CurrentFolderKeeper::CurrentFolderKeeper()
    : folder_(QDir::currentPath())
{
}

CurrentFolderKeeper::~CurrentFolderKeeper()
{
    qvu::SetCurDir(QFile::encodeName(folder_).constData());
}
