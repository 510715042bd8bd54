#include "backgroundview.h"

#include "appearance/background.h"
#include "appearance/picturefile.h"
#include "util/ui/twips.h"

#include <QLabel>
#include <QPixmap>
#include <QTimer>
#include <ctime>

namespace {

QTimer* timer(QObject& owner, const char* name, int interval)
{
    auto* t = new QTimer(&owner);
    t->setObjectName(QString::fromLatin1(name));
    t->setInterval(interval);
    return t;
}

} // namespace

BackgroundView::BackgroundView(QWidget& client, QObject& owner)
{
    imgBG = makeTwips<QLabel>(&client, "imgBG", 0, 0, 11880, 8280);
    imgBG->setScaledContents(true);
    for (size_t i = 0; i < imgFly.size(); ++i) {
        imgFly[i] = makeTwips<QLabel>(&client, "imgFly", 0, 0, 480, 480);
        imgFly[i]->setProperty("index", static_cast<int>(i));
        imgFly[i]->setProperty("tag", QString());
        imgFly[i]->hide();
    }
    tmBG = timer(owner, "tmBG", 10000);
    tmFly = timer(owner, "tmFly", 200);
    flightDeck = std::make_unique<FlightDeck>(imgFly, imgBG, tmBG, tmFly, [this] { return isNightSlot(nTimeSlot); });
}

BackgroundView::~BackgroundView() = default;

QString BackgroundView::apply(const std::function<void(std::int32_t color)>& setLabelColor)
{
    if (nGradation == kGradationAutomatic) {
        const std::time_t now = std::time(nullptr);
        std::tm local {};
        localtime_r(&now, &local);
        dtBGApplied = DateTime::fromUnixSeconds(static_cast<std::int64_t>(now));
        nTimeSlot = timeSlotOfHour(local.tm_hour);
        imgBG->setPixmap(QPixmap::fromImage(builtInBackground(nTimeSlot)));
        setLabelColor(automaticLabelColor(nTimeSlot));
        flightDeck->EnableFlights();
        return {};
    }
    flightDeck->StopFlights();
    if (nGradation == kGradationNone) {
        setLabelColor(0);
        imgBG->clear();
    } else if (nGradation >= 1 && nGradation <= kBackgroundSlots) {
        imgBG->setPixmap(QPixmap::fromImage(builtInBackground(nGradation - 1)));
        setLabelColor(nLabelColor);
    } else {
        if (!strBGPicture.isEmpty()) {
            QString why;
            const QImage picture = readPictureFile(strBGPicture, why);
            if (picture.isNull())
                return why;
            imgBG->setPixmap(QPixmap::fromImage(picture));
        }
        setLabelColor(nLabelColor);
    }
    return {};
}

bool BackgroundView::hourChanged() const
{
    const std::time_t now = std::time(nullptr);
    const std::time_t applied = static_cast<std::time_t>(dtBGApplied.unixSeconds());
    std::tm nowLocal {};
    std::tm appliedLocal {};
    localtime_r(&now, &nowLocal);
    localtime_r(&applied, &appliedLocal);
    return nowLocal.tm_hour != appliedLocal.tm_hour;
}
