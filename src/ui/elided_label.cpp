#include "ui/elided_label.h"

#include <QEvent>
#include <QPainter>
#include <QSizeGrip>
#include <QStyle>
#include <algorithm>

namespace quorvant {

namespace {
// The widest a label asks to be, in average characters: enough for the usual captions.
constexpr int kPreferredChars = 32;
}  // namespace

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  setWordWrap(false);
}

QString ElidedLabel::shownText() const {
  const int width = contentsRect().width();
  return fontMetrics().elidedText(text(), Qt::ElideRight, std::max(width, 0));
}

QSize ElidedLabel::sizeHint() const {
  const QFontMetrics fm = fontMetrics();
  const int full = fm.horizontalAdvance(text());
  const int cap = fm.averageCharWidth() * kPreferredChars;
  const QMargins m = contentsMargins();
  return QSize(std::min(full, cap) + m.left() + m.right(), fm.height() + m.top() + m.bottom());
}

QSize ElidedLabel::minimumSizeHint() const {
  const QFontMetrics fm = fontMetrics();
  const QMargins m = contentsMargins();
  const int least = std::min(fm.horizontalAdvance(text()), fm.horizontalAdvance("M..."));
  return QSize(least + m.left() + m.right(), fm.height() + m.top() + m.bottom());
}

// QLabel::setText is not virtual; every new text is painted, so the tooltip follows it
// here whoever set it.
void ElidedLabel::paintEvent(QPaintEvent*) {
  UpdateToolTip();
  QPainter painter(this);
  const QRect area = contentsRect();
  style()->drawItemText(&painter, area, int(alignment() | Qt::TextSingleLine), palette(),
                        isEnabled(), shownText(), foregroundRole());
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  UpdateToolTip();
}

void ElidedLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::FontChange) UpdateToolTip();
}

// The whole text as the tooltip when it is cut, none otherwise.
void ElidedLabel::UpdateToolTip() {
  const QString tip = elided() ? text() : QString();
  if (toolTip() != tip) setToolTip(tip);
}

ElidingStatusBar::ElidingStatusBar(QWidget* parent) : QStatusBar(parent) {
  connect(this, &QStatusBar::messageChanged, this, &ElidingStatusBar::UpdateToolTip);
}

// Where the toolkit would draw the message: from the left margin to the size grip.
QRect ElidingStatusBar::MessageArea() const {
  int right = width() - 12;
  if (const auto* grip = findChild<QSizeGrip*>(); grip && grip->isVisible())
    right = std::min(right, grip->x());
  return QRect(6, 0, std::max(0, right - 6), height());
}

QString ElidingStatusBar::shownText() const {
  return fontMetrics().elidedText(currentMessage(), Qt::ElideRight, MessageArea().width());
}

void ElidingStatusBar::UpdateToolTip() {
  const QString message = currentMessage();
  setToolTip(shownText() != message ? message : QString());
}

void ElidingStatusBar::paintEvent(QPaintEvent* event) {
  if (currentMessage().isEmpty()) {
    QStatusBar::paintEvent(event);
    return;
  }
  QPainter painter(this);
  painter.setPen(palette().windowText().color());
  painter.drawText(MessageArea(), Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine,
                   shownText());
}

void ElidingStatusBar::resizeEvent(QResizeEvent* event) {
  QStatusBar::resizeEvent(event);
  UpdateToolTip();
}

}  // namespace quorvant
