#include "mainmenu.h"

#include <QAction>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace {

QAction* item(QMenu* menu, const char* name, const QString& text)
{
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

// The platform's keys for KEY; FALLBACK where it has none.
QList<QKeySequence> standardKeys(QKeySequence::StandardKey key, const QKeySequence& fallback)
{
    const QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    return keys.isEmpty() ? QList<QKeySequence> { fallback } : keys;
}

QAction* tickItem(QMenu* menu, const char* name, const QString& text, bool ticked)
{
    QAction* action = item(menu, name, text);
    action->setCheckable(true);
    action->setChecked(ticked);
    return action;
}

} // namespace

MainMenu::MainMenu(QMainWindow& window, QWidget& list)
{
    mnuFile = window.menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileOpen = item(mnuFile, "mnuFileOpen", QStringLiteral("設定ファイルを開く(&O)"));
    mnuFileSave = item(mnuFile, "mnuFileSave", QStringLiteral("上書き保存(&S)"));
    mnuFileSave->setEnabled(false);
    mnuFileSaveAs = item(mnuFile, "mnuFileSaveAs", QStringLiteral("現在の設定を名前を付けて保存(&A)"));
    mnuFile->addSeparator();
    for (size_t i = 0; i < mnuFileMRU.size(); ++i) {
        mnuFileMRU[i] = item(mnuFile, "mnuFileMRU", QString());
        mnuFileMRU[i]->setProperty("index", static_cast<int>(i));
        mnuFileMRU[i]->setVisible(false);
    }
    mnuFileSeparator2 = mnuFile->addSeparator();
    mnuFileSeparator2->setObjectName(QStringLiteral("mnuFileSeparator2"));
    mnuFileSeparator2->setVisible(false);
    mnuFileEnd = item(mnuFile, "mnuFileEnd", QStringLiteral("終了(&X)"));
    mnuFileOpen->setShortcuts(QKeySequence::Open);
    mnuFileSave->setShortcuts(QKeySequence::Save);
    // Not every platform has keys for these two; the common ones stand in.
    mnuFileSaveAs->setShortcuts(standardKeys(QKeySequence::SaveAs, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)));
    mnuFileEnd->setShortcuts(standardKeys(QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q)));

    mnuExe = window.menuBar()->addMenu(QStringLiteral("操作(&E)"));
    mnuExe->setObjectName(QStringLiteral("mnuExe"));
    mnuExeStart = item(mnuExe, "mnuExeStart", QStringLiteral("コピー開始(&C)"));
    mnuExeEst = item(mnuExe, "mnuExeEst", QStringLiteral("コピー容量見積(&E)"));
    mnuExeStop = item(mnuExe, "mnuExeStop", QStringLiteral("コピー中止(&S)"));
    mnuExe->addSeparator();
    mnuExeClearHistory = item(mnuExe, "mnuExeClearHistory", QStringLiteral("ｺﾋﾟｰ元、ｺﾋﾟｰ先履歴のクリア(&R)"));

    mnuOpt = window.menuBar()->addMenu(QStringLiteral("オプション(&O)"));
    mnuOpt->setObjectName(QStringLiteral("mnuOpt"));
    mnuOptSubDir = tickItem(mnuOpt, "mnuOptSubDir", QStringLiteral("サブフォルダも検索する(&S)"), true);
    mnuOptIgn = tickItem(mnuOpt, "mnuOptIgn", QStringLiteral("秒単位の誤差を無視(&U)"), true);
    mnuOptMakeDir = tickItem(mnuOpt, "mnuOptMakeDir", QStringLiteral("ｺﾋﾟｰ先にｺﾋﾟｰ元ﾌｫﾙﾀﾞを作成(&F)"), false);
    mnuOptFilter = tickItem(mnuOpt, "mnuOptFilter", QStringLiteral("拡張子フィルタを使用(&E)"), false);
    mnuOptKeep = tickItem(mnuOpt, "mnuOptKeep", QStringLiteral("上書き前のファイルを残す(&K)"), false);
    mnuOpt->addSeparator();
    mnuOptBG = item(mnuOpt, "mnuOptBG", QStringLiteral("背景設定(&B)"));

    mnuSoft = window.menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    mnuSoft->setObjectName(QStringLiteral("mnuSoft"));
    mnuSoftAbout = item(mnuSoft, "mnuSoftAbout", QStringLiteral("Vestrelleについて(&A)"));

    // The list's context menu is never in the menu bar.
    mnuList = new QMenu(&window);
    mnuList->setObjectName(QStringLiteral("mnuList"));
    mnuListSelAll = item(mnuList, "mnuListSelAll", QStringLiteral("全て選択(&A)"));
    mnuListSelClear = item(mnuList, "mnuListSelClear", QStringLiteral("選択解除(&R)"));
    mnuList->addSeparator();
    mnuListCopy = item(mnuList, "mnuListCopy", QStringLiteral("コピー(&C)"));
    // The list's commands also answer their keys while the list has the focus.
    mnuListSelAll->setShortcuts(QKeySequence::SelectAll);
    mnuListCopy->setShortcuts(QKeySequence::Copy);
    for (QAction* action : { mnuListSelAll, mnuListCopy }) {
        action->setShortcutContext(Qt::WidgetShortcut);
        list.addAction(action);
    }
}
