#include "frmest.h"

#include "accessibility.h"
#include "run/estimate.h"
#include "run/runprogress.h"
#include "textlabel.h"
#include "util/ui/forms.h"
#include "util/ui/messagebox.h"
#include "util/ui/twips.h"
#include "util/ui/windowfit.h"

#include <QCloseEvent>
#include <QColor>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>

const QString frmEst::kCaption = QStringLiteral("コピー容量見積");

namespace {

// Where things stand, in twips, at the least: rows of caption, value and unit
// at the top, the notes below them, then the bars and the button. A column,
// a row or a note grows where its texts need more room in the font shown.
constexpr int kFormWidth = 9600;
constexpr int kMargin = 240;
constexpr int kGap = 90;
constexpr int kValueLeft = 3720;
constexpr int kValueWidth = 2400;
constexpr int kRowTop = 240;
constexpr int kRowSpacing = 75;
constexpr int kRowHeight = 315;
constexpr int kNoteHeight = 420;
constexpr int kButtonWidth = 1335;
constexpr int kButtonHeight = 435;

// The bars: one left edge, 6,000 twips for the whole volume, and room to the
// right of it for the shortfall.
constexpr int kBarLeft = 1800;
constexpr int kBarDesignWidth = 6000;
constexpr int kBarHeight = 250;
constexpr int kBarSpacing = 30;
constexpr int kOverWidth = 1020;

// Milliseconds between two rounds of event handling while the sums grow.
constexpr qint64 kEventInterval = 20;

const QString kBytes = QStringLiteral("バイト");
const QString kCloseCaption = QStringLiteral("閉じる");
const QString kStopCaption = QStringLiteral("見積中止");

// The rows of figures: caption, value, unit.
struct Row {
    const char* captionName;
    const char* caption;
    const char* valueName;
    TextLabel* frmEst::*value;
    const char* unitName;
    const char* unitText;
    QLabel* frmEst::*unit;
};

// The widest texts a value and a unit can show.
const QString kWidestValue = QStringLiteral("-9,999,999,999,999,999");
const QString kWidestUnit = QStringLiteral("バイト（100.00 %）");

QLabel* label(QWidget* parent, const char* name, const QString& text)
{
    auto* widget = new QLabel(parent);
    widget->setObjectName(QString::fromLatin1(name));
    // Texts here are fixed or numbers; none is markup.
    widget->setTextFormat(Qt::PlainText);
    widget->setText(text);
    return widget;
}

void placeTwips(QWidget* widget, int left, int top, int width, int height)
{
    widget->setGeometry(twipsToPixelsX(left), twipsToPixelsY(top), twipsToPixelsX(width), twipsToPixelsY(height));
}

// The width of TEXT in WIDGET's font, in twips, with a pixel to spare on
// each side for rounding.
int textTwips(const QWidget* widget, const QString& text)
{
    return pixelsToTwipsX(widget->fontMetrics().horizontalAdvance(text) + 2);
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

void EstimateBar::setReading(double bytes, double whole)
{
    percent_ = whole > 0 && std::isfinite(bytes) ? bytes / whole * 100 : 0.0;
    reading_ = formatBytes(bytes) + QStringLiteral(" バイト（") + formatPercent(percent_) + QStringLiteral(" %）");
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
    // The controls stand on a sheet of their designed size; where the screen
    // has less room (a high scale, a large font), the sheet scrolls.
    scroller_ = new QScrollArea(this);
    scroller_->setObjectName(QStringLiteral("sheetScroller"));
    scroller_->setFrameShape(QFrame::NoFrame);
    scroller_->setFocusPolicy(Qt::NoFocus);
    sheet_ = new QWidget;
    sheet_->setObjectName(QStringLiteral("sheet"));
    scroller_->setWidget(sheet_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroller_);
    createControls();
    ResetDisplay();
}

void frmEst::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (fitted_)
        return;
    fitted_ = true;
    if (const QScreen* screen = this->screen())
        resize(fittingSize(
            sheet_->size(), screen->availableGeometry().size(), style()->pixelMetric(QStyle::PM_ScrollBarExtent)));
    fitIntoScreen(*this);
}

void frmEst::setStopEstimate(std::function<void()> stopEstimate)
{
    stopEstimate_ = std::move(stopEstimate);
}

void frmEst::createControls()
{
    const Row rows[] = {
        { "lbPathCaption", "コピー先", "lbPath", &frmEst::lbPath, nullptr, nullptr, nullptr },
        { "lbTotalCaption", "総容量", "lbTotal", &frmEst::lbTotal, "lbTotalUnit", "バイト", nullptr },
        { "lbFreeCaption", "空き容量", "lbFree", &frmEst::lbFree, "lbFreeDesc", "バイト", &frmEst::lbFreeDesc },
        { "lbCopyCaption", "ｺﾋﾟｰ対象容量", "lbCopy", &frmEst::lbCopy, "lbCopyUnit", "バイト", nullptr },
        { "lbExistCaption", "ｺﾋﾟｰ先存在量", "lbExist", &frmEst::lbExist, "lbExistUnit", "バイト", nullptr },
        { "lbNeedCaption", "差分必要量", "lbNeed", &frmEst::lbNeed, "lbNeedUnit", "バイト", nullptr },
        // The shortfall belongs to the need above it; it has no caption of its own.
        { nullptr, nullptr, "lbOver", &frmEst::lbOver, "lbOverDesc", "バイト不足", &frmEst::lbOverDesc },
        { "lbPeakCaption", "最大一時必要量", "lbPeak", &frmEst::lbPeak, "lbPeakUnit", "バイト", nullptr },
        { "lbClusterCaption", "１クラスタ（ﾌｧｲﾙ格納最小単位）あたり", "lbCluster", &frmEst::lbCluster, "lbClusterBytes",
            "バイト", &frmEst::lbClusterBytes },
    };
    // A caption beside each bar says what it stands for.
    const struct {
        const char* legendName;
        const char* legend;
        const char* barName;
        QColor colour;
        int width;
        EstimateBar* frmEst::*bar;
    } bars[] = {
        { "lbTotalBar", "総容量", "picTotal", QColor(0, 0, 255), kBarDesignWidth, &frmEst::picTotal },
        { "lbFreeBar", "空き容量", "picFree", QColor(255, 128, 255), kBarDesignWidth, &frmEst::picFree },
        { "lbCopyBar", "ｺﾋﾟｰ対象容量", "picCopy", QColor(128, 255, 255), 1, &frmEst::picCopy },
        { "lbExistBar", "ｺﾋﾟｰ先存在量", "picExist", QColor(128, 128, 255), 1, &frmEst::picExist },
        { "lbNeedBar", "差分必要量", "picNeed", QColor(128, 255, 128), 1, &frmEst::picNeed },
    };

    // The columns, as wide as their widest text.
    int captionWidth = kValueLeft - kMargin - kGap;
    for (const Row& row : rows) {
        if (row.caption)
            captionWidth = std::max(captionWidth, textTwips(sheet_, QString::fromUtf8(row.caption)));
    }
    const int valueLeft = kMargin + captionWidth + kGap;
    // A value has a sunken frame and two pixels inside it on each side.
    const int valueWidth = std::max(kValueWidth, textTwips(sheet_, kWidestValue) + pixelsToTwipsX(6));
    const int unitLeft = valueLeft + valueWidth + kGap;
    int unitWidth = 0;
    for (const QString& unit : { kWidestUnit, QStringLiteral("バイト不足") })
        unitWidth = std::max(unitWidth, textTwips(sheet_, unit));
    int legendWidth = kBarLeft - kMargin - kGap;
    for (const auto& bar : bars)
        legendWidth = std::max(legendWidth, textTwips(sheet_, QString::fromUtf8(bar.legend)));
    const int barLeft = kMargin + legendWidth + kGap;
    const int formWidth
        = std::max({ kFormWidth, unitLeft + unitWidth + kMargin, barLeft + kBarDesignWidth + kOverWidth + kMargin });
    const int rowHeight = std::max(kRowHeight, pixelsToTwipsY(sheet_->fontMetrics().height() + 6));

    int top = kRowTop;
    for (const Row& row : rows) {
        if (row.caption) {
            QLabel* caption = label(sheet_, row.captionName, QString::fromUtf8(row.caption));
            placeTwips(caption, kMargin, top, captionWidth, rowHeight);
        }
        auto* value = new TextLabel(sheet_);
        value->setObjectName(QString::fromLatin1(row.valueName));
        value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        this->*row.value = value;
        if (row.unitName) {
            value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            placeTwips(value, valueLeft, top, valueWidth, rowHeight);
            QLabel* unit = label(sheet_, row.unitName, QString::fromUtf8(row.unitText));
            placeTwips(unit, unitLeft, top, formWidth - kMargin - unitLeft, rowHeight);
            if (row.unit)
                this->*row.unit = unit;
        } else {
            // The destination runs to the right edge.
            placeTwips(value, valueLeft, top, formWidth - kMargin - valueLeft, rowHeight);
        }
        top += rowHeight + kRowSpacing;
    }

    const int noteWidth = formWidth - 2 * kMargin;
    auto note = [&](const char* name, const char* text) {
        QLabel* widget = label(sheet_, name, QString::fromUtf8(text));
        widget->setWordWrap(true);
        widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        const int height = std::max(kNoteHeight, pixelsToTwipsY(widget->heightForWidth(twipsToPixelsX(noteWidth)) + 2));
        placeTwips(widget, kMargin, top, noteWidth, height);
        top += height + 60;
        return widget;
    };
    top += 90;
    note("lbClusterNote", "（１バイトのファイルでも、ディスクに格納するには、１クラスタサイズが必要です。）");
    note("lbNeedNote", "☆コピーの対象となるファイルがあっても、差分必要量が０以下になる場合があります。");
    lbNotice = note("lbNotice", "☆１クラスタサイズが不明なため、ファイルのサイズの合計を表示します。");
    top += 60;

    const int legendHeight = std::max(kBarHeight + 60, rowHeight);
    for (const auto& bar : bars) {
        QLabel* legend = label(sheet_, bar.legendName, QString::fromUtf8(bar.legend));
        legend->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        placeTwips(legend, kMargin, top, legendWidth, legendHeight);
        const int barTop = top + (legendHeight - kBarHeight) / 2;
        this->*bar.bar = new EstimateBar(sheet_, bar.barName, bar.colour, barLeft, barTop, bar.width, kBarHeight);
        nameAfterCaption(legend, this->*bar.bar);
        top += legendHeight + kBarSpacing;
    }
    picOver = new EstimateBar(
        sheet_, "picOver", QColor(255, 0, 0), barLeft + 1, picNeed->twipsTop(), kOverWidth, kBarHeight);
    picOver->setAccessibleName(QStringLiteral("容量不足"));

    top += 120;
    btnEnd = new QPushButton(sheet_);
    btnEnd->setObjectName(QStringLiteral("btnEnd"));
    // Return and Enter press it when it has the focus, as Space does.
    btnEnd->setAutoDefault(true);
    // As wide and high as the longer of its two captions needs.
    QSize button = QSize(twipsToPixelsX(kButtonWidth), twipsToPixelsY(kButtonHeight));
    for (const QString& text : { kCloseCaption, kStopCaption }) {
        btnEnd->setText(text);
        button = button.expandedTo(btnEnd->sizeHint());
    }
    btnEnd->setText(kStopCaption);
    const int buttonWidth = pixelsToTwipsX(button.width());
    const int buttonHeight = pixelsToTwipsY(button.height());
    placeTwips(btnEnd, formWidth - kMargin - buttonWidth, top, buttonWidth, buttonHeight);
    connect(btnEnd, &QPushButton::clicked, this, &frmEst::btnEnd_Click);

    // Each figure is named by its caption.
    for (const Row& row : rows) {
        if (row.caption)
            nameAfterCaption(findChild<QLabel*>(QString::fromLatin1(row.captionName)), this->*row.value);
    }
    lbOver->setAccessibleName(QStringLiteral("容量不足"));

    sheet_->setFixedSize(twipsToPixelsX(formWidth), twipsToPixelsY(top + buttonHeight + kMargin));
    resize(sheet_->size());
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
    for (EstimateBar* bar : { picCopy, picExist, picNeed, picOver })
        bar->setReading(0, dbTotal);
    for (EstimateBar* bar : { picCopy, picExist, picNeed })
        bar->setTwipsWidth(1);
    picOver->hide();
    picOver->moveTwips(picNeed->twipsLeft() + picNeed->twipsWidth(), picNeed->twipsTop());
    picOver->setTwipsWidth(kOverWidth);
}

int frmEst::windowWidthTwips() const
{
    return pixelsToTwipsX(sheet_->width());
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

void frmEst::showChecked(std::int64_t files, std::int64_t bytes)
{
    setWindowTitle(kCaption + QStringLiteral(" - 検査 ") + formatBytes(static_cast<double>(files))
        + QStringLiteral(" ファイル（") + formatSize(bytes) + QStringLiteral("）"));
}

void frmEst::SetFreeTotal(const QString& strPath, double dbFree, double dbTotal)
{
    ResetDisplay();
    setWindowTitle(kCaption);
    this->dbFree = dbFree;
    this->dbTotal = dbTotal;
    lbPath->setText(strPath);
    lbPath->setToolTip(strPath);
    lbTotal->setText(formatBytes(dbTotal));
    lbFree->setText(formatBytes(dbFree));
    picTotal->setReading(dbTotal, dbTotal);
    picFree->setReading(dbFree, dbTotal);
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
    picCopy->setReading(dbCopy, dbTotal);
    if (dbTotal == 0)
        return;
    const int width = barWidth(dbCopy);
    picCopy->setTwipsWidth(width < 1 ? 1 : clippedWidth(picCopy, width));
}

void frmEst::UpdateExist(double dbExist)
{
    lbExist->setText(formatBytes(dbExist));
    picExist->setReading(dbExist, dbTotal);
    if (dbTotal == 0)
        return;
    // Not cut at the window's edge: what runs past it is simply not seen.
    picExist->setTwipsWidth(std::max(barWidth(dbExist), 1));
}

void frmEst::UpdateNeed(double dbNeed)
{
    lbNeed->setText(formatBytes(dbNeed));
    picNeed->setReading(dbNeed, dbTotal);
    if (dbTotal != 0) {
        if (dbNeed > dbFree) {
            // The need bar stops at the free space; the rest goes on in red.
            lbOver->setText(formatBytes(dbNeed - dbFree));
            picOver->setReading(dbNeed - dbFree, dbTotal);
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

void frmEst::updatePeak(double peak)
{
    lbPeak->setText(formatBytes(peak));
}

void frmEst::SetState(std::int32_t n)
{
    if (n != 1)
        return;
    bFinished = true;
    btnEnd->setText(kCloseCaption);
    // The final sums are told now, not up to a second later.
    for (TextLabel* sum : { lbCopy, lbExist, lbNeed, lbOver, lbPeak })
        sum->announceNow();
    raise();
    activateWindow();
}

bool frmEst::askToStop()
{
    QPointer<frmEst> self(this);
    // Kept apart from the window, which may be gone when the answer comes.
    const std::function<void(bool)> hold = holdWhileAsking_;
    if (hold)
        hold(true);
    const int reply = nMessageBox(QStringLiteral("見積を中断しますか"), MB_YESNO, kCaption);
    // The estimate may have ended while the question was up.
    if (reply == IDYES && self && !bFinished && stopEstimate_)
        stopEstimate_();
    if (hold)
        hold(false);
    if (reply != IDYES || !self)
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
    askToStop();
}

void frmEst::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    QPointer<frmEst> self(this);
    if (!bFinished && !askToStop())
        return;
    if (!self)
        return;
    QWidget* form = this;
    bUnloadForm(form);
}

void frmEst::closeEvent(QCloseEvent* event)
{
    // Closes made by the program (bUnloadForm, the program ending) are not asked about.
    if (event->spontaneous() && !bFinished && !askToStop()) {
        event->ignore();
        return;
    }
    event->accept();
}
