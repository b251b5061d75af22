#include "docs/problem_file.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/numtext.h"
#include "model/text_safety.h"

namespace quorvant {
namespace {

constexpr std::string_view kIdentification = "Zorvex";
constexpr std::string_view kLineEnd = "\r\n";

std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The 32-bit whole number a count, an iteration cap or a number of subintervals is
// read as: rounded half to even. False when the rounded value does not fit.
bool WholeNumber(double value, int32_t& out) {
  const double rounded = RoundHalfEven(value);
  if (!(rounded >= std::numeric_limits<int32_t>::min() &&
        rounded <= std::numeric_limits<int32_t>::max()))
    return false;
  out = static_cast<int32_t>(rounded);
  return true;
}

// ---------------------------------------------------------------------------------
// Writing

// One printed number on a line of its own.
void AppendPrintedLine(std::string& out, double value) {
  out += PrintedNumber(value);
  out += kLineEnd;
}

// Refuses every document whose file would not read back as the same document.
bool CheckWritable(const Problem& doc, std::string& error) {
  std::string fault = ProblemFault(doc);
  if (fault.empty()) return true;
  error = "The problem cannot be saved: " + std::move(fault) + ".";
  return false;
}

// ---------------------------------------------------------------------------------
// Reading

// Splits one line into comma-separated fields. A field in double quotes is taken
// without its quotes, and commas inside the quotes belong to it; blanks around a field
// are dropped. The field in place `count` - 1, the last one a line holds, runs in quotes
// to the last quote of the line, so it may hold quotes itself (a formula with a text in
// it). Fails on a quote that is not closed, on text after a closing quote, and on a
// quote inside a field that is not quoted.
bool SplitFields(std::string_view line, size_t count, std::vector<std::string>& fields,
                 std::string& problem) {
  fields.clear();
  size_t pos = 0;
  for (;;) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos < line.size() && line[pos] == '"') {
      const bool last = fields.size() + 1 == count;
      const size_t close = last ? line.rfind('"') : line.find('"', pos + 1);
      if (close == std::string_view::npos || close == pos) {
        problem = "a quoted field has no closing quote.";
        return false;
      }
      fields.emplace_back(line.substr(pos + 1, close - pos - 1));
      pos = close + 1;
      while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
      if (pos < line.size() && line[pos] != ',') {
        problem = "there is text after the closing quote of a field.";
        return false;
      }
    } else {
      const size_t comma = std::min(line.find(',', pos), line.size());
      fields.emplace_back(TrimBlanks(line.substr(pos, comma - pos)));
      if (fields.back().find('"') != std::string::npos) {
        problem = "a field that does not begin with a double quote contains one.";
        return false;
      }
      pos = comma;
    }
    if (pos >= line.size()) return true;
    ++pos;  // the comma
  }
}

