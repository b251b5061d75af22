#include "ui/problem_fields.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "model/numtext.h"
#include "model/problem_rules.h"
#include "ui/elided_label.h"
#include "ui/field_guard.h"
#include "ui/interval_editor.h"
#include "ui/ui_style.h"

namespace quorvant {

ProblemFields::ProblemFields(FieldGuard& guard, IntervalEditor& intervals,
                             const std::function<void(QLineEdit*)>& prepareField, QWidget* parent)
    : QWidget(parent), intervals_(intervals) {
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setVerticalSpacing(4);
  auto field = [&](QLineEdit*& edit, const char* name, const QString& text, const QString& tip) {
    edit = new QLineEdit(text);
    edit->setObjectName(name);
    edit->setFont(FieldFont());
    edit->setToolTip(tip);
    LiftLengthLimit(edit);
    prepareField(edit);
    return edit;
  };
  int row = 0;
  grid->addWidget(MakeLabel("Enter # of independent variables:"), row, 0);
  grid->addWidget(field(txtOrder_, "txtOrder", "", ""), row++, 1);
  auto* lblVarNam = MakeLabel("Enter the names of the independent variables, separated by commas:");
  lblVarNam->setObjectName("lblVarNam");
  lblVarNam->setWordWrap(true);
  grid->addWidget(lblVarNam, row, 0);
  grid->addWidget(field(txtVarNams_, "txtVarNams", "x,y,z,t", ""), row++, 1);
  grid->addWidget(MakeLabel("Approx. error bound:"), row, 0);
  grid->addWidget(field(txtError_, "txtError", ".01", "Error MUST be >0"), row++, 1);
  grid->addWidget(MakeLabel("Max. # of iterations:"), row, 0);
  grid->addWidget(field(txtMaxcy_, "txtMaxcy", "8", "Limits number of main loop iterations"), row++,
                  1);
  grid->addWidget(MakeLabel("# of random seeds:"), row, 0);
  grid->addWidget(field(txtRand_, "txtRand", "20", ""), row++, 1);
  auto* functionRow = new QHBoxLayout;
  functionRow->setSpacing(6);
  functionRow->addWidget(MakeLabel("Enter function:"));
  lblEquation_ = new ElidedLabel;
  lblEquation_->setFont(LabelFont());
  lblEquation_->setObjectName("lblEquation");
  functionRow->addWidget(lblEquation_, 1);
  grid->addLayout(functionRow, row++, 0, 1, 2);
  grid->addWidget(
      field(txtEquation_, "txtEquation", "",
            "Must be in terms of the variables defined above and constants defined below"),
      row++, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  txtError_->installEventFilter(this);

  for (QLineEdit* edit : {txtMaxcy_, txtEquation_})
    connect(edit, &QLineEdit::textChanged, this, &ProblemFields::resultsOutdated);
  for (QLineEdit* edit : {txtError_, txtMaxcy_})
    connect(edit, &QLineEdit::textChanged, this, &ProblemFields::edited);
  connect(txtEquation_, &QLineEdit::textChanged, this, &ProblemFields::formulaEdited);
  Guard(guard);
}

// A tighter error bound than the field had when it got the focus outdates the results.
bool ProblemFields::eventFilter(QObject* watched, QEvent* event) {
  if (watched == txtError_ && event->type() == QEvent::FocusIn)
    errorBoundOnFocus_ = FieldValue(txtError_);
  return QWidget::eventFilter(watched, event);
}

// The leave rules of the single-value fields.
void ProblemFields::Guard(FieldGuard& guard) {
  guard.Guard(txtOrder_, {[this] {
                            // The field takes no count above 10 before rounding either.
                            const double v = FieldValue(txtOrder_);
                            if (v > kMaxVariables || !FieldAccepts(ProblemField::VarCount, v))
                              return false;
                            varCount_ = static_cast<int32_t>(RoundHalfEven(v));
                            emit countGiven(varCount_);
                            return true;
                          },
                          [this] {
                            txtOrder_->setEnabled(false);
                            if (txtVarNams_->isEnabled()) {
                              intervals_.LoadObjects(varCount_);
                              QTimer::singleShot(0, txtVarNams_,
                                                 [this] { txtVarNams_->setFocus(); });
                            }
                            emit countAccepted();
                          }});
  guard.Guard(txtVarNams_, {[this] {
                              if (loading_) return true;
                              if (varCount_ < 1) return false;
                              const QStringList names = txtVarNams_->text().split(',');
                              // Labels are set in order up to the first empty name.
                              for (int i = 0; i < names.size() && i < varCount_; ++i) {
                                if (names[i].isEmpty()) break;
                                intervals_.SetName(i, names[i]);
                              }
                              if (names.size() != varCount_) return false;
                              std::vector<std::string> given;
                              for (const QString& name : names) {
                                if (name.isEmpty()) return false;
                                given.push_back(name.toStdString());
                              }
                              emit namesGiven(given);
                              return true;
                            },
                            [this] {
                              if (loading_) return;
                              txtVarNams_->setEnabled(false);
                              lblEquation_->setText("f(" + txtVarNams_->text() + ")");
                              emit namesAccepted();
                            }});
  guard.Guard(txtError_,
              {[this] { return FieldAccepts(ProblemField::ErrorBound, FieldValue(txtError_)); },
               [this] {
                 if (FieldValue(txtError_) < errorBoundOnFocus_) emit resultsOutdated();
               }});
  guard.Guard(txtMaxcy_, {[this] {
                            // Rewritten as a 16-bit whole number where it is one.
                            const double v = RoundHalfEven(FieldValue(txtMaxcy_));
                            if (v >= -32768 && v <= 32767) {
                              const QString text = QString::number(static_cast<int>(v));
                              if (txtMaxcy_->text() != text) txtMaxcy_->setText(text);
                            }
                            return FieldAccepts(ProblemField::MaxCycles, v);
                          },
                          {}});
  guard.Guard(
      txtRand_,
      {[this] { return FieldAccepts(ProblemField::RandomSeeds, FieldValue(txtRand_)); }, {}});
  guard.Guard(txtEquation_, {[this] { return !txtEquation_->text().isEmpty(); }, {}});
}

void ProblemFields::ChainTabOrder(std::initializer_list<QWidget*> after) {
  QWidget* previous = txtOrder_;
  for (QWidget* next : {txtVarNams_, txtError_, txtMaxcy_, txtRand_, txtEquation_}) {
    QWidget::setTabOrder(previous, next);
    previous = next;
  }
  for (QWidget* next : after) {
    QWidget::setTabOrder(previous, next);
    previous = next;
  }
}

ProblemFields::State ProblemFields::state() const {
  if (txtOrder_->isEnabled()) return State::New;
  if (txtVarNams_->isEnabled()) return State::CountGiven;
  return State::ProblemDefined;
}

void ProblemFields::ReadInto(Problem& problem) const {
  problem.formula = txtEquation_->text().toStdString();
  problem.errorBound = FieldValue(txtError_);
  problem.maxCycles = WholeFieldValue(txtMaxcy_);
}

int32_t ProblemFields::RandomSeeds() const {
  return WholeFieldValue(txtRand_);
}

void ProblemFields::Show(const Problem& problem) {
  txtOrder_->setEnabled(false);
  txtVarNams_->setEnabled(false);
  varCount_ = problem.varCount();
  intervals_.LoadObjects(varCount_);
  txtOrder_->setText(QString::number(problem.varCount()));
  txtError_->setText(QString::fromStdString(FormatGeneral(problem.errorBound)));
  txtMaxcy_->setText(QString::number(problem.maxCycles));
  txtEquation_->setText(QString::fromStdString(problem.formula));
  txtEquation_->setCursorPosition(0);
  QStringList names;
  for (int i = 0; i < problem.varCount(); ++i) {
    const QString name = QString::fromStdString(problem.varNames[i]);
    names << name;
    intervals_.SetName(i, name);
    intervals_.SetValues(i, problem.lowerLimit[i], problem.upperLimit[i], problem.subintervals[i]);
  }
  txtVarNams_->setText(names.join(','));
  lblEquation_->setText("f(" + names.join(',') + ")");
}

}  // namespace quorvant
