// The picture behind the main window's controls, and the icons that fly over
// the automatic one: the background setting, the picture and icons on the
// client area, and the timers that change the picture with the hour and move
// the icons.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include "appearance/flights.h"
#include "settings/job.h"
#include "util/datetime.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QLabel;
class QObject;
class QTimer;
class QWidget;

class BackgroundView {
public:
    // Makes the picture and the icons on CLIENT, below every control made
    // after them, and the timers, owned by OWNER.
    BackgroundView(QWidget& client, QObject& owner);
    ~BackgroundView();
    BackgroundView(const BackgroundView&) = delete;
    BackgroundView& operator=(const BackgroundView&) = delete;

    // Puts the setting into effect; SET_LABEL_COLOR colours the labels that
    // stand on the picture (0x00BBGGRR). An own picture that cannot be read
    // leaves the background as it was: the text says why; empty otherwise.
    QString apply(const std::function<void(std::int32_t color)>& setLabelColor);

    // The automatic background at the hour: true when the hour has changed
    // since it was applied, and it is to be applied again.
    bool hourChanged() const;

    // The setting: kind (-1 automatic, 0 none, 1..9 built-in gradient,
    // anything else own picture), own picture, label colour (0x00BBGGRR).
    std::int32_t nGradation = kGradationAutomatic;
    QString strBGPicture;
    std::int32_t nLabelColor = 0;
    // An animation step is being drawn.
    bool bAnimating = false;

    QLabel* imgBG = nullptr;
    std::array<QLabel*, FlightDeck::kImageCount> imgFly {};
    QTimer* tmBG = nullptr;
    QTimer* tmFly = nullptr;
    std::unique_ptr<FlightDeck> flightDeck;

private:
    // When the automatic background was last applied, and its time slot.
    DateTime dtBGApplied;
    std::int32_t nTimeSlot = 0;
};
