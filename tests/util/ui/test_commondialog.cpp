#include "tests/support/testsupport.h"
#include "util/ui/commondialog.h"
#include "util/ui/dialogs.h"
#include "util/ui/messagebox.h"

#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QRadioButton>
#include <QSpinBox>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

const QString kCopySets
    = QString::fromUtf8("Vestrelle設定ファイル\u3000(*.vstl)|*.vstl|すべてのファイル\u3000(*.*)|*.*|");

class CommonDialogTest : public ::testing::Test {
protected:
    CommonDialogTest()
    {
        // The dialogs' own questions (a file that must exist, a file to be
        // replaced) come through the program's message boxes.
        setMessageBoxAnswerer([this](const QString& text, int flags, const QString&) {
            questions.append(text);
            return (flags & MB_YESNO) ? reply : IDOK;
        });
    }
    void TearDown() override
    {
        setDialogAnswerer(nullptr);
        setMessageBoxAnswerer(nullptr);
    }

    template <typename Dialog, typename Answer> void answerWith(Answer answer)
    {
        setDialogAnswerer([answer](QDialog& shown) {
            auto* dialog = qobject_cast<Dialog*>(&shown);
            ASSERT_NE(dialog, nullptr) << shown.metaObject()->className();
            answer(*dialog);
        });
    }

    // The user selects file type TYPE (from 1; 0 keeps the preselected one), types NAME and confirms.
    void typeAndConfirm(int type, const QString& name)
    {
        answerWith<QFileDialog>([type, name](QFileDialog& dialog) {
            if (type > 0)
                dialog.selectNameFilter(dialog.nameFilters().at(type - 1));
            dialog.selectFile(name);
            static_cast<QDialog&>(dialog).accept();
        });
    }

    CommonDialog fileDialog(const QString& filter, int filterIndex, std::int32_t flags = 0) const
    {
        CommonDialog dialog;
        dialog.setFilter(filter);
        dialog.setFilterIndex(static_cast<std::int16_t>(filterIndex));
        dialog.setInitDir(path());
        dialog.setFlags(flags);
        return dialog;
    }

    QString path(const std::string& name = std::string()) const
    {
        return QFile::decodeName(QByteArray::fromStdString(name.empty() ? dir.path() : dir / name));
    }

    testsupport::TempDir dir;
    int reply = IDNO;
    QStringList questions;
};

} // namespace

TEST_F(CommonDialogTest, NameWithoutExtensionGetsTheSelectedTypesExtension)
{
    const QString allThenSets = QStringLiteral("All (*.*)|*.*|Copy sets|*.vstl|");
    const QString wildcards = QStringLiteral("Read-me files|readme.*|Backups|*.ba?|");
    const struct {
        QString filter;
        int filterIndex, typeChosen;
        QString expected, defaultExt = QString();
    } cases[] = {
        { allThenSets, 2, 0, QStringLiteral("name.vstl") },
        { allThenSets, 2, 1, QStringLiteral("name") },
        { QStringLiteral("Icons|*.ico;*.cur|"), 1, 0, QStringLiteral("name.ico") },
        { QStringLiteral("Sets| *.vstl |All|*.*|"), 7, 0, QStringLiteral("name.vstl") },
        { wildcards, 1, 0, QStringLiteral("name") },
        { wildcards, 2, 0, QStringLiteral("name") },
        { QString(), 1, 0, QStringLiteral("name") },
        // The caller's DefaultExt comes before the selected type's extension.
        { allThenSets, 2, 0, QStringLiteral("name.txt"), QStringLiteral("txt") },
    };
    for (const auto& c : cases) {
        for (const bool save : { false, true }) {
            SCOPED_TRACE(c.filter.toStdString() + " " + std::to_string(c.filterIndex) + (save ? " save" : " open"));
            CommonDialog dialog = fileDialog(c.filter, c.filterIndex);
            dialog.setDefaultExt(c.defaultExt);
            typeAndConfirm(c.typeChosen, QStringLiteral("name"));
            ASSERT_TRUE(save ? dialog.ShowSave() : dialog.ShowOpen());
            EXPECT_EQ(dialog.FileName(), path() + u'/' + c.expected);
            EXPECT_EQ(dialog.FileTitle(), c.expected);
        }
    }
}

TEST_F(CommonDialogTest, PresetNameWithAnExtensionIsKept)
{
    // Preselecting "*.vstl" in a save dialog must not rename the preset "data.txt".
    CommonDialog dialog = fileDialog(kCopySets, 1);
    dialog.setFileName(QStringLiteral("data.txt"));
    answerWith<QFileDialog>([](QDialog& shown) { shown.accept(); });
    ASSERT_TRUE(dialog.ShowSave());
    EXPECT_EQ(dialog.FileName(), path("data.txt"));
}

