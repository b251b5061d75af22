// The formula interpreter's error: the language's error number, its description,
// and where it happened. One numbered table of descriptions lives in script_error.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvant::script {

// Error numbers of the language that the interpreter raises. Run-time errors are
// below 1000, compile errors from 1001 on.
enum ErrorNumber : int32_t {
  kNoError = 0,
  kInvalidCall = 5,          // Invalid procedure call or argument
  kOverflow = 6,             // Overflow
  kOutOfMemory = 7,          // Out of memory
  kDivisionByZero = 11,      // Division by zero
  kTypeMismatch = 13,        // Type mismatch
  kOutOfStack = 28,          // Out of stack space
  kInvalidUseOfNull = 94,    // Invalid use of Null
  kObjectRequired = 424,     // Object required
  kNoSuchMember = 438,       // Object doesn't support this property or method
  kWrongArgCount = 450,      // Wrong number of arguments or invalid property assignment
  kIllegalAssignment = 501,  // Illegal assignment
  kSyntaxError = 1002,
  kExpectedCloseParen = 1006,
  kExpectedCloseBracket = 1007,
  kExpectedIdentifier = 1010,
  kExpectedExpression = 1023,
  kExpectedStatement = 1024,
  kExpectedEndOfStatement = 1025,
  kIdentifierTooLong = 1030,
  kInvalidNumber = 1031,
  kInvalidCharacter = 1032,
  kUnterminatedString = 1033,
  // The host's code for "an error already reported to you": never raised by this
  // interpreter, but the search's error policy knows it.
  kAlreadyReported = -2147352319,
};

// The numeric faults: an invalid argument (the root or logarithm of a number outside
// its domain), an overflow, a division by zero, and "already reported". They are
// trouble at one point, not a broken formula: the interpreter shows no message for
// them, and a search tolerates them and goes on.
constexpr bool IsNumericFault(int32_t number) {
  return number == kInvalidCall || number == kOverflow || number == kDivisionByZero ||
         number == kAlreadyReported;
}

// The language's description for an error number ("" for an unknown number).
std::string_view ErrorDescription(int32_t number);
bool IsCompileError(int32_t number);

// Neutral source texts of the error object.
inline constexpr std::string_view kRuntimeSource = "Quorvant script runtime error";
inline constexpr std::string_view kCompileSource = "Quorvant script compilation error";

// The error object: what the host reads after (or while) a call fails.
struct ScriptError {
  int32_t number = 0;
  std::string source;
  std::string description;
  std::string text;    // the source text of the statement or expression that failed
  int32_t line = 0;    // 1-based
  int32_t column = 0;  // 0-based byte offset within that line

  bool ok() const { return number == 0; }
};

}  // namespace quorvant::script
