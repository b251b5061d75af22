// The decimal-separator guard. Every number the program writes uses ".", but a
// process started in a locale whose decimal separator is "," would have the C
// library and Qt format numbers with a comma wherever they follow the locale. At
// start-up the separator is read; if it is not ".", the user is warned and may let
// the program use "." while it runs (anything else ends the program before its
// window shows); at exit the saved setting is written back.
#pragma once

#include <QString>
#include <functional>
#include <string>

namespace quorvant {

// The setting the process's number conversions follow.
class LocaleService {
 public:
  virtual ~LocaleService() = default;
  virtual std::string ReadDecimalSeparator() = 0;
  // "." switches the process to a point; the text read before puts it back.
  virtual void WriteDecimalSeparator(const std::string& separator) = 0;
};

// The process's numeric locale, as the user's environment sets it (LC_ALL,
// LC_NUMERIC, LANG): the C library's LC_NUMERIC and Qt's default QLocale.
class ProcessLocale final : public LocaleService {
 public:
  ProcessLocale();
  std::string ReadDecimalSeparator() override;
  void WriteDecimalSeparator(const std::string& separator) override;

 private:
  std::string numericLocale_;  // LC_NUMERIC as the environment gave it
};

enum class Answer { Yes, No, Cancel };

class DecimalPoint {
 public:
  using Ask = std::function<Answer(const QString& title, const QString& text)>;
  DecimalPoint(LocaleService& locale, Ask ask) : locale_(locale), ask_(std::move(ask)) {}

  void ReadDecimalSeparator() { savedDecimalSep = locale_.ReadDecimalSeparator(); }
  void SetDecimalPoint() { locale_.WriteDecimalSeparator("."); }
  void RestoreDecimalSeparator() { locale_.WriteDecimalSeparator(savedDecimalSep); }
  // The start-up check; false when the user declined and the program must end.
  bool CheckDecimalSeparator();

  static QString WarningTitle() { return "Decimal Comma Warning!"; }
  static QString WarningText();

  std::string savedDecimalSep;

 private:
  LocaleService& locale_;
  Ask ask_;
};

}  // namespace quorvant
