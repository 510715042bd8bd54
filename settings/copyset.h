// Copy-set files (.vstl) as bytes and lines: one copy job in twelve CR LF
// lines of TAB-separated fields, each line a control's name (or "reg" and a
// setting's name) and its value. Pure text handling, no widgets.
//
// Written as UTF-8 without a byte-order mark. Read as UTF-8 when the bytes
// are valid UTF-8, otherwise as Shift-JIS (code page 932), so that files made
// on Japanese Windows systems load.
#pragma once

#include "job.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Whether every text of JOB reads back from formatCopySet's bytes exactly
// as it went in. A CR would end the line early and let the rest of the value
// set another control; a TAB would cut the value short; bytes that are not
// UTF-8 would make the whole file read as Shift-JIS. A save should refuse such
// values rather than write a file that loads as a different job.
bool copyJobStorable(const CopyJob& job);

// The filter kind a caption of lbFilterKind stands for: blank none, 採用
// include only, anything else exclude.
FilterKind filterKindOfCaption(std::string_view caption);

// The file's bytes for JOB: the twelve lines in their fixed order, each
// ending in CR LF, and a thirteenth, KeepReplaced, when that option is on. The filter kind is written as its caption
// where that reads back as the same kind (a hand-edited caption stays), otherwise as "採用" (include), "除外" (exclude)
// or nothing. Always twelve (or thirteen) lines of valid UTF-8, whatever the texts: in a job that is not storable,
// every CR, every TAB and every byte that is not part of a UTF-8 character becomes U+FFFD.
std::string formatCopySet(const CopyJob& job);

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

// JOB with the lines of a copy-set file's bytes applied in their order, as
// the main window applies them to its controls: a line names a value by its
// control's name in any letter case (cmbSrc, cmbDst, chkSubDir, chkIgn,
// editIgn, chkMakeDir, chkFilter, lbFilterKind, lbFilter) or is "reg" with
// Gradation, BGPicture, LabelColor or KeepReplaced. A check box is on for any number that
// rounds to other than 0; the filter kind is none for an empty text, include
// for "採用" and exclude for anything else. Other lines change nothing.
CopyJob readCopySet(std::string_view bytes, CopyJob job = {});

// The setting of a "reg" line that keeps the files a run replaces:
//   reg TAB KeepReplaced TAB 1 TAB 30 TAB days   (or runs)
// Written only when the option is on, so that a copy set without it is as it
// always was; readers that do not know it pass over it as any unknown line.
constexpr std::string_view kKeepReplacedSetting = "KeepReplaced";

// KEEP with a KeepReplaced line's FIELDS (all of them, "reg" first) applied:
// on for a number that rounds to other than 0; a count below 1 or missing
// leaves the count as it was; "runs" counts runs, anything else days.
KeepReplaced keepReplacedOf(const std::vector<std::string>& fields, KeepReplaced keep);

// A copy set is a dozen short lines; a file larger than this is not one.
constexpr std::size_t kMaxCopySetBytes = 1 << 20;

// The bytes of the copy-set file at PATH: nothing when it is not a regular
// file (a named pipe would keep us waiting for ever), cannot be read, or is
// larger than kMaxCopySetBytes.
std::optional<std::string> readCopySetFile(const std::string& path);
