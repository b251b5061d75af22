// The fonts and small widget makers the window's parts share.
#pragma once

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

#include "model/numtext.h"

namespace quorvant {

inline QFont FieldFont() {
  return QFont("Verdana", 9);
}
inline QFont LabelFont() {
  return QFont("MS Sans Serif", 9);
}

inline QPushButton* MakeButton(const char* name, const QString& caption, const QString& tip) {
  auto* button = new QPushButton(caption);
  button->setObjectName(name);
  button->setToolTip(tip);
  return button;
}

inline QLabel* MakeLabel(const QString& text) {
  auto* label = new QLabel(text);
  label->setFont(LabelFont());
  return label;
}

// The value of a field: the leading number of its text ("." the only decimal point,
// 0 when there is none).
inline double FieldValue(const QLineEdit* field) {
  return ReadLeadingNumber(field->text().toStdString());
}

// A whole number for a count: the value rounded half to even, kept in the 32-bit range.
inline int32_t WholeFieldValue(const QLineEdit* field) {
  const double v = RoundHalfEven(FieldValue(field));
  if (!(v > -2147483648.0)) return INT32_MIN;
  if (!(v < 2147483647.0)) return INT32_MAX;
  return static_cast<int32_t>(v);
}

}  // namespace quorvant
