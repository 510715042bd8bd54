// The window as a screen reader and a keyboard-only user meet it.
#include "app/copiedlist.h"
#include "app/frmest.h"
#include "app/textlabel.h"
#include "tests/support/duringcopy.h"
#include "tests/support/eventloop.h"
#include "tests/support/testsupport.h"
#include "util/ui/twips.h"
#include "windowtest.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <map>

using testsupport::inEventLoop;
using testsupport::writeFile;

namespace {

QString accessible(QObject* object, QAccessible::Text which)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
    return face ? face->text(which) : QStringLiteral("<none>");
}

class Access : public WindowTest {
protected:
    void activate()
    {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
};

} // namespace

TEST_F(Access, TheRunsFiguresAreReadByTheirCaptionsAndToldAtAPersonsPace)
{
    constexpr int files = 300;
    for (int i = 0; i < files; ++i)
        writeFile(src + "/f" + std::to_string(i), "x", 1700000000);
    fill(src, dst);
    QString status;
    testsupport::actDuringFirstCopy(*window, [&] { status = accessible(control("lbMsg"), QAccessible::Value); });
    std::vector<QString> told;
    QObject::connect(
        control<TextLabel>("lbCheckNum"), &TextLabel::announced, [&](const QString& text) { told.push_back(text); });
    std::vector<QString> toldBeforeSummary;
    answer = [&](const QString&, int) {
        toldBeforeSummary = told;
        return IDOK;
    };
    QElapsedTimer run;
    run.start();
    control<QPushButton>("btnStart")->click();
    finishRun();
    const double seconds = run.elapsed() / 1000.0;

    EXPECT_TRUE(status.startsWith(QString::fromStdString(src))) << status.toStdString();
    EXPECT_EQ(accessible(control("lbMsg"), QAccessible::Name), "状態");
    const QString count = QString::number(files);
    const QString checkedFile = control<TextLabel>("lbCheckFile")->text();
    const struct {
        const char* display;
        const char* name;
        QString value;
    } rows[] = { { "lbCheckNum", "確認数", count }, { "lbCopyNum", "コピー数", count },
        { "lbCountNum", "ファイル数", "0" }, { "lbCheckFile", "確認中のファイル", checkedFile } };
    for (const auto& row : rows) {
        EXPECT_EQ(accessible(control(row.display), QAccessible::Name), QString::fromUtf8(row.name));
        EXPECT_EQ(accessible(control(row.display), QAccessible::Value), row.value) << row.name;
    }
    EXPECT_TRUE(checkedFile.startsWith(QString::fromStdString(dst + "/f")));
    // Once a second at most while the run lasts, and the last count before the summary.
    ASSERT_FALSE(toldBeforeSummary.empty());
    EXPECT_EQ(toldBeforeSummary.back(), count);
    EXPECT_LE(toldBeforeSummary.size(), static_cast<size_t>(std::ceil(seconds)) + 1);
}

TEST_F(Access, EveryControlIsNamedByItsCaption)
{
    fill("/data/写真", "/media/usb");
    auto* source = control<QComboBox>("cmbSrc");
    const struct {
        QWidget* control;
        const char* name;
    } rows[] = { { source, "コピー元フォルダ" }, { source->lineEdit(), "コピー元フォルダ" },
        { control("cmbDst"), "コピー先フォルダ" }, { control("chkSubDir"), "サブフォルダも検索する" },
        { control("chkIgn"), "秒以下の誤差を無視" }, { control("chkMakeDir"), "ｺﾋﾟｰ先にｺﾋﾟ-元のﾌｫﾙﾀﾞを作成" },
        { control("chkFilter"), "拡張子ﾌｨﾙﾀを使用" }, { control("lbSec"), "経過秒数" } };
    for (const auto& row : rows)
        EXPECT_EQ(accessible(row.control, QAccessible::Name), QString::fromUtf8(row.name)) << row.name;
    EXPECT_EQ(accessible(source, QAccessible::Value), "/data/写真");
    EXPECT_EQ(control<QCheckBox>("chkIgn")->text(), "　　　　");
    // Nothing a user can reach or read is left without a name.
    for (QWidget* control : window->centralWidget()->findChildren<QWidget*>()) {
        const bool reachable = control->focusPolicy() != Qt::NoFocus && control->isVisibleTo(window);
        if (reachable || qobject_cast<TextLabel*>(control)) {
            EXPECT_FALSE(accessible(control, QAccessible::Name).trimmed().isEmpty())
                << control->objectName().toStdString();
        }
    }
}

