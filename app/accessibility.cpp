#include "accessibility.h"

#include "frmest.h"
#include "textlabel.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <algorithm>
#include <iterator>

// The progress bar that stands for a run. It is no widget: it lies over the
// status line, whose place it reports.
class RunProgressObject : public QObject {
    Q_OBJECT
public:
    RunProgressObject(QObject* parent, QWidget* over)
        : QObject(parent)
        , over(over)
    {
    }

    QPointer<QWidget> over;
    bool shown = false;
    QString name;
    QString line;
    std::int64_t checked = 0;
    std::optional<std::int64_t> total;
};

// What the status bar has to tell, once, as its notification.
class RunAnnouncement : public QObject {
    Q_OBJECT
public:
    explicit RunAnnouncement(QWidget* statusLine)
        : QObject(statusLine)
    {
    }

    QWidget* statusLine() const { return static_cast<QWidget*>(parent()); }

    QString text;
};

namespace {

// The parts of the window below that are no widgets, listed after the
// widget's own children: the run's progress bar of the window, the
// notification of the status line.
template <typename Part> QList<Part*> partsOf(const QObject* object)
{
    return object->findChildren<Part*>(QString(), Qt::FindDirectChildrenOnly);
}

// A part that is no widget: no children, no text of its own to set, its
// place that of the widget it lies over.
class PartAccessible : public QAccessibleInterface {
public:
    explicit PartAccessible(QObject* part)
        : part_(part)
    {
    }

    bool isValid() const override { return !part_.isNull(); }
    QObject* object() const override { return part_; }
    QWindow* window() const override
    {
        const QWidget* widget = over();
        return widget ? widget->window()->windowHandle() : nullptr;
    }
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(QAccessible::Relation) const override
    {
        return {};
    }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override
    {
        return part_ ? QAccessible::queryAccessibleInterface(part_->parent()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    void setText(QAccessible::Text, const QString&) override { }
    QRect rect() const override
    {
        const QWidget* widget = over();
        return widget ? QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()) : QRect();
    }

protected:
    virtual QWidget* over() const = 0;

private:
    QPointer<QObject> part_;
};

class RunProgressAccessible : public PartAccessible, public QAccessibleValueInterface {
public:
    explicit RunProgressAccessible(RunProgressObject* progress)
        : PartAccessible(progress)
    {
    }

    QAccessible::Role role() const override { return QAccessible::ProgressBar; }
    QString text(QAccessible::Text t) const override
    {
        const RunProgressObject* p = progress();
        if (!p)
            return QString();
        switch (t) {
        case QAccessible::Name:
            return p->name;
        case QAccessible::Description:
            return p->line;
        case QAccessible::Value:
            return p->total ? QString::number(p->checked) + QStringLiteral(" / ") + QString::number(*p->total)
                            : QString::number(p->checked);
        default:
            return QString();
        }
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        const RunProgressObject* p = progress();
        s.invisible = !p || !p->shown;
        s.readOnly = true;
        // A run whose count is not known yet cannot say how far it has got.
        s.checkStateMixed = p && !p->total;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return nullptr;
    }

    // While the count is unknown the value stays 0, which screen readers
    // take for "not known" on an indeterminate bar.
    QVariant currentValue() const override
    {
        const RunProgressObject* p = progress();
        return p && p->total ? static_cast<double>(std::min(p->checked, *p->total)) : 0.0;
    }
    void setCurrentValue(const QVariant&) override { }
    QVariant maximumValue() const override
    {
        const RunProgressObject* p = progress();
        return p && p->total ? static_cast<double>(*p->total) : 0.0;
    }
    QVariant minimumValue() const override { return 0.0; }
    QVariant minimumStepSize() const override { return 1.0; }

protected:
    QWidget* over() const override
    {
        const RunProgressObject* p = progress();
        return p ? p->over.data() : nullptr;
    }

private:
    RunProgressObject* progress() const { return static_cast<RunProgressObject*>(object()); }
};

class RunAnnouncementAccessible : public PartAccessible {
public:
    explicit RunAnnouncementAccessible(RunAnnouncement* announcement)
        : PartAccessible(announcement)
    {
    }

