#include "app/frmbase.h"
#include "app/textlabel.h"
#include "appearance/background.h"
#include "appearance/frmbg.h"
#include "settings/store/store.h"
#include "tests/support/testsupport.h"
#include "util/ui/dialogs.h"
#include "util/ui/messagebox.h"

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
    EXPECT_EQ(window.nGradation, 3);
    EXPECT_EQ(window.imgBG->pixmap().toImage().pixel(0, 0), builtInBackground(2).pixel(0, 0));
    EXPECT_EQ(labelColor(window.lbSrcDesc), 255);
    // The status line keeps its own colour.
    EXPECT_NE(labelColor(window.lbMsg), 255);

    // No background: black labels, no picture, and the choice kept for next time.
    setDialogAnswerer([](QDialog& shown) {
        auto* dialog = qobject_cast<frmBG*>(&shown);
        ASSERT_NE(dialog, nullptr);
        dialog->optKInd[1]->click();
        dialog->btnOK->click();
    });
    window.mnuOptBG->trigger();
    EXPECT_EQ(window.nGradation, 0);
    EXPECT_TRUE(window.imgBG->pixmap().isNull());
    EXPECT_EQ(labelColor(window.lbSrcDesc), 0);
    EXPECT_EQ(window.nLabelColor, 255);
    ASSERT_TRUE(store->open());
    EXPECT_EQ(store->read(QStringLiteral("Gradation")), std::optional<QString>(QStringLiteral("0")));
    store->close();
    EXPECT_TRUE(messages.empty());
}

TEST_F(Background, AnOwnPictureThatCannotBeReadKeepsTheLabelColour)
{
    frmBase window(*store);
    window.load();
    window.nGradation = 1;
    window.nLabelColor = 0x0000FF00;
    window.ApplyBackground();
    ASSERT_EQ(labelColor(window.lbSrcDesc), 0x0000FF00);

    window.nGradation = 100;
    window.nLabelColor = 0x00FF0000;
    window.strBGPicture = QString::fromStdString(dir / "missing.png");
    window.ApplyBackground();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(labelColor(window.lbSrcDesc), 0x0000FF00);

    testsupport::writeFile(dir / "note.txt", "not a picture");
    window.strBGPicture = QString::fromStdString(dir / "note.txt");
    window.ApplyBackground();
    EXPECT_EQ(messages.size(), 2u);
}

TEST_F(Background, IconsFlyOnlyOverTheAutomaticBackground)
{
    frmBase window(*store);
    window.load();
    ASSERT_EQ(window.nGradation, -1);
    EXPECT_TRUE(window.tmBG->isActive());
    EXPECT_TRUE(window.tmFly->isActive());

    window.nGradation = 5;
    window.ApplyBackground();
    EXPECT_FALSE(window.tmBG->isActive());
    EXPECT_FALSE(window.tmFly->isActive());
    EXPECT_TRUE(
        std::none_of(window.imgFly.begin(), window.imgFly.end(), [](QLabel* image) { return image->isVisible(); }));
}

TEST_F(Background, AQuitAskedForDuringAnAnimationStepClosesAfterIt)
{
    QPointer<frmBase> window = new frmBase(*store);
    window->load();
    window->show();
    // The close box during a step is refused and remembered...
    window->bAnimating = true;
    EXPECT_FALSE(window->close());
    window->bAnimating = false;
    EXPECT_TRUE(window->bClosePending);
    // ...and the next tick, its step drawn, closes the window.
    window->tmFly->timeout({});
    EXPECT_FALSE(window && window->isVisible());
    delete window.data();
}
