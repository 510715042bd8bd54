// The main window's source and destination histories and its recent-file
// list, kept in the settings store. Qt Core only: whatever shows the lists
// (the main window's combo boxes and File menu, see historywidgets.h) is told
// of every change through a View.
//
// A run records its source and its destination with one and the same time;
// that shared time is how picking a source finds the destination it was used
// with. The combo boxes' lists show the histories; their edit texts belong to
// the user and are never changed by adding to a list.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include "settings/history.h"
#include "store.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class Histories {
public:
    // How a message reaches the user (the main window's nShowMessage).
    using ShowMessage = std::function<int(const QString& text, int buttons, const QString& title)>;
    // The current date-time (a seam for tests).
    using Clock = std::function<DateTime()>;

    enum class List { Source, Destination };
    // Whatever shows the lists; any part may be left empty.
    struct View {
        // FOLDERS were put into LIST at POSITION (-1: at its end).
        std::function<void(List list, int position, const QStringList& folders)> inserted;
        // Both folder lists were emptied.
        std::function<void()> cleared;
        // The recent files are now PATHS, most recent first.
        std::function<void(const QStringList& paths)> recentFiles;
    };

    // CAPTION is the main window's, the title of its questions. Without a
    // CLOCK the current time in whole seconds is used.
    Histories(SettingsStore& store, View view, ShowMessage showMessage, QString caption, Clock clock = {});

    // Reads "MRUList" (at most three paths) and shows the items; false only
    // when the store cannot be opened.
    bool bLoadMRUList();
    // Makes STRPATH the most recent file, shows the items and stores the list;
    // false when it cannot be stored (memory and menu are updated anyway).
    bool bAddMRU(const QString& strPath);
    // Reads "SrcList" and "DstList", newest first, into the histories and the
    // combos' lists; false when the store cannot be opened.
    bool bLoadHistory();
    // Records one run's folders with the current time and stores both
    // histories. False without a message when the store cannot be opened,
    // false with a message when it cannot be written.
    bool bAddHistory(const QString& strSrc, const QString& strDst);
    // The first source entry whose folder is exactly STRPATH, or -1.
    int nFindSrcHistory(const QString& strPath) const;
    // The first destination entry used at exactly TIME, or -1 (always -1 for
    // the zero time, which stands for a date that could not be read).
    int nFindDstHistoryByTime(const DateTime& time) const;
    // Asks, then clears both histories, their lists and texts, and removes
    // them from the store.
    void mnuExeClearHistory();

    const std::vector<HistoryEntry>& srcHistory() const { return aSrcHistory; }
    const std::vector<HistoryEntry>& dstHistory() const { return aDstHistory; }
    const QStringList& mru() const { return strMRU; }

private:
    int message(const QString& text, int buttons, const QString& title);
    void showMRU();
    void loadHistory(const QString& name, std::vector<HistoryEntry>& history, List list);
    void recordFolder(std::vector<HistoryEntry>& history, List list, const QString& folder, DateTime time);

    SettingsStore& store_;
    View view_;
    ShowMessage showMessage_;
    QString caption_;
    Clock clock_;
    std::vector<HistoryEntry> aSrcHistory;
    std::vector<HistoryEntry> aDstHistory;
    QStringList strMRU;
};
