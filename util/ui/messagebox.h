// Message boxes with the platform's numeric button and reply values, and the
// one seam through which tests answer every message box.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include "util/messagevalues.h"

#include <QString>
#include <functional>

// Shows a modal message box with TEXT, the buttons and icon of FLAGS and
// TITLE; returns the reply. While it is up the mouse pointer is the default
// arrow; the previous pointer (a run's busy pointer) returns afterwards.
// Where nobody can see a box (the offscreen platform of batch mode without a
// display), the title and text go to standard error instead and the reply is
// that of closing the box: OK, or No for a Yes/No question. Texts are shown
// as plain text.
int nMessageBox(const QString& text, int flags = MB_OK, const QString& title = QString());

// True on the platforms without a screen (offscreen, minimal): batch mode
// without a display, the tests.
bool nobodyCanSee();

// Test seam: while an answerer is set, nMessageBox shows nothing and returns
// what the answerer returns for the box it would have shown.
using MessageBoxAnswerer = std::function<int(const QString& text, int flags, const QString& title)>;
void setMessageBoxAnswerer(MessageBoxAnswerer answerer);
