// The user constants as the constants editor keeps them: statements "name=value" in
// list order, at most 101. The list is the one source of the statements that a run
// executes, a problem file holds and a report prints.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvant {

class UserConstants {
 public:
  // The name of a statement: the text before its first "=", which must begin with an
  // ASCII letter and go on with ASCII letters and digits only (no blank, no
  // underscore). Empty when the statement has no "=" or its name breaks the rule.
  static std::string NameOf(std::string_view statement);

  struct AddResult {
    enum class Outcome {
      Added,     // appended at the end
      Replaced,  // a statement of the same name (compared exactly) left its place
      Refused,   // not a statement of the form name=value
      Full,      // 101 statements are listed and the name is new
    } outcome;
    int replaced = -1;  // Replaced: where the old statement was
  };
  // Adds `statement` at the end. A statement of the same name, compared exactly (so
  // "A=5" and "a=2" are different names here), is removed from its place first.
  AddResult Add(std::string statement);

  // Removes entry `k` (nothing when there is none) and returns the statement that sets
  // the removed constant to 0 in the interpreter, which cannot forget a name: the text
  // of `editText` up to and including its first "=", then "0". Without "=" in the edit
  // text, the removed entry's own name is reset instead of sending the statement "0".
  std::string Remove(int k, std::string_view editText);

  const std::vector<std::string>& statements() const { return statements_; }
  int count() const { return static_cast<int>(statements_.size()); }
  // Replaces the whole list (a problem file opened); at most 101 are kept.
  void Assign(std::vector<std::string> statements);

 private:
  std::vector<std::string> statements_;
};

}  // namespace quorvant
