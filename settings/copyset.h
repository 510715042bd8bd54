// Copy-set files (.vstl) as bytes and lines: one job of the main window in
// twelve CR LF lines of TAB-separated fields. Pure text handling, no widgets;
// the main window applies the lines to its controls.
//
// Written as UTF-8 without a byte-order mark. Read as UTF-8 when the bytes
// are valid UTF-8, otherwise as Shift-JIS (code page 932), so that files made
// on Japanese Windows systems load.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The values a copy set holds, as the writer puts them into the file.
struct CopySetValues {
    std::string cmbSrc; // the source folder text as shown
    std::string cmbDst;
    bool chkSubDir = false;
    bool chkIgn = false;
    std::string editIgn; // the tolerance exactly as typed
    bool chkMakeDir = false;
    bool chkFilter = false;
    std::string lbFilterKind; // "採用", "除外" or empty
    std::string lbFilter; // the extension list as shown
    std::int32_t nGradation = 0;
    std::string strBGPicture;
    std::int32_t nLabelColor = 0;
};

// Whether every text of VALUES reads back from formatCopySet's bytes exactly
// as it went in. A CR would end the line early and let the rest of the value
// set another control; a TAB would cut the value short; bytes that are not
// UTF-8 would make the whole file read as Shift-JIS. A save should refuse such
// values rather than write a file that loads as a different job.
bool copySetValuesStorable(const CopySetValues& values);

// The file's bytes for VALUES: the twelve lines in their fixed order, each
// ending in CR LF. Always twelve lines of valid UTF-8, whatever the values:
// in values that are not storable, every CR, every TAB and every byte that is
// not part of a UTF-8 character becomes U+FFFD.
std::string formatCopySet(const CopySetValues& values);

// A copy-set file's bytes as UTF-8 text: unchanged when already valid UTF-8,
// otherwise decoded from code page 932 (a byte that starts no character
// becomes U+FFFD and decoding goes on with the next byte). A leading UTF-8
// byte-order mark is dropped first. Valid means strict UTF-8: no overlong
// forms, no surrogates, nothing above U+10FFFF. Should the system have no
// code page 932 converter, every byte above 0x7F becomes U+FFFD, so that the
// lines and the ASCII keys still read.
std::string decodeCopySetText(std::string_view bytes);

// TEXT cut into lines and each line into its TAB-separated fields. A line
// ends at CR or at CR LF; a lone LF stays part of the line, except in a text
// without any CR, whose lines end at LF (Linux editors). Lines without a
// TAB are left out (they are never applied); text after the last line end
// is a line of its own.
std::vector<std::vector<std::string>> splitCopySetLines(std::string_view text);

// The lines of a copy-set file's bytes: decodeCopySetText, then splitCopySetLines.
std::vector<std::vector<std::string>> readCopySetLines(std::string_view bytes);
