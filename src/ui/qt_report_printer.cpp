#include "ui/qt_report_printer.h"

#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

#include "ui/ui_style.h"

namespace quorvant {

QStringList WrapReportLine(const QString& line, int columns) {
  columns = std::max(columns, 2);
  if (line.size() <= columns) return {line};
  qsizetype lead = 0;
  while (lead < line.size() && line[lead] == ' ') ++lead;
  // A continuation keeps at least half the page for text.
  const qsizetype indent = std::min<qsizetype>(lead + kContinuationIndent, columns / 2);
  QStringList pieces;
  qsizetype from = 0;
  qsizetype room = columns;
  while (line.size() - from > room) {
    qsizetype cut = from + room;
    // After the last blank in the second half of the room, when there is one beyond the
    // leading blanks: a word or a number is not split needlessly.
    for (qsizetype k = cut - 1; k >= from + room / 2 && k >= lead; --k) {
      if (line[k] == ' ') {
        cut = k + 1;
        break;
      }
    }
    pieces << (pieces.isEmpty() ? QString() : QString(indent, ' ')) + line.mid(from, cut - from);
    from = cut;
    room = columns - indent;
  }
  pieces << QString(indent, ' ') + line.mid(from);
  return pieces;
}

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

void QtReportPrinter::DrawLine(const QString& text) {
  const QFontMetricsF metrics(painter_.font(), painter_.device());
  const double lineHeight = metrics.lineSpacing();
  const double pageHeight = painter_.viewport().height();
  if ((line_ + 1) * lineHeight > pageHeight && line_ > 0) {
    printer_.newPage();
    line_ = 0;
  }
  painter_.drawText(QPointF(0, line_ * lineHeight + metrics.ascent()), text);
  ++line_;
}

// Lines are drawn whole, so the columns of a fixed-pitch font line up; one wider than
// the page is continued below it.
void QtReportPrinter::EndLine() {
  Begin();
  if (ok_) {
    const QFontMetricsF metrics(painter_.font(), painter_.device());
    const double advance = metrics.horizontalAdvance(QLatin1Char('M'));
    columns_ =
        advance > 0
            ? std::max(2, static_cast<int>(std::floor(painter_.viewport().width() / advance)))
            : 80;
    for (const QString& piece : WrapReportLine(QString::fromStdString(pending_), columns_))
      DrawLine(piece);
  } else {
    ++line_;
  }
  pending_.clear();
  column_ = 1;
}

void QtReportPrinter::EndDocument() {
  if (!pending_.empty()) EndLine();
  Begin();
  if (painter_.isActive()) painter_.end();
}

QString PrintProblemReport(QPrinter& printer, const Problem& problem, PointFunction& function) {
  QtReportPrinter out(printer);
  PrintReport(out, problem, function);
  if (out.ok()) return {};
  const QString file = printer.outputFileName();
  if (file.isEmpty()) return "The report could not be printed: the printer did not start.";
  return "The report could not be written to \"" + file +
         "\": " + QString::fromStdString(WriteFailureReason(file.toStdString())) + ".";
}

}  // namespace quorvant
