// The problem file: one whole problem (variables, formula, search settings, user
// constants) and the extrema the last run stored, as plain text. Open, Save and
// Save As of the main window and the command line all go through here.
//
// Layout, one record per line, lines ended by CR LF:
//   Zorvex
//   n,maxima,minima,errorBound,maxCycles,"formula"
//   "name",lower,upper,subintervals          (one line per variable)
//    c                                       (number of constants, printed form)
//   constant statement                       (c lines, unquoted)
//    value                                   ((n + 1) lines per maximum, then per minimum)
// Numbers on lines 2 and 3 are in plain form (FormatGeneral); the constant count and
// the stored values in printed form: a blank before a non-negative value, the value,
// a blank after it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "docs/safe_file.h"
#include "model/problem.h"
#include "model/problem_rules.h"

namespace quorvant {

inline constexpr std::string_view kIncompatibleFile = "Incompatible file";

// No valid problem file is larger than this (the longest formula, names and constants
// with every number at its longest and room to spare): a larger file is refused at once.
inline constexpr std::size_t kMaxProblemFileBytes = 4u << 20;
static_assert(kMaxProblemFileBytes > 64 + kMaxFormulaLength +
                                         kMaxVariables * (kMaxNameLength + 90) +
                                         kConstantSlots * (kMaxConstantLength + 2) +
                                         2 * kStoreSize * (kMaxVariables + 1) * 26,
              "the size limit must admit every valid problem file");

// The text of a problem file. Fails, with a one-sentence reason in `error`, when the
// document cannot be written so that it reads back as the same document: a value the
// reader refuses (see ReadProblemText), a double quote in a variable name, a line break
// or another control character in a text, or a document beyond the limits.
bool WriteProblemText(const Problem& doc, std::string& text, std::string& error);

// Reads the text of a problem file into `doc`. Accepts LF as well as CR LF line ends,
// numbers without the leading zero (".01") and blanks around fields. Refuses what the
// window's fields refuse (an error bound that is not above 0, an iteration cap outside 1
// to 32767, fewer than 1 subinterval, an empty formula or name, a comma in a name),
// control characters in any text, numbers whose 15-digit form lies beyond the double
// range, and texts beyond the limits above. Every number is taken rounded to 15
// significant digits, as the window's fields show it and a run uses it (a file written
// here holds no more digits). Everything it accepts, WriteProblemText
// writes back so that it reads the same. On failure `doc` is unchanged and `error` is
// kIncompatibleFile when the first field of line 1 is not exactly "Zorvex", otherwise a
// message that names the offending line.
bool ReadProblemText(std::string_view text, Problem& doc, std::string& error);

// True when the first line of a file identifies a problem file (its first field is
// "Zorvex", blanks around it ignored).
bool IsProblemFileHead(std::string_view firstLine);

// Saves the document into the file `path` names, with the care of ReplaceFileContents
// (the file is never left half-written; its links, mode and owner are kept; a read-only
// file is refused). When `expected` is known (the stamp of the file as it was read) and
// the file changed since, nothing is written and the outcome says ChangedOnDisk. The
// reason of a failure names the path.
SaveResult SaveProblemFile(const std::string& path, const Problem& doc,
                           const FileStamp& expected = {});

// Reads a problem file: the first line is checked before anything else is read, a file
// larger than kMaxProblemFileBytes is refused at once, then the text is read as
// ReadProblemText does. Before that, what an interrupted save left beside the file is
// dealt with (RecoverInterruptedSave): `notice` (when given) receives a sentence for the
// user when a write was completed or a leftover kept, and a failure's `error` names a
// leftover that may be the complete copy. `doc` is unchanged on failure; `stamp` (when
// given) receives which version of the file was read.
bool LoadProblemFile(const std::string& path, Problem& doc, std::string& error,
                     FileStamp* stamp = nullptr, std::string* notice = nullptr);

}  // namespace quorvant
