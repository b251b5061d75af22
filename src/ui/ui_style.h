// The fonts and small widget makers the window's parts share.
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <limits>

#include "model/numtext.h"

namespace quorvant {

inline QFont FieldFont() {
  return QFont("Verdana", 9);
}
inline QFont LabelFont() {
  return QFont("MS Sans Serif", 9);
}

// A line edit keeps 32,767 characters unless told otherwise, and cuts the rest of a text
// put into it: a field that can receive a text from a file holds any length.
inline void LiftLengthLimit(QLineEdit* field) {
  field->setMaxLength(std::numeric_limits<int>::max());
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

// Why a file could not be written at `path`, in words, for a writer that gives no reason
// of its own (the plot's and the printer's): the folder, or the file, as it is now.
inline std::string WriteFailureReason(const std::string& path) {
  const QFileInfo file(QString::fromStdString(path));
  const QFileInfo folder(file.absolutePath());
  if (!folder.exists() || !folder.isDir())
    return "the folder \"" + folder.absoluteFilePath().toStdString() + "\" does not exist";
  if (file.isDir()) return "it is a folder, not a file";
  if (file.exists() && !file.isWritable())
    return "the file is read-only (its permissions do not allow writing)";
  if (!file.exists() && !folder.isWritable())
    return "the folder \"" + folder.absoluteFilePath().toStdString() +
           "\" does not allow new files";
  return "it could not be written there (the disk may be full)";
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
