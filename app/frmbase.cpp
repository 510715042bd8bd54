#include "frmbase.h"

#include "appearance/bgsetting.h"
#include "appearance/icons.h"
#include "backgroundview.h"
#include "copiedlist.h"
#include "engine/diffcopy.h"
#include "estimateview.h"
#include "mainmenu.h"
#include "run/commandline.h"
#include "run/runrelay.h"
#include "run/session.h"
#include "run/sourcecounter.h"
#include "runview.h"
#include "settings/store/histories.h"
#include "settings/store/store.h"
#include "settings/ui/historywidgets.h"
#include "textlabel.h"
#include "util/ui/forms.h"
#include "util/ui/messagebox.h"
#include "util/ui/twips.h"
#include "util/ui/windowfit.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <algorithm>

const QString frmBase::kCaption = kProgramCaption;

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
    // The window takes the user's font; the twips grow with it (twips.h).
    createControls();
    // The resize handler places the seconds' caption; as wide as it was made.
    layout_.lbSecDesc.width = std::max(layout_.lbSecDesc.width, pixelsToTwipsX(lbSecDesc->width()));
    createMenus();
    session_ = std::make_unique<CopySession>(*this, CopySession::Threading::OwnThread);
    runView_ = std::make_unique<RunView>(
        *this, RunView::Displays { lbCheckNum, lbCheckFile, lbCopyNum, lbSec, lstCopied, lbMsg }, *session_, kCaption);
    estimateView_ = std::make_unique<EstimateView>([this] { StopEstimate(); }, *session_->relay());
    runView_->estimateChecked
        = [this](std::int32_t files, std::int64_t bytes) { estimateView_->showChecked(files, bytes); };
    connectSelection();
    connectOptions();
    resize(openingSize());
}

QSize frmBase::openingSize() const
{
    const QSize designed(twipsToPixelsX(kClientWidth), twipsToPixelsY(kClientHeight) + menuBar()->sizeHint().height());
    const QScreen* screen = this->screen();
    if (!screen)
        return designed;
    return fittingSize(designed, screen->availableGeometry().size(), style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

// The estimate window and a count under way call back into this window:
// they end with their members, before it goes.
frmBase::~frmBase() = default;

void frmBase::load(const QStringList& arguments)
{
    RunRelay& relay = *session_->relay();
    relay.setAfterFile([this] {
        if (afterFileReported)
            afterFileReported();
    });
    histories = std::make_unique<Histories>(
        store_, historyView({ cmbSrc, cmbDst, menu_->mnuFileMRU, menu_->mnuFileSeparator2 }),
        [this](const QString& text, int buttons, const QString& title) { return nShowMessage(text, buttons, title); },
        kCaption);
    session_->engine().setBeforeCopy([this, &relay] {
        if (!beforeThreadedCopy)
            return;
        // What the hook then does on the window's thread finds the window
        // as the run's events so far have left it.
        relay.deliverPosted();
        beforeThreadedCopy();
    });
    histories->bLoadMRUList();
    histories->bLoadHistory();
    InitMainDisplay();
    bLoadBGSetting(store_, background_->nGradation, background_->strBGPicture, background_->nLabelColor);
    ApplyBackground();
    switch (startKindOf(arguments)) {
    case StartKind::OpenCopySet:
        // A file manager opening a copy set: the window shows it, nothing runs.
        openCopySet(arguments.front());
        break;
    case StartKind::Batch:
        // A batch run whose copy set could not be read: the window is there
        // to mend the job in, and says why once it is up.
        strSetFile = readBatchOptions(arguments).setFile;
        QTimer::singleShot(0, this, [this] { tellUnreadable(strSetFile); });
        break;
    default:
        break;
    }
}

void frmBase::InitMainDisplay()
{
    btnEst->setText(QStringLiteral("コピー先の\n必要容量見積"));
    runView_->setListWidth(layout_.lstCopied.width);
    // The flying icons wait just outside the window's right edge.
    for (QLabel* image : background_->imgFly)
        image->move(twipsToPixelsX(windowWidthTwips() + 100), image->y());
}

int frmBase::nShowMessage(const QString& strMessage, int nButtons, const QString& strTitle)
{
    return nMessageBox(strMessage, nButtons, strTitle);
}

void frmBase::btnEnd_Click()
{
    nFlushInputMessages(this);
    if (runActive()) {
        if (nShowMessage(QStringLiteral("終了しますか"), MB_YESNO, kCaption) == IDYES) {
            session_->engine().StopCopy();
            bClosePending = true;
        }
        return;
    }
    UnloadAllForms();
}

void frmBase::closeEvent(QCloseEvent* event)
{
    // A run or an animation step in progress closes the window itself when
    // it is over: the close is refused now and remembered.
    if (runActive()) {
        session_->engine().StopCopy();
        bClosePending = true;
        event->ignore();
        return;
    }
    if (background_->bAnimating) {
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
    if (!fitted_) {
        fitted_ = true;
        fitIntoScreen(*this);
    }
}

void frmBase::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    arrangeControls();
}

void frmBase::arrangeControls()
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
    place(background_->imgBG, layout_.imgBG);

    // The client area holds every control where it stands now: the designed
    // area, or more where the last arrangement put the bottom row lower or
    // the list further right. (The status line and the background follow
    // the window's outer width and would only add a sliver under the frame.)
    // Counted in twips, so that no pixel of rounding makes the area scroll.
    int right = kClientWidth;
    int bottom = std::max(kClientHeight, layout_.lbMsg.top + layout_.lbMsg.height);
    for (const TwipRect& rect : { layout_.btnStart, layout_.btnEst, layout_.btnStop, layout_.btnEnd, layout_.lstCopied,
             layout_.lbCheckFile, layout_.lbSec, layout_.lbSecDesc }) {
        right = std::max(right, rect.left + rect.width);
        bottom = std::max(bottom, rect.top + rect.height);
    }
    const QSize reach(twipsToPixelsX(right), twipsToPixelsY(bottom));
    QWidget* client = clientScroller_->widget();
    if (client->minimumSize() != reach) {
        client->setMinimumSize(reach);
        // The scroll area fits its client to the new least size at once.
        QEvent request(QEvent::LayoutRequest);
        QCoreApplication::sendEvent(clientScroller_, &request);
    }
}
