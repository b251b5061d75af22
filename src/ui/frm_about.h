// The About window: the product's name in large bold letters, written again below
// on every About, each time with the program's version and the Qt version under it in
// a smaller font; a click anywhere, its Close button or Esc closes it. Not modal.
#pragma once

#include <QStringList>
#include <QWidget>

class QPainter;
class QPushButton;

namespace quorvant {

class frmAbout : public QWidget {
  Q_OBJECT
 public:
  explicit frmAbout(QWidget* parent = nullptr);
  // Three empty lines, then "Quorvant", below what is already written; the version
  // lines follow the name.
  void WriteName();
  // The lines written in the large font, in order.
  const QStringList& lines() const { return lines_; }
  // The lines under each name: "Version 0.1.0" and "Qt 6.4.2" (the Qt the program runs
  // with).
  static QStringList VersionLines();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int Layout(QPainter* painter) const;
  QStringList lines_;
  QPushButton* close_;
};

}  // namespace quorvant
