#include "frmest.h"

#include "estimate.h"
#include "forms.h"
#include "messagebox.h"
#include "textlabel.h"
#include "twips.h"

#include <QCloseEvent>
#include <QColor>
#include <QCoreApplication>
#include <QLabel>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <utility>

const QString frmEst::kCaption = QStringLiteral("コピー容量見積");

namespace {

// Where things stand, in twips. Rows of caption, value and unit at the top,
// the notes below them, then the bars and the button.
constexpr int kFormWidth = 9600;
constexpr int kMargin = 240;
constexpr int kValueLeft = 3720;
constexpr int kValueWidth = 2400;
constexpr int kUnitLeft = kValueLeft + kValueWidth + 90;
constexpr int kRowTop = 240;
constexpr int kRowPitch = 390;
constexpr int kRowHeight = 315;
constexpr int kNoteHeight = 420;

// The bars: one left edge, 6,000 twips for the whole volume, and room to the
// right of it for the shortfall.
constexpr int kBarLeft = 1800;
constexpr int kBarDesignWidth = 6000;
constexpr int kBarHeight = 250;
constexpr int kBarPitch = 340;
constexpr int kOverWidth = 1020;

// Milliseconds between two rounds of event handling while the sums grow.
constexpr qint64 kEventInterval = 20;

constexpr int rowTop(int row)
{
    return kRowTop + row * kRowPitch;
}

const QString kBytes = QStringLiteral("バイト");
const QString kCloseCaption = QStringLiteral("閉じる");
const QString kStopCaption = QStringLiteral("見積中止");

QLabel* label(QWidget* parent, const char* name, const QString& text, int left, int top, int width, int height)
{
    auto* widget = makeTwips<QLabel>(parent, name, left, top, width, height);
    // Texts here are fixed or numbers; none is markup.
    widget->setTextFormat(Qt::PlainText);
    widget->setText(text);
    return widget;
}

// A value: a sunken box with the number on the right.
TextLabel* value(QWidget* parent, const char* name, const QString& text, int top)
{
    auto* widget = makeTwips<TextLabel>(parent, name, kValueLeft, top, kValueWidth, kRowHeight);
    widget->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    widget->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    widget->setText(text);
    return widget;
}

QLabel* unit(QWidget* parent, const char* name, const QString& text, int top)
{
    return label(parent, name, text, kUnitLeft, top, kFormWidth - kMargin - kUnitLeft, kRowHeight);
}

QLabel* caption(QWidget* parent, const char* name, const QString& text, int top)
{
    return label(parent, name, text, kMargin, top, kValueLeft - kMargin - 90, kRowHeight);
}

QLabel* note(QWidget* parent, const char* name, const QString& text, int top)
{
    QLabel* widget = label(parent, name, text, kMargin, top, kFormWidth - 2 * kMargin, kNoteHeight);
    widget->setWordWrap(true);
    widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return widget;
}

} // namespace

EstimateBar::EstimateBar(
    QWidget* parent, const char* name, const QColor& colour, int left, int top, int width, int height)
    : QWidget(parent)
    , left_(left)
    , top_(top)
    , width_(width)
    , height_(height)
{
    setObjectName(QString::fromLatin1(name));
    QPalette fill = palette();
    fill.setColor(QPalette::Window, colour);
    setPalette(fill);
    setAutoFillBackground(true);
    place();
}

void EstimateBar::setTwipsWidth(int width)
{
    if (width == width_)
        return;
    width_ = width;
    place();
}

void EstimateBar::moveTwips(int left, int top)
{
    left_ = left;
    top_ = top;
    place();
}

void EstimateBar::place()
{
    // Both edges are converted, so that a bar placed after another meets it
    // without a gap or an overlap; a bar of at least one twip keeps one pixel.
    const int x = twipsToPixelsX(left_);
    const int right = twipsToPixelsX(left_ + std::max(width_, 0));
    const int pixels = width_ >= 1 ? std::max(right - x, 1) : 0;
    setGeometry(x, twipsToPixelsY(top_), pixels, twipsToPixelsY(height_));
}

