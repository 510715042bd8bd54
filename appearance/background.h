// The built-in backgrounds: nine vertical gradients, one for each two-hour
// slot of the day, and the label colours that go with the automatic choice.
#pragma once

#include <QImage>
#include <QPalette>
#include <QRgb>

// The number of built-in gradients (and of time slots).
constexpr int kBackgroundSlots = 9;

// The time slot of HOUR (0..23): 04:00-05:59 is slot 0, each two hours the
// next, up to 18:00-19:59 in slot 7; 20:00-03:59 is slot 8.
int timeSlotOfHour(int hour);

// Slots 7 and 8 are night.
bool isNightSlot(int slot);

// Built-in gradient SLOT (0..8) as a small picture to be stretched over the
// window: every row one colour, from the slot's top colour to its bottom one.
// A null image for a slot out of range.
QImage builtInBackground(int slot);

// The label colour of the automatic background in SLOT: pale yellow at
// night, dark navy by day (as 0x00BBGGRR).
std::int32_t automaticLabelColor(int slot);

// A 0x00BBGGRR colour value as a colour. A system colour (0x80000000 plus
// its index) is taken from PALETTE; any other bits above the blue byte are
// ignored.
QRgb rgbOfColorValue(std::int32_t value, const QPalette& palette);
