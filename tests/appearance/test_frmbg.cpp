#include "appearance/background.h"
#include "appearance/frmbg.h"
#include "util/ui/dialogs.h"
#include "util/ui/messagebox.h"

#include <QApplication>
#include <QColorDialog>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

const QString kNoSwatch = QStringLiteral("表示する背景をクリックして選択して下さい。");
const QString kNoPicture = QStringLiteral("表示する画像を指定して下さい。");
const QString kBadPicture = QStringLiteral("指定画像は扱えません。");
const QString kBadColor = QStringLiteral("ラベルの色には 0 から FFFFFF までの16進数を入力して下さい。");
constexpr std::int32_t kPaleYellow = 0x00B4FFFF; // RGB(255, 255, 180)

void click(QWidget* target)
{
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    for (const auto type : { QEvent::MouseButtonPress, QEvent::MouseButtonRelease }) {
        QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton,
            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    }
}

void pressKey(QWidget* target, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(target, &press);
}

// The swatches as one text: "H" highlighted, "-" button face, "?" anything else.
QString swatches(const frmBG& dialog)
{
    const QColor highlight = dialog.palette().color(QPalette::Active, QPalette::Highlight);
    const QColor face = dialog.palette().color(QPalette::Active, QPalette::Button);
    QString text;
    for (const QFrame* swatch : dialog.picBox) {
        const QColor color = swatch->palette().color(QPalette::Window);
        text += color == highlight ? u'H' : color == face ? u'-' : u'?';
    }
    return text;
}

QString components(const frmBG& dialog)
{
    return dialog.editLabel[0]->text() + u',' + dialog.editLabel[1]->text() + u',' + dialog.editLabel[2]->text();
}

// Every message box is answered with OK and its text recorded; they are all
// plain boxes with the dialog's caption.
class BackgroundDialogTest : public ::testing::Test {
protected:
    BackgroundDialogTest()
    {
        setMessageBoxAnswerer([this](const QString& text, int flags, const QString& title) {
            EXPECT_EQ(flags, MB_OK);
            EXPECT_EQ(title, QStringLiteral("背景選択"));
            messages.append(text);
            return IDOK;
        });
    }
    ~BackgroundDialogTest() override
    {
        setMessageBoxAnswerer(nullptr);
        setDialogAnswerer(nullptr);
    }

    QString file(const QString& name, const QByteArray& content) const
    {
        QFile out(dir.filePath(name));
        EXPECT_TRUE(out.open(QFile::WriteOnly));
        out.write(content);
        return out.fileName();
    }
    QString picture(const QString& name) const
    {
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        EXPECT_TRUE(image.save(dir.filePath(name)));
        return dir.filePath(name);
    }
    // Clicks OK on a dialog that must refuse; the one message shown.
    QString refusal(frmBG& dialog)
    {
        messages.clear();
        dialog.btnOK->setFocus();
        dialog.btnOK->click();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QString());
        return messages.size() == 1 ? messages[0] : QStringLiteral("%1 messages").arg(messages.size());
    }

    QTemporaryDir dir;
    QStringList messages;
};

} // namespace

TEST_F(BackgroundDialogTest, GetBGSettingGivesTheChosenKindWithPathAndColour)
{
    // Kinds outside -1..9 all mean an own picture.
    const std::array<std::array<int, 3>, 7> cases { { { -1, 0, -1 }, { 0, 1, 0 }, { 1, 2, 1 }, { 9, 2, 9 },
        { 100, 3, 100 }, { 10, 3, 100 }, { -2, 3, 100 } } };
    for (const auto& [kind, option, chosen] : cases) {
        frmBG dialog;
        dialog.DispBGSetting(kind, QStringLiteral("  /pictures/sea 1.png  "), kPaleYellow);
        EXPECT_TRUE(dialog.optKInd[option]->isChecked()) << kind;
        QString path;
        std::int32_t color = 0;
        EXPECT_EQ(dialog.GetBGSetting(path, color), chosen) << kind;
        // The path and the colour come back whatever the kind.
        EXPECT_EQ(path, QStringLiteral("/pictures/sea 1.png"));
        EXPECT_EQ(color, kPaleYellow);
    }

    // No option chosen: an own picture.
    QString path;
    std::int32_t color = 0;
    EXPECT_EQ(frmBG().GetBGSetting(path, color), 100);
}