TEST_F(CommonDialogTest, CancelOrFailureLeavesFileNameAsItWas)
{
    CommonDialog dialog = fileDialog(kCopySets, 1);
    dialog.setFileName(QStringLiteral(" draft "));
    answerWith<QFileDialog>([](QDialog& shown) { shown.reject(); });
    EXPECT_FALSE(dialog.ShowOpen());
    EXPECT_EQ(dialog.FileName(), QStringLiteral(" draft "));
    EXPECT_EQ(dialog.FileTitle(), QString());

    typeAndConfirm(0, QStringLiteral("first"));
    ASSERT_TRUE(dialog.ShowSave());
    answerWith<QFileDialog>([](QFileDialog& shown) {
        shown.selectFile(QStringLiteral("second"));
        throw std::runtime_error("the dialog broke");
    });
    EXPECT_FALSE(dialog.ShowSave());
    EXPECT_EQ(dialog.FileName(), path("first.vstl"));
    EXPECT_EQ(dialog.FileTitle(), QStringLiteral("first.vstl"));
}

TEST_F(CommonDialogTest, PathsLongerThanMaxFileSizeComeBackWhole)
{
    const std::string deep = std::string(120, 'a') + "/" + std::string(120, 'b');
    testsupport::makeDirs(dir / deep);
    for (const std::int32_t size : { 0, 16 }) {
        CommonDialog dialog = fileDialog(kCopySets, 1);
        dialog.setInitDir(path(deep));
        dialog.setMaxFileSize(size);
        typeAndConfirm(0, QStringLiteral("name"));
        ASSERT_TRUE(dialog.ShowSave());
        EXPECT_EQ(dialog.FileName(), path(deep + "/name.vstl"));
    }
}

TEST_F(CommonDialogTest, MustExistAndOverwriteFlagsCheckTheCompletedName)
{
    testsupport::writeFile(dir / "set.vstl", "");
    // The user types NAME and confirms; the dialog is cancelled when it stays open.
    auto confirm = [this](bool save, std::int32_t flags, const char* name) {
        CommonDialog dialog = fileDialog(kCopySets, 1, flags);
        dialog.setDialogTitle(QStringLiteral("Pick"));
        answerWith<QFileDialog>([save, name](QFileDialog& shown) {
            EXPECT_EQ(
                shown.objectName(), save ? QStringLiteral("CommonDialogSave") : QStringLiteral("CommonDialogOpen"));
            EXPECT_EQ(shown.windowTitle(), QStringLiteral("Pick"));
            EXPECT_TRUE(shown.testOption(QFileDialog::DontUseNativeDialog) && !shown.parentWidget());
            shown.selectFile(QString::fromUtf8(name));
            static_cast<QDialog&>(shown).accept();
            if (shown.result() != QDialog::Accepted)
                static_cast<QDialog&>(shown).reject();
        });
        return (save ? dialog.ShowSave() : dialog.ShowOpen()) ? dialog.FileName() : QStringLiteral("cancelled");
    };
    // "set" does not exist, but "set.vstl", which is what comes back, does.
    EXPECT_EQ(confirm(false, OFN_FILEMUSTEXIST | OFN_EXPLORER, "set"), path("set.vstl"));
    EXPECT_EQ(confirm(false, 0, "missing"), path("missing.vstl"));
    EXPECT_EQ(questions.size(), 0);
    EXPECT_EQ(confirm(false, OFN_FILEMUSTEXIST, "missing"), QStringLiteral("cancelled"));
    EXPECT_EQ(questions.size(), 1);

    // Saving as "set" replaces "set.vstl": that is what the user is asked about.
    EXPECT_EQ(confirm(true, 0, "set"), path("set.vstl"));
    EXPECT_EQ(confirm(true, OFN_OVERWRITEPROMPT, "set"), QStringLiteral("cancelled"));
    ASSERT_EQ(questions.size(), 2);
    EXPECT_TRUE(questions.last().contains(QStringLiteral("set.vstl"))) << questions.last().toStdString();
    reply = IDYES;
    EXPECT_EQ(confirm(true, OFN_OVERWRITEPROMPT, "set"), path("set.vstl"));
}

