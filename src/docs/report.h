// The printed report: the problem and its stored extrema laid out in character
// columns for a fixed-pitch font, onto an abstract printer (a real printer in the
// window, plain text for the command line and the tests).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "model/point_function.h"
#include "model/problem.h"

namespace quorvant {

class ReportPrinter {
 public:
  virtual ~ReportPrinter() = default;
  virtual std::string FontFace() const = 0;
  virtual void SetFontFace(std::string_view face) = 0;
  virtual void Text(std::string_view text) = 0;
  // Moves to column `column` (counted from 1) with blanks; when the current position
  // is already past it, to that column of the next line.
  virtual void TabTo(int column) = 0;
  virtual void EndLine() = 0;
  virtual void EndDocument() = 0;
};

// Builds the report as text, lines ended by "\n".
class TextReportPrinter final : public ReportPrinter {
 public:
  std::string FontFace() const override { return face_; }
  void SetFontFace(std::string_view face) override { face_ = face; }
  void Text(std::string_view text) override;
  void TabTo(int column) override;
  void EndLine() override;
  void EndDocument() override {}
  const std::string& text() const { return text_; }

 private:
  std::string face_ = "Default";
  std::string text_;
  int column_ = 1;  // where the next character goes
};

inline constexpr std::string_view kReportFont = "Courier New";

// Prints the report of `problem` (as the window shows it: the formula and constants of
// its fields). The function is evaluated afresh at every stored extremum; a value that
// cannot be evaluated is printed as such. The printer's font face is "Courier New"
// while printing and put back afterwards.
void PrintReport(ReportPrinter& printer, const Problem& problem, PointFunction& function);

}  // namespace quorvant