TEST_F(Access, TheEstimatesFiguresAndBarsSayWhatTheyShow)
{
    writeFile(src + "/a.bin", std::string(5000, 'x'));
    fill(src, dst);
    control<QPushButton>("btnEst")->click();
    finishRun();
    frmEst* est = openEstimateWindow();
    ASSERT_TRUE(est);
    EXPECT_EQ(accessible(est->lbNeed, QAccessible::Name), "差分必要量");
    EXPECT_EQ(accessible(est->lbNeed, QAccessible::Value), est->lbNeed->text());
    EXPECT_NE(est->lbNeed->text(), "0");
    EXPECT_EQ(accessible(est->lbPath, QAccessible::Value).toStdString(), dst);
    EXPECT_EQ(accessible(est->lbCluster, QAccessible::Name), "１クラスタ（ﾌｧｲﾙ格納最小単位）あたり");
    // Each gauge says what the figure beside it says, and nothing stands
    // for 0 bytes but 0 % (a bar keeps one twip on screen all the same).
    const struct {
        EstimateBar* bar;
        const char* legend;
        TextLabel* figure;
        double percent;
    } gauges[] = { { est->picTotal, "総容量", est->lbTotal, 100 },
        { est->picFree, "空き容量", est->lbFree, est->dbFree / est->dbTotal * 100 },
        { est->picExist, "ｺﾋﾟｰ先存在量", est->lbExist, 0 } };
    for (const auto& gauge : gauges) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(gauge.bar);
        EXPECT_EQ(face->text(QAccessible::Name), gauge.legend);
        EXPECT_TRUE(face->text(QAccessible::Value).startsWith(gauge.figure->text() + " バイト（"))
            << face->text(QAccessible::Value).toStdString();
        EXPECT_DOUBLE_EQ(face->valueInterface()->currentValue().toDouble(), gauge.percent) << gauge.legend;
    }
    EXPECT_EQ(est->lbExist->text(), "0");
}

TEST_F(Access, TheFileMenusStandardKeysReachTheirItems)
{
    activate();
    setDialogAnswerer([](QDialog& dialog) { dialog.reject(); });
    writeFile(dir / "set.vstl", "");
    window->openCopySet(QString::fromStdString(dir / "set.vstl"));
    QWidget* line = control<QComboBox>("cmbSrc")->lineEdit();
    const struct {
        QKeyCombination key;
        const char* item;
    } rows[] = { { Qt::CTRL | Qt::Key_O, "mnuFileOpen" }, { Qt::CTRL | Qt::Key_S, "mnuFileSave" },
        { Qt::CTRL | Qt::SHIFT | Qt::Key_S, "mnuFileSaveAs" }, { Qt::CTRL | Qt::Key_Q, "mnuFileEnd" } };
    for (const auto& row : rows) {
        int triggered = 0;
        QObject::connect(control<QAction>(row.item), &QAction::triggered, [&] { ++triggered; });
        inEventLoop([&] { QTest::keyClick(line, row.key.key(), row.key.keyboardModifiers()); });
        EXPECT_EQ(triggered, 1) << row.item;
    }
    EXPECT_TRUE(window.isNull()); // the quit key ended the program
}

