// The report onto a real printer (or a PDF file): text in character columns of a
// fixed-pitch font, a new page when a page is full.
#pragma once

#include <QFont>
#include <QPainter>
#include <QPrinter>
#include <string>

#include "docs/report.h"

namespace quorvant {

class QtReportPrinter final : public ReportPrinter {
 public:
  explicit QtReportPrinter(QPrinter& printer);
  ~QtReportPrinter() override;
  bool ok() const { return ok_; }

  std::string FontFace() const override;
  void SetFontFace(std::string_view face) override;
  void Text(std::string_view text) override;
  void TabTo(int column) override;
  void EndLine() override;
  void EndDocument() override;

 private:
  void Begin();
  QPrinter& printer_;
  QPainter painter_;
  QFont font_;
  bool ok_ = false;
  bool begun_ = false;
  int column_ = 1;
  int line_ = 0;
  std::string pending_;  // text of the current line
};

}  // namespace quorvant
