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
void PrintBlock(ReportPrinter& p, std::string_view label, const Matrix& store, int32_t count,
                Dimension& dim, PointFunction& evaluator) {
  if (count == 0) return;
  const int n = dim.varCount;
  p.Text(label);
  for (int k = 1; k <= count; ++k) {
    p.TabTo(10);
    p.Text("SET #" + PrintedNumber(k) + ":");
    for (int j = 0; j < n; ++j) {
      p.TabTo(21);
      Line(p, dim.varNames[j] + "= " + PrintedNumber(store(j, k)));
      dim.point[j] = store(j, k);
    }
    const double smallestPivot = store(n, k);
    double value;
    const int32_t e = evaluator.EvaluateFunction(value);
    p.TabTo(21);
    Line(p, e == 0 ? "FUNCTION= " + PrintedNumber(value)
                   : "FUNCTION= NOT EVALUATED (ERROR " + std::to_string(e) + ")");
    p.TabTo(21);
    Line(p, "SMALLEST (OVERALL) PIVOT (ABS. VAL.)= " + PrintedNumber(smallestPivot));
    p.EndLine();
  }
}

}  // namespace

void PrintReport(ReportPrinter& p, Dimension& dim, PointFunction& evaluator,
                 std::string_view formulaText, std::span<const std::string> constants) {
  const std::string savedPrinterFont = p.FontFace();
  p.SetFontFace(kReportFont);

  Line(p, "    ORDER:" + PrintedNumber(dim.varCount));
  std::string names = "VARIABLES: ";
  for (int i = 0; i < dim.varCount; ++i) {
    if (i > 0) names += ',';
    names += dim.varNames[i];
  }
  Line(p, names);
  Line(p, "FUNCTION:");
  Line(p, formulaText);
  p.EndLine();
  if (dim.constCount != 0) {
    Line(p, "CONSTANTS:");
    for (const std::string& constant : constants) Line(p, constant);
    p.EndLine();
  }
  Line(p, "MAXIMUM ERROR:" + PrintedNumber(dim.errorBound));
  Line(p, "MAXIMUM # OF CYCLES:" + PrintedNumber(dim.maxCycles));
  p.EndLine();
  if (dim.maxCount != 0 || dim.minCount != 0) {
    Line(p, "SOLUTIONS FOUND:");
    p.EndLine();
    PrintBlock(p, "MAXIMA:", dim.maxima, dim.maxCount, dim, evaluator);
    PrintBlock(p, "MINIMA:", dim.minima, dim.minCount, dim, evaluator);
  }
  p.EndDocument();
  p.SetFontFace(savedPrinterFont);
}

}  // namespace quorvant
