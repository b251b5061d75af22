// The problem's own fields: the number of variables, their names, the error bound, the
// iteration cap, the random seeds and the function, with the label that shows f(names),
// and their leave rules (the problem rules' own, through the field guard). The names
// given go to the interval editor's labels as they are typed.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "model/problem.h"

class QLineEdit;

namespace quorvant {

class ElidedLabel;
class FieldGuard;
class IntervalEditor;

class ProblemFields : public QWidget {
  Q_OBJECT
 public:
  // `prepareField` readies each field as the window readies all of its fields.
  ProblemFields(FieldGuard& guard, IntervalEditor& intervals,
                const std::function<void(QLineEdit*)>& prepareField, QWidget* parent = nullptr);

  QLineEdit* orderField() const { return txtOrder_; }
  QLineEdit* namesField() const { return txtVarNams_; }
  QLineEdit* errorField() const { return txtError_; }
  QLineEdit* cyclesField() const { return txtMaxcy_; }
  QLineEdit* seedsField() const { return txtRand_; }
  QLineEdit* formulaField() const { return txtEquation_; }
  // The tab order: the six fields in order, then `after` in order.
  void ChainTabOrder(std::initializer_list<QWidget*> after);

  // A new problem, the number of variables given, the problem defined (names given or
  // a file opened).
  enum class State { New, CountGiven, ProblemDefined };
  State state() const;
  // The formula, the error bound and the iteration cap as the fields show them.
  void ReadInto(Problem& problem) const;
  int32_t RandomSeeds() const;
  // Shows an opened problem: its count and names fixed, its values in the fields and in
  // the interval editor. No leave rule acts while it is put in.
  void Show(const Problem& problem);
  // While a problem file is put into the window: the names' rules stand aside.
  void SetLoading(bool on) { loading_ = on; }

 signals:
  // An accepted number of variables (from its rule: before the field is left).
  void countGiven(int32_t count);
  // The field was left with it: it cannot change any more.
  void countAccepted();
  // The names, accepted by their rule; then the field left with them.
  void namesGiven(const std::vector<std::string>& names);
  void namesAccepted();
  // The results no longer belong to the problem: the error bound tightened, the
  // iteration cap or the function edited.
  void resultsOutdated();
  // The error bound or the iteration cap edited; the function edited (typed text).
  void edited();
  void formulaEdited(const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Guard(FieldGuard& guard);

  IntervalEditor& intervals_;
  QLineEdit* txtOrder_;
  QLineEdit* txtVarNams_;
  QLineEdit* txtError_;
  QLineEdit* txtMaxcy_;
  QLineEdit* txtRand_;
  QLineEdit* txtEquation_;
  ElidedLabel* lblEquation_;
  int32_t varCount_ = 0;          // the accepted number of variables
  bool loading_ = false;          // a problem file is being put into the fields
  double errorBoundOnFocus_ = 0;  // the error bound when its field got the focus
};

}  // namespace quorvant
