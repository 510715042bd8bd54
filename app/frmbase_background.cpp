// The picture behind the main window's controls and the colour of the labels
// that stand on it.
#include "appearance/background.h"
#include "appearance/bgsetting.h"
#include "appearance/frmbg.h"
#include "backgroundview.h"
#include "frmbase.h"
#include "settings/store/store.h"
#include "textlabel.h"
#include "util/ui/forms.h"
#include "util/ui/messagebox.h"

#include <QApplication>
#include <QLabel>

void frmBase::ApplyBackground()
{
    const QString why = background_->apply([this](std::int32_t nColor) { SetLabelColor(nColor); });
    if (!why.isEmpty())
        nShowMessage(why, MB_OK, kCaption);
}

void frmBase::SetLabelColor(std::int32_t nColor)
{
    const QColor colour = QColor::fromRgb(rgbOfColorValue(nColor, QApplication::palette()));
    for (QWidget* control : findChildren<QWidget*>()) {
        const QString name = control->objectName();
        if (!name.startsWith(QLatin1String("lb")) || control == lbMsg)
            continue;
        QPalette colours = control->palette();
        colours.setColor(QPalette::WindowText, colour);
        control->setPalette(colours);
    }
}

void frmBase::mnuOptBG_Click()
{
    BackgroundView& bg = *background_;
    if (!runBackgroundDialog(this, bg.nGradation, bg.strBGPicture, bg.nLabelColor))
        return;
    // The choice is applied all the same; the user learns that it will not
    // be there next time.
    if (!bSaveBGSetting(store_, bg.nGradation, bg.strBGPicture, bg.nLabelColor))
        nShowMessage(QStringLiteral("背景の設定を保存できませんでした。") + store_.errorText(), MB_ICONERROR, kCaption);
    ApplyBackground();
}

void frmBase::tmBG_Timer()
{
    if (background_->hourChanged())
        ApplyBackground();
    background_->flightDeck->launchFlight();
}

void frmBase::tmFly_Timer()
{
    // A quit asked for during an animation step closes the window once the
    // step is drawn; one asked for during a run is the run's to carry out.
    if (background_->flightDeck->tmFly_Timer(background_->bAnimating, bClosePending) && !runActive()) {
        QWidget* self = this;
        bUnloadForm(self);
    }
}
