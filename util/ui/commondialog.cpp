#include "commondialog.h"

#include "dialogs.h"
#include "messagebox.h"
#include "util/paths.h"
#include "util/qt/pathtext.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFontInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

struct FilterPair {
    QString description;
    QString pattern;
};

// The description/pattern pairs of a Filter text. A description left
// without its pattern at the end is dropped.
std::vector<FilterPair> parseFilter(const QString& filter)
{
    QStringList items = filter.split(u'|');
    if (!items.isEmpty() && items.constLast().isEmpty())
        items.removeLast();
    std::vector<FilterPair> types;
    for (qsizetype i = 0; i + 1 < items.size(); i += 2)
        types.push_back({ items.at(i), items.at(i + 1) });
    return types;
}

// Qt takes the masks of a name filter from its last "(...)", separated by
// blanks, and with HideNameFilterDetails shows only the text before it, so
// the user sees the description as the caller wrote it. "*.*" means every
// file, as it does where these filters come from; to Qt it would mean only
// names with a dot.
QString qtNameFilter(const FilterPair& type)
{
    QStringList masks;
    for (const QString& mask : type.pattern.split(u';')) {
        const QString trimmed = mask.trimmed();
        if (!trimmed.isEmpty())
            masks.append(trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
    }
    if (masks.isEmpty())
        masks.append(QStringLiteral("*"));
    return type.description + QLatin1String(" (") + masks.join(u' ') + u')';
}

// The extension (".ico") that a name chosen without one gets from a file
// type: its first mask, when that is "*." and an extension without
// wildcards. "*.*", "*" or "readme.*" give none, so that no wildcard ever
// becomes part of a file name.
QString extensionFor(const FilterPair& type)
{
    const QString pattern = type.pattern.trimmed();
    const QString mask = pattern.left(pattern.indexOf(u';')).trimmed();
    if (!mask.startsWith(QLatin1String("*.")) || mask.size() < 3)
        return QString();
    const QString extension = mask.mid(1);
    for (const QChar wildcard : { u'*', u'?', u'[' }) {
        if (extension.contains(wildcard))
            return QString();
    }
    return extension;
}

// The open and save dialog. It completes a name typed without an extension
// before QFileDialog checks it, so that the must-exist check and the
// overwrite question are about the name that is returned.
class FileDialog : public QFileDialog {
public:
    FileDialog(const QString& title, const QString& folder, std::vector<FilterPair> types, const QString& defaultExt)
        : QFileDialog(nullptr, title, folder)
        , types_(std::move(types))
        , defaultExt_(defaultExt)
    {
        setOption(DontUseNativeDialog);
        setOption(HideNameFilterDetails);
        QStringList filters;
        for (const FilterPair& type : types_)
            filters.append(qtNameFilter(type));
        setNameFilters(filters);
        setDefaultSuffix(defaultExt_);
    }

    // Selects file type INDEX (from 1); out of range, the first stays selected.
    void selectType(int index)
    {
        if (index >= 1 && index <= static_cast<int>(types_.size()))
            selectNameFilter(qtNameFilter(types_[index - 1]));
    }

    // The extension of the file type selected in the dialog (".vstl"), or empty.
    QString selectedExtension() const
    {
        // Depending on the Qt version, selectedNameFilter() gives the whole
        // name filter or only the description shown. Descriptions that are
        // shown alike are alike to the user too: the first one counts.
        const QString selected = selectedNameFilter();
        for (const FilterPair& type : types_) {
            if (type.description.simplified() == selected || qtNameFilter(type).simplified() == selected)
                return extensionFor(type);
        }
        return QString();
    }

protected:
    void accept() override
    {
        // Without a DefaultExt of the caller's, the selected type's extension
        // is the default suffix; QFileDialog adds it to a name without a dot.
        if (defaultExt_.isEmpty())
            setDefaultSuffix(selectedExtension());
        // The must-exist refusal and the overwrite question are asked here,
        // through the program's message boxes, rather than by QFileDialog.
        const QStringList files = selectedFiles();
        const QFileInfo file(files.isEmpty() ? QString() : files.constFirst());
        if (files.isEmpty() || file.isDir()) {
            QFileDialog::accept(); // opens the folder
            return;
        }
        if (fileMode() == ExistingFile && !file.exists()) {
            nMessageBox(
                file.filePath() + QStringLiteral("\r\nファイルが見つかりません。ファイル名を確認してください。"),
                MB_ICONWARNING, windowTitle());
            return;
        }
        const bool confirmOverwrite = !testOption(DontConfirmOverwrite);
        if (acceptMode() == AcceptSave && confirmOverwrite && file.exists()
            && nMessageBox(file.filePath() + QStringLiteral(" は既に存在します。\r\n上書きしますか?"),
                   MB_YESNO | MB_ICONWARNING, windowTitle())
                != IDYES)
            return;
        setOption(DontConfirmOverwrite, true);
        QFileDialog::accept();
        setOption(DontConfirmOverwrite, !confirmOverwrite);
    }

private:
    std::vector<FilterPair> types_;
    QString defaultExt_;
};

QColor toQColor(std::int32_t bgr)
{
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

std::int32_t toBgr(const QColor& color)
{
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

// QColorDialog's custom colours belong to the whole application. This puts
// one instance's colours there for as long as it lives and then the previous
// ones back, so that instances do not see each other's colours and changes
// made in the dialog are dropped.
class CustomColorsInUse {
public:
    explicit CustomColorsInUse(const std::array<std::int32_t, 16>& colors)
    {
        const int count = std::min(QColorDialog::customCount(), static_cast<int>(colors.size()));
        for (int i = 0; i < count; ++i) {
            saved_.push_back(QColorDialog::customColor(i));
            QColorDialog::setCustomColor(i, toQColor(colors[i]));
        }
    }
    ~CustomColorsInUse()
    {
        for (std::size_t i = 0; i < saved_.size(); ++i)
            QColorDialog::setCustomColor(static_cast<int>(i), saved_[i]);
    }
    CustomColorsInUse(const CustomColorsInUse&) = delete;
    CustomColorsInUse& operator=(const CustomColorsInUse&) = delete;

private:
    std::vector<QColor> saved_;
};

// Page numbers and copies travel as 16-bit unsigned numbers.
int toWord(std::int32_t value)
{
    return std::clamp<std::int32_t>(value, 0, 0xFFFF);
}

} // namespace

bool CommonDialog::ShowOpen()
{
    return showFileDialog(false);
}

bool CommonDialog::ShowSave()
{
    return showFileDialog(true);
}

bool CommonDialog::showFileDialog(bool save)
{
    try {
        FileDialog dialog(DialogTitle_, InitDir_, parseFilter(Filter_), DefaultExt_);
        dialog.setObjectName(save ? QStringLiteral("CommonDialogSave") : QStringLiteral("CommonDialogOpen"));
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(!save && (flags_ & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !(flags_ & OFN_OVERWRITEPROMPT));
        // The type before the name: in a save dialog, selecting a type
        // replaces the extension of the name already typed.
        dialog.selectType(FilterIndex_);
        dialog.selectFile(FileName_);
        if (execDialog(dialog) != QDialog::Accepted)
            return false;
        const QStringList chosen = dialog.selectedFiles();
        if (chosen.isEmpty())
            return false;
        // The dialog has completed a name without a dot already; this also
        // covers a name that ends in one.
        std::string path = toPath(chosen.constFirst());
        if (ExtensionOf(path).empty())
            path += toPath(dialog.selectedExtension());
        FileName_ = fromPath(path);
        FileTitle_ = fromPath(FileNamePart(path));
        return true;
    } catch (...) {
        return false;
    }
}

bool CommonDialog::ShowColor()
{
    try {
        const CustomColorsInUse customColors(customColors_);
        QColorDialog dialog;
        dialog.setObjectName(QStringLiteral("CommonDialogColor"));
        dialog.setOption(QColorDialog::DontUseNativeDialog);
        dialog.setCurrentColor(toQColor(Color_));
        const bool confirmed = execDialog(dialog) == QDialog::Accepted;
        Action_ = 3;
        if (!confirmed)
            return false;
        Color_ = toBgr(dialog.currentColor());
        const auto white = std::find(customColors_.begin(), customColors_.end(), kWhite);
        if (white != customColors_.end())
            *white = Color_;
        return true;
    } catch (...) {
        return false;
    }
}

bool CommonDialog::ShowFont()
{
    try {
        QFont initial;
        if (!FontName_.isEmpty())
            initial.setFamily(FontName_);
        if (FontSize_ > 0)
            initial.setPointSize(FontSize_);
        initial.setBold(FontBold_);
        initial.setItalic(FontItalic_);
        initial.setUnderline(FontUnderline_);
        initial.setStrikeOut(FontStrikethru_);
        QFontDialog dialog;
        dialog.setObjectName(QStringLiteral("CommonDialogFont"));
        dialog.setOption(QFontDialog::DontUseNativeDialog);
        dialog.setCurrentFont(initial);
        const bool confirmed = execDialog(dialog) == QDialog::Accepted;
        Action_ = 4;
        if (!confirmed)
            return false;
        const QFont chosen = dialog.currentFont();
        const double points = chosen.pointSizeF() > 0 ? chosen.pointSizeF() : QFontInfo(chosen).pointSizeF();
        FontName_ = chosen.family();
        FontSize_ = qRound(points);
        FontBold_ = chosen.weight() >= QFont::Bold;
        FontItalic_ = chosen.italic();
        FontUnderline_ = chosen.underline();
        FontStrikethru_ = chosen.strikeOut();
        return true;
    } catch (...) {
        return false;
    }
}

bool CommonDialog::ShowPrinter()
{
    try {
        QPrinter printer;
        const int fromPage = toWord(FromPage_);
        printer.setFromTo(fromPage, std::max(fromPage, toWord(ToPage_)));
        printer.setCopyCount(std::max(1, toWord(Copies_)));
        QPrintDialog dialog(&printer);
        dialog.setObjectName(QStringLiteral("CommonDialogPrinter"));
        const int minPage = toWord(Min_);
        dialog.setMinMax(minPage, std::max(minPage, toWord(Max_)));
        if (flags_ & PD_NOPAGENUMS)
            dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
        else if (flags_ & PD_PAGENUMS)
            dialog.setPrintRange(QAbstractPrintDialog::PageRange);
        const bool confirmed = execDialog(dialog) == QDialog::Accepted;
        Action_ = 5;
        if (!confirmed)
            return false;
        if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
            FromPage_ = printer.fromPage();
            ToPage_ = printer.toPage();
        }
        Min_ = dialog.minPage();
        Max_ = dialog.maxPage();
        Copies_ = printer.copyCount();
        return true;
    } catch (...) {
        return false;
    }
}
