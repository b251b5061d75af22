#include "ui/qt_report_printer.h"

#include <QFontMetricsF>

namespace quorvant {

QtReportPrinter::QtReportPrinter(QPrinter& printer) : printer_(printer), font_("Sans Serif", 10) {}

QtReportPrinter::~QtReportPrinter() {
  if (painter_.isActive()) painter_.end();
}

std::string QtReportPrinter::FontFace() const {
  return font_.family().toStdString();
}

void QtReportPrinter::SetFontFace(std::string_view face) {
  font_.setFamily(QString::fromUtf8(face.data(), static_cast<qsizetype>(face.size())));
  font_.setFixedPitch(face == kReportFont);
  font_.setStyleHint(face == kReportFont ? QFont::TypeWriter : QFont::AnyStyle);
  if (painter_.isActive()) painter_.setFont(font_);
}

void QtReportPrinter::Begin() {
  if (begun_) return;
  begun_ = true;
  ok_ = painter_.begin(&printer_);
  if (ok_) painter_.setFont(font_);
}

void QtReportPrinter::Text(std::string_view text) {
  pending_.append(text);
  column_ += static_cast<int>(text.size());
}

void QtReportPrinter::TabTo(int column) {
  if (column_ > column) EndLine();
  pending_.append(static_cast<size_t>(column - column_), ' ');
  column_ = column;
}

// Lines are drawn whole, so the columns of a fixed-pitch font line up.
void QtReportPrinter::EndLine() {
  Begin();
  if (ok_) {
    const QFontMetricsF metrics(painter_.font(), painter_.device());
    const double lineHeight = metrics.lineSpacing();
    const double pageHeight = painter_.viewport().height();
    if ((line_ + 1) * lineHeight > pageHeight && line_ > 0) {
      printer_.newPage();
      line_ = 0;
    }
    painter_.drawText(QPointF(0, line_ * lineHeight + metrics.ascent()),
                      QString::fromStdString(pending_));
  }
  ++line_;
  pending_.clear();
  column_ = 1;
}

void QtReportPrinter::EndDocument() {
  if (!pending_.empty()) EndLine();
  Begin();
  if (painter_.isActive()) painter_.end();
}

}  // namespace quorvant