    QAccessible::Role role() const override { return QAccessible::Notification; }
    QString text(QAccessible::Text t) const override
    {
        const auto* a = static_cast<const RunAnnouncement*>(object());
        return a && t == QAccessible::Name ? a->text : QString();
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        const auto* a = static_cast<const RunAnnouncement*>(object());
        s.invisible = !a || a->text.isEmpty();
        s.readOnly = true;
        return s;
    }

protected:
    QWidget* over() const override
    {
        const auto* a = static_cast<const RunAnnouncement*>(object());
        return a ? a->statusLine() : nullptr;
    }
};

// A widget whose parts that are no widgets follow its child widgets.
template <typename Part> class WithPartsAccessible : public QAccessibleWidget {
public:
    WithPartsAccessible(QWidget* widget, QAccessible::Role role)
        : QAccessibleWidget(widget, role)
    {
    }

    int childCount() const override
    {
        return QAccessibleWidget::childCount() + static_cast<int>(partsOf<Part>(object()).size());
    }
    QAccessibleInterface* child(int index) const override
    {
        const int widgets = QAccessibleWidget::childCount();
        if (index < widgets)
            return QAccessibleWidget::child(index);
        const QList<Part*> parts = partsOf<Part>(object());
        return index - widgets < parts.size() ? QAccessible::queryAccessibleInterface(parts.at(index - widgets))
                                              : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (child && child->object()) {
            const int at = static_cast<int>(partsOf<Part>(object()).indexOf(child->object()));
            if (at >= 0)
                return QAccessibleWidget::childCount() + at;
        }
        return QAccessibleWidget::indexOfChild(child);
    }
};

// The main window: a window, and the parent of the run's progress bar.
using RunWindowAccessible = WithPartsAccessible<RunProgressObject>;

// A TextLabel reads as static text: its name is the caption it belongs to
// (the label beside it, or a name the window gives it), its value and its
// text what it shows. A label that gives notice of a run's start and end is
// the status bar.
class TextLabelAccessible : public WithPartsAccessible<RunAnnouncement>, public QAccessibleTextInterface {
public:
    explicit TextLabelAccessible(TextLabel* label)
        : WithPartsAccessible(label, QAccessible::StaticText)
    {
    }

    QAccessible::Role role() const override
    {
        return partsOf<RunAnnouncement>(object()).isEmpty() ? QAccessible::StaticText : QAccessible::StatusBar;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return shown();
        return QAccessibleWidget::text(t);
    }

    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    // The text, read only: no selection, no cursor.
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override { }
    void removeSelection(int) override { }
    void setSelection(int, int, int) override { }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override { }
    QString text(int startOffset, int endOffset) const override
    {
        return shown().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(shown().size()); }
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override { }
    QString attributes(int offset, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return QString();
    }

private:
    QString shown() const { return static_cast<const TextLabel*>(object())->text(); }
};

// Qt names a combo box after its text on this platform and leaves the caption
// to the label relation; a folder box given a name of its own is announced by
// that name, with the folder as its value.
class NamedComboBoxAccessible : public QAccessibleWidget {
public:
    explicit NamedComboBoxAccessible(QComboBox* combo)
        : QAccessibleWidget(combo, QAccessible::ComboBox)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return combo()->currentText();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = combo()->isEditable();
        s.expandable = true;
        return s;
    }

