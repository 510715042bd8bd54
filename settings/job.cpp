#include "job.h"

#include "util/convert.h"
#include "util/mounts.h"
#include "util/paths.h"

#include <tuple>

namespace {

auto fields(const CopyJob& job)
{
    return std::tie(job.source, job.destination, job.subfolders, job.tolerate, job.tolerance, job.makeFolder,
        job.filtered, job.filterKind, job.filterList, job.gradation, job.picture, job.labelColor, job.keep);
}

// A folder that is no folder but a shortcut may be replaced by its target,
// when the user agrees.
void followShortcut(std::string& path, JobDialogue::Field field, JobDialogue& dialogue)
{
    if (bIsFolder(path))
        return;
    const std::string target = ShortcutTarget(path);
    if (target.empty())
        return;
    if (!dialogue.ask(dialogue.named(path) + "はショートカットのようです。" + dialogue.named(target)
            + "に置き換えてよいですか？"))
        return;
    path = target;
    dialogue.replaced(field, target);
}

} // namespace

bool CopyJob::operator==(const CopyJob& other) const
{
    return fields(*this) == fields(other);
}

std::optional<RunOrder> checkJob(const CopyJob& job, JobDialogue& dialogue, const MountTables& mounts)
{
    using Field = JobDialogue::Field;
    auto refuse = [&dialogue](const std::string& message, Field field) {
        dialogue.refuse(message, field);
        return std::nullopt;
    };

    RunOrder order;
    if (job.source.empty())
        return refuse("コピー元を指定して下さい", Field::Source);
    order.source = trimmedText(job.source);
    followShortcut(order.source, Field::Source, dialogue);
    if (job.destination.empty())
        return refuse("コピー先を指定して下さい", Field::Destination);
    order.destination = trimmedText(job.destination);
    followShortcut(order.destination, Field::Destination, dialogue);

    if (job.makeFolder) {
        std::string folder;
        if (!bIsRootPath(order.source)) {
            folder = FileNamePart(order.source);
            if (!bIsRootPath(order.destination) && FileNamePart(order.destination) == folder
                && !dialogue.ask("オプションで、コピー先フォルダの下に" + dialogue.named(folder)
                    + "を作るように指定されていますが\r\nコピー先が、"
                    + dialogue.named(AddBackslash(order.destination) + folder) + "になってもよいですか？"))
                return std::nullopt;
        }
        order.destination = AddBackslash(order.destination) + folder;
    }
    // The engine makes a missing destination with all its parents: with the
    // disk not there, it would fill the file system underneath instead.
    if (const std::optional<std::string> disk = missingDiskFor(order.destination, mounts))
        return refuse("コピー先フォルダ " + dialogue.named(order.destination) + " のディスク（" + dialogue.named(*disk)
                + "）がマウントされていません。ディスクを接続するかマウントしてから実行して下さい。",
            Field::Destination);

    order.subfolders = job.subfolders;
    if (job.tolerate) {
        if (!job.tolerance.empty() && !bIsNumeric(job.tolerance))
            return refuse("誤差を数値で入力して下さい。", Field::Tolerance);
        order.toleranceSeconds = dbToDouble(job.tolerance);
    }
    if (job.filtered) {
        if (job.filterKind == FilterKind::None)
            return refuse("拡張子フィルタを設定して下さい。", Field::Filter);
        order.filterKind = job.filterKind;
        order.filterList = job.filterList;
    }
    return order;
}