TEST_F(Access, TheListsCommandsAnswerTheKeyboardAndTheTabOrderStays)
{
    activate();
    for (int i = 1; i <= 3; ++i)
        static_cast<RunFace&>(*window).FileChecked("/s", "/d/" + std::to_string(i), DateTime(), true);
    auto* list = control<CopiedListView>("lstCopied");
    list->selectionModel()->select(list->lines().index(0), QItemSelectionModel::Select);
    list->selectionModel()->select(list->lines().index(2), QItemSelectionModel::Select);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), " /d/1\r\n /d/3");
    // What the window system sends for the menu key.
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), list->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(list, &menuKey);
    EXPECT_TRUE(control("mnuList")->isVisible());
    control("mnuList")->hide();

    auto* source = control<QComboBox>("cmbSrc");
    source->setFocus();
    QStringList order;
    for (int i = 0; i < 20; ++i) {
        QWidget* focus = QApplication::focusWidget();
        QWidget* control = focus && qobject_cast<QComboBox*>(focus->parentWidget()) ? focus->parentWidget() : focus;
        if (!order.isEmpty() && control == source)
            break;
        order << (control ? control->objectName() : "<none>");
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    EXPECT_EQ(order.join(' ').toStdString(),
        "cmbSrc btnSrc btnSrcClear cmbDst btnDst btnDstClear chkSubDir chkIgn editIgn chkMakeDir chkFilter "
        "btnFilter lstCopied btnStart btnEst btnEnd");
}

TEST_F(Access, EscapeClosesTheEstimateWindowAndAsksWhileItRuns)
{
    const struct {
        const char* name;
        bool finished;
        int reply;
        bool asked, stopped, closed;
    } rows[] = { { "finished", true, IDNO, false, false, true }, { "running, kept", false, IDNO, true, false, false },
        { "running, stopped", false, IDYES, true, true, true } };
    for (const auto& row : rows) {
        int stops = 0;
        QPointer<frmEst> est = new frmEst([&] { ++stops; });
        est->show();
        if (row.finished)
            est->SetState(1);
        messages.clear();
        answer = [&](const QString&, int) { return row.reply; };
        inEventLoop([&] { QTest::keyClick(est->btnEnd, Qt::Key_Escape); });
        EXPECT_EQ(!messages.empty() && messages[0] == "見積を中断しますか", row.asked) << row.name;
        EXPECT_EQ(stops == 1, row.stopped) << row.name;
        EXPECT_EQ(est.isNull(), row.closed) << row.name;
        delete est.data();
    }
}

namespace {

// Each line of every caption in FORM within its control; a wrapped note
// within its height.
void expectCaptionsFit(QWidget* form)
{
    for (QWidget* control : form->findChildren<QWidget*>()) {
        QString text;
        int room = control->width();
        if (auto* label = qobject_cast<QLabel*>(control)) {
            room = label->contentsRect().width();
            if (label->wordWrap()) {
                EXPECT_LE(label->heightForWidth(room), label->height()) << label->objectName().toStdString();
                continue;
            }
            text = label->text();
        } else if (auto* button = qobject_cast<QPushButton*>(control)) {
            text = button->text();
            room -= 4; // the button's frame
        }
        for (const QString& line : text.split(QRegularExpression("[\r\n]+"), Qt::SkipEmptyParts))
            EXPECT_LE(control->fontMetrics().horizontalAdvance(line), room)
                << control->objectName().toStdString() << " " << line.toStdString();
    }
}

// Every control of WINDOW's client area within it, the area scrolling where
// the window is smaller.
void expectAllWithinReach(frmBase& window)
{
    auto* scroller = qobject_cast<QScrollArea*>(window.centralWidget());
    ASSERT_NE(scroller, nullptr);
    const QWidget* client = scroller->widget();
    for (const char* name : { "cmbSrc", "btnSrcClear", "lstCopied", "btnFilter", "btnStart", "btnEnd", "lbSec" }) {
        const QWidget* control = client->findChild<QWidget*>(name);
        EXPECT_TRUE(client->rect().contains(control->geometry())) << name;
    }
    EXPECT_LE(client->width() - scroller->viewport()->width(), scroller->horizontalScrollBar()->maximum());
    EXPECT_LE(client->height() - scroller->viewport()->height(), scroller->verticalScrollBar()->maximum());
}

class FontSize : public ::testing::TestWithParam<double> {
protected:
    void SetUp() override
    {
        QFont font = designed;
        font.setPointSizeF(GetParam());
        QApplication::setFont(font);
    }
    void TearDown() override { QApplication::setFont(designed); }

