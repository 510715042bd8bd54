#include "app/copiedlist.h"
#include "app/frmbase.h"
#include "app/textlabel.h"
#include "settings/store/store.h"
#include "util/ui/messagebox.h"
#include "util/ui/twips.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Message {
    QString text;
    int flags;
    QString title;
};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        store = std::make_unique<SettingsStore>(dir.filePath("settings.ini"));
        setMessageBoxAnswerer([this](const QString& text, int flags, const QString& title) {
            messages.push_back({ text, flags, title });
            return reply;
        });
        window = new frmBase(*store);
        window->load();
    }
    void TearDown() override
    {
        delete window.data();
        setMessageBoxAnswerer(nullptr);
    }

    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> store;
    QPointer<frmBase> window;
    std::vector<Message> messages;
    int reply = IDOK;
};

} // namespace

TEST_F(MainWindow, StartsWithTheHistoriesFromTheStore)
{
    delete window.data();
    ASSERT_TRUE(store->open());
    store->write("SrcList", QStringLiteral("2024/01/02 03:04:05\t/home/me/photos\n2025/01/02 03:04:05\t/home/me/docs"));
    store->write("MRUList", QStringLiteral("/home/me/a.vstl"));
    store->close();

    window = new frmBase(*store);
    window->load();
    ASSERT_EQ(window->cmbSrc->count(), 2);
    EXPECT_EQ(window->cmbSrc->itemText(0), "/home/me/docs");
    EXPECT_TRUE(window->cmbSrc->currentText().isEmpty());
    EXPECT_TRUE(window->mnuFileMRU[0]->isVisible());
    EXPECT_EQ(window->mnuFileMRU[0]->text(), "/home/me/a.vstl");
    EXPECT_FALSE(window->mnuFileMRU[1]->isVisible());
    EXPECT_EQ(window->btnEst->text(), QStringLiteral("コピー先の\n必要容量見積"));
}

TEST_F(MainWindow, CloseBoxDuringARunStopsWithoutAsking)
{
    window->btnStop->setEnabled(true); // a copy run is active
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->bClosePending);
    EXPECT_TRUE(messages.empty());

    window->btnStop->setEnabled(false);
    window->bClosePending = false;
    window->bEstimating = true;
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->bClosePending);
}

TEST_F(MainWindow, CloseBoxDuringAnAnimationStepWaitsForIt)
{
    window->bAnimating = true;
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->bClosePending);
    window->bAnimating = false;
    window->bClosePending = false;
    EXPECT_TRUE(window->close());
}

TEST_F(MainWindow, EndDuringARunAsksFirst)
{
    window->btnStop->setEnabled(true);
    reply = IDNO;
    window->btnEnd->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("終了しますか"));
    EXPECT_EQ(messages[0].flags, MB_YESNO);
    EXPECT_EQ(messages[0].title, frmBase::kCaption);
    EXPECT_FALSE(window->bClosePending);

    reply = IDYES;
    window->mnuFileEnd->trigger();
    EXPECT_TRUE(window->bClosePending);
    EXPECT_FALSE(window.isNull());
}

TEST_F(MainWindow, EndWithoutARunClosesEveryWindow)
{
    auto* other = new QWidget;
    QPointer<QWidget> otherWindow = other;
    other->show();
    window->show();
    window->btnEnd->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(otherWindow.isNull());
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindow, InteractiveMessagesUseTheMessageBox)
{
    reply = IDNO;
    EXPECT_EQ(window->nShowMessage(QStringLiteral("本当に？"), MB_YESNO, QStringLiteral("題")), IDNO);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, QStringLiteral("題"));
}

TEST_F(MainWindow, OpensWithTheDesignedClientAreaBelowItsMenuBar)
{
    window->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->centralWidget()->size(), QSize(twipsToPixelsX(11880), twipsToPixelsY(8595)));
    EXPECT_EQ(window->lbMsg->y(), twipsToPixelsY(8280));
    EXPECT_EQ(window->lstCopied->height(), twipsToPixelsY(4350));
    EXPECT_EQ(window->btnStart->y(), twipsToPixelsY(7350));
}

TEST_F(MainWindow, ResizingMovesTheBottomRowAndStretchesTheList)
{
    window->show();
    const int dx = twipsToPixelsX(1500), dy = twipsToPixelsY(1500);
    // The designed size is below the size that rearranges: start above it.
    window->resize(window->width() + dx, window->height() + dy);
    QCoreApplication::processEvents();
    const QRect list = window->lstCopied->geometry();
    const QRect end = window->btnEnd->geometry();
    const QRect msg = window->lbMsg->geometry();
    window->resize(window->width() + dx, window->height() + dy);
    QCoreApplication::processEvents();

    EXPECT_NEAR(window->lbMsg->y(), msg.y() + dy, 2);
    EXPECT_EQ(window->lbMsg->y() + window->lbMsg->height(), window->centralWidget()->height());
    EXPECT_NEAR(window->btnEnd->y(), end.y() + dy, 2);
    EXPECT_EQ(window->btnEnd->x(), end.x());
    EXPECT_NEAR(window->lstCopied->height(), list.height() + dy, 2);
    EXPECT_NEAR(window->lstCopied->width(), list.width() + dx, 2);
    // The background spans the window's outer width, frame included.
    EXPECT_NEAR(window->imgBG->width(), window->frameGeometry().width(), 1);
}
