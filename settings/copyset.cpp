#include "copyset.h"

#include "util/convert.h"
#include "util/ownfiles.h"
#include "util/utf8.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <iconv.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD"; // U+FFFD
constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kFilterInclude = "採用";
constexpr std::string_view kFilterExclude = "除外";

bool storable(std::string_view value)
{
    return value.find_first_of("\r\t") == std::string_view::npos && isUtf8(value);
}

// VALUE with CR, TAB and every byte outside a UTF-8 character replaced, so
// that it stays within its field and keeps the file UTF-8.
std::string storedForm(std::string_view value)
{
    if (storable(value))
        return std::string(value);
    std::string stored;
    for (std::size_t at = 0; at < value.size();) {
        const std::size_t length = decodeUtf8(value, at).length;
        if (length == 0 || value[at] == '\r' || value[at] == '\t') {
            stored += replacementCharacter;
            ++at;
        } else {
            stored.append(value, at, length);
            at += length;
        }
    }
    return stored;
}

void appendLine(std::string& file, std::string_view key, std::string_view value)
{
    file += key;
    file += '\t';
    file += value;
    file += "\r\n";
}

void appendText(std::string& file, std::string_view control, std::string_view text)
{
    appendLine(file, control, storedForm(text));
}

void appendCheck(std::string& file, std::string_view control, bool checked)
{
    appendLine(file, control, checked ? "1" : "0");
}

void appendSetting(std::string& file, std::string_view name, std::string_view value)
{
    file += "reg\t";
    appendLine(file, name, value);
}

// Without a converter the keys and line ends, all ASCII, still read; the
// rest cannot be told apart and is marked as lost rather than guessed.
std::string withoutNonAscii(std::string_view bytes)
{
    std::string text;
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x80)
            text += c;
        else
            text += replacementCharacter;
    }
    return text;
}

std::string decodeCp932(std::string_view bytes)
{
    const iconv_t converter = iconv_open("UTF-8", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return withoutNonAscii(bytes);

    std::string text;
    text.reserve(bytes.size() * 3 / 2);
    // iconv takes char** for its input but only reads through it.
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t converted = iconv(converter, &in, &inLeft, &out, &outLeft);
        const int error = errno;
        text.append(buffer, static_cast<std::size_t>(out - buffer));
        if (converted != static_cast<std::size_t>(-1))
            break;
        if (error == E2BIG && out != buffer)
            continue;
        // EILSEQ (no character starts here) or EINVAL (a lead byte at the end):
        // mark the byte and go on with the next one, which may well start a
        // character of its own, a CR for instance. Skipping one byte always
        // makes progress, whatever else iconv reported.
        text += replacementCharacter;
        ++in;
        --inLeft;
    }
    iconv_close(converter);
    return text;
}

void appendFields(std::vector<std::vector<std::string>>& lines, std::string_view line)
{
    if (line.find('\t') == std::string_view::npos)
        return;
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = line.find('\t', start);
        if (end == std::string_view::npos) {
            fields.emplace_back(line.substr(start));
            break;
        }
        fields.emplace_back(line.substr(start, end - start));
        start = end + 1;
    }
    lines.push_back(std::move(fields));
}

std::string_view filterKindText(FilterKind kind)
{
    return kind == FilterKind::Include ? kFilterInclude
        : kind == FilterKind::Exclude  ? kFilterExclude
                                       : std::string_view();
}

