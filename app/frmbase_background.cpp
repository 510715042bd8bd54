// The picture behind the main window's controls and the colour of the labels
// that stand on it.
#include "background.h"
#include "frmbase.h"
#include "messagebox.h"
#include "textlabel.h"

#include <QImageReader>
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
        nTimeSlot = nTimeSlotOfHour(local.tm_hour);
        imgBG->setPixmap(QPixmap::fromImage(builtInBackground(nTimeSlot)));
        SetLabelColor(automaticLabelColor(nTimeSlot));
    } else if (nGradation == 0) {
        SetLabelColor(0);
        imgBG->clear();
    } else if (nGradation >= 1 && nGradation <= kBackgroundSlots) {
        imgBG->setPixmap(QPixmap::fromImage(builtInBackground(nGradation - 1)));
        SetLabelColor(nLabelColor);
    } else {
        if (!strBGPicture.isEmpty()) {
            QImageReader reader(strBGPicture);
            const QImage picture = reader.read();
            if (picture.isNull()) {
                nShowMessage(reader.errorString(), MB_OK, kCaption);
                return;
            }
            imgBG->setPixmap(QPixmap::fromImage(picture));
        }
        SetLabelColor(nLabelColor);
    }
}

void frmBase::SetLabelColor(std::int32_t nColor)
{
    const QColor colour = QColor::fromRgb(rgbOfColorValue(nColor));
    for (QWidget* control : findChildren<QWidget*>()) {
        const QString name = control->objectName();
        if (!name.startsWith(QLatin1String("lb")) || control == lbMsg)
            continue;
        QPalette colours = control->palette();
        colours.setColor(QPalette::WindowText, colour);
        control->setPalette(colours);
    }
}
