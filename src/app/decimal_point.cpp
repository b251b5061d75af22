#include "app/decimal_point.h"

#include <QLocale>
#include <clocale>

namespace quorvant {

ProcessLocale::ProcessLocale() {
  const char* current = std::setlocale(LC_NUMERIC, nullptr);
  numericLocale_ = current ? current : "C";
}

std::string ProcessLocale::ReadDecimalSeparator() {
  const std::lconv* conventions = std::localeconv();
  std::string separator =
      conventions && conventions->decimal_point ? conventions->decimal_point : "";
  // Qt formats by its default locale; a comma there counts as well.
  const QString qt = QLocale().decimalPoint();
  if (separator == "." && qt != ".") separator = qt.toStdString();
  return separator;
}

void ProcessLocale::WriteDecimalSeparator(const std::string& separator) {
  if (separator == ".") {
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
  } else {
    std::setlocale(LC_NUMERIC, numericLocale_.c_str());
    QLocale::setDefault(QLocale::system());
  }
}

QString DecimalPoint::WarningText() {
  const QChar cr('\r');
  return QString("Proper operation of this application requires the use of the DECIMAL POINT.") +
         cr + "Your system is currently using the DECIMAL COMMA." + cr + cr +
         "Do you wish to temporarily change this system setting to decimal point?" + cr +
         "(Upon exiting, this application will restore your setting.)" + cr +
         "(See HELP FILE or visit https://quorvant.org for instructions on how to change "
         "MANUALLY)" +
         cr + cr + "Press YES to change.";
}

bool DecimalPoint::CheckDecimalSeparator() {
  ReadDecimalSeparator();
  if (savedDecimalSep == ".") return true;
  if (ask_(WarningTitle(), WarningText()) != Answer::Yes) return false;
  SetDecimalPoint();
  return true;
}

}  // namespace quorvant
