#include "forms.h"

#include "twips.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPointer>
#include <QThread>
#include <QWindow>
#include <algorithm>
#include <vector>

namespace {

// Set on a form that bUnloadForm has closed and whose deletion is still to come.
const char* const unloadedProperty = "vestrelleUnloaded";

enum InputKinds { KeyInput = 1, MouseInput = 2 };

int kindOf(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
        return KeyInput;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
        return MouseInput;
    default:
        return 0;
    }
}

// Installed on the application for one round of event delivery: swallows the
// input of the chosen kinds addressed to the window, to a widget inside it, or
// (for events straight from the platform) to its native window.
class InputDropper : public QObject {
public:
    InputDropper(QWidget* window, int kinds)
        : window_(window)
        , nativeWindow_(window->isWindow() ? window->windowHandle() : nullptr)
        , kinds_(kinds)
    {
    }

    int dropped() const { return dropped_; }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        if (!(kindOf(event->type()) & kinds_) || !addressedToWindow(receiver))
            return false;
        // Before a key press is delivered, Qt asks its receiver whether it
        // takes the key itself or lets a shortcut have it. Taking it keeps a
        // queued keystroke from firing a shortcut (Ctrl+S, Alt+letter) on
        // its way to being dropped; it is part of the press, not counted apart.
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        ++dropped_;
        return true;
    }

private:
    bool addressedToWindow(QObject* receiver) const
    {
        if (!window_)
            return false;
        if (receiver->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(receiver);
            // isAncestorOf stops at window borders: a dialog of the window keeps its input.
            return widget == window_ || window_->isAncestorOf(widget);
        }
        return nativeWindow_ && receiver == nativeWindow_;
    }

    QPointer<QWidget> window_;
    QPointer<QWindow> nativeWindow_;
    int kinds_;
    int dropped_ = 0;
};

int flushInput(QWidget* window, int kinds)
{
    if (!window || !qApp)
        return 0;
    InputDropper dropper(window, kinds);
    qApp->installEventFilter(&dropper);
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&dropper);
    return dropper.dropped();
}

bool isForm(const QWidget* widget)
{
    if (!widget->isWindow())
        return false;
    switch (widget->windowType()) {
    case Qt::Popup:
    case Qt::ToolTip:
    case Qt::Desktop:
        return false;
    default:
        return true;
    }
}

bool isUnloaded(const QWidget* widget)
{
    return widget->property(unloadedProperty).toBool();
}

int ownerDepth(const QWidget* widget)
{
    int depth = 0;
    for (const QWidget* owner = widget->parentWidget(); owner; owner = owner->parentWidget())
        ++depth;
    return depth;
}

} // namespace

bool bSetFocus(QWidget* control)
{
    if (!control || !control->isVisible() || !control->isEnabled())
        return false;
    control->setFocus(Qt::OtherFocusReason);
    return true;
}

void SelectAllText(QLineEdit* edit)
{
    if (edit)
        edit->selectAll();
}

void FitComboDropDown(QWidget* window, QComboBox* combo)
{
    if (!window || !combo || (combo != window && !window->isAncestorOf(combo)))
        return;
    const QFont font = combo->font();
    // A point is 20 twips.
    const double rowPixels = font.pointSizeF() > 0 ? twipsToPixelsY(qRound(2.0 * font.pointSizeF() * 20.0))
                                                   : 2.0 * std::max(font.pixelSize(), 1);
    const double wanted = combo->count() * rowPixels;
    const int top = combo->mapTo(window, QPoint(0, 0)).y();
    const double room = window->height() - top - combo->height();
    const double used = std::min(wanted, room);
    if (used > 0) {
        // The list's rows are as tall as the view makes them, which need not
        // be the estimate above; as many as fit in the height are shown.
        int rowHeight = combo->count() > 0 ? combo->view()->sizeHintForRow(0) : 0;
        if (rowHeight <= 0)
            rowHeight = combo->fontMetrics().height();
        combo->setMaxVisibleItems(std::max(1, static_cast<int>(used / std::max(rowHeight, 1))));
        combo->update();
    }
    if (combo->isEditable() && combo->lineEdit()) {
        combo->lineEdit()->deselect();
        combo->lineEdit()->setCursorPosition(0);
    }
}

int nFlushKeyMessages(QWidget* window)
{
    return flushInput(window, KeyInput);
}

int nFlushMouseMessages(QWidget* window)
{
    return flushInput(window, MouseInput);
}

int nFlushInputMessages(QWidget* window)
{
    // One pass for both kinds: a keyboard pass alone would deliver the queued
    // clicks that the mouse pass is meant to drop.
    return flushInput(window, KeyInput | MouseInput);
}

bool bUnloadForm(QWidget*& form)
{
    if (!form)
        return false;
    QPointer<QWidget> guard(form);
    if (!isUnloaded(form)) {
        // Flushing delivers events, and closing runs the form's own close
        // handling; either may delete the form, which then is gone already.
        nFlushInputMessages(form);
        if (guard && !guard->close())
            return false;
        if (guard)
            guard->setProperty(unloadedProperty, true);
    }
    if (guard) {
        if (QThread::currentThread()->loopLevel() > 0)
            guard->deleteLater();
        else
            delete guard.data();
    }
    form = nullptr;
    return true;
}

void UnloadAllForms()
{
    std::vector<QPointer<QWidget>> forms;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (isForm(widget) && !isUnloaded(widget))
            forms.emplace_back(widget);
    }
    // Owned windows first, so that each gets its own close before its owner
    // takes it down.
    std::stable_sort(forms.begin(), forms.end(),
        [](const QPointer<QWidget>& a, const QPointer<QWidget>& b) { return ownerDepth(a) > ownerDepth(b); });
    for (const QPointer<QWidget>& form : forms) {
        if (!form)
            continue;
        QWidget* widget = form;
        bUnloadForm(widget);
    }
}

bool bIsFormLoaded(const QString& name)
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [&name](const QWidget* widget) {
        return isForm(widget) && !isUnloaded(widget) && widget->isVisible()
            && widget->objectName().compare(name, Qt::CaseInsensitive) == 0;
    });
}

BusyCursor::BusyCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor()
{
    QApplication::restoreOverrideCursor();
}
