// Showing modal dialogs, with one seam through which tests answer them.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

// Shows DIALOG modally and returns QDialog::exec()'s result. While an
// answerer is set, the dialog is not shown: the answerer gets it, already
// filled, and answers it as a person would (for example by clicking one of
// its buttons); its result() is then returned.
int execDialog(QDialog& dialog);

// Shows DIALOG window-modal and returns at once, without an event loop of
// its own: FINISHED gets QDialog's result once the dialog is closed. While
// an answerer is set, it answers the dialog as for execDialog, and FINISHED
// is called before this returns.
void openDialog(QDialog& dialog, std::function<void(int result)> finished);

using DialogAnswerer = std::function<void(QDialog& dialog)>;
void setDialogAnswerer(DialogAnswerer answerer);

// Keeps the folder the process works in over a file dialog, which may change
// it while the user browses: relative paths (a batch log, for one) mean the
// same before and after the dialog.
class CurrentFolderKeeper {
public:
    CurrentFolderKeeper();
    ~CurrentFolderKeeper();
    CurrentFolderKeeper(const CurrentFolderKeeper&) = delete;
    CurrentFolderKeeper& operator=(const CurrentFolderKeeper&) = delete;

private:
    QString folder_;
};
