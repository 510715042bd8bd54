// Copy-set files: the job the controls show, written to a .vstl file and read
// back into the controls, and the File menu that drives both.
#include "backgroundview.h"
#include "frmbase.h"
#include "mainmenu.h"
#include "run/commandline.h"
#include "settings/copyset.h"
#include "settings/store/histories.h"
#include "textlabel.h"
#include "util/convert.h"
#include "util/qt/pathtext.h"
#include "util/ui/commondialog.h"
#include "util/ui/dialogs.h"
#include "util/ui/messagebox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSaveFile>

CopyJob frmBase::job() const
{
    CopyJob job;
    job.source = cmbSrc->currentText().toStdString();
    job.destination = cmbDst->currentText().toStdString();
    job.subfolders = chkSubDir->isChecked();
    job.tolerate = chkIgn->isChecked();
    job.tolerance = editIgn->text().toStdString();
    job.makeFolder = chkMakeDir->isChecked();
    job.filtered = chkFilter->isChecked();
    job.filterKind = nExtFilterKind;
    job.filterKindCaption = lbFilterKind->text().toStdString();
    job.filterList = strExtFilter.toStdString();
    job.gradation = background_->nGradation;
    job.picture = background_->strBGPicture.toStdString();
    job.labelColor = background_->nLabelColor;
    job.keep = keepReplaced_;
    job.keep.on = menu_->mnuOptKeep->isChecked();
    return job;
}

bool frmBase::bSaveCopySet(const QString& strPath)
{
    const CopyJob current = job();
    // A folder text with a CR or TAB would not read back as it was (a CR
    // would even start a line of its own).
    if (!copyJobStorable(current))
        return false;
    const std::string bytes = formatCopySet(current);

    // Written beside the old file and renamed over it only when complete: a
    // full disk must not cost the user the copy set they had.
    QSaveFile file(strPath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool frmBase::bLoadCopySet(const QString& strPath)
{
    const std::optional<std::string> bytes = readCopySetFile(toPath(strPath));
    if (!bytes)
        return false;
    for (const std::vector<std::string>& fields : readCopySetLines(*bytes))
        bApplyCopySetLine(fields);
    ApplyBackground();
    return true;
}

bool frmBase::bApplyCopySetLine(const std::vector<std::string>& fields)
{
    if (fields.size() < 2)
        return false;
    const std::string& name = fields[0];
    if (name == ";" || name == "'")
        return true;
    if (name == "reg") {
        if (fields.size() < 3)
            return false;
        const std::string& value = fields[2];
        if (fields[1] == "Gradation")
            background_->nGradation = static_cast<std::int32_t>(dbToLong(value));
        else if (fields[1] == "BGPicture")
            background_->strBGPicture = QString::fromStdString(value);
        else if (fields[1] == "LabelColor")
            background_->nLabelColor = static_cast<std::int32_t>(dbToLong(value));
        else if (fields[1] == kKeepReplacedSetting) {
            keepReplaced_ = keepReplacedOf(fields, keepReplaced_);
            menu_->mnuOptKeep->setChecked(keepReplaced_.on);
        }
        return true;
    }

    const QString controlName = QString::fromStdString(name);
    QObject* control = nullptr;
    for (QObject* candidate : findChildren<QObject*>()) {
        if (candidate->objectName().compare(controlName, Qt::CaseInsensitive) == 0) {
            control = candidate;
            break;
        }
    }
    if (!control)
        return false;

    // The control's kind is told by the first two letters of its own name.
    // The values go through the controls' own change handling, as if typed.
    const QString value = QString::fromStdString(fields[1]);
    const QString prefix = control->objectName().left(2);
    if (prefix == QLatin1String("cm")) {
        if (auto* combo = qobject_cast<QComboBox*>(control)) {
            combo->setEditText(value);
            return true;
        }
    } else if (prefix == QLatin1String("ch")) {
        if (auto* box = qobject_cast<QCheckBox*>(control)) {
            box->setChecked(dbToLong(fields[1]) != 0);
            return true;
        }
    } else if (prefix == QLatin1String("ed")) {
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            edit->setText(value);
            return true;
        }
    } else if (prefix == QLatin1String("lb")) {
        if (auto* label = qobject_cast<QLabel*>(control))
            label->setText(value);
        else if (auto* textLabel = qobject_cast<TextLabel*>(control))
            textLabel->setText(value);
        else
            return false;
        if (control == lbFilterKind)
            nExtFilterKind = filterKindOfCaption(value.toStdString());
        else if (control == lbFilter)
            strExtFilter = value;
        return true;
    }
    return false;
}

namespace {

const QString kCopySetFilter = QStringLiteral("Vestrelle設定ファイル　(*.vstl)|*.vstl|すべてのファイル　(*.*)|*.*|");

} // namespace

void frmBase::mnuFileOpen_Click()
{
    CurrentFolderKeeper folder;
    CommonDialog dialog;
    dialog.setFilter(kCopySetFilter);
    dialog.setFilterIndex(1);
    dialog.setFlags(OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER | OFN_ENABLESIZING);
    setEnabled(false);
    const bool chosen = dialog.ShowOpen();
    setEnabled(true);
    if (!chosen)
        return;
    openCopySet(dialog.FileName());
}

void frmBase::openCopySet(const QString& strPath)
{
    strSetFile = strPath;
    if (bLoadCopySet(strSetFile)) {
        menu_->mnuFileSave->setEnabled(true);
        histories->bAddMRU(strSetFile);
    }
}

void frmBase::tellUnreadable(const QString& strPath)
{
    nShowMessage(copySetUnreadableText(strPath), MB_ICONERROR, kCaption);
}

void frmBase::mnuFileSave_Click()
{
    showSaveResult(bSaveCopySet(strSetFile));
}

void frmBase::mnuFileSaveAs_Click()
{
    CurrentFolderKeeper folder;
    CommonDialog dialog;
    dialog.setFileName(strSetFile);
    dialog.setFilter(kCopySetFilter);
    dialog.setFilterIndex(1);
    dialog.setFlags(OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR | OFN_EXPLORER | OFN_ENABLESIZING);
    setEnabled(false);
    const bool chosen = dialog.ShowSave();
    setEnabled(true);
    if (!chosen)
        return;
    strSetFile = dialog.FileName();
    const bool saved = bSaveCopySet(strSetFile);
    if (saved) {
        menu_->mnuFileSave->setEnabled(true);
        histories->bAddMRU(strSetFile);
    }
    showSaveResult(saved);
}

void frmBase::mnuFileMRU_Click(int index)
{
    // The entry's path (its caption doubles any "&").
    if (index < 0 || index >= histories->mru().size())
        return;
    openCopySet(histories->mru()[index]);
}

void frmBase::showSaveResult(bool saved)
{
    if (saved)
        nShowMessage(
            QStringLiteral("現在の設定を ") + strSetFile + QStringLiteral("に保存しました。"), MB_OK, kCaption);
    else
        nShowMessage(QStringLiteral("現在の設定を ") + strSetFile + QStringLiteral("に保存できませんでした。"),
            MB_ICONERROR, kCaption);
}
