#include "runview.h"

#include "accessibility.h"
#include "copiedlist.h"
#include "engine/diffcopy.h"
#include "run/runprogress.h"
#include "run/session.h"
#include "textlabel.h"
#include "textwidth.h"
#include "util/qt/pathtext.h"
#include "util/ui/twips.h"

#include <QAccessible>
#include <QWidget>

namespace {

// How long a run may go without getting on before the status line says what it waits for.
constexpr std::chrono::seconds kStalled { 3 };

} // namespace

RunView::RunView(QWidget& window, const Displays& displays, const CopySession& session, QString caption)
    : window_(window)
    , displays_(displays)
    , session_(session)
    , caption_(std::move(caption))
    , heard_(std::make_unique<RunHeard>(window, *displays.lbMsg))
{
    refresher_.setInterval(100);
    QObject::connect(&refresher_, &QTimer::timeout, &window_, [this] { refresh(); });
}

RunView::~RunView() = default;

void RunView::setListWidth(std::int32_t twips)
{
    nMaxTextWidth = twips;
    displays_.lstCopied->setHorizontalExtent(twipsToPixelsX(nMaxTextWidth));
}

void RunView::reset(bool copy)
{
    displays_.lbMsg->clear();
    displays_.lbCopyNum->setText(QStringLiteral("0"));
    displays_.lbCheckNum->setText(QStringLiteral("0"));
    displays_.lbCheckFile->clear();
    CopiedListView* list = displays_.lstCopied;
    list->lines().clear();
    QPalette colours = list->palette();
    colours.setColor(QPalette::Base, window_.palette().color(copy ? QPalette::Base : QPalette::Button));
    list->setPalette(colours);
    displays_.lbSec->setText(QStringLiteral("0"));
    list->describeCount();
    estimate_ = !copy;
    dtStart = DateTime::now();
    runStarted_ = std::chrono::steady_clock::now();
}

void RunView::begin(std::optional<SourceSize> total)
{
    meter_ = std::make_unique<ProgressMeter>(total, estimate_);
    totalFiles_ = total ? std::optional<std::int64_t>(total->files) : std::nullopt;
    refresher_.start();
    heard_->announce(estimate_ ? QStringLiteral("見積を開始しました") : QStringLiteral("コピーを開始しました"));
}

void RunView::end()
{
    refresher_.stop();
    refresh();
    // The run's last figures are told before the summary comes up.
    for (TextLabel* display : { displays_.lbCheckNum, displays_.lbCopyNum, displays_.lbCheckFile, displays_.lbSec })
        display->announceNow();
    displays_.lstCopied->describeCount();
    heard_->showProgress(progressName(), session_.checked(), totalFiles_, progressLine_);
    heard_->endProgress();
    heard_->announce(estimate_ ? QStringLiteral("見積が終了しました") : QStringLiteral("コピーが終了しました"));
    meter_.reset();
    progressLine_.clear();
    runDoing_.clear();
    setTitle(caption_);
    displays_.lbMsg->clear();
}

void RunView::tick()
{
    displays_.lbSec->setText(QString::number(DateTime::now().unixSeconds() - dtStart.unixSeconds()));
    showProgress();
    displays_.lstCopied->describeCount();
}

void RunView::fileChecked(const std::string& pDst, const DateTime& dtFile, bool bCopied)
{
    // The counters and the checked file are read when the window paints
    // (the refresher schedules that a few times a second during a run).
    checkedFile_ = pDst;
    if (!displays_.lbCheckNum->hasSource())
        displays_.lbCheckNum->setSource([this] { return QString::number(session_.checked()); });
    if (!displays_.lbCheckFile->hasSource())
        displays_.lbCheckFile->setSource([this] { return fromPath(checkedFile_); });
    if (!bCopied)
        return;

    if (!session_.estimating() && !displays_.lbCopyNum->hasSource())
        displays_.lbCopyNum->setSource([this] { return QString::number(session_.copied()); });
    const QString line = QString::fromStdString(DateTimeText(dtFile)) + QLatin1Char(' ') + fromPath(pDst);
    displays_.lstCopied->appendLine(line);

    // The horizontal extent only grows, to the widest line so far.
    if (!lineWidth_)
        lineWidth_ = std::make_unique<TextWidth>(window_.font());
    const int width = pixelsToTwipsX(lineWidth_->width(line));
    if (nMaxTextWidth < width)
        setListWidth(width);
}

// The status line is painted by the window's next turn, at most 20 ms of
// work away (a large file is copied while the window goes on), so it needs
// no forced repaint per folder, which would cost a run of many small folders
// more than its copying.
void RunView::showStatus(const QString& doing)
{
    runDoing_ = doing;
    waiting_.clear(); // an event: the run has got on
    paintStatus();
}

void RunView::paintStatus()
{
    const QString& doing = waiting_.isEmpty() ? runDoing_ : waiting_;
    // The progress goes first: a long path would push it out of sight.
    displays_.lbMsg->setText(progressLine_.isEmpty() ? doing : progressLine_ + QStringLiteral("　") + doing);
}

void RunView::showProgress()
{
    if (!meter_)
        return;
    const DiffCopy& engine = session_.engine();
    ProgressSample sample;
    sample.seconds = std::chrono::duration<double>(elapsed()).count();
    sample.filesChecked = session_.checked();
    sample.run = engine.progress();
    progressLine_ = meter_->update(sample);
    // A share whose server has gone quiet: the user learns what the run
    // waits for. A run that waits for the user's answer waits on nobody else.
    const DiffCopy::Activity activity = engine.activity();
    waiting_ = !asking_ && !activity.folder.empty() && std::chrono::steady_clock::now() - activity.since >= kStalled
        ? fromPath(activity.folder) + QStringLiteral(" の応答を待っています．．．")
        : QString();
    paintStatus();
    setTitle(progressLine_ + QStringLiteral(" - ") + caption_);
    heard_->showProgress(progressName(), session_.checked(), totalFiles_, progressLine_);
    if (session_.estimating() && estimateChecked)
        estimateChecked(session_.checked(), sample.run.bytesChecked);
}

void RunView::showEnded(const QString& summary)
{
    QString line = summary;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    displays_.lbMsg->setText(QString::fromStdString(DateTimeText(DateTime::now())) + QLatin1Char(' ') + line);
}

QString RunView::progressName() const
{
    return estimate_ ? QStringLiteral("見積の進行状況") : QStringLiteral("コピーの進行状況");
}

void RunView::setTitle(const QString& title)
{
    if (window_.windowTitle() == title)
        return;
    window_.setWindowTitle(title);
    // The window's name is its title; a screen reader hears of the change.
    QAccessibleEvent event(&window_, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

bool RunView::lastedLong() const
{
    return elapsed() >= longRun_;
}

std::chrono::steady_clock::duration RunView::elapsed() const
{
    return std::chrono::steady_clock::now() - runStarted_;
}

void RunView::refresh()
{
    displays_.lstCopied->lines().flush();
    displays_.lbCheckNum->refresh();
    displays_.lbCheckFile->refresh();
    displays_.lbCopyNum->refresh();
}
