#include "accessibility.h"

#include "frmest.h"
#include "textlabel.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

namespace {

// A TextLabel reads as static text: its name is the caption it belongs to
// (the label beside it, or a name the window gives it), its value and its
// text what it shows.
class TextLabelAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TextLabelAccessible(TextLabel* label)
        : QAccessibleWidget(label, QAccessible::StaticText)
    {
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
// hundredths of the volume's capacity.
class EstimateBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit EstimateBarAccessible(EstimateBar* bar)
        : QAccessibleWidget(bar, QAccessible::ProgressBar)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return QString::number(qRound(share())) + QStringLiteral(" %");
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
    double share() const { return static_cast<const EstimateBar*>(object())->shareOfWhole(); }
};

QAccessibleInterface* interfaceFor(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
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
