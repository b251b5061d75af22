#include "ui/frm_about.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QtGlobal>

namespace quorvant {

namespace {
constexpr const char* kProductName = "Quorvant";
}  // namespace

frmAbout::frmAbout(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("frmAbout");
  setWindowTitle("About Quorvant");
  setAttribute(Qt::WA_DeleteOnClose);
  QFont font("MS Sans Serif", 24);
  font.setBold(true);
  setFont(font);
  setAutoFillBackground(true);
  close_ = new QPushButton("Close", this);
  close_->setObjectName("cmdAboutClose");
  close_->setFont(QFont());  // the toolkit's own, not the name's large bold letters
  close_->setDefault(true);
  connect(close_, &QPushButton::clicked, this, &QWidget::close);
  resize(420, 300);
}

void frmAbout::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const QSize button = close_->sizeHint();
  close_->setGeometry(width() - button.width() - 12, height() - button.height() - 12,
                      button.width(), button.height());
}

void frmAbout::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

QStringList frmAbout::VersionLines() {
  return {QString("Version ") + QUORVANT_VERSION, QString("Qt ") + qVersion()};
}

void frmAbout::WriteName() {
  lines_ << ""
         << ""
         << "" << kProductName;
  const int needed = Layout(nullptr) + close_->sizeHint().height() + 16;
  if (needed > height()) resize(width(), needed);
  update();
}

// Draws the lines onto `painter` (none: only measures) and returns the height they take.
int frmAbout::Layout(QPainter* painter) const {
  const QFontMetrics big(font());
  QFont small("MS Sans Serif", 10);
  small.setBold(false);  // set, or the painter takes the window's bold
  const QFontMetrics detail(small);
  int bottom = 0;  // where the last line drawn ends
  for (const QString& line : lines_) {
    const int baseline = bottom + big.leading() + big.ascent();
    if (painter) {
      painter->setFont(font());
      painter->drawText(12, baseline, line);
    }
    bottom = baseline + big.descent();
    if (line != kProductName) continue;
    // Under the name: what is running, in the small font.
    for (const QString& version : VersionLines()) {
      const int under = bottom + 2 + detail.ascent();
      if (painter) {
        painter->setFont(small);
        painter->drawText(14, under, version);
      }
      bottom = under + detail.descent();
    }
  }
  return bottom + 8;
}

void frmAbout::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Layout(&painter);
}

void frmAbout::mousePressEvent(QMouseEvent*) {
  close();
}

}  // namespace quorvant
