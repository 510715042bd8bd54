#include "histories.h"

#include "util/messagevalues.h"

#include <QDateTime>
#include <utility>

namespace {

const QString kSrcList = QStringLiteral("SrcList");
const QString kDstList = QStringLiteral("DstList");
const QString kMRUList = QStringLiteral("MRUList");
constexpr int kMaxMRU = 3;

// A recent-file path that holds LF or NUL cannot be stored in "MRUList": it
// would come back as other paths, or hide the ones after it.
bool storable(const QString& path)
{
    return !path.contains(QLatin1Char('\n')) && !path.contains(QChar(u'\0'));
}

} // namespace

Histories::Histories(SettingsStore& store, View view, ShowMessage showMessage, QString caption, Clock clock)
    : store_(store)
    , view_(std::move(view))
    , showMessage_(std::move(showMessage))
    , caption_(std::move(caption))
    , clock_(std::move(clock))
{
    if (!clock_)
        clock_ = [] { return DateTime::fromUnixSeconds(QDateTime::currentSecsSinceEpoch()); };
}

bool Histories::bLoadMRUList()
{
    if (!store_.open())
        return false;
    if (const std::optional<QString> value = store_.read(kMRUList)) {
        strMRU.clear();
        if (!value->isEmpty())
            strMRU = value->split(QLatin1Char('\n')).mid(0, kMaxMRU);
        showMRU();
    }
    store_.close();
    return true;
}

bool Histories::bAddMRU(const QString& strPath)
{
    // Paths are compared exactly: letter case tells files apart here.
    const qsizetype found = strMRU.indexOf(strPath);
    if (found < 0) {
        strMRU.prepend(strPath);
        if (strMRU.size() > kMaxMRU)
            strMRU.removeLast();
    } else {
        strMRU.move(found, 0);
    }
    showMRU();

    if (!store_.open())
        return false;
    QStringList stored;
    for (const QString& path : std::as_const(strMRU)) {
        if (storable(path))
            stored.append(path);
    }
    const bool written = store_.write(kMRUList, stored.join(QLatin1Char('\n')));
    store_.close();
    return written;
}

bool Histories::bLoadHistory()
{
    aSrcHistory.clear();
    aDstHistory.clear();
    if (!store_.open())
        return false;
    loadHistory(kSrcList, aSrcHistory, List::Source);
    loadHistory(kDstList, aDstHistory, List::Destination);
    store_.close();
    return true;
}

bool Histories::bAddHistory(const QString& strSrc, const QString& strDst)
{
    // One time for both, so that the source's entry leads to this destination.
    const DateTime now = clock_();
    recordFolder(aSrcHistory, List::Source, strSrc, now);
    recordFolder(aDstHistory, List::Destination, strDst, now);

    if (!store_.open())
        return false;
    // Both lists in one write: their entries belong together.
    const bool written = store_.write({ { kSrcList, QString::fromStdString(formatHistoryValue(aSrcHistory)) },
        { kDstList, QString::fromStdString(formatHistoryValue(aDstHistory)) } });
    const QString why = store_.errorText();
    store_.close();
    if (!written) {
        message(why, MB_OK, QStringLiteral("コピー履歴追加"));
        return false;
    }
    return true;
}

int Histories::nFindSrcHistory(const QString& strPath) const
{
    for (std::size_t i = 0; i < aSrcHistory.size(); ++i) {
        if (QString::fromStdString(aSrcHistory[i].strFolder) == strPath)
            return static_cast<int>(i);
    }
    return -1;
}

int Histories::nFindDstHistoryByTime(const DateTime& time) const
{
    // The zero time only says that a stored date could not be read; entries
    // sharing it were not recorded together.
    if (time.isZero())
        return -1;
    for (std::size_t i = 0; i < aDstHistory.size(); ++i) {
        if (aDstHistory[i].dtUsed == time)
            return static_cast<int>(i);
    }
    return -1;
}

void Histories::mnuExeClearHistory()
{
    const QString question = QStringLiteral("コピー先、コピー元の履歴を削除してよいですか？") + QStringLiteral("\r\n")
        + QStringLiteral(
            "（これらの履歴はレジストリに保存されており、設定ファイル（.vstl）の読込でも復元されません。）");
    if (message(question, MB_YESNO, caption_) != IDYES)
        return;

    aSrcHistory.clear();
    aDstHistory.clear();
    if (view_.cleared)
        view_.cleared();

    const QString notDeleted = QStringLiteral("レジストリが開けないため、履歴が完全に削除できませんでした。");
    if (!store_.open()) {
        message(notDeleted, MB_ICONERROR, caption_);
        return;
    }
    const bool removed = store_.remove(kSrcList) && store_.remove(kDstList);
    store_.close();
    if (!removed) {
        // The histories would come back at the next start: saying they were
        // deleted would be untrue.
        message(notDeleted, MB_ICONERROR, caption_);
        return;
    }
    message(QStringLiteral("コピー元、コピー先の履歴を削除しました。"), MB_OK, QString());
}

int Histories::message(const QString& text, int buttons, const QString& title)
{
    return showMessage_ ? showMessage_(text, buttons, title) : 0;
}

void Histories::showMRU()
{
    if (view_.recentFiles)
        view_.recentFiles(strMRU);
}

void Histories::loadHistory(const QString& name, std::vector<HistoryEntry>& history, List list)
{
    // Each UTF-16 unit takes at least one byte in UTF-8: this many units hold
    // every byte the parser reads.
    if (const std::optional<QString> value = store_.read(name))
        history = parseHistoryValue(value->left(static_cast<qsizetype>(kHistoryValueBytes)).toStdString());
    SortHistByTime(0, static_cast<int>(history.size()) - 1, history);
    if (history.size() > kHistoryEntriesKept)
        history.resize(kHistoryEntriesKept);

    QStringList folders;
    for (const HistoryEntry& entry : history)
        folders.append(QString::fromStdString(entry.strFolder));
    if (view_.inserted && !folders.isEmpty())
        view_.inserted(list, -1, folders);
}

void Histories::recordFolder(std::vector<HistoryEntry>& history, List list, const QString& folder, DateTime time)
{
    for (HistoryEntry& entry : history) {
        if (QString::fromStdString(entry.strFolder) == folder) {
            entry.dtUsed = time;
            return;
        }
    }
    history.push_back({ time, folder.toStdString() });
    if (view_.inserted)
        view_.inserted(list, 0, { folder });
}
