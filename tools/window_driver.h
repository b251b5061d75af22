// Drives the main window's fields as a user does, for the widget tests, the listing
// benchmark and the screenshot tool: the field gets the focus, its text is selected and
// typed over, and the field is left with Tab (which runs its checks).
#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QString>
#include <QTest>
#include <QWidget>

namespace quorvant::driver {

// Focus, select all, type (an empty text deletes the selection).
inline void TypeInto(QLineEdit* field, const QString& text) {
  field->setFocus();
  QApplication::processEvents();
  field->selectAll();
  if (text.isEmpty())
    QTest::keyClick(field, Qt::Key_Delete);
  else
    QTest::keyClicks(field, text);
}

// Tab out of the field; true when the focus moved (a refused value keeps it).
inline bool LeaveField(QLineEdit* field) {
  QTest::keyClick(field, Qt::Key_Tab);
  QApplication::processEvents();
  return QApplication::focusWidget() != field;
}

// The field `name` of `window`, typed into and left; false when there is no such field
// or it kept the focus.
inline bool TypeAndLeave(QWidget& window, const char* name, const QString& text) {
  auto* field = window.findChild<QLineEdit*>(name);
  if (!field) return false;
  TypeInto(field, text);
  return LeaveField(field);
}

}  // namespace quorvant::driver
