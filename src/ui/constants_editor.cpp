#include "ui/constants_editor.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include "ui/ui_style.h"

namespace quorvant {

ConstantsEditor::ConstantsEditor(QWidget* parent) : QGroupBox("User constants", parent) {
  setObjectName("fraConstants");
  setToolTip("Add or remove user-defined constants");
  auto* row = new QHBoxLayout(this);
  cboConstants_ = new QComboBox;
  cboConstants_->setObjectName("cboConstants");
  cboConstants_->setEditable(true);
  cboConstants_->setInsertPolicy(QComboBox::NoInsert);
  cboConstants_->setCompleter(nullptr);  // what is typed is what is added
  cboConstants_->setFont(FieldFont());
  cboConstants_->setToolTip("Example: a=2.37");
  cboConstants_->setMinimumContentsLength(16);
  LiftLengthLimit(cboConstants_->lineEdit());
  cmdAddCons_ = MakeButton("cmdAddCons", "Add", "Add (register) constant");
  cmdRemCons_ = MakeButton("cmdRemCons", "Remove", "Remove selected constant");
  row->addWidget(cboConstants_, 1);
  row->addWidget(cmdAddCons_);
  row->addWidget(cmdRemCons_);
  connect(cmdAddCons_, &QPushButton::clicked, this, &ConstantsEditor::cmdAddCons_Click);
  connect(cmdRemCons_, &QPushButton::clicked, this, &ConstantsEditor::cmdRemCons_Click);
  // Typing in the edit text is a change; choosing an entry from the list is not.
  connect(cboConstants_->lineEdit(), &QLineEdit::textEdited, this, &ConstantsEditor::edited);
  connect(cboConstants_->lineEdit(), &QLineEdit::returnPressed, this,
          &ConstantsEditor::cmdAddCons_Click);
}

// A statement whose name is already listed (compared exactly) replaces it: the old one
// leaves its place and the new one goes to the end. A refused statement leaves the list
// and the edit text as they were.
void ConstantsEditor::cmdAddCons_Click() {
  const std::string text = cboConstants_->currentText().toStdString();
  const UserConstants::AddResult result = constants_.Add(text);
  using Outcome = UserConstants::AddResult::Outcome;
  if (result.outcome == Outcome::Refused) return;
  if (result.outcome == Outcome::Full) {
    emit full();
    return;
  }
  if (result.outcome == Outcome::Replaced) cboConstants_->removeItem(result.replaced);
  cboConstants_->addItem(QString::fromStdString(text));
  cboConstants_->setCurrentIndex(-1);
  cboConstants_->setEditText("");
  emit listChanged();
  emit edited();  // emptying the edit text is a change
}

void ConstantsEditor::cmdRemCons_Click() {
  const int k = cboConstants_->currentIndex();
  if (k < 0 || k >= constants_.count()) return;
  const std::string reset = constants_.Remove(k, cboConstants_->currentText().toStdString());
  emit resetRequested(QString::fromStdString(reset));
  cboConstants_->removeItem(k);
  emit listChanged();
}

void ConstantsEditor::SetStatements(std::vector<std::string> statements) {
  constants_.Assign(std::move(statements));
  cboConstants_->clear();
  for (const std::string& s : constants_.statements())
    cboConstants_->addItem(QString::fromStdString(s));
  cboConstants_->setCurrentIndex(-1);
  cboConstants_->setEditText("");
  emit listChanged();
}

}  // namespace quorvant