// Hands out the lines of the text one by one and words every error with the number
// of the line it concerns.
class LineReader {
 public:
  LineReader(std::string_view text, std::string& error) : error_(error) {
    while (!text.empty()) {
      const size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines_.push_back(line);
      text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
  }

  bool Next(std::string_view& line, std::string_view what) {
    if (next_ >= lines_.size()) {
      ++next_;
      return Fail("the file ends before " + std::string(what) + ".");
    }
    line = lines_[next_++];
    return true;
  }

  // The next line as comma-separated fields, exactly `count` of them.
  bool NextFields(std::vector<std::string>& fields, size_t count, std::string_view what) {
    std::string_view line;
    if (!Next(line, what)) return false;
    std::string problem;
    if (!SplitFields(line, count, fields, problem)) return Fail(problem);
    if (fields.size() != count)
      return Fail("expected " + std::to_string(count) + " comma-separated fields, found " +
                  std::to_string(fields.size()) + ".");
    return true;
  }

  // A number that can be written back: its 15-digit form lies within the double range.
  // It is taken as that form, the value the window's field shows and a run uses, so a
  // value written with more digits reads the same after a save.
  bool Real(std::string_view text, std::string_view what, double& out) {
    out = 0;
    if (!ParseNumericText(text, out))
      return Fail("the " + std::string(what) + " \"" + Printable(text) +
                  (std::isinf(out) ? "\" is beyond the double range." : "\" is not a number."));
    if (!Check(NumberProblem(out, "the " + std::string(what)))) return false;
    out = Round15(out);
    return true;
  }

  // Fails with `problem` (a sentence without its full stop) unless it is empty.
  bool Check(const std::string& problem) { return problem.empty() || Fail(problem + "."); }

  // A text field: refused when empty (for names), too long, or holding a control
  // character, a quote or a comma where a name cannot have one.
  bool Text(std::string_view text, const std::string& what, size_t maxLength, bool nameRules) {
    return Check(TextProblem(text, what, maxLength, nameRules));
  }

  bool Whole(std::string_view text, std::string_view what, int32_t& out) {
    double value = 0;
    if (!Real(text, what, value)) return false;
    if (WholeNumber(value, out)) return true;
    return Fail("the " + std::string(what) + " \"" + Printable(text) +
                "\" is beyond the range of whole numbers.");
  }

  // A count with a field's rule (the number of variables, say).
  bool Field(std::string_view text, std::string_view what, ProblemField field, int32_t& out) {
    return Whole(text, what, out) && Check(FieldProblem(field, out, "the " + std::string(what)));
  }

  bool Count(std::string_view text, std::string_view what, int32_t low, int32_t high,
             int32_t& out) {
    if (!Whole(text, what, out)) return false;
    if (out >= low && out <= high) return true;
    return Fail("the " + std::string(what) + " must be from " + std::to_string(low) + " to " +
                std::to_string(high) + ", not " + std::to_string(out) + ".");
  }

  // A line holding one number, blanks around it ignored.
  bool PrintedNumber(std::string_view what, double& out) {
    std::string_view line;
    return Next(line, "the " + std::string(what)) && Real(TrimBlanks(line), what, out);
  }

  // Only blank lines may follow the last expected line.
  bool AtEnd() {
    for (; next_ < lines_.size(); ++next_)
      if (!TrimBlanks(lines_[next_]).empty()) {
        ++next_;
        return Fail("there is unexpected text after the end of the problem.");
      }
    return true;
  }

  bool Fail(const std::string& message) {
    error_ = "Line " + std::to_string(next_) + ": " + message;
    return false;
  }

 private:
  std::vector<std::string_view> lines_;
  size_t next_ = 0;  // index of the next line, so also the number of the line last taken
  std::string& error_;
};

bool ReadStore(LineReader& reader, int32_t count, int32_t n, const char* kind,
               std::vector<std::vector<double>>& store) {
  store.assign(count, std::vector<double>(n + 1));
  for (int32_t k = 0; k < count; ++k) {
    const std::string what = "value of " + std::string(kind) + " " + std::to_string(k + 1);
    for (double& value : store[k])
      if (!reader.PrintedNumber(what, value)) return false;
  }
  return true;
}

}  // namespace

bool WriteProblemText(const Problem& doc, std::string& text, std::string& error) {
  if (!CheckWritable(doc, error)) return false;
  std::string out;
  out += kIdentification;
  out += kLineEnd;

  for (double value : {static_cast<double>(doc.varCount()), static_cast<double>(doc.maxima.size()),
                       static_cast<double>(doc.minima.size()), doc.errorBound,
                       static_cast<double>(doc.maxCycles)}) {
    AppendGeneral(out, value);
    out += ',';
  }
  out += '"' + doc.formula + '"';
  out += kLineEnd;

  for (int32_t i = 0; i < doc.varCount(); ++i) {
    out += '"' + doc.varNames[i] + '"';
    for (double value :
         {doc.lowerLimit[i], doc.upperLimit[i], static_cast<double>(doc.subintervals[i])}) {
      out += ',';
      AppendGeneral(out, value);
    }
    out += kLineEnd;
  }

  AppendPrintedLine(out, static_cast<double>(doc.constants.size()));
  for (const std::string& constant : doc.constants) {
    out += constant;
    out += kLineEnd;
  }

  for (const auto* store : {&doc.maxima, &doc.minima})
    for (const std::vector<double>& column : *store)
      for (double value : column) AppendPrintedLine(out, value);

  text = std::move(out);
  return true;
}

bool IsProblemFileHead(std::string_view firstLine) {
  // Only the first field of line 1 identifies the file.
  return TrimBlanks(firstLine.substr(0, firstLine.find_first_of(",\r\n"))) == kIdentification;
}

