#include "util/ui/forms.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// A shown window with a button and a text box.
struct Window {
    Window()
    {
        auto* layout = new QVBoxLayout(&widget);
        button = new QPushButton(QStringLiteral("開始"), &widget);
        edit = new QLineEdit(&widget);
        layout->addWidget(button);
        layout->addWidget(edit);
        QObject::connect(button, &QPushButton::clicked, [this] { ++clicks; });
        widget.show();
        QCoreApplication::processEvents();
    }
    QWidget widget;
    QPushButton* button;
    QLineEdit* edit;
    int clicks = 0;
};

void postClick(QWidget* target)
{
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    const QPointF global = target->mapToGlobal(at);
    QCoreApplication::postEvent(
        target, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(
        target, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

void postKey(QWidget* target, Qt::Key key, const QString& text, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, modifiers, text));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, modifiers, text));
}

} // namespace

TEST(FlushInput, QueuedClicksAndKeysOfTheWindowAreDroppedAndCounted)
{
    Window window;
    postClick(window.button);
    postKey(window.edit, Qt::Key_A, QStringLiteral("a"));

    EXPECT_EQ(nFlushInputMessages(&window.widget), 4);
    EXPECT_EQ(nFlushInputMessages(nullptr), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.clicks, 0);
    EXPECT_TRUE(window.edit->text().isEmpty());

    // Nothing is left to drop, and input after the flush works again.
    EXPECT_EQ(nFlushInputMessages(&window.widget), 0);
    postClick(window.button);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.clicks, 1);
}

TEST(FlushInput, AQueuedShortcutKeyDoesNotFireOnItsWayOut)
{
    Window window;
    auto* save = new QShortcut(QKeySequence(QStringLiteral("Ctrl+S")), &window.widget);
    QObject::connect(save, &QShortcut::activated, [&window] { ++window.clicks; });
    window.edit->setFocus();
    QCoreApplication::processEvents();

    // Delivered normally, Ctrl+S fires the shortcut.
    postKey(window.edit, Qt::Key_S, QString(), Qt::ControlModifier);
    QCoreApplication::processEvents();
    ASSERT_EQ(window.clicks, 1);

    postKey(window.edit, Qt::Key_S, QString(), Qt::ControlModifier);
    EXPECT_EQ(nFlushInputMessages(&window.widget), 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.clicks, 1);
}

TEST(FlushInput, AnotherWindowsInputIsDelivered)
{
    Window busy, other;
    postClick(busy.button);
    postClick(other.button);
    postKey(other.edit, Qt::Key_B, QStringLiteral("b"));

    EXPECT_EQ(nFlushInputMessages(&busy.widget), 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(busy.clicks, 0);
    EXPECT_EQ(other.clicks, 1);
    EXPECT_EQ(other.edit->text(), QStringLiteral("b"));
}
