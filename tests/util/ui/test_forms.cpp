#include "util/ui/forms.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

QWidget* newForm(const QString& name)
{
    auto* form = new QWidget;
    form->setObjectName(name);
    form->resize(200, 100);
    form->show();
    return form;
}

// A window that will not be closed, as one asking "save changes?" might.
class StubbornForm : public QWidget {
protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

} // namespace

TEST(UnloadForm, ClosesDeletesAndReleasesTheReference)
{
    EXPECT_FALSE(bIsFormLoaded(QStringLiteral("frmEst")));
    QWidget* form = newForm(QStringLiteral("frmEst"));
    QPointer<QWidget> watch(form);
    auto* child = new QWidget(form);
    child->setObjectName(QStringLiteral("frmChild"));
    EXPECT_TRUE(bIsFormLoaded(QStringLiteral("FRMEST")));
    EXPECT_FALSE(bIsFormLoaded(QStringLiteral("frmEs")));
    // Controls inside a window are not windows.
    EXPECT_FALSE(bIsFormLoaded(QStringLiteral("frmChild")));

    EXPECT_TRUE(bUnloadForm(form));
    EXPECT_EQ(form, nullptr);
    EXPECT_TRUE(watch.isNull());
    EXPECT_FALSE(bIsFormLoaded(QStringLiteral("frmEst")));

    // Nothing to unload.
    EXPECT_FALSE(bUnloadForm(form));

    // A typed reference is released as well.
    auto* dialog = new QDialog;
    EXPECT_TRUE(bUnloadForm(dialog));
    EXPECT_EQ(dialog, nullptr);

    // Closed by its title bar: gone for the program, although Qt keeps the object.
    QWidget* closed = newForm(QStringLiteral("frmEst"));
    closed->close();
    EXPECT_FALSE(bIsFormLoaded(QStringLiteral("frmEst")));
    delete closed;
}

TEST(UnloadForm, FromItsOwnButtonInsideTheEventLoopTheFormGoesWhenTheHandlerIsDone)
{
    auto* form = new QWidget;
    form->setObjectName(QStringLiteral("frmAbout"));
    auto* ok = new QPushButton(QStringLiteral("OK"), form);
    form->show();
    QPointer<QWidget> watch(form);
    bool aliveAfterUnload = false;
    bool loadedAfterUnload = true;
    QObject::connect(ok, &QPushButton::clicked, [&] {
        QWidget* self = form;
        bUnloadForm(self);
        // The handler is still running inside the form: it must not be gone yet,
        // but it is closed and no longer counts as loaded.
        aliveAfterUnload = !watch.isNull() && !ok->isVisible();
        loadedAfterUnload = bIsFormLoaded(QStringLiteral("frmAbout"));
    });

    QEventLoop loop;
    QTimer::singleShot(0, ok, [ok] { ok->click(); });
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    loop.exec();
    QCoreApplication::processEvents();

    EXPECT_TRUE(aliveAfterUnload);
    EXPECT_FALSE(loadedAfterUnload);
    EXPECT_TRUE(watch.isNull());
}

TEST(UnloadForm, ARefusalLeavesTheFormAndUnloadAllFormsGoesOnWithTheRest)
{
    QPointer<QWidget> main = newForm(QStringLiteral("frmBase"));
    QPointer<QWidget> est = newForm(QStringLiteral("frmEst"));
    QPointer<QDialog> owned = new QDialog(main);
    owned->show();
    auto* stubborn = new StubbornForm;
    auto* combo = new QComboBox(stubborn);
    combo->addItems({ QStringLiteral("a"), QStringLiteral("b") });
    // The combo box's drop-down list is a window of its own that belongs to it.
    QPointer<QWidget> dropDown = combo->view()->window();
    ASSERT_NE(dropDown.data(), stubborn);
    stubborn->show();
    QWidget* refusing = stubborn;
    EXPECT_FALSE(bUnloadForm(refusing));
    EXPECT_EQ(refusing, stubborn);

    UnloadAllForms();

    EXPECT_TRUE(main.isNull());
    EXPECT_TRUE(est.isNull());
    EXPECT_TRUE(owned.isNull());
    EXPECT_TRUE(stubborn->isVisible());
    EXPECT_FALSE(dropDown.isNull());
    delete stubborn;
}

TEST(Focus, OnlyAShownEnabledControlTakesTheFocus)
{
    QWidget form;
    auto* first = new QLineEdit(&form);
    auto* second = new QLineEdit(&form);
    second->move(0, 40);

    EXPECT_FALSE(bSetFocus(second)); // its window is not shown yet
    form.show();
    QCoreApplication::processEvents();

    EXPECT_TRUE(bSetFocus(second));
    EXPECT_EQ(form.focusWidget(), second);
    second->setEnabled(false);
    EXPECT_FALSE(bSetFocus(second));
    first->hide();
    EXPECT_FALSE(bSetFocus(first));
}

namespace {

// A window of HEIGHT pixels with a combo box of ITEMS items at TOP.
struct ComboWindow {
    ComboWindow(int height, int top, int items)
    {
        window.resize(300, height);
        combo = new QComboBox(&window);
        combo->setGeometry(10, top, 200, 24);
        for (int i = 0; i < items; ++i)
            combo->addItem(QStringLiteral("/data/folder%1").arg(i));
        combo->setMaxVisibleItems(1000);
    }
    int room() const { return window.height() - combo->y() - combo->height(); }
    int rowHeight() const { return combo->view()->sizeHintForRow(0); }
    QWidget window;
    QComboBox* combo;
};

} // namespace

TEST(ComboDropDown, TheListFitsTheRoomBelowTheComboBox)
{
    ComboWindow crowded(300, 100, 100);
    FitComboDropDown(&crowded.window, crowded.combo);
    const int rows = crowded.combo->maxVisibleItems();
    EXPECT_GE(rows, 1);
    EXPECT_LE(rows * crowded.rowHeight(), crowded.room());
    EXPECT_GT((rows + 1) * crowded.rowHeight(), crowded.room());

    // A short list is shown whole.
    ComboWindow roomy(600, 10, 3);
    FitComboDropDown(&roomy.window, roomy.combo);
    EXPECT_GE(roomy.combo->maxVisibleItems(), 3);
    EXPECT_LT(roomy.combo->maxVisibleItems(), 1000);

    // At the bottom edge there is no room: the list keeps its size, but an
    // editable combo box still loses its selection.
    ComboWindow bottom(200, 180, 10);
    bottom.combo->setEditable(true);
    bottom.combo->setEditText(QStringLiteral("txt doc"));
    bottom.combo->lineEdit()->selectAll();
    FitComboDropDown(&bottom.window, bottom.combo);
    EXPECT_EQ(bottom.combo->maxVisibleItems(), 1000);
    EXPECT_FALSE(bottom.combo->lineEdit()->hasSelectedText());
    EXPECT_EQ(bottom.combo->currentText(), QStringLiteral("txt doc"));
}