bool ReadProblemText(std::string_view text, Problem& doc, std::string& error) {
  if (!IsProblemFileHead(text)) {
    error = kIncompatibleFile;
    return false;
  }

  LineReader reader(text, error);
  Problem read;
  std::string_view line;
  reader.Next(line, "the identification");  // there is one: it was just checked

  std::vector<std::string> fields;
  int32_t n = 0, maxCount = 0, minCount = 0;
  if (!reader.NextFields(fields, 6, "the line with the number of variables and the formula") ||
      !reader.Field(fields[0], "number of variables", ProblemField::VarCount, n) ||
      !reader.Count(fields[1], "number of maxima", 0, kStoreSize, maxCount) ||
      !reader.Count(fields[2], "number of minima", 0, kStoreSize, minCount) ||
      !reader.Real(fields[3], "error bound", read.errorBound) ||
      !reader.Check(FieldProblem(ProblemField::ErrorBound, read.errorBound, "the error bound")) ||
      !reader.Field(fields[4], "iteration cap", ProblemField::MaxCycles, read.maxCycles) ||
      !reader.Text(fields[5], "the formula", kMaxFormulaLength, false))
    return false;
  if (fields[5].empty()) return reader.Fail("the formula is empty.");
  read.formula = fields[5];

  read.varNames.resize(n);
  read.lowerLimit.resize(n);
  read.upperLimit.resize(n);
  read.subintervals.resize(n);
  for (int32_t i = 0; i < n; ++i) {
    if (!reader.NextFields(fields, 4, "the line of variable " + std::to_string(i + 1)) ||
        !reader.Text(fields[0], "the name of variable " + std::to_string(i + 1), kMaxNameLength,
                     true) ||
        !reader.Real(fields[1], "lower limit", read.lowerLimit[i]) ||
        !reader.Real(fields[2], "upper limit", read.upperLimit[i]) ||
        !reader.Field(fields[3], "number of subintervals", ProblemField::Subintervals,
                      read.subintervals[i]))
      return false;
    read.varNames[i] = fields[0];
  }

  int32_t constCount = 0;
  if (!reader.Next(line, "the number of constants") ||
      !reader.Count(TrimBlanks(line), "number of constants", 0, kConstantSlots, constCount))
    return false;
  for (int32_t j = 0; j < constCount; ++j) {
    const std::string what = "constant " + std::to_string(j + 1);
    if (!reader.Next(line, what) || !reader.Text(TrimBlanks(line), what, kMaxConstantLength, false))
      return false;
    read.constants.emplace_back(TrimBlanks(line));
  }

  if (!ReadStore(reader, maxCount, n, "maximum", read.maxima) ||
      !ReadStore(reader, minCount, n, "minimum", read.minima) || !reader.AtEnd())
    return false;
  doc = std::move(read);
  return true;
}

SaveResult SaveProblemFile(const std::string& path, const Problem& doc, const FileStamp& expected) {
  std::string text, error;
  if (!WriteProblemText(doc, text, error)) {
    SaveResult refused;
    refused.reason = error;
    return refused;
  }
  SaveResult result = ReplaceFileContents(path, text, expected);
  if (result.outcome == SaveResult::Outcome::Failed)
    result.reason = "Cannot save \"" + Printable(path) + "\": " + result.reason + ".";
  return result;
}

bool LoadProblemFile(const std::string& path, Problem& doc, std::string& error, FileStamp* stamp,
                     std::string* notice) {
  const std::string name = "\"" + Printable(path) + "\"";
  // A save that was killed may have left its journal or copy beside the file: finish
  // or clear that first, so the file read is whole.
  const Recovery recovery = RecoverInterruptedSave(
      path,
      [](std::string_view text) {
        Problem unused;
        std::string ignored;
        return ReadProblemText(text, unused, ignored);
      },
      kMaxProblemFileBytes);
  const std::string recovered = recovery.Notice(Printable(path));
  if (notice) *notice = recovered;
  // The identification fits in the first few bytes; a first line this long is not one.
  constexpr size_t kHeadBytes = 4096;
  ReadResult read = ReadBoundedFile(path, kMaxProblemFileBytes, kHeadBytes, IsProblemFileHead);
  switch (read.outcome) {
    case ReadResult::Outcome::Failed:
      error = "Cannot open " + name + ": " + read.reason + ".";
      break;
    case ReadResult::Outcome::Rejected:
      error = kIncompatibleFile;
      break;
    case ReadResult::Outcome::TooLarge:
      error = "Cannot open " + name + ": it is larger than any problem file can be (" +
              std::to_string(kMaxProblemFileBytes >> 20) + " MiB at most).";
      break;
    case ReadResult::Outcome::Read:
      if (ReadProblemText(read.text, doc, error)) {
        if (stamp) *stamp = read.stamp;
        return true;
      }
      break;
  }
  // The file is not whole, and a leftover beside it may be the copy that is.
  if (!recovery.kept.empty()) error += " " + recovered;
  return false;
}

}  // namespace quorvant
