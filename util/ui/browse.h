// The folder browser and opening a document or address with its program.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include <QString>

class QWidget;

// Lets the user pick a folder, starting at INITIAL; returns the chosen
// folder, or INITIAL unchanged when the user cancels. The dialog goes through
// execDialog, so tests answer it like any other.
QString BrowseForFolder(QWidget* owner, const QString& title, const QString& initial);

// Opens a document, a folder or an address (such as a "mailto:" link) with
// the program the desktop associates with it. Nothing happens for an empty text.
void OpenWithShell(const QString& target);
