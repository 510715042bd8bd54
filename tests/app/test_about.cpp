#include "app/frmabout.h"
#include "util/ui/dialogs.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

// Puts back the real shell opener and clears the dialog answerer when a test ends.
struct SeamReset {
    ~SeamReset()
    {
        frmAbout::setShellOpener(nullptr);
        setDialogAnswerer(nullptr);
    }
};

void mouseRelease(QWidget* widget, Qt::MouseButton button, QPoint at)
{
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), button, button, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
}

} // namespace

TEST(AboutDialog, ShowsTheProgramItsVersionOptionsAndMaker)
{
    frmAbout dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Vestrelleのﾊﾞｰｼﾞｮﾝ情報"));
    EXPECT_EQ(dialog.lblTitle->text(), QStringLiteral("Vestrelle"));
    EXPECT_EQ(dialog.lblVersion->text(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ ") + QStringLiteral(VESTRELLE_VERSION));
    EXPECT_EQ(dialog.lblDescription->text(), QStringLiteral("更新ファイルコピーユーティリティ"));
    EXPECT_EQ(dialog.Label3->text(), QStringLiteral("-f　設定ファイル名"));
    EXPECT_EQ(dialog.Label5->text(), QStringLiteral("例）　vestrelle -f copyset1.vstl -l /tmp/copyset1.log"));
    EXPECT_EQ(dialog.lbMailTo->text(), QStringLiteral("support@quorvane.example"));
    EXPECT_EQ(dialog.lbCompany->text(), QStringLiteral("Quorvane"));
    EXPECT_FALSE(dialog.picIcon->pixmap().isNull());
}

TEST(AboutDialog, VersionIsMajorMinorRevisionInPlainNumbers)
{
    const std::pair<const char*, const char*> cases[]
        = { { "01.002.30", "1.2.30" }, { "3", "3.0.0" }, { "3.4", "3.4.0" }, { "1.2.3.4", "1.2.3" } };
    for (const auto& [given, shown] : cases)
        EXPECT_EQ(frmAbout::versionText(QLatin1String(given)), QLatin1String(shown)) << given;
    // The program's own version is in that form already.
    const QString own = QStringLiteral(VESTRELLE_VERSION);
    EXPECT_EQ(frmAbout::versionText(), frmAbout::versionText(own));
    EXPECT_EQ(own.split(QLatin1Char('.')).size(), 3);
}

TEST(AboutDialog, ClickingTheAddressStartsAMailAndKeepsTheDialogOpen)
{
    SeamReset reset;
    QStringList opened;
    frmAbout::setShellOpener([&opened](const QString& target) { opened << target; });
    frmAbout dialog;
    dialog.show();

    const QPoint inside = dialog.lbMailTo->rect().center();
    mouseRelease(dialog.lbMailTo, Qt::LeftButton, inside);
    EXPECT_EQ(opened, QStringList { QStringLiteral("mailto:support@quorvane.example") });
    EXPECT_TRUE(dialog.isVisible());

    // A right click, or a press dragged off the address, opens nothing.
    mouseRelease(dialog.lbMailTo, Qt::RightButton, inside);
    mouseRelease(dialog.lbMailTo, Qt::LeftButton, QPoint(-5, -5));
    EXPECT_EQ(opened.size(), 1);
}