TEST_F(BackgroundDialogTest, SwatchesFollowTheKindAndTheClicks)
{
    frmBG dialog;
    EXPECT_FALSE(dialog.picBox[0]->isEnabled() || dialog.editPath->isEnabled() || dialog.editRGB->isEnabled());
    dialog.DispBGSetting(4, QString(), 0);
    dialog.show();
    EXPECT_EQ(swatches(dialog), QStringLiteral("---H-----"));
    EXPECT_EQ(dialog.lbPic[3]->text(), QStringLiteral("10-12時"));
    EXPECT_TRUE(dialog.picBox[8]->isEnabled() && dialog.editLabel[2]->isEnabled() && dialog.btnColor->isEnabled());
    EXPECT_FALSE(dialog.editPath->isEnabled() || dialog.btnPath->isEnabled());

    click(dialog.picBox[6]);
    click(dialog.picBox[6]);
    EXPECT_EQ(dialog.nSelectedBG, 7);
    EXPECT_EQ(swatches(dialog), QStringLiteral("------H--"));

    // Other kinds disable the swatches and keep the choice for later.
    dialog.optKInd[0]->setChecked(true);
    EXPECT_EQ(swatches(dialog), QStringLiteral("---------"));
    EXPECT_FALSE(dialog.picBox[0]->isEnabled() || dialog.editPath->isEnabled() || dialog.editRGB->isEnabled());
    click(dialog.picBox[2]);
    EXPECT_EQ(dialog.nSelectedBG, 7);
    dialog.optKInd[3]->setChecked(true);
    EXPECT_TRUE(dialog.editPath->isEnabled() && dialog.btnPath->isEnabled() && dialog.editRGB->isEnabled());
    dialog.optKInd[2]->setChecked(true);
    EXPECT_EQ(swatches(dialog), QStringLiteral("------H--"));

    // Filling the dialog again moves the highlight rather than adding one.
    dialog.DispBGSetting(2, QString(), 0);
    EXPECT_EQ(swatches(dialog), QStringLiteral("-H-------"));
}

TEST_F(BackgroundDialogTest, TheComponentsRewriteTheHexadecimalText)
{
    frmBG dialog;
    dialog.DispBGSetting(2, QString(), kPaleYellow);
    EXPECT_EQ(dialog.editRGB->text() + u' ' + components(dialog), QStringLiteral("B4FFFF 255,255,180"));
    // A stored value is shown whole, high bits too, and comes back unchanged.
    const std::pair<std::uint32_t, QString> stored[] = {
        { 0x800000FFu, "800000FF 255,0,0" },
        { 0xFFFFFFFFu, "FFFFFFFF 255,255,255" },
        { 0x80000012u, "80000012 18,0,0" },
    };
    for (const auto& [value, shown] : stored) {
        dialog.ShowLabelColor(static_cast<std::int32_t>(value));
        EXPECT_EQ(dialog.editRGB->text() + u' ' + components(dialog), shown);
        QString path;
        std::int32_t color = 0;
        dialog.GetBGSetting(path, color);
        EXPECT_EQ(static_cast<std::uint32_t>(color), value) << shown.toStdString();
    }
    // A system colour is drawn in the desktop's colour of that name, not as
    // the dark red its low byte would make.
    const QPalette palette = QApplication::palette();
    EXPECT_EQ(
        rgbOfColorValue(static_cast<std::int32_t>(0x80000012u), palette), palette.color(QPalette::ButtonText).rgb());
    EXPECT_EQ(rgbOfColorValue(-1, palette), qRgb(255, 255, 255));

    // Not numeric counts as 0, negative as 0, beyond 255 (also beyond the
    // 32-bit range) as 255; fractions round halves to even.
    const std::pair<QStringList, QString> cases[] = {
        { { "300", "0", "0" }, "FF" },
        { { "abc", "", "7" }, "70000" },
        { { "-5", "70000", "1e12" }, "FFFF00" },
        { { " 12 ", "254.5", "0.5" }, "FE0C" },
    };
    for (const auto& [texts, hex] : cases) {
        for (int i = 0; i < 3; ++i)
            dialog.editLabel[i]->setText(texts[i]);
        EXPECT_EQ(dialog.editRGB->text(), hex) << texts.join(u',').toStdString();
    }

    // A typed hexadecimal text leaves the components alone, and it counts.
    dialog.ShowLabelColor(kPaleYellow);
    const std::pair<QString, std::int32_t> typed[] = { { "b4ff", 0xB4FF }, { " 0000FF ", 0xFF }, { "", 0 } };
    for (const auto& [text, value] : typed) {
        dialog.editRGB->setText(text);
        QString path;
        std::int32_t color = -1;
        dialog.GetBGSetting(path, color);
        EXPECT_EQ(color, value) << text.toStdString();
    }
    EXPECT_EQ(components(dialog), QStringLiteral("255,255,180"));
}

