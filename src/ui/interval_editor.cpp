#include "ui/interval_editor.h"

#include <QGridLayout>
#include <QHBoxLayout>

#include "ui/elided_label.h"
#include "ui/field_guard.h"
#include "ui/ui_style.h"

namespace quorvant {

IntervalEditor::IntervalEditor(FieldGuard& guard, std::function<void(QLineEdit*)> prepareField,
                               QWidget* parent)
    : QGroupBox("Interval specifications", parent),
      guard_(guard),
      prepareField_(std::move(prepareField)) {
  setObjectName("fraIntervals");
  auto* grid = new QGridLayout(this);
  auto* lblLimits = MakeLabel("Variable:");
  lblLimits->setStyleSheet("color: red");
  grid->addWidget(lblLimits, 0, 0);
  grid->addWidget(MakeLabel("Lower limit:"), 1, 0);
  grid->addWidget(MakeLabel("Upper limit:"), 2, 0);
  grid->addWidget(MakeLabel("# of subintervals:"), 3, 0);
  cmdPrevLim_ = MakeButton("cmdPrevLim", "Previous", "Display previous variable");
  cmdNextLim_ = MakeButton("cmdNextLim", "Next", "Display next variable");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdPrevLim_);
  buttons->addWidget(cmdNextLim_);
  grid->addLayout(buttons, 4, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  connect(cmdPrevLim_, &QPushButton::clicked, this, &IntervalEditor::cmdPrevLim_Click);
  connect(cmdNextLim_, &QPushButton::clicked, this, &IntervalEditor::cmdNextLim_Click);
  AddMember(0);
}

// Member i of the per-variable family: its name label and three fields, placed in the
// same cells as every other member; all but one are hidden.
void IntervalEditor::AddMember(int i) {
  auto* grid = static_cast<QGridLayout*>(layout());
  auto* name = new ElidedLabel;
  name->setFont(LabelFont());
  name->setObjectName(QString("lblVar%1").arg(i));
  name->setStyleSheet("color: red");
  auto make = [&](const char* base, const QString& text) {
    auto* edit = new QLineEdit(text);
    edit->setObjectName(QString("%1%2").arg(base).arg(i));
    edit->setFont(LabelFont());
    LiftLengthLimit(edit);
    prepareField_(edit);
    connect(edit, &QLineEdit::textChanged, this, &IntervalEditor::edited);
    return edit;
  };
  QLineEdit* sub = make("txtSubintervals", "4");
  sub->setToolTip(
      "Minimum # of subintervals in this direction. Should be enough to detect all extrema");
  QLineEdit* upper = make("txtUL", "10");
  QLineEdit* lower = make("txtLL", "-10");
  lblVar_.push_back(name);
  txtLL_.push_back(lower);
  txtUL_.push_back(upper);
  txtSubintervals_.push_back(sub);
  grid->addWidget(name, 0, 1);
  grid->addWidget(lower, 1, 1);
  grid->addWidget(upper, 2, 1);
  grid->addWidget(sub, 3, 1);
  const bool visible = i == 0;
  for (QWidget* w : {static_cast<QWidget*>(name), static_cast<QWidget*>(lower),
                     static_cast<QWidget*>(upper), static_cast<QWidget*>(sub)})
    w->setVisible(visible);
  // The limits must be numbers as a whole; the subintervals have no leave rule.
  for (QLineEdit* limit : {lower, upper}) {
    guard_.Guard(limit, {[limit] {
                           double unused;
                           return ParseNumericText(limit->text().toStdString(), unused);
                         },
                         {}});
  }
}

void IntervalEditor::LoadObjects(int n) {
  varCount_ = std::max(1, n);
  for (int i = count(); i < n; ++i) AddMember(i);
  // Member 0's own three fields first (they were made in the order subintervals, upper,
  // lower, and the frame's buttons before them), then every further member's.
  QWidget* previous = txtLL_[0];
  for (int i = 0; i < count(); ++i) {
    if (i > 0) QWidget::setTabOrder(previous, txtLL_[i]);
    QWidget::setTabOrder(txtLL_[i], txtUL_[i]);
    QWidget::setTabOrder(txtUL_[i], txtSubintervals_[i]);
    previous = txtSubintervals_[i];
  }
}

void IntervalEditor::EditLimit(int k) {
  for (int i = 0; i < count(); ++i) {
    lblVar_[i]->hide();
    txtLL_[i]->hide();
    txtUL_[i]->hide();
    txtSubintervals_[i]->hide();
  }
  lblVar_[k]->show();
  txtLL_[k]->show();
  txtUL_[k]->show();
  txtSubintervals_[k]->show();
  txtLL_[k]->setFocus();
}

void IntervalEditor::cmdNextLim_Click() {
  shownVar_ = shownVar_ >= varCount_ ? 1 : shownVar_ + 1;
  EditLimit(std::min(shownVar_, count()) - 1);
}

void IntervalEditor::cmdPrevLim_Click() {
  shownVar_ = shownVar_ <= 1 ? varCount_ : shownVar_ - 1;
  EditLimit(std::min(shownVar_, count()) - 1);
}

std::vector<QLineEdit*> IntervalEditor::fields() const {
  std::vector<QLineEdit*> all;
  for (int i = 0; i < count(); ++i) {
    all.push_back(txtLL_[i]);
    all.push_back(txtUL_[i]);
    all.push_back(txtSubintervals_[i]);
  }
  return all;
}

void IntervalEditor::SetName(int i, const QString& name) {
  if (i >= 0 && i < count()) lblVar_[i]->setText(name);
}

double IntervalEditor::LowerLimit(int i) const {
  return FieldValue(txtLL_[i]);
}
double IntervalEditor::UpperLimit(int i) const {
  return FieldValue(txtUL_[i]);
}
int32_t IntervalEditor::Subintervals(int i) const {
  return WholeFieldValue(txtSubintervals_[i]);
}

void IntervalEditor::SetValues(int i, double lower, double upper, int32_t subintervals) {
  txtLL_[i]->setText(QString::fromStdString(FormatGeneral(lower)));
  txtUL_[i]->setText(QString::fromStdString(FormatGeneral(upper)));
  txtSubintervals_[i]->setText(QString::number(subintervals));
}

void IntervalEditor::ReadInto(Problem& problem) const {
  const int n = problem.varCount();
  problem.lowerLimit.resize(n);
  problem.upperLimit.resize(n);
  problem.subintervals.resize(n);
  for (int i = 0; i < n && i < count(); ++i) {
    problem.lowerLimit[i] = LowerLimit(i);
    problem.upperLimit[i] = UpperLimit(i);
    problem.subintervals[i] = Subintervals(i);
  }
}

}  // namespace quorvant
