// The frame "Interval specifications": per variable a lower limit, an upper limit and a
// number of subintervals, shown one variable at a time with its name above them;
// Previous and Next step through the variables.
#pragma once

#include <QGroupBox>
#include <functional>
#include <vector>

#include "model/problem.h"

class QLineEdit;
class QPushButton;

namespace quorvant {

class ElidedLabel;
class FieldGuard;

class IntervalEditor : public QGroupBox {
  Q_OBJECT
 public:
  // `prepareField` is applied to every new field (select all on focus, say).
  IntervalEditor(FieldGuard& guard, std::function<void(QLineEdit*)> prepareField,
                 QWidget* parent = nullptr);

  // Creates the members 1..n-1 (hidden) and places every member in the tab order
  // after member 0: LL(0), UL(0), Sub(0), LL(1), UL(1), Sub(1), ...
  void LoadObjects(int n);
  int count() const { return static_cast<int>(txtLL_.size()); }
  // Shows the set of member k alone and puts the focus on its lower limit.
  void EditLimit(int k);
  void cmdNextLim_Click();
  void cmdPrevLim_Click();

  void SetName(int i, const QString& name);
  // What member i holds: the limits as numbers, the subintervals rounded half to even.
  double LowerLimit(int i) const;
  double UpperLimit(int i) const;
  int32_t Subintervals(int i) const;
  void SetValues(int i, double lower, double upper, int32_t subintervals);
  // The box of `problem`'s variables as the members hold it.
  void ReadInto(Problem& problem) const;

  QLineEdit* firstField() const { return txtLL_.front(); }
  // Every field of every member, in member order.
  std::vector<QLineEdit*> fields() const;

 signals:
  // The text of a limit or a number of subintervals changed.
  void edited();

 private:
  void AddMember(int i);

  FieldGuard& guard_;
  std::function<void(QLineEdit*)> prepareField_;
  std::vector<ElidedLabel*> lblVar_;
  std::vector<QLineEdit*> txtLL_;
  std::vector<QLineEdit*> txtUL_;
  std::vector<QLineEdit*> txtSubintervals_;
  QPushButton* cmdPrevLim_;
  QPushButton* cmdNextLim_;
  int shownVar_ = 1;  // 1-based, as the window has always counted it
  int varCount_ = 1;
};

}  // namespace quorvant