TEST_F(BackgroundDialogTest, OKRefusesAnIncompleteChoice)
{
    frmBG dialog;
    dialog.DispBGSetting(-1, QString(), 0x123456);
    dialog.show();
    dialog.optKInd[2]->setChecked(true);
    EXPECT_EQ(refusal(dialog), kNoSwatch);

    dialog.optKInd[3]->setChecked(true);
    // Empty or blank; missing, not a picture, a folder, a metafile (not readable here).
    for (const QString& path : { QString(), QStringLiteral("   "), dir.filePath("missing.png"),
             file("notes.jpg", "not a picture"), dir.path(), file("drawing.wmf", "\xd7\xcd\xc6\x9a") }) {
        dialog.editPath->setText(path);
        EXPECT_EQ(refusal(dialog), path.trimmed().isEmpty() ? kNoPicture : kBadPicture) << path.toStdString();
        EXPECT_EQ(dialog.focusWidget(), dialog.editPath);
    }

    dialog.editPath->setText(QStringLiteral(" ") + picture("sea.png"));
    for (const QString text : { "12G4", "100000000", "0x12", "-1", "&HFF", "\uFF11" }) {
        dialog.editRGB->setText(text);
        EXPECT_EQ(refusal(dialog), kBadColor) << text.toStdString();
        EXPECT_EQ(dialog.focusWidget(), dialog.editRGB);
        EXPECT_EQ(dialog.editRGB->selectedText(), text);
    }
    // The colour chooser does not open on such a text either.
    bool opened = false;
    setDialogAnswerer([&opened](QDialog&) { opened = true; });
    dialog.btnColor->click();
    EXPECT_FALSE(opened);
    EXPECT_EQ(messages.size(), 2);

    // Without a background the label colour is unused: the dialog closes and
    // the colour it was given comes back.
    messages.clear();
    dialog.optKInd[1]->setChecked(true);
    dialog.btnOK->click();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(dialog.result(), QStringLiteral("OK"));
    QString path;
    std::int32_t color = 0;
    EXPECT_EQ(dialog.GetBGSetting(path, color), 0);
    EXPECT_EQ(color, 0x123456);

    // An own picture that loads is taken; the trial load leaves nothing behind.
    dialog.show();
    dialog.optKInd[3]->setChecked(true);
    dialog.editRGB->setText(QStringLiteral("FF"));
    dialog.btnOK->click();
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.imgCheck->pixmap().isNull());
}

