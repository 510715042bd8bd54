// The picture behind the main window's controls and the colour of the labels
// that stand on it.
#include "appearance/background.h"
#include "appearance/bgsetting.h"
#include "appearance/flights.h"
#include "appearance/frmbg.h"
#include "appearance/picturefile.h"
#include "frmbase.h"
#include "settings/store/store.h"
#include "textlabel.h"
#include "util/ui/forms.h"
#include "util/ui/messagebox.h"

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <ctime>

void frmBase::ApplyBackground()
{
    if (nGradation == -1) {
        const std::time_t now = std::time(nullptr);
        std::tm local {};
        localtime_r(&now, &local);
        dtBGApplied = DateTime::fromUnixSeconds(static_cast<std::int64_t>(now));
        nTimeSlot = timeSlotOfHour(local.tm_hour);
        imgBG->setPixmap(QPixmap::fromImage(builtInBackground(nTimeSlot)));
        SetLabelColor(automaticLabelColor(nTimeSlot));
        flightDeck->EnableFlights();
    } else if (nGradation == 0) {
        flightDeck->StopFlights();
        SetLabelColor(0);
        imgBG->clear();
    } else if (nGradation >= 1 && nGradation <= kBackgroundSlots) {
        flightDeck->StopFlights();
        imgBG->setPixmap(QPixmap::fromImage(builtInBackground(nGradation - 1)));
        SetLabelColor(nLabelColor);
    } else {
        flightDeck->StopFlights();
        if (!strBGPicture.isEmpty()) {
            QString why;
            const QImage picture = readPictureFile(strBGPicture, why);
            if (picture.isNull()) {
                nShowMessage(why, MB_OK, kCaption);
                return;
            }
            imgBG->setPixmap(QPixmap::fromImage(picture));
        }
        SetLabelColor(nLabelColor);
    }
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
    if (!runBackgroundDialog(this, nGradation, strBGPicture, nLabelColor))
        return;
    // The choice is applied all the same; the user learns that it will not
    // be there next time.
    if (!bSaveBGSetting(store_, nGradation, strBGPicture, nLabelColor))
        nShowMessage(QStringLiteral("背景の設定を保存できませんでした。") + store_.errorText(), MB_ICONERROR, kCaption);
    ApplyBackground();
}

void frmBase::tmBG_Timer()
{
    const std::time_t now = std::time(nullptr);
    const std::time_t applied = static_cast<std::time_t>(dtBGApplied.unixSeconds());
    std::tm nowLocal {};
    std::tm appliedLocal {};
    localtime_r(&now, &nowLocal);
    localtime_r(&applied, &appliedLocal);
    if (nowLocal.tm_hour != appliedLocal.tm_hour)
        ApplyBackground();
    flightDeck->launchFlight();
}

void frmBase::tmFly_Timer()
{
    // A quit asked for during an animation step closes the window once the
    // step is drawn; one asked for during a run is the run's to carry out.
    if (flightDeck->tmFly_Timer(bAnimating, bClosePending) && !runActive()) {
        QWidget* self = this;
        bUnloadForm(self);
    }
}