frmEst::frmEst(std::function<void()> stopEstimate, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , stopEstimate_(std::move(stopEstimate))
{
    setObjectName(QStringLiteral("frmEst"));
    setWindowTitle(kCaption);
    setAttribute(Qt::WA_DeleteOnClose);
    createControls();
    ResetDisplay();
}

void frmEst::setStopEstimate(std::function<void()> stopEstimate)
{
    stopEstimate_ = std::move(stopEstimate);
}

void frmEst::createControls()
{
    caption(this, "lbPathCaption", QStringLiteral("コピー先"), rowTop(0));
    lbPath = makeTwips<TextLabel>(this, "lbPath", kValueLeft, rowTop(0), kFormWidth - kMargin - kValueLeft, kRowHeight);
    lbPath->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    caption(this, "lbTotalCaption", QStringLiteral("総容量"), rowTop(1));
    lbTotal = value(this, "lbTotal", QString(), rowTop(1));
    unit(this, "lbTotalUnit", kBytes, rowTop(1));

    caption(this, "lbFreeCaption", QStringLiteral("空き容量"), rowTop(2));
    lbFree = value(this, "lbFree", QString(), rowTop(2));
    lbFreeDesc = unit(this, "lbFreeDesc", kBytes, rowTop(2));

    caption(this, "lbCopyCaption", QStringLiteral("ｺﾋﾟｰ対象容量"), rowTop(3));
    lbCopy = value(this, "lbCopy", QString(), rowTop(3));
    unit(this, "lbCopyUnit", kBytes, rowTop(3));

    caption(this, "lbExistCaption", QStringLiteral("ｺﾋﾟｰ先存在量"), rowTop(4));
    lbExist = value(this, "lbExist", QString(), rowTop(4));
    unit(this, "lbExistUnit", kBytes, rowTop(4));

    caption(this, "lbNeedCaption", QStringLiteral("差分必要量"), rowTop(5));
    lbNeed = value(this, "lbNeed", QString(), rowTop(5));
    unit(this, "lbNeedUnit", kBytes, rowTop(5));

    // The shortfall belongs to the need above it; it has no caption of its own.
    lbOver = value(this, "lbOver", QString(), rowTop(6));
    lbOverDesc = unit(this, "lbOverDesc", QStringLiteral("バイト不足"), rowTop(6));

    caption(this, "lbPeakCaption", QStringLiteral("最大一時必要量"), rowTop(7));
    lbPeak = value(this, "lbPeak", QString(), rowTop(7));
    unit(this, "lbPeakUnit", kBytes, rowTop(7));

    caption(this, "lbClusterCaption", QStringLiteral("１クラスタ（ﾌｧｲﾙ格納最小単位）あたり"), rowTop(8));
    lbCluster = value(this, "lbCluster", QString(), rowTop(8));
    lbClusterBytes = unit(this, "lbClusterBytes", kBytes, rowTop(8));

    int top = rowTop(9);
    note(this, "lbClusterNote",
        QStringLiteral("（１バイトのファイルでも、ディスクに格納するには、１クラスタサイズが必要です。）"), top);
    top += kNoteHeight + 60;
    note(this, "lbNeedNote",
        QStringLiteral("☆コピーの対象となるファイルがあっても、差分必要量が０以下になる場合があります。"), top);
    top += kNoteHeight + 60;
    lbNotice = note(
        this, "lbNotice", QStringLiteral("☆１クラスタサイズが不明なため、ファイルのサイズの合計を表示します。"), top);
    top += kNoteHeight + 120;

    // A caption beside each bar says what it stands for.
    const struct {
        const char* captionName;
        const char* text;
        const char* barName;
        QColor colour;
        int width;
        EstimateBar** bar;
    } bars[] = {
        { "lbTotalBar", "総容量", "picTotal", QColor(0, 0, 255), kBarDesignWidth, &picTotal },
        { "lbFreeBar", "空き容量", "picFree", QColor(255, 128, 255), kBarDesignWidth, &picFree },
        { "lbCopyBar", "ｺﾋﾟｰ対象容量", "picCopy", QColor(128, 255, 255), 1, &picCopy },
        { "lbExistBar", "ｺﾋﾟｰ先存在量", "picExist", QColor(128, 128, 255), 1, &picExist },
        { "lbNeedBar", "差分必要量", "picNeed", QColor(128, 255, 128), 1, &picNeed },
    };
    for (const auto& bar : bars) {
        QLabel* legend = label(this, bar.captionName, QString::fromUtf8(bar.text), kMargin, top - 30,
            kBarLeft - kMargin - 90, kBarHeight + 60);
        legend->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        *bar.bar = new EstimateBar(this, bar.barName, bar.colour, kBarLeft, top, bar.width, kBarHeight);
        top += kBarPitch;
    }
    picOver = new EstimateBar(
        this, "picOver", QColor(255, 0, 0), kBarLeft + 1, picNeed->twipsTop(), kOverWidth, kBarHeight);

    top += 120;
    constexpr int buttonWidth = 1335;
    constexpr int buttonHeight = 435;
    btnEnd = makeTwips<QPushButton>(this, "btnEnd", kFormWidth - kMargin - buttonWidth, top, buttonWidth, buttonHeight);
    btnEnd->setText(kStopCaption);
    connect(btnEnd, &QPushButton::clicked, this, &frmEst::btnEnd_Click);

    setFixedSize(twipsToPixelsX(kFormWidth), twipsToPixelsY(top + buttonHeight + kMargin));
}

void frmEst::ResetDisplay()
{
    bFinished = false;
    btnEnd->setText(kStopCaption);
    lbFreeDesc->setText(kBytes);
    for (TextLabel* sum : { lbCopy, lbExist, lbNeed, lbOver, lbPeak })
        sum->setText(QStringLiteral("0"));
    lbOver->hide();
    lbOverDesc->hide();
    lbNotice->hide();
    lbClusterBytes->show();
    picFree->setTwipsWidth(kBarDesignWidth);
    for (EstimateBar* bar : { picCopy, picExist, picNeed })
        bar->setTwipsWidth(1);
    picOver->hide();
    picOver->moveTwips(picNeed->twipsLeft() + picNeed->twipsWidth(), picNeed->twipsTop());
    picOver->setTwipsWidth(kOverWidth);
}

int frmEst::windowWidthTwips() const
{
    return pixelsToTwipsX(width());
}

int frmEst::barWidth(double value) const
{
    const double width = picTotal->twipsWidth() * value / dbTotal;
    // Far beyond any window, and still far from int's limits when added to a left edge.
    constexpr double limit = 1e9;
    if (std::isnan(width))
        return 0;
    return static_cast<int>(std::lround(std::clamp(width, -limit, limit)));
}

int frmEst::clippedWidth(const EstimateBar* bar, int width) const
{
    const int room = windowWidthTwips() - bar->twipsLeft();
    return bar->twipsLeft() + width > windowWidthTwips() ? std::max(room, 1) : width;
}

void frmEst::SetFreeTotal(const QString& strPath, double dbFree, double dbTotal)
{
    ResetDisplay();
    this->dbFree = dbFree;
    this->dbTotal = dbTotal;
    lbPath->setText(strPath);
    lbPath->setToolTip(strPath);
    lbTotal->setText(formatBytes(dbTotal));
    lbFree->setText(formatBytes(dbFree));
    if (dbTotal != 0) {
        lbFreeDesc->setText(
            QStringLiteral("バイト（") + formatPercent(dbFree / dbTotal * 100) + QStringLiteral(" %）"));
        picFree->setTwipsWidth(std::max(barWidth(dbFree), 1));
    }
}

void frmEst::SetClusterBytes(std::int32_t nBytes)
{
    const bool known = nBytes >= 1;
    lbCluster->setText(known ? formatBytes(nBytes) : QStringLiteral("不明"));
    lbClusterBytes->setVisible(known);
    lbNotice->setVisible(!known);
}

void frmEst::UpdateToCopy(double dbCopy)
{
    lbCopy->setText(formatBytes(dbCopy));
    if (dbTotal == 0)
        return;
    const int width = barWidth(dbCopy);
    picCopy->setTwipsWidth(width < 1 ? 1 : clippedWidth(picCopy, width));
}

void frmEst::UpdateExist(double dbExist)
{
    lbExist->setText(formatBytes(dbExist));
    if (dbTotal == 0)
        return;
    // Not cut at the window's edge: what runs past it is simply not seen.
    picExist->setTwipsWidth(std::max(barWidth(dbExist), 1));
}

void frmEst::UpdateNeed(double dbNeed)
{
    lbNeed->setText(formatBytes(dbNeed));
    if (dbTotal != 0) {
        if (dbNeed > dbFree) {
            // The need bar stops at the free space; the rest goes on in red.
            lbOver->setText(formatBytes(dbNeed - dbFree));
            lbOver->show();
            lbOverDesc->show();
            picNeed->setTwipsWidth(picFree->twipsWidth());
            picOver->moveTwips(picNeed->twipsLeft() + picNeed->twipsWidth(), picNeed->twipsTop());
            const int width = barWidth(dbNeed) - picFree->twipsWidth();
            picOver->setTwipsWidth(width < 1 ? 1 : clippedWidth(picOver, width));
            picOver->show();
        } else {
            // A shortfall shown before stays as it was.
            picNeed->setTwipsWidth(std::max(barWidth(dbNeed), 1));
        }
    }
    // Pending events are handled once, at most every kEventInterval ms: a
    // repaint per file would cost the estimate more than the walk itself. The
    // window may be closed, and deleted, in here: nothing may follow.
    if (!sinceEvents_.isValid() || sinceEvents_.hasExpired(kEventInterval)) {
        sinceEvents_.start();
        QCoreApplication::processEvents();
    }
}

void frmEst::UpdatePeak(double dbPeak)
{
    lbPeak->setText(formatBytes(dbPeak));
}

void frmEst::SetState(std::int32_t n)
{
    if (n != 1)
        return;
    bFinished = true;
    btnEnd->setText(kCloseCaption);
    raise();
    activateWindow();
}

bool frmEst::bAskToStop()
{
    QPointer<frmEst> self(this);
    const int reply = nMessageBox(QStringLiteral("見積を中断しますか"), MB_YESNO, kCaption);
    if (reply != IDYES || !self)
        return false;
    // The estimate may have ended while the question was up.
    if (!bFinished && stopEstimate_)
        stopEstimate_();
    if (!self)
        return false;
    bFinished = true;
    btnEnd->setText(kCloseCaption);
    return true;
}

void frmEst::btnEnd_Click()
{
    QPointer<frmEst> self(this);
    nFlushInputMessages(this);
    if (!self)
        return;
    if (bFinished) {
        QWidget* form = this;
        bUnloadForm(form);
        return;
    }
    // The window stays open: the next click closes it.
    bAskToStop();
}

void frmEst::closeEvent(QCloseEvent* event)
{
    // Closes made by the program (bUnloadForm, the program ending) are not asked about.
    if (event->spontaneous() && !bFinished && !bAskToStop()) {
        event->ignore();
        return;
    }
    event->accept();
}
