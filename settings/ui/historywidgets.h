// The main window's controls that show the histories: the two folder combo
// boxes and the recent-file items of the File menu with their separator.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include "settings/store/histories.h"

#include <array>

class QAction;
class QComboBox;

struct HistoryWidgets {
    QComboBox* cmbSrc = nullptr;
    QComboBox* cmbDst = nullptr;
    std::array<QAction*, 3> mnuFileMRU {};
    QAction* mnuFileSeparator2 = nullptr;
};

// A view that keeps WIDGETS in step with the histories. The combo boxes'
// edit texts belong to the user and are never changed by adding to a list;
// the recent-file items and their separator start hidden and are only ever
// shown from here.
Histories::View historyView(const HistoryWidgets& widgets);
