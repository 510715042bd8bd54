// Windows that fit the screen: a window opens no larger than the screen's
// free area (the panels left out), its frame and title bar counted, and
// moved so that no edge of it lies off that area.
#pragma once

#include <QSize>

class QWidget;

// The client size for a window that wants WANTED where ROOM is free: cut to
// ROOM, and where one side is cut, the other side grows by SCROLLBAR for the
// scroll bar along the cut side, as far as ROOM allows.
QSize fittingSize(QSize wanted, QSize room, int scrollBar);

// Brings WINDOW (just shown, or being shown), frame and all, within its
// screen's free area. A window system that decorates a window after it is
// shown tells its frame only then: the window is fitted again once, when
// its frame is first known. A maximised or full-screen window is left alone.
void fitIntoScreen(QWidget& window);