TEST_F(BackgroundDialogTest, EnterWalksThroughTheColourBoxesAndNeverConfirms)
{
    frmBG dialog;
    dialog.DispBGSetting(3, QString(), kPaleYellow);
    dialog.show();
    // Focus arrives (and selects) only in the active window.
    dialog.activateWindow();
    QCoreApplication::processEvents();
    ASSERT_TRUE(dialog.isActiveWindow());
    dialog.editRGB->setFocus();
    pressKey(dialog.editRGB, Qt::Key_Return);
    EXPECT_EQ(dialog.focusWidget(), dialog.editLabel[0]);
    EXPECT_EQ(dialog.editLabel[0]->selectedText(), QStringLiteral("255"));
    pressKey(dialog.editLabel[0], Qt::Key_Return);
    pressKey(dialog.editLabel[1], Qt::Key_Enter);
    EXPECT_EQ(dialog.focusWidget(), dialog.editLabel[2]);
    EXPECT_EQ(dialog.editLabel[2]->selectedText(), QStringLiteral("180"));
    pressKey(dialog.editLabel[2], Qt::Key_Return);
    EXPECT_EQ(dialog.focusWidget(), dialog.editLabel[2]);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(BackgroundDialogTest, TheChoosersStartFromTheDialogAndFillItIn)
{
    frmBG dialog;
    dialog.DispBGSetting(100, QString(), kPaleYellow);
    dialog.show();

    // The picture chooser preselects the type of the path's extension, never "all files".
    QStringList types;
    int type = 0;
    bool windowEnabled = true;
    setDialogAnswerer([&](QDialog& shown) {
        auto& chooser = dynamic_cast<QFileDialog&>(shown);
        types = chooser.nameFilters();
        // Depending on the Qt version the selected type comes whole or as its description.
        const QString selected = chooser.selectedNameFilter();
        for (int i = 0; i < types.size(); ++i)
            type = types[i] == selected || types[i].startsWith(selected + u' ') ? i + 1 : type;
        windowEnabled = dialog.isEnabled();
        shown.reject();
    });
    const std::pair<QString, int> cases[] = { { "", 1 }, { "/p/a.JPEG", 1 }, { "/p/a.DIB", 2 }, { "/p/a.emf", 3 },
        { "/p/a.Cur", 4 }, { "/p/a.gif", 5 }, { "/p.gif/a", 1 } };
    for (const auto& [path, expected] : cases) {
        dialog.editPath->setText(path);
        type = 0;
        dialog.btnPath->click();
        EXPECT_EQ(type, expected) << path.toStdString();
        EXPECT_FALSE(windowEnabled);
        EXPECT_EQ(dialog.editPath->text(), path);
    }
    // As the file dialog shows them, with a plain blank for the full-width one.
    EXPECT_EQ(types,
        QStringList({ "JPEGファイル (*.jpg;*.jpeg) (*.jpg *.jpeg)", "Bitmapファイル (*.bmp;*.dib) (*.bmp *.dib)",
            "メタファイル (*.wmf;*.emf) (*.wmf *.emf)", "アイコン (*.ico;*.cur) (*.ico *.cur)",
            "GIFファイル (*.gif) (*.gif)", "全てのファイル (*.*) (*)" }));

    // A chosen picture replaces the path; the current folder is kept over the chooser.
    const QString chosen = picture("new.png");
    const QString folder = QDir::currentPath();
    setDialogAnswerer([&](QDialog& shown) {
        QDir::setCurrent(dir.path());
        dynamic_cast<QFileDialog&>(shown).selectFile(chosen);
        shown.accept();
    });
    dialog.btnPath->click();
    EXPECT_EQ(dialog.editPath->text(), chosen);
    EXPECT_EQ(QDir::currentPath(), folder);

    // The colour chooser starts at the hexadecimal text, typed or not.
    dialog.editRGB->setText(QStringLiteral("ff"));
    QColor start;
    bool confirm = false;
    setDialogAnswerer([&](QDialog& shown) {
        auto& chooser = dynamic_cast<QColorDialog&>(shown);
        start = chooser.currentColor();
        windowEnabled = dialog.isEnabled();
        chooser.setCurrentColor(QColor(1, 2, 3));
        confirm ? shown.accept() : shown.reject();
    });
    dialog.btnColor->click();
    EXPECT_EQ(start, QColor(255, 0, 0));
    EXPECT_FALSE(windowEnabled);
    EXPECT_EQ(dialog.editRGB->text() + u' ' + components(dialog), QStringLiteral("ff 255,255,180"));
    confirm = true;
    dialog.btnColor->click();
    EXPECT_EQ(dialog.editRGB->text() + u' ' + components(dialog), QStringLiteral("30201 1,2,3"));
    EXPECT_TRUE(dialog.isEnabled());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(BackgroundDialogTest, TheMainWindowGetsTheSettingOnlyWhenConfirmed)
{
    QWidget mainWindow;
    std::int32_t gradation = -1;
    QString picturePath = QStringLiteral("/pictures/old.png");
    std::int32_t labelColor = 5;

    bool preset = false;
    setDialogAnswerer([&](QDialog& shown) {
        auto& dialog = static_cast<frmBG&>(shown);
        preset = dialog.optKInd[0]->isChecked() && dialog.editPath->text() == picturePath
            && dialog.editRGB->text() == QStringLiteral("5") && dialog.nSelectedBG == 0;
        dialog.optKInd[2]->setChecked(true);
        dialog.btnCancel->click();
    });
    EXPECT_FALSE(runBackgroundDialog(&mainWindow, gradation, picturePath, labelColor));
    EXPECT_TRUE(preset);
    EXPECT_EQ(gradation, -1);
    EXPECT_EQ(picturePath, QStringLiteral("/pictures/old.png"));
    EXPECT_EQ(labelColor, 5);
    EXPECT_TRUE(mainWindow.findChildren<frmBG*>().isEmpty());

    setDialogAnswerer([](QDialog& shown) {
        auto& dialog = static_cast<frmBG&>(shown);
        dialog.optKInd[2]->setChecked(true);
        click(dialog.picBox[8]);
        dialog.editLabel[2]->setText(QStringLiteral("64"));
        dialog.btnOK->click();
    });
    EXPECT_TRUE(runBackgroundDialog(&mainWindow, gradation, picturePath, labelColor));
    EXPECT_EQ(gradation, 9);
    // The path is kept for a later return to the own picture.
    EXPECT_EQ(picturePath, QStringLiteral("/pictures/old.png"));
    EXPECT_EQ(labelColor, 0x400005);
    EXPECT_TRUE(mainWindow.findChildren<frmBG*>().isEmpty());

    // Closed by its frame after a confirmation: cancelled after all.
    frmBG dialog;
    dialog.DispBGSetting(0, QString(), 0);
    dialog.show();
    dialog.btnOK->click();
    dialog.show();
    dialog.close();
    EXPECT_EQ(dialog.result(), QString());
    EXPECT_EQ(dialog.QDialog::result(), QDialog::Rejected);
}
