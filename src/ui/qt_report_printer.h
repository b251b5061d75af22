// The report onto a real printer (or a PDF file): text in character columns of a
// fixed-pitch font, a new page when a page is full. A line wider than the page goes on
// over the next lines, indented, so nothing of it is lost.
#pragma once

#include <QFont>
#include <QPainter>
#include <QPrinter>
#include <QString>
#include <QStringList>
#include <string>

#include "docs/report.h"

namespace quorvant {

// How far a continued line is indented beyond the line's own leading blanks.
inline constexpr int kContinuationIndent = 4;

// The printed lines that `line` takes on a page `columns` characters wide: the line
// itself when it fits; otherwise it is broken after the last blank that leaves at least
// half a line (or else at the page edge), and each continuation starts with the line's
// own leading blanks and kContinuationIndent more. Joined without their indents, the
// pieces give back the line exactly.
QStringList WrapReportLine(const QString& line, int columns);

// Prints the report of `problem` onto `printer`; what the user is told when it could
// not be printed or written (empty when it was).
QString PrintProblemReport(QPrinter& printer, const Problem& problem, PointFunction& function);

class QtReportPrinter final : public ReportPrinter {
 public:
  explicit QtReportPrinter(QPrinter& printer);
  ~QtReportPrinter() override;
  bool ok() const { return ok_; }
  // How many characters of the fixed-pitch font fit across the page (once printing has
  // begun).
  int columns() const { return columns_; }

  std::string FontFace() const override;
  void SetFontFace(std::string_view face) override;
  void Text(std::string_view text) override;
  void TabTo(int column) override;
  void EndLine() override;
  void EndDocument() override;

 private:
  void Begin();
  void DrawLine(const QString& text);
  QPrinter& printer_;
  QPainter painter_;
  QFont font_;
  bool ok_ = false;
  bool begun_ = false;
  int column_ = 1;
  int line_ = 0;
  int columns_ = 0;
  std::string pending_;  // text of the current line
};

}  // namespace quorvant
