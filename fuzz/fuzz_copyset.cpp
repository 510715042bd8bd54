// Copy-set reading on arbitrary bytes, and writing then reading values cut
// out of those bytes. A broken property aborts, which libFuzzer reports.
#include "settings/copyset.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iconv.h>

namespace {

void check(bool ok, const char* property)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", property);
        std::abort();
    }
}

// A second opinion on UTF-8 from glibc's own decoder, which is strict too:
// no overlong forms, no surrogates, nothing above U+10FFFF.
bool isUtf8(std::string_view text)
{
    static const iconv_t decoder = iconv_open("UTF-32LE", "UTF-8");
    check(decoder != reinterpret_cast<iconv_t>(-1), "glibc decodes UTF-8");
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    while (inLeft > 0) {
        char buffer[4096];
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        if (iconv(decoder, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) && errno != E2BIG) {
            iconv(decoder, nullptr, nullptr, nullptr, nullptr);
            return false;
        }
    }
    return true;
}

void readsCleanly(std::string_view bytes)
{
    const std::string text = decodeCopySetText(bytes);
    check(isUtf8(text), "decoded text is UTF-8");
    std::string_view unmarked = bytes;
    if (unmarked.substr(0, 3) == "\xEF\xBB\xBF")
        unmarked.remove_prefix(3);
    check((text == unmarked) == isUtf8(unmarked), "UTF-8 is read as it is, anything else is decoded");
    // No code page 932 character has a control byte in it, so decoding must
    // keep every line end and every field where the bytes had it.
    for (const char c : { '\r', '\n', '\t' })
        check(std::count(text.begin(), text.end(), c) == std::count(bytes.begin(), bytes.end(), c),
            "decoding keeps CR, LF and TAB");
    for (const std::vector<std::string>& fields : readCopySetLines(bytes)) {
        check(fields.size() >= 2, "every line has a TAB");
        for (const std::string& field : fields)
            check(field.find_first_of("\r\t") == std::string::npos, "no field holds a CR or a TAB");
    }
}

std::int32_t numberFrom(std::string_view piece)
{
    std::uint32_t bits = 0;
    if (!piece.empty())
        std::memcpy(&bits, piece.data(), piece.size() < 4 ? piece.size() : 4);
    return static_cast<std::int32_t>(bits);
}

// The twelve values are the input's pieces between 0x01 bytes, in the order
// of the file's lines; a flag is the low bit of its piece's first byte.
CopyJob jobFrom(std::string_view bytes)
{
    std::vector<std::string_view> pieces;
    while (pieces.size() < 11) {
        const std::size_t end = bytes.find('\x01');
        if (end == std::string_view::npos)
            break;
        pieces.push_back(bytes.substr(0, end));
        bytes.remove_prefix(end + 1);
    }
    pieces.push_back(bytes);
    pieces.resize(12);
    const auto flag = [](std::string_view piece) { return !piece.empty() && (piece[0] & 1) != 0; };

    CopyJob job;
    job.source = pieces[0];
    job.destination = pieces[1];
    job.subfolders = flag(pieces[2]);
    job.tolerate = flag(pieces[3]);
    job.tolerance = pieces[4];
    job.makeFolder = flag(pieces[5]);
    job.filtered = flag(pieces[6]);
    job.filterKind = static_cast<FilterKind>(pieces[7].empty() ? 0 : static_cast<unsigned char>(pieces[7][0]) % 3);
    job.filterList = pieces[8];
    job.gradation = numberFrom(pieces[9]);
    job.picture = pieces[10];
    job.labelColor = numberFrom(pieces[11]);
    return job;
}

void roundTrips(const CopyJob& values)
{
    const std::string file = formatCopySet(values);
    check(isUtf8(file), "the file is UTF-8");
    const std::vector<std::vector<std::string>> lines = readCopySetLines(file);
    check(lines.size() == 12, "twelve lines whatever the values");

    const char* const keys[] = { "cmbSrc", "cmbDst", "chkSubDir", "chkIgn", "editIgn", "chkMakeDir", "chkFilter",
        "lbFilterKind", "lbFilter" };
    for (std::size_t i = 0; i < 9; ++i)
        check(lines[i].size() == 2 && lines[i][0] == keys[i], "control lines keep their names");
    const char* const settings[] = { "Gradation", "BGPicture", "LabelColor" };
    for (std::size_t i = 0; i < 3; ++i) {
        const std::vector<std::string>& line = lines[9 + i];
        check(line.size() == 3 && line[0] == "reg" && line[1] == settings[i], "setting lines keep their names");
    }

    const auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
    check(lines[2][1] == flag(values.subfolders) && lines[3][1] == flag(values.tolerate)
            && lines[5][1] == flag(values.makeFolder) && lines[6][1] == flag(values.filtered),
        "flags read back");
    check(lines[9][2] == std::to_string(values.gradation) && lines[11][2] == std::to_string(values.labelColor),
        "numbers read back");
    if (!copyJobStorable(values))
        return;
    check(lines[0][1] == values.source && lines[1][1] == values.destination && lines[4][1] == values.tolerance
            && lines[8][1] == values.filterList && lines[10][2] == values.picture,
        "storable texts read back unchanged");
    check(readCopySet(file) == values, "a storable job reads back as it was");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    readsCleanly(bytes);
    roundTrips(jobFrom(bytes));
    return 0;
}
