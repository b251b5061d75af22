// The frame "User constants": an editable list of constant statements with Add and
// Remove, over the list the UserConstants model keeps.
#pragma once

#include <QGroupBox>
#include <string>
#include <vector>

#include "model/user_constants.h"

class QComboBox;
class QPushButton;

namespace quorvant {

class ConstantsEditor : public QGroupBox {
  Q_OBJECT
 public:
  explicit ConstantsEditor(QWidget* parent = nullptr);

  void cmdAddCons_Click();
  void cmdRemCons_Click();
  const std::vector<std::string>& statements() const { return constants_.statements(); }
  // Shows the statements of an opened problem, the edit text empty.
  void SetStatements(std::vector<std::string> statements);
  QComboBox* combo() const { return cboConstants_; }

 signals:
  // The edit text was typed in, or emptied by Add: the results no longer hold.
  void edited();
  // A constant was removed: the interpreter must run `statement` (name=0), since it
  // cannot forget a name.
  void resetRequested(const QString& statement);
  // Add refused a new name because 101 constants are listed.
  void full();
  // The list of statements changed (Add, Remove, or an opened problem's).
  void listChanged();

 private:
  UserConstants constants_;
  QComboBox* cboConstants_;
  QPushButton* cmdAddCons_;
  QPushButton* cmdRemCons_;
};

}  // namespace quorvant
