// The About window: the product's name in large bold letters, written again below
// on every About; a click anywhere closes it. Not modal.
#pragma once

#include <QStringList>
#include <QWidget>

namespace quorvant {

class frmAbout : public QWidget {
  Q_OBJECT
 public:
  explicit frmAbout(QWidget* parent = nullptr);
  // Three empty lines, then "Quorvant", below what is already written.
  void WriteName();
  const QStringList& lines() const { return lines_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QStringList lines_;
};

}  // namespace quorvant
