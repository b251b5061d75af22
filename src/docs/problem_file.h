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

#include "model/dimension.h"

namespace quorvant {

inline constexpr std::string_view kIncompatibleFile = "Incompatible file";

// Everything a problem file holds. Numbers are the values the window fields show
// (the window converts its field texts with ReadLeadingNumber before writing).
struct ProblemDocument {
  int32_t varCount = 0;
  double errorBound = 0;
  double maxCycles = 0;  // written as a plain number, read back as a 32-bit whole number
  std::string formula;
  std::vector<std::string> varNames;
  std::vector<double> lowerLimit, upperLimit, subintervals;  // subintervals: read back whole
  std::vector<std::string> constants;                        // at most 101
  // Each entry holds n + 1 values: the coordinates, then the smallest pivot. At most
  // 100 maxima and 100 minima.
  std::vector<std::vector<double>> maxima, minima;

  bool operator==(const ProblemDocument&) const = default;
};

// The document of the current problem state: constants 0..constCount-1, store
// columns 1..maxCount and 1..minCount with rows 0..n.
ProblemDocument DocumentFromProblem(const Dimension& dim);

// Puts a document into the problem state: Resize(n), then every field, the constants
// with their count and both stores with their counts. The iteration cap and the
// subintervals are rounded half to even to whole numbers. A document that
// ReadProblemText accepts is applied completely; whatever lies beyond the limits of
// the problem state (10 variables, 101 constants, 100 extrema of each kind) is left out.
void ApplyDocument(const ProblemDocument& doc, Dimension& dim);

// The text of a problem file. Fails, with a one-sentence reason in `error`, when the
// document cannot be written so that it reads back: a double quote or a line break in
// the formula or a variable name, a line break in a constant, a value that is not
// finite, or a document outside the limits the reader enforces.
bool WriteProblemText(const ProblemDocument& doc, std::string& text, std::string& error);

// Reads the text of a problem file into `doc`. Accepts LF as well as CR LF line ends,
// numbers without the leading zero (".01") and blanks around fields. On failure `doc`
// is unchanged and `error` is kIncompatibleFile when the first field of line 1 is not
// exactly "Zorvex", otherwise a message that names the offending line.
bool ReadProblemText(std::string_view text, ProblemDocument& doc, std::string& error);

// Writes the file through a temporary file beside `path` that is then renamed over
// it, so a failed save leaves the previous file as it was. `error` names the path and
// the reason.
bool SaveProblemFile(const std::string& path, const ProblemDocument& doc, std::string& error);

// Reads a whole file and then its text as ReadProblemText does; `doc` is unchanged on
// failure.
bool LoadProblemFile(const std::string& path, ProblemDocument& doc, std::string& error);

}  // namespace quorvant
