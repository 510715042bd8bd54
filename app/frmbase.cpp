#include "frmbase.h"

#include "background.h"
#include "bgsetting.h"
#include "commandline.h"
#include "copiedlist.h"
#include "flights.h"
#include "forms.h"
#include "frmest.h"
#include "icons.h"
#include "messagebox.h"
#include "store.h"
#include "textlabel.h"
#include "textwidth.h"
#include "twips.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>

const QString frmBase::kCaption = QStringLiteral("更新ファイルコピー");

namespace {

// The designed client area: everything below the menu bar.
constexpr int kClientWidth = 11880;
constexpr int kClientHeight = 8595;

void place(QWidget* widget, const TwipRect& rect)
{
    widget->setGeometry(
        twipsToPixelsX(rect.left), twipsToPixelsY(rect.top), twipsToPixelsX(rect.width), twipsToPixelsY(rect.height));
}

} // namespace

frmBase::frmBase(SettingsStore& store, QWidget* parent)
    : QMainWindow(parent)
    , store_(store)
    , layout_(designedMainLayout())
{
    setObjectName(QStringLiteral("frmBase"));
    setWindowTitle(kCaption);
    QFont font = this->font();
    font.setPointSize(9);
    setFont(font);
    createControls();
    createMenus();
    flightDeck = std::make_unique<FlightDeck>(imgFly, imgBG, tmBG, tmFly, [this] { return bIsNightSlot(nTimeSlot); });
    connectSelection();
    connectOptions();
    resize(twipsToPixelsX(kClientWidth), twipsToPixelsY(kClientHeight) + menuBar()->sizeHint().height());
}

frmBase::~frmBase()
{
    // The estimate window calls back into this one.
    delete estimateWindow.data();
}

std::optional<int> frmBase::load(const QStringList& arguments)
{
    cpMan = std::make_unique<DiffCopy>(*this);
    histories = std::make_unique<Histories>(
        store_, Histories::Widgets { cmbSrc, cmbDst, mnuFileMRU, mnuFileSeparator2 },
        [this](const QString& text, int buttons, const QString& title) { return nShowMessage(text, buttons, title); },
        kCaption);
    cpMan->setYield([this] { yieldToWindow(); });
    cpMan->setWaiter([this](PendingCopy& copy) { waitForCopy(copy); });
    cpMan->setBeforeCopy([this] {
        if (beforeThreadedCopy)
            beforeThreadedCopy();
    });
    histories->bLoadMRUList();
    histories->bLoadHistory();
    InitMainDisplay();
    bLoadBGSetting(store_, nGradation, strBGPicture, nLabelColor);
    ApplyBackground();
    switch (startKindOf(arguments)) {
    case StartKind::Window:
        return std::nullopt;
    case StartKind::OpenCopySet:
        // A file manager opening a copy set: the window shows it, nothing runs.
        openCopySet(arguments.front());
        return std::nullopt;
    default:
        return RunCommandLine(arguments);
    }
}

void frmBase::InitMainDisplay()
{
    btnEst->setText(QStringLiteral("コピー先の\n必要容量見積"));
    nMaxTextWidth = layout_.lstCopied.width;
    lstCopied->setHorizontalExtent(twipsToPixelsX(nMaxTextWidth));
    // The flying icons wait just outside the window's right edge.
    for (QLabel* image : imgFly)
        image->move(twipsToPixelsX(windowWidthTwips() + 100), image->y());
}

int frmBase::nShowMessage(const QString& strMessage, int nButtons, const QString& strTitle)
{
    if (bBatch) {
        writeLog(strMessage);
        return (nButtons & MB_YESNO) ? IDYES : IDOK;
    }
    return nMessageBox(strMessage, nButtons, strTitle);
}

void frmBase::writeLog(const QString& record, bool bFlush)
{
    if (!nLogFile || !nLogFile->isOpen())
        return;
    nLogFile->write((record + QStringLiteral("\r\n")).toUtf8());
    if (bFlush)
        nLogFile->flush();
}

void frmBase::btnEnd_Click()
{
    nFlushInputMessages(this);
    if (runActive()) {
        if (nShowMessage(QStringLiteral("終了しますか"), MB_YESNO, kCaption) == IDYES) {
            cpMan->StopCopy();
            bClosePending = true;
        }
        return;
    }
    UnloadAllForms();
}

void frmBase::closeEvent(QCloseEvent* event)
{
    if (bBatch) {
        event->accept();
        return;
    }
    // A run or an animation step in progress closes the window itself when
    // it is over: the close is refused now and remembered.
    if (runActive()) {
        if (cpMan)
            cpMan->StopCopy();
        bClosePending = true;
        event->ignore();
        return;
    }
    if (bAnimating) {
        bClosePending = true;
        event->ignore();
        return;
    }
    event->accept();
}

int frmBase::windowWidthTwips() const
{
    return pixelsToTwipsX(frameGeometry().width());
}

int frmBase::windowHeightTwips() const
{
    return pixelsToTwipsY(frameGeometry().height());
}

int frmBase::clientHeightTwips() const
{
    return pixelsToTwipsY(centralWidget()->height());
}

void frmBase::showEvent(QShowEvent* event)
{
    // Painted when first needed: a batch run never shows the window.
    if (windowIcon().isNull())
        setWindowIcon(programIcon(32));
    QMainWindow::showEvent(event);
}

void frmBase::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmBase::Form_Resize()
{
    FitComboDropDown(this, cmbSrc);
    FitComboDropDown(this, cmbDst);
    arrangeMainLayout(layout_, windowWidthTwips(), windowHeightTwips(), clientHeightTwips());
    placeControls();
}

void frmBase::placeControls()
{
    place(lbMsg, layout_.lbMsg);
    place(btnStart, layout_.btnStart);
    place(btnEst, layout_.btnEst);
    place(btnStop, layout_.btnStop);
    place(btnEnd, layout_.btnEnd);
    place(lstCopied, layout_.lstCopied);
    place(lbCheckFile, layout_.lbCheckFile);
    place(lbSec, layout_.lbSec);
    place(lbSecDesc, layout_.lbSecDesc);
    place(imgBG, layout_.imgBG);
}
