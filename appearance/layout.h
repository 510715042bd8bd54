// The main window's resize arithmetic, in twips, kept apart from the widgets
// so that it can be checked number by number.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

struct TwipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The controls that follow the window's size.
struct MainLayout {
    TwipRect lbMsg, btnStart, btnEst, btnStop, btnEnd, lstCopied, lbCheckFile, lbSec, lbSecDesc, imgBG;
};

// Below this outer size (inclusive bounds) the controls keep their places.
constexpr int kMinArrangeWidth = 12000;
constexpr int kMinArrangeHeight = 9000;

// The places the window was designed with.
MainLayout designedMainLayout();

// Rearranges LAYOUT for a window whose outer size is WINDOW_WIDTH x
// WINDOW_HEIGHT and whose client area is CLIENT_HEIGHT high: the status line
// on the bottom edge, the buttons above it, the list stretched between, and
// the background over everything above the status line. Below the minimum
// size only the background is refitted. A change that would make a size
// negative is left out and the others still happen.
void arrangeMainLayout(MainLayout& layout, int windowWidth, int windowHeight, int clientHeight);
