#include "ui/frm_about.h"

#include <QFontMetrics>
#include <QPainter>

namespace quorvant {

frmAbout::frmAbout(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("frmAbout");
  setWindowTitle("About Quorvant");
  setAttribute(Qt::WA_DeleteOnClose);
  QFont font("MS Sans Serif", 24);
  font.setBold(true);
  setFont(font);
  setAutoFillBackground(true);
  resize(420, 300);
}

void frmAbout::WriteName() {
  lines_ << ""
         << ""
         << ""
         << "Quorvant";
  update();
}

void frmAbout::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setFont(font());
  const QFontMetrics metrics(font());
  int y = metrics.ascent();
  for (const QString& line : lines_) {
    painter.drawText(12, y, line);
    y += metrics.lineSpacing();
  }
}

void frmAbout::mousePressEvent(QMouseEvent*) {
  close();
}

}  // namespace quorvant
