#include "historywidgets.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

namespace {

// Adds ITEMS to COMBO's list at POSITION (-1: at the end) without touching
// its edit text. QComboBox makes the first item of an empty list current,
// which puts that item into an editable combo's text; the text is the
// user's, not the list's, so it is put back without any change being
// signalled.
void insertKeepingText(QComboBox* combo, int position, const QStringList& items)
{
    if (!combo || items.isEmpty())
        return;
    const QString text = combo->currentText();
    const QSignalBlocker blockCombo(combo);
    const QSignalBlocker blockEdit(combo->lineEdit());
    combo->insertItems(position < 0 ? combo->count() : position, items);
    if (combo->isEditable() && combo->currentText() != text) {
        combo->setCurrentIndex(-1);
        combo->setEditText(text);
    }
}

} // namespace

Histories::View historyView(const HistoryWidgets& widgets)
{
    Histories::View view;
    view.inserted = [widgets](Histories::List list, int position, const QStringList& folders) {
        insertKeepingText(list == Histories::List::Source ? widgets.cmbSrc : widgets.cmbDst, position, folders);
    };
    view.cleared = [widgets] {
        for (QComboBox* combo : { widgets.cmbSrc, widgets.cmbDst }) {
            if (combo) {
                combo->clear();
                combo->clearEditText();
            }
        }
    };
    view.recentFiles = [widgets](const QStringList& paths) {
        if (widgets.mnuFileSeparator2)
            widgets.mnuFileSeparator2->setVisible(true);
        for (int i = 0; i < paths.size() && i < static_cast<int>(widgets.mnuFileMRU.size()); ++i) {
            if (QAction* item = widgets.mnuFileMRU[static_cast<std::size_t>(i)]) {
                // A path is shown as it is: an "&" in it is no shortcut key.
                QString caption = paths[i];
                item->setText(caption.replace(QLatin1Char('&'), QLatin1String("&&")));
                item->setVisible(true);
            }
        }
    };
    return view;
}
