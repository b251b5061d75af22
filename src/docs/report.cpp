#include "docs/report.h"

#include "model/numtext.h"

namespace quorvant {

void TextReportPrinter::Text(std::string_view text) {
  text_ += text;
  column_ += static_cast<int>(text.size());
}

void TextReportPrinter::TabTo(int column) {
  if (column_ > column) EndLine();
  text_.append(static_cast<size_t>(column - column_), ' ');
  column_ = column;
}

void TextReportPrinter::EndLine() {
  text_ += '\n';
  column_ = 1;
}

namespace {

void Line(ReportPrinter& p, std::string_view text) {
  p.Text(text);
  p.EndLine();
}

// A block of stored extrema: the label shares its line with the first set; every
// set number starts in column 10, every name and value line in column 21.
void PrintBlock(ReportPrinter& p, std::string_view label, const std::vector<StoredPoint>& store,
                const Problem& problem, PointFunction& function) {
  if (store.empty()) return;
  const int n = problem.varCount();
  p.Text(label);
  for (size_t k = 0; k < store.size(); ++k) {
    const StoredPoint& stored = store[k];
    p.TabTo(10);
    p.Text("SET #" + PrintedNumber(static_cast<double>(k + 1)) + ":");
    for (int j = 0; j < n; ++j) {
      p.TabTo(21);
      Line(p, problem.varNames[j] + "= " + PrintedNumber(stored[j]));
    }
    const double smallestPivot = stored[n];
    double value;
    const int32_t e = function.EvaluateFunction(std::span<const double>(stored.data(), n), value);
    p.TabTo(21);
    Line(p, e == 0 ? "FUNCTION= " + PrintedNumber(value)
                   : "FUNCTION= NOT EVALUATED (ERROR " + std::to_string(e) + ")");
    p.TabTo(21);
    Line(p, "SMALLEST (OVERALL) PIVOT (ABS. VAL.)= " + PrintedNumber(smallestPivot));
    p.EndLine();
  }
}

}  // namespace

void PrintReport(ReportPrinter& p, const Problem& problem, PointFunction& function) {
  const std::string savedPrinterFont = p.FontFace();
  p.SetFontFace(kReportFont);
  Line(p, "    ORDER:" + PrintedNumber(problem.varCount()));
  std::string names = "VARIABLES: ";
  for (int i = 0; i < problem.varCount(); ++i) {
    if (i > 0) names += ',';
    names += problem.varNames[i];
  }
  Line(p, names);
  Line(p, "FUNCTION:");
  Line(p, problem.formula);
  p.EndLine();
  if (!problem.constants.empty()) {
    Line(p, "CONSTANTS:");
    for (const std::string& constant : problem.constants) Line(p, constant);
    p.EndLine();
  }
  Line(p, "MAXIMUM ERROR:" + PrintedNumber(problem.errorBound));
  Line(p, "MAXIMUM # OF CYCLES:" + PrintedNumber(problem.maxCycles));
  p.EndLine();
  if (problem.maxCount() != 0 || problem.minCount() != 0) {
    Line(p, "SOLUTIONS FOUND:");
    p.EndLine();
    PrintBlock(p, "MAXIMA:", problem.maxima, problem, function);
    PrintBlock(p, "MINIMA:", problem.minima, problem, function);
  }
  p.EndDocument();
  p.SetFontFace(savedPrinterFont);
}

}  // namespace quorvant
