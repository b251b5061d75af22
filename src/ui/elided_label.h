// A label for texts of any length (the formula's "f(...)" caption, a variable's name):
// what does not fit ends in "...", the whole text is then its tooltip, and a long text
// never makes the window wider. text() is always the whole text.
#pragma once

#include <QLabel>
#include <QStatusBar>

namespace quorvant {

class ElidedLabel : public QLabel {
  Q_OBJECT
 public:
  explicit ElidedLabel(const QString& text = QString(), QWidget* parent = nullptr);
  // The text as it is drawn now ("..." at its end when it does not fit).
  QString shownText() const;
  bool elided() const { return shownText() != text(); }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void UpdateToolTip();
};

// A status bar whose message ends in "..." where it does not fit, with the whole message
// as its tooltip; currentMessage() is always the whole message.
class ElidingStatusBar : public QStatusBar {
  Q_OBJECT
 public:
  explicit ElidingStatusBar(QWidget* parent = nullptr);
  // The message as it is drawn now.
  QString shownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QRect MessageArea() const;
  void UpdateToolTip();
};

}  // namespace quorvant
