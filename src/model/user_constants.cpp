#include "model/user_constants.h"

#include "model/problem.h"

namespace quorvant {

namespace {
bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}
}  // namespace

std::string UserConstants::NameOf(std::string_view statement) {
  const size_t eq = statement.find('=');
  if (eq == std::string_view::npos || eq == 0) return {};
  const std::string_view name = statement.substr(0, eq);
  if (!IsAsciiLetter(name[0])) return {};
  for (size_t k = 1; k < name.size(); ++k)
    if (!IsAsciiLetter(name[k]) && !IsAsciiDigit(name[k])) return {};
  return std::string(name);
}

UserConstants::AddResult UserConstants::Add(std::string statement) {
  const std::string name = NameOf(statement);
  if (name.empty()) return {AddResult::Outcome::Refused};
  int replaced = -1;
  for (int k = 0; k < count(); ++k) {
    const std::string& listed = statements_[k];
    if (listed.substr(0, listed.find('=')) == name) {
      replaced = k;
      break;
    }
  }
  if (replaced < 0 && count() >= kConstantSlots) return {AddResult::Outcome::Full};
  if (replaced >= 0) statements_.erase(statements_.begin() + replaced);
  statements_.push_back(std::move(statement));
  return {replaced >= 0 ? AddResult::Outcome::Replaced : AddResult::Outcome::Added, replaced};
}

std::string UserConstants::Remove(int k, std::string_view editText) {
  if (k < 0 || k >= count()) return {};
  const std::string removed = statements_[k];
  statements_.erase(statements_.begin() + k);
  const size_t p = editText.find('=');
  if (p != std::string_view::npos) return std::string(editText.substr(0, p + 1)) + "0";
  return removed.substr(0, removed.find('=') + 1) + "0";
}

void UserConstants::Assign(std::vector<std::string> statements) {
  if (statements.size() > static_cast<size_t>(kConstantSlots)) statements.resize(kConstantSlots);
  statements_ = std::move(statements);
}

}  // namespace quorvant
