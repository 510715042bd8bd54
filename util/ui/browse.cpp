#include "browse.h"

#include "dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

QString BrowseForFolder(QWidget* owner, const QString& title, const QString& initial)
{
    QFileDialog dialog(owner, title, initial);
    dialog.setObjectName(QStringLiteral("BrowseForFolder"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (execDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return initial;
    return dialog.selectedFiles().constFirst();
}

void OpenWithShell(const QString& target)
{
    if (!target.isEmpty())
        QDesktopServices::openUrl(QUrl::fromUserInput(target));
}