    const QFont designed = QApplication::font();
    testsupport::TempDir dir;
};

} // namespace

TEST_P(FontSize, TheLayoutGrowsWithTheFontAndKeepsEveryCaptionWhole)
{
    SettingsStore store(QString::fromStdString(dir / "settings.ini"));
    frmBase window(store);
    window.load();
    window.show();
    QCoreApplication::processEvents();
    // The status line, 315 twips high, as a finer screen would show it.
    EXPECT_NEAR(findControl(window, "lbMsg")->height(), 315 / 1440.0 * window.logicalDpiY() * GetParam() / 9, 1);
    expectCaptionsFit(&window);
    expectAllWithinReach(window);
    const QRect screen = window.screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(window.frameGeometry())) << window.width() << "x" << window.height();
    // At its designed size nothing scrolls.
    window.resize(twipsToPixelsX(11880), twipsToPixelsY(8595) + window.menuBar()->height());
    QCoreApplication::processEvents();
    const auto* scroller = static_cast<QScrollArea*>(window.centralWidget());
    EXPECT_FALSE(scroller->horizontalScrollBar()->isVisible() || scroller->verticalScrollBar()->isVisible());

    frmEst est;
    est.SetFreeTotal(QStringLiteral("/mnt"), 1e15, 1e15);
    est.SetClusterBytes(-1);
    est.show();
    expectCaptionsFit(&est);
}

INSTANTIATE_TEST_SUITE_P(Access, FontSize, ::testing::Values(9.0, 10.0, 14.0));

TEST_F(Access, AWindowSmallerThanItsControlsScrollsToEachOfThem)
{
    // Rearranged large first: the bottom row keeps that place when the
    // window then becomes too small to rearrange.
    window->resize(window->width() + 300, window->height() + 300);
    QCoreApplication::processEvents();
    window->resize(300, 200);
    QCoreApplication::processEvents();
    EXPECT_GT(control("btnEnd")->y(), twipsToPixelsY(7335));
    expectAllWithinReach(*window);
}

// Every control one can reach has a name of its own, and no name or caption
// breaks its line.
TEST_F(Access, NamesAreTheirOwnAndOneLine)
{
    std::map<QString, QString> owners;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        const QString name = accessible(widget, QAccessible::Name);
        EXPECT_FALSE(name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n')))
            << widget->objectName().toStdString() << ": " << name.toStdString();
        const bool reachable = qobject_cast<QPushButton*>(widget) || qobject_cast<QCheckBox*>(widget)
            || qobject_cast<QComboBox*>(widget)
            || (qobject_cast<QLineEdit*>(widget) && !qobject_cast<QComboBox*>(widget->parentWidget()));
        if (!reachable)
            continue;
        const auto [owner, added] = owners.emplace(name, widget->objectName());
        EXPECT_TRUE(added) << name.toStdString() << ": " << owner->second.toStdString() << " and "
                           << widget->objectName().toStdString();
    }
}

// Return and Enter press the focused button, as Space does.
TEST_F(Access, ReturnAndEnterPressTheFocusedButton)
{
    activate();
    for (const Qt::Key key : { Qt::Key_Return, Qt::Key_Enter }) {
        fill("/data/写真", "/media/usb");
        auto* clear = control<QPushButton>("btnSrcClear");
        clear->setFocus();
        QTest::keyClick(clear, key);
        EXPECT_TRUE(control<QComboBox>("cmbSrc")->currentText().isEmpty()) << key;
    }
}
