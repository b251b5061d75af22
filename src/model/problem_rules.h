// The rules a problem and each of its fields must meet, in one place: the window's
// fields, the problem file's reader and writer and the run's own checks all ask here.
// Each caller words a refusal as it always has; the rule itself is the same for all.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/problem.h"

namespace quorvant {

// Limits beyond the problem state's own (10 variables, 101 constants, 100 extrema of
// each kind).
inline constexpr std::size_t kMaxFormulaLength = 1'000'000;  // characters (bytes)
inline constexpr std::size_t kMaxNameLength = 255;           // the language's longest name
inline constexpr std::size_t kMaxConstantLength = 10'000;
inline constexpr int32_t kMinCycles = 1;      // the iteration cap, as the field takes it
inline constexpr int32_t kMaxCycles = 32767;  // (a 16-bit whole number, at least 1)

// The fields with a rule of their own.
enum class ProblemField { VarCount, ErrorBound, MaxCycles, RandomSeeds, Subintervals };

// What is wrong with a value of a field: nothing, not a finite number, a number whose
// 15-digit text lies beyond the double range, or a value below or above its range. A
// count (variables, iteration cap, subintervals) is rounded half to even first; the
// error bound must be above 0, the number of random seeds at least 1.
enum class FieldFault { None, NotFinite, BeyondDoubles, Below, Above };
FieldFault CheckField(ProblemField field, double value);
inline bool FieldAccepts(ProblemField field, double value) {
  return CheckField(field, value) == FieldFault::None;
}

// The same in words, as a problem file's reader and writer give it ("the iteration cap
// must be from 1 to 32767, not 40000"); `what` names the field. Empty when acceptable.
std::string FieldProblem(ProblemField field, double value, const std::string& what);

// What keeps a number from being written and read back: a value that is not finite, or
// whose 15-digit text lies beyond the double range. Empty when nothing does.
std::string NumberProblem(double value, const std::string& what);

// What keeps a text of the problem from being written into a file and read back the
// same, in words ("the formula is empty"); empty when nothing does. `what` names the
// text ("the formula", "the name of variable 2"); `nameRules`: a name (not empty, no
// quote, no comma).
std::string TextProblem(std::string_view text, const std::string& what, size_t maxLength,
                        bool nameRules);

// Whether the whole problem is acceptable (every field, every text, every stored
// extremum): why not, in words without a full stop; empty when it is.
std::string ProblemFault(const Problem& problem);

}  // namespace quorvant
