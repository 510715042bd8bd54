// Routines for windows and controls: focus, text selection, drop-down size,
// discarding queued input, and closing windows for good.
//
// A "form" is one of the program's windows: a widget that is a window of its
// own (Qt::Window or Qt::Dialog, not a pop-up or tooltip). Forms that are
// unloaded must have been made with new.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include <QString>
#include <type_traits>

class QComboBox;
class QLineEdit;
class QWidget;

// Gives CONTROL the input focus. False when it cannot take it: null, hidden
// (its window not shown included) or disabled.
bool bSetFocus(QWidget* control);

// Selects the whole text of EDIT.
void SelectAllText(QLineEdit* edit);

// Limits COMBO's drop-down list to the room between the combo box and the
// bottom of WINDOW: the list would take the number of items times twice the
// font's point size (in pixels), and shows as many rows as fit in the smaller
// of that and the room, at least one. Nothing changes when there is no room.
// An editable combo box loses its text selection. (Styles that open a
// non-editable combo box's list over the box, as Fusion does, size that list
// themselves and ignore the limit.)
void FitComboDropDown(QWidget* window, QComboBox* combo);

// Discard the keyboard (press, release, shortcut override) or mouse (press,
// release, double click, move, wheel) events still queued for WINDOW and the
// widgets inside it, and return how many were dropped. Queued events are
// delivered once to do this, so other events of the program (paints, timers,
// other windows' input) are handled on the way; the input of the other kind
// is delivered, not kept. nFlushInputMessages drops both kinds in one pass
// and returns the sum. Zero for a null window.
int nFlushKeyMessages(QWidget* window);
int nFlushMouseMessages(QWidget* window);
int nFlushInputMessages(QWidget* window);

// Discards FORM's queued input, closes it and deletes it, and sets FORM to
// null. False, with FORM left as it was, when FORM is null or refuses to close.
//
// The form is closed (hidden) at once and from then on no longer counts as
// loaded. It is deleted at once when no event loop is running (start-up,
// batch mode before the window shows, tests); inside the event loop it is
// deleted when control returns to the loop. Deleting it there would pull it
// from under its own event handlers, and a form very often unloads itself
// from one (its Close button, its timer), or is a dialog whose exec() is still
// on the stack.
bool bUnloadForm(QWidget*& form);

// The same for a pointer to a particular kind of form.
template <typename Form, typename = std::enable_if_t<std::is_base_of_v<QWidget, Form>>> bool bUnloadForm(Form*& form)
{
    QWidget* widget = form;
    if (!bUnloadForm(widget))
        return false;
    form = nullptr;
    return true;
}

// bUnloadForm for every form of the program, dialogs before the windows that
// own them; failures are ignored.
void UnloadAllForms();

// True when a form of the program that is shown and not unloaded has the
// object name NAME, compared without regard to case.
bool bIsFormLoaded(const QString& name);

// Shows the busy pointer over the whole program for its lifetime.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};