    // The drop-down list, then the text field of an editable box.
    int childCount() const override { return combo()->lineEdit() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override
    {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(combo()->view());
        if (index == 1 && combo()->lineEdit())
            return QAccessible::queryAccessibleInterface(combo()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (!child)
            return -1;
        if (child->object() == combo()->view())
            return 0;
        if (combo()->lineEdit() && child->object() == combo()->lineEdit())
            return 1;
        return -1;
    }

    QStringList actionNames() const override
    {
        return QAccessibleWidget::actionNames() << QAccessibleActionInterface::showMenuAction();
    }
    void doAction(const QString& actionName) override
    {
        if (actionName == QAccessibleActionInterface::showMenuAction())
            combo()->showPopup();
        else
            QAccessibleWidget::doAction(actionName);
    }

private:
    QComboBox* combo() const { return static_cast<QComboBox*>(object()); }
};

// A bar of the estimate reads as a gauge: named by its legend, valued in
// hundredths of the volume's capacity, its value's text the figure beside it.
class EstimateBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit EstimateBarAccessible(EstimateBar* bar)
        : QAccessibleWidget(bar, QAccessible::ProgressBar)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return bar()->reading();
        return QAccessibleWidget::text(t);
    }

    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QVariant currentValue() const override { return share(); }
    void setCurrentValue(const QVariant&) override { }
    QVariant maximumValue() const override { return std::max(share(), 100.0); }
    QVariant minimumValue() const override { return 0.0; }
    QVariant minimumStepSize() const override { return 0.0; }

private:
    const EstimateBar* bar() const { return static_cast<const EstimateBar*>(object()); }
    double share() const { return bar()->percent(); }
};

QAccessibleInterface* interfaceFor(const QString& className, QObject* object)
{
    if (!object)
        return nullptr;
    if (className == QLatin1String("RunProgressObject"))
        return new RunProgressAccessible(static_cast<RunProgressObject*>(object));
    if (className == QLatin1String("RunAnnouncement"))
        return new RunAnnouncementAccessible(static_cast<RunAnnouncement*>(object));
    if (!object->isWidgetType())
        return nullptr;
    // The estimate window is a dialog beside the main window, not a pane of it.
    if (className == QLatin1String("frmEst"))
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Dialog);
    if (className == QLatin1String("QMainWindow") && !partsOf<RunProgressObject>(object).isEmpty())
        return new RunWindowAccessible(static_cast<QWidget*>(object), QAccessible::Window);
    if (className == QLatin1String("TextLabel"))
        return new TextLabelAccessible(static_cast<TextLabel*>(object));
    if (className == QLatin1String("EstimateBar"))
        return new EstimateBarAccessible(static_cast<EstimateBar*>(object));
    if (className == QLatin1String("QComboBox")) {
        auto* combo = static_cast<QComboBox*>(object);
        if (!combo->accessibleName().isEmpty())
            return new NamedComboBoxAccessible(combo);
    }
    return nullptr;
}

} // namespace

void installAccessibleInterfaces()
{
    static const bool installed = [] {
        QAccessible::installFactory(interfaceFor);
        return true;
    }();
    (void)installed;
}

void nameAfterCaption(QLabel* caption, QWidget* control)
{
    caption->setBuddy(control);
    const QString name = caption->text().trimmed();
    caption->setAccessibleName(name);
    control->setAccessibleName(name);
    if (auto* combo = qobject_cast<QComboBox*>(control); combo && combo->lineEdit())
        combo->lineEdit()->setAccessibleName(name);
}

RunHeard::RunHeard(QWidget& window, QWidget& statusLine)
    : progress_(new RunProgressObject(&window, &statusLine))
    , announcements_ { new RunAnnouncement(&statusLine), new RunAnnouncement(&statusLine) }
{
    progress_->name = QStringLiteral("コピーの進行状況");
}

void RunHeard::showProgress(
    const QString& name, std::int64_t checked, std::optional<std::int64_t> total, const QString& line)
{
    RunProgressObject& p = *progress_;
    const bool appears = !p.shown;
    const bool renamed = name != p.name;
    const bool described = line != p.line;
    const bool advanced = checked != p.checked || total != p.total;
    p.shown = true;
    p.name = name;
    p.line = line;
    p.checked = checked;
    p.total = total;
    // Costs nothing while no tool listens.
    if (appears) {
        QAccessibleEvent event(progress_, QAccessible::ObjectShow);
        QAccessible::updateAccessibility(&event);
    }
    if (renamed) {
        QAccessibleEvent event(progress_, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
    if (described) {
        QAccessibleEvent event(progress_, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&event);
    }
    if (advanced && total) {
        QAccessibleValueChangeEvent event(progress_, static_cast<double>(std::min(checked, *total)));
        QAccessible::updateAccessibility(&event);
    }
}

void RunHeard::endProgress()
{
    if (!progress_->shown)
        return;
    progress_->shown = false;
    QAccessibleEvent event(progress_, QAccessible::ObjectHide);
    QAccessible::updateAccessibility(&event);
}

void RunHeard::announce(const QString& text)
{
    RunAnnouncement* announcement = announcements_[next_];
    next_ = (next_ + 1) % static_cast<int>(std::size(announcements_));
    announcement->text = text;
    QAccessibleEvent event(announcement, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&event);
}

#include "accessibility.moc"