TEST_F(CommonDialogTest, ColourRoundTripAndCustomColours)
{
    const QColor applicationColour = QColorDialog::customColor(0);
    QColorDialog::setCustomColor(0, Qt::yellow);
    QColor initial;
    std::vector<QColor> custom;
    auto choose = [&](CommonDialog& dialog, QColor colour, bool confirm) {
        answerWith<QColorDialog>([&, colour, confirm](QColorDialog& shown) {
            initial = shown.currentColor();
            custom.assign({ QColorDialog::customColor(0), QColorDialog::customColor(1), QColorDialog::customColor(2) });
            shown.setCurrentColor(colour);
            QColorDialog::setCustomColor(2, Qt::blue); // not kept
            confirm ? shown.accept() : shown.reject();
        });
        return dialog.ShowColor();
    };
    const QColor white = Qt::white;

    CommonDialog dialog;
    dialog.setColor(0x00336699);
    EXPECT_FALSE(choose(dialog, Qt::cyan, false));
    EXPECT_EQ(initial, QColor(0x99, 0x66, 0x33));
    EXPECT_EQ(custom, std::vector<QColor>({ white, white, white }));
    EXPECT_EQ(dialog.Color(), 0x00336699);
    EXPECT_EQ(dialog.Action(), 3);
    EXPECT_TRUE(choose(dialog, QColor(0x12, 0x34, 0x56), true));
    EXPECT_EQ(dialog.Color(), 0x00563412);
    EXPECT_TRUE(choose(dialog, Qt::red, true));
    EXPECT_FALSE(choose(dialog, Qt::green, false));
    EXPECT_EQ(custom, std::vector<QColor>({ QColor(0x12, 0x34, 0x56), Qt::red, white }));

    CommonDialog other;
    choose(other, Qt::green, false);
    EXPECT_EQ(custom, std::vector<QColor>({ white, white, white }));
    EXPECT_EQ(QColorDialog::customColor(0), QColor(Qt::yellow));
    QColorDialog::setCustomColor(0, applicationColour);
}

TEST_F(CommonDialogTest, FontRoundTrip)
{
    const QString family = QStringLiteral("DejaVu Sans"), plain = QStringLiteral("Book");
    if (!QFontDatabase::styles(family).contains(plain) || !QFontDatabase::styles(family).contains("Bold Oblique"))
        GTEST_SKIP() << "the DejaVu Sans fonts are not installed";

    CommonDialog dialog;
    dialog.setFontName(family);
    dialog.setFontSize(13);
    dialog.setFontBold(true);
    dialog.setFontItalic(true);
    dialog.setFontUnderline(true);
    QFont initial;
    answerWith<QFontDialog>([&](QFontDialog& shown) {
        initial = shown.currentFont();
        QFont chosen = QFontDatabase::font(family, plain, 17);
        chosen.setStrikeOut(true);
        shown.setCurrentFont(chosen);
        shown.accept();
    });
    ASSERT_TRUE(dialog.ShowFont());
    EXPECT_EQ(initial.family(), family);
    EXPECT_EQ(initial.pointSize(), 13);
    EXPECT_TRUE(initial.bold() && initial.italic() && initial.underline() && !initial.strikeOut());
    EXPECT_EQ(dialog.FontName(), family);
    EXPECT_EQ(dialog.FontSize(), 17);
    EXPECT_FALSE(dialog.FontBold() || dialog.FontItalic() || dialog.FontUnderline());
    EXPECT_TRUE(dialog.FontStrikethru());
    EXPECT_EQ(dialog.Action(), 4);
}

TEST_F(CommonDialogTest, PrinterRoundTrip)
{
    CommonDialog dialog;
    dialog.setFromPage(2);
    dialog.setToPage(5);
    dialog.setMin(1);
    dialog.setMax(9);
    dialog.setCopies(3);
    dialog.setFlags(PD_PAGENUMS);
    std::vector<int> seen;
    bool rangeChosen = false;
    answerWith<QDialog>([&](QDialog& shown) {
        EXPECT_EQ(shown.objectName(), QStringLiteral("CommonDialogPrinter"));
        shown.show(); // the print dialog takes its settings from the printer as it shows
        auto* from = shown.findChild<QSpinBox*>(QStringLiteral("from"));
        auto* to = shown.findChild<QSpinBox*>(QStringLiteral("to"));
        auto* copies = shown.findChild<QSpinBox*>(QStringLiteral("copies"));
        auto* range = shown.findChild<QRadioButton*>(QStringLiteral("printRange"));
        ASSERT_TRUE(from && to && copies && range);
        seen = { from->value(), to->value(), from->minimum(), from->maximum(), copies->value() };
        rangeChosen = range->isChecked();
        to->setValue(7);
        copies->setValue(4);
        shown.accept();
    });
    ASSERT_TRUE(dialog.ShowPrinter());
    EXPECT_EQ(seen, std::vector<int>({ 2, 5, 1, 9, 3 }));
    EXPECT_TRUE(rangeChosen);
    EXPECT_EQ(std::vector<int>({ dialog.FromPage(), dialog.ToPage(), dialog.Min(), dialog.Max(), dialog.Copies() }),
        std::vector<int>({ 2, 7, 1, 9, 4 }));
    EXPECT_EQ(dialog.Action(), 5);
}
