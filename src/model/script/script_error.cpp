#include "model/script/script_error.h"

namespace quorvant::script {

namespace {
struct Entry {
  int32_t number;
  std::string_view description;
};

constexpr Entry kTable[] = {
    {kInvalidCall, "Invalid procedure call or argument"},
    {kOverflow, "Overflow"},
    {kOutOfMemory, "Out of memory"},
    {kDivisionByZero, "Division by zero"},
    {kTypeMismatch, "Type mismatch"},
    {kOutOfStack, "Out of stack space"},
    {kInvalidUseOfNull, "Invalid use of Null"},
    {kObjectRequired, "Object required"},
    {kNoSuchMember, "Object doesn't support this property or method"},
    {kWrongArgCount, "Wrong number of arguments or invalid property assignment"},
    {kIllegalAssignment, "Illegal assignment"},
    {kSyntaxError, "Syntax error"},
    {kExpectedCloseParen, "Expected ')'"},
    {kExpectedCloseBracket, "Expected ']'"},
    {kExpectedIdentifier, "Expected identifier"},
    {kExpectedExpression, "Expected expression"},
    {kExpectedStatement, "Expected statement"},
    {kExpectedEndOfStatement, "Expected end of statement"},
    {kIdentifierTooLong, "Identifier too long"},
    {kInvalidNumber, "Invalid number"},
    {kInvalidCharacter, "Invalid character"},
    {kUnterminatedString, "Unterminated string constant"},
};
}  // namespace

std::string_view ErrorDescription(int32_t number) {
  for (const Entry& e : kTable)
    if (e.number == number) return e.description;
  return {};
}

bool IsCompileError(int32_t number) {
  return number >= 1000 && number < 1100;
}

}  // namespace quorvant::script
