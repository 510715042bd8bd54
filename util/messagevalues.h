// The values message boxes speak in: the buttons and icon of a box, added
// together, and its reply. Parts without a window (the histories, batch mode)
// use them too.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

// Button and icon values of nMessageBox's flags (they may be added together).
enum MessageBoxFlags : int {
    MB_OK = 0,
    MB_YESNO = 4,
    MB_ICONERROR = 16,
    MB_ICONWARNING = 48,
    MB_ICONINFORMATION = 64,
};

// Replies of nMessageBox.
enum MessageBoxReply : int {
    IDOK = 1,
    IDYES = 6,
    IDNO = 7,
};
