#include "runprogress.h"

#include "estimate.h"

#include <algorithm>
#include <cmath>

namespace {

// No time left is told before the run has gone on this long: the first
// seconds (caches warming, the first folders listed) say little of the rest.
constexpr double kSettlingSeconds = 5;
// The speed is taken over about this long.
constexpr double kSpeedSeconds = 5;

const QString kGap = QStringLiteral("　");

// A large file's name longer than this loses its middle, so that its share
// stays in sight in a status line as wide as the window as it opens.
constexpr qsizetype kLongestName = 24;
constexpr qsizetype kNameHead = 10;

// NAME, when long, as its start and its end (where an extension or a number
// tells files apart) around an ellipsis; a character is never cut in two.
QString shortName(const QString& name)
{
    if (name.size() <= kLongestName)
        return name;
    qsizetype head = kNameHead;
    qsizetype tail = kLongestName - kNameHead - 1;
    if (name.at(head - 1).isHighSurrogate())
        --head;
    if (name.at(name.size() - tail).isLowSurrogate())
        --tail;
    return name.left(head) + QChar(0x2026) + name.right(tail);
}

} // namespace

ProgressMeter::ProgressMeter(std::optional<SourceSize> total, bool estimate)
    : total_(total)
    , estimate_(estimate)
{
}

double ProgressMeter::speed(const ProgressSample& sample)
{
    recent_.push_back({ sample.seconds, sample.run.bytesCopied });
    while (recent_.size() > 2 && sample.seconds - recent_[1].seconds >= kSpeedSeconds)
        recent_.pop_front();
    const Point& from = recent_.front();
    const double span = sample.seconds - from.seconds;
    return span > 0 ? static_cast<double>(sample.run.bytesCopied - from.bytes) / span : 0;
}

std::optional<double> ProgressMeter::secondsLeft(const ProgressSample& sample) const
{
    if (!total_ || total_->files <= 0 || sample.seconds < kSettlingSeconds)
        return std::nullopt;
    // The share furthest behind counts: a few large files at the end of the
    // walk take long after the many small ones, and many small files to
    // check take long after a few large ones copied. Bytes copied count
    // before their files are reported.
    double share = static_cast<double>(sample.filesChecked) / static_cast<double>(total_->files);
    if (total_->bytes > 0) {
        const auto bytesDone = std::max(sample.run.bytesChecked, sample.run.bytesCopied);
        share = std::min(share, static_cast<double>(bytesDone) / static_cast<double>(total_->bytes));
    }
    // Past the count, the source has grown since it was counted: the rest is unknown.
    if (share <= 0 || share >= 1)
        return std::nullopt;
    return sample.seconds * (1 - share) / share;
}

QString ProgressMeter::update(const ProgressSample& sample)
{
    QString line = QStringLiteral("検査 ") + formatBytes(static_cast<double>(sample.filesChecked));
    if (total_)
        line += QStringLiteral(" / ") + formatBytes(static_cast<double>(total_->files));
    if (estimate_) {
        line += kGap + formatSize(sample.run.bytesChecked) + QStringLiteral(" 検査済み");
    } else {
        line += kGap + QStringLiteral("コピー ") + formatSize(sample.run.bytesCopied);
        line += kGap + formatSize(static_cast<std::int64_t>(speed(sample))) + QStringLiteral("/秒");
    }
    const std::optional<double> left = secondsLeft(sample);
    line += kGap + QStringLiteral("残り ") + (left ? formatTimeLeft(*left) : QStringLiteral("—"));
    if (!estimate_ && sample.run.largeSize > 0) {
        const std::string& path = sample.run.largeFile;
        const QString name = QString::fromStdString(path.substr(path.rfind('/') + 1));
        const auto percent = sample.run.largeDone * 100 / sample.run.largeSize;
        line += kGap + shortName(name) + QLatin1Char(' ') + QString::number(percent) + QLatin1Char('%');
    }
    return line;
}

QString formatSize(std::int64_t bytes)
{
    static const char* const units[] = { "KB", "MB", "GB", "TB", "PB" };
    if (bytes < 1024)
        return QString::number(std::max<std::int64_t>(bytes, 0)) + QStringLiteral(" B");
    double value = static_cast<double>(bytes);
    int unit = -1;
    while (value >= 1024 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    const int decimals = value < 10 ? 2 : value < 100 ? 1 : 0;
    return QString::number(value, 'f', decimals) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QString formatTimeLeft(double seconds)
{
    const auto whole = static_cast<std::int64_t>(std::ceil(seconds));
    if (whole < 60)
        return QStringLiteral("約 ") + QString::number(std::max<std::int64_t>((whole + 4) / 5 * 5, 5))
            + QStringLiteral(" 秒");
    const std::int64_t minutes = (whole + 59) / 60;
    if (minutes < 60)
        return QStringLiteral("約 ") + QString::number(minutes) + QStringLiteral(" 分");
    return QStringLiteral("約 ") + QString::number(minutes / 60) + QStringLiteral(" 時間 ")
        + QString::number(minutes % 60) + QStringLiteral(" 分");
}