bool sameName(std::string_view name, std::string_view control)
{
    return name.size() == control.size() && std::equal(name.begin(), name.end(), control.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

constexpr std::string_view kByRuns = "runs";
constexpr std::string_view kByDays = "days";

void applyLine(const std::vector<std::string>& fields, CopyJob& job)
{
    const std::string& name = fields[0];
    if (name == "reg") {
        if (fields.size() < 3)
            return;
        const std::string& value = fields[2];
        if (fields[1] == kKeepReplacedSetting)
            job.keep = keepReplacedOf(fields, job.keep);
        else if (fields[1] == "Gradation")
            job.gradation = static_cast<std::int32_t>(dbToLong(value));
        else if (fields[1] == "BGPicture")
            job.picture = value;
        else if (fields[1] == "LabelColor")
            job.labelColor = static_cast<std::int32_t>(dbToLong(value));
        return;
    }
    const std::string& value = fields[1];
    const struct {
        std::string_view control;
        std::string CopyJob::*text;
        bool CopyJob::*check;
    } targets[] = {
        { "cmbSrc", &CopyJob::source, nullptr },
        { "cmbDst", &CopyJob::destination, nullptr },
        { "chkSubDir", nullptr, &CopyJob::subfolders },
        { "chkIgn", nullptr, &CopyJob::tolerate },
        { "editIgn", &CopyJob::tolerance, nullptr },
        { "chkMakeDir", nullptr, &CopyJob::makeFolder },
        { "chkFilter", nullptr, &CopyJob::filtered },
        { "lbFilter", &CopyJob::filterList, nullptr },
    };
    if (sameName(name, "lbFilterKind")) {
        job.filterKindCaption = value;
        job.filterKind = filterKindOfCaption(value);
        return;
    }
    for (const auto& target : targets) {
        if (!sameName(name, target.control))
            continue;
        if (target.text)
            job.*target.text = value;
        else
            job.*target.check = dbToLong(value) != 0;
        return;
    }
}

} // namespace

KeepReplaced keepReplacedOf(const std::vector<std::string>& fields, KeepReplaced keep)
{
    if (fields.size() < 3)
        return keep;
    keep.on = dbToLong(fields[2]) != 0;
    if (fields.size() > 3) {
        const double count = dbToLong(fields[3]);
        if (count >= 1)
            keep.count = static_cast<std::int32_t>(std::min<double>(count, INT32_MAX));
    }
    if (fields.size() > 4)
        keep.byRuns = sameName(fields[4], kByRuns);
    return keep;
}

bool copyJobStorable(const CopyJob& job)
{
    for (const std::string* text : { &job.source, &job.destination, &job.tolerance, &job.filterList, &job.picture }) {
        if (!storable(*text))
            return false;
    }
    return true;
}

FilterKind filterKindOfCaption(std::string_view caption)
{
    return caption.empty() ? FilterKind::None : caption == kFilterInclude ? FilterKind::Include : FilterKind::Exclude;
}

std::string formatCopySet(const CopyJob& job)
{
    std::string file;
    appendText(file, "cmbSrc", job.source);
    appendText(file, "cmbDst", job.destination);
    appendCheck(file, "chkSubDir", job.subfolders);
    appendCheck(file, "chkIgn", job.tolerate);
    appendText(file, "editIgn", job.tolerance);
    appendCheck(file, "chkMakeDir", job.makeFolder);
    appendCheck(file, "chkFilter", job.filtered);
    // The caption as shown, where it reads back as the same kind.
    const bool captionFits = filterKindOfCaption(job.filterKindCaption) == job.filterKind;
    appendText(
        file, "lbFilterKind", captionFits ? std::string_view(job.filterKindCaption) : filterKindText(job.filterKind));
    appendText(file, "lbFilter", job.filterList);
    appendSetting(file, "Gradation", std::to_string(job.gradation));
    appendSetting(file, "BGPicture", storedForm(job.picture));
    appendSetting(file, "LabelColor", std::to_string(job.labelColor));
    if (job.keep.on)
        appendSetting(file, kKeepReplacedSetting,
            "1\t" + std::to_string(job.keep.count) + '\t' + std::string(job.keep.byRuns ? kByRuns : kByDays));
    return file;
}

std::string decodeCopySetText(std::string_view bytes)
{
    if (bytes.substr(0, byteOrderMark.size()) == byteOrderMark)
        bytes.remove_prefix(byteOrderMark.size());
    if (isUtf8(bytes))
        return std::string(bytes);
    return decodeCp932(bytes);
}

std::vector<std::vector<std::string>> splitCopySetLines(std::string_view text)
{
    std::vector<std::vector<std::string>> lines;
    // Linux editors end lines with LF alone. In a file with any CR at all a
    // lone LF stays part of its line, as it always has.
    const char lineEnd = text.find('\r') == std::string_view::npos ? '\n' : '\r';
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(lineEnd, start);
        if (end == std::string_view::npos) {
            appendFields(lines, text.substr(start));
            break;
        }
        appendFields(lines, text.substr(start, end - start));
        start = end + 1;
        if (start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
}

std::vector<std::vector<std::string>> readCopySetLines(std::string_view bytes)
{
    return splitCopySetLines(decodeCopySetText(bytes));
}

CopyJob readCopySet(std::string_view bytes, CopyJob job)
{
    for (const std::vector<std::string>& fields : readCopySetLines(bytes))
        applyLine(fields, job);
    return job;
}

std::optional<std::string> readCopySetFile(const std::string& path)
{
    const int fd = openRegularForReading(path);
    if (fd < 0)
        return std::nullopt;
    std::string bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || bytes.size() + static_cast<std::size_t>(got) > kMaxCopySetBytes) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return bytes;
}
