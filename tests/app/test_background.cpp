#include "app/frmbase.h"
#include "app/textlabel.h"
#include "appearance/background.h"
#include "appearance/frmbg.h"
#include "settings/store/store.h"
#include "tests/support/testsupport.h"
#include "util/ui/dialogs.h"
#include "util/ui/messagebox.h"
#include "windowtest.h"

#include <QAction>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

class Background : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = std::make_unique<SettingsStore>(QString::fromStdString(dir / "settings.ini"));
        setMessageBoxAnswerer([this](const QString& text, int, const QString&) {
            messages.push_back(text);
            return IDOK;
        });
    }
    void TearDown() override
    {
        setDialogAnswerer(nullptr);
        setMessageBoxAnswerer(nullptr);
    }

    // Puts the background of LINES (a copy set's "reg" lines) into effect in WINDOW.
    void apply(frmBase& window, const std::string& lines)
    {
        testsupport::writeFile(dir / "set.vstl", lines);
        ASSERT_TRUE(window.bLoadCopySet(QString::fromStdString(dir / "set.vstl")));
    }

    // A label's text colour as a colour value (0x00BBGGRR).
    static std::int32_t labelColor(const QWidget* label)
    {
        const QColor colour = label->palette().color(QPalette::WindowText);
        return colour.red() | (colour.green() << 8) | (colour.blue() << 16);
    }

    testsupport::TempDir dir;
    std::unique_ptr<SettingsStore> store;
    std::vector<QString> messages;
};

} // namespace

TEST_F(Background, StartsWithTheStoredSettingAndSavesTheDialogsChoice)
{
    ASSERT_TRUE(store->open());
    store->write(QStringLiteral("Gradation"), QStringLiteral("3"));
    store->write(QStringLiteral("LabelColor"), QStringLiteral("255"));
    store->close();

    frmBase window(*store);
    window.load();
    auto* picture = findControl<QLabel>(window, "imgBG");
    auto* caption = findControl<QLabel>(window, "lbSrcDesc");
    EXPECT_EQ(window.job().gradation, 3);
    EXPECT_EQ(picture->pixmap().toImage().pixel(0, 0), builtInBackground(2).pixel(0, 0));
    EXPECT_EQ(labelColor(caption), 255);
    // The status line keeps its own colour.
    EXPECT_NE(labelColor(findControl(window, "lbMsg")), 255);

    // No background: black labels, no picture, and the choice kept for next time.
    setDialogAnswerer([](QDialog& shown) {
        auto* dialog = qobject_cast<frmBG*>(&shown);
        ASSERT_NE(dialog, nullptr);
        dialog->optKInd[1]->click();
        dialog->btnOK->click();
    });
    findControl<QAction>(window, "mnuOptBG")->trigger();
    EXPECT_EQ(window.job().gradation, 0);
    EXPECT_TRUE(picture->pixmap().isNull());
    EXPECT_EQ(labelColor(caption), 0);
    EXPECT_EQ(window.job().labelColor, 255);
    ASSERT_TRUE(store->open());
    EXPECT_EQ(store->read(QStringLiteral("Gradation")), std::optional<QString>(QStringLiteral("0")));
    store->close();
    EXPECT_TRUE(messages.empty());
}

TEST_F(Background, AnOwnPictureThatCannotBeReadKeepsTheLabelColour)
{
    frmBase window(*store);
    window.load();
    auto* caption = findControl<QLabel>(window, "lbSrcDesc");
    apply(window, "reg\tGradation\t1\r\nreg\tLabelColor\t65280\r\n");
    ASSERT_EQ(labelColor(caption), 0x0000FF00);

    apply(window, "reg\tGradation\t100\r\nreg\tLabelColor\t16711680\r\nreg\tBGPicture\t" + dir / "missing.png");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(labelColor(caption), 0x0000FF00);

    testsupport::writeFile(dir / "note.txt", "not a picture");
    apply(window, "reg\tBGPicture\t" + dir / "note.txt");
    EXPECT_EQ(messages.size(), 2u);
}

TEST_F(Background, IconsFlyOnlyOverTheAutomaticBackground)
{
    frmBase window(*store);
    window.load();
    auto* launches = findControl<QTimer>(window, "tmBG");
    auto* steps = findControl<QTimer>(window, "tmFly");
    ASSERT_EQ(window.job().gradation, -1);
    EXPECT_TRUE(launches->isActive());
    EXPECT_TRUE(steps->isActive());

    apply(window, "reg\tGradation\t5\r\n");
    EXPECT_FALSE(launches->isActive());
    EXPECT_FALSE(steps->isActive());
    const QList<QLabel*> images = window.findChildren<QLabel*>(QStringLiteral("imgFly"));
    EXPECT_EQ(images.size(), 20);
    EXPECT_TRUE(std::none_of(images.begin(), images.end(), [](QLabel* image) { return image->isVisible(); }));
}

TEST_F(Background, AQuitAskedForDuringAnAnimationStepClosesAfterIt)
{
    QPointer<frmBase> window = new frmBase(*store);
    window->load();
    window->show();
    // The close box during a step is refused and remembered, and the step,
    // once drawn, closes the window.
    EXPECT_FALSE(closeDuringAnimationStep(*window));
    EXPECT_FALSE(window && window->isVisible());
    delete window.data();
}
