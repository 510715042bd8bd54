// The main window's menus and their items, each carrying its name as
// objectName(): the menu bar's File, Operation, Options and Help menus, and
// the list of copied files' context menu. The window connects the items.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include <array>

class QAction;
class QMainWindow;
class QMenu;
class QWidget;

struct MainMenu {
    // Builds the menus into WINDOW's menu bar, and the context menu of LIST,
    // whose selection items are its keys too.
    MainMenu(QMainWindow& window, QWidget& list);

    QMenu* mnuFile = nullptr;
    QAction* mnuFileOpen = nullptr;
    QAction* mnuFileSave = nullptr;
    QAction* mnuFileSaveAs = nullptr;
    std::array<QAction*, 3> mnuFileMRU {};
    QAction* mnuFileSeparator2 = nullptr;
    QAction* mnuFileEnd = nullptr;
    QMenu* mnuExe = nullptr;
    QAction* mnuExeStart = nullptr;
    QAction* mnuExeEst = nullptr;
    QAction* mnuExeStop = nullptr;
    QAction* mnuExeClearHistory = nullptr;
    QMenu* mnuOpt = nullptr;
    QAction* mnuOptSubDir = nullptr;
    QAction* mnuOptIgn = nullptr;
    QAction* mnuOptMakeDir = nullptr;
    QAction* mnuOptFilter = nullptr;
    QAction* mnuOptKeep = nullptr;
    QAction* mnuOptBG = nullptr;
    QMenu* mnuSoft = nullptr;
    QAction* mnuSoftAbout = nullptr;
    QMenu* mnuList = nullptr;
    QAction* mnuListSelAll = nullptr;
    QAction* mnuListSelClear = nullptr;
    QAction* mnuListCopy = nullptr;
};
