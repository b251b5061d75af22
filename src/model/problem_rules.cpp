#include "model/problem_rules.h"

#include <cmath>
#include <limits>
#include <utility>

#include "model/numtext.h"
#include "model/text_safety.h"

namespace quorvant {
namespace {

// The whole-number range of a count, or none (the error bound, the seeds).
struct Range {
  double low;
  double high;
};

Range RangeOf(ProblemField field) {
  switch (field) {
    case ProblemField::VarCount:
      return {1, kMaxVariables};
    case ProblemField::MaxCycles:
      return {kMinCycles, kMaxCycles};
    case ProblemField::Subintervals:
      return {1, std::numeric_limits<int32_t>::max()};
    case ProblemField::ErrorBound:
    case ProblemField::RandomSeeds:
      break;
  }
  return {-HUGE_VAL, HUGE_VAL};
}

}  // namespace

FieldFault CheckField(ProblemField field, double value) {
  switch (field) {
    case ProblemField::ErrorBound:
      if (!(value > 0)) return FieldFault::Below;  // NaN too
      if (std::isinf(value)) return FieldFault::NotFinite;
      return std::isfinite(Round15(value)) ? FieldFault::None : FieldFault::BeyondDoubles;
    case ProblemField::RandomSeeds:
      return value >= 1 ? FieldFault::None : FieldFault::Below;
    case ProblemField::VarCount:
    case ProblemField::MaxCycles:
    case ProblemField::Subintervals:
      break;
  }
  const Range range = RangeOf(field);
  const double rounded = RoundHalfEven(value);
  if (rounded >= range.low && rounded <= range.high) return FieldFault::None;
  return rounded > range.high ? FieldFault::Above : FieldFault::Below;
}

std::string FieldProblem(ProblemField field, double value, const std::string& what) {
  if (field == ProblemField::ErrorBound) {
    if (std::string p = NumberProblem(value, what); !p.empty()) return p;
    if (CheckField(field, value) != FieldFault::None)
      return what + " must be greater than 0, not " + FormatGeneral(value);
    return {};
  }
  if (CheckField(field, value) == FieldFault::None) return {};
  if (field == ProblemField::RandomSeeds) return what + " must be 1 or more";
  const Range range = RangeOf(field);
  return what + " must be from " + std::to_string(static_cast<int64_t>(range.low)) + " to " +
         std::to_string(static_cast<int64_t>(range.high)) + ", not " +
         FormatGeneral(RoundHalfEven(value));
}

std::string NumberProblem(double value, const std::string& what) {
  if (std::isnan(value) || std::isinf(value)) return what + " is not a finite number";
  if (!std::isfinite(Round15(value)))
    return what + " is too large: written with 15 significant digits (" + FormatGeneral(value) +
           ") it lies beyond the largest number";
  return {};
}

std::string TextProblem(std::string_view text, const std::string& what, size_t maxLength,
                        bool nameRules) {
  if (nameRules && text.empty()) return what + " is empty";
  if (text.size() > maxLength)
    return what + " is longer than " + std::to_string(maxLength) + " characters";
  if (const auto control = FindControlCharacter(text))
    return what + " contains " + DescribeControlCharacter(*control) + " at position " +
           std::to_string(control->offset + 1);
  if (nameRules && text.find('"') != std::string_view::npos)
    return what + " contains a double quote, which a problem file cannot hold";
  if (nameRules && text.find(',') != std::string_view::npos)
    return what + " contains a comma, which separates the names";
  return {};
}

std::string ProblemFault(const Problem& doc) {
  const int32_t n = doc.varCount();
  if (n < 1 || n > kMaxVariables) return "the number of variables must be from 1 to 10";
  const auto size = static_cast<size_t>(n);
  if (doc.lowerLimit.size() != size || doc.upperLimit.size() != size ||
      doc.subintervals.size() != size)
    return "not every variable has a name, limits and a number of subintervals";
  if (std::string p = TextProblem(doc.formula, "the formula", kMaxFormulaLength, false); !p.empty())
    return p;
  if (doc.formula.empty()) return "the formula is empty";
  for (size_t i = 0; i < size; ++i) {
    const std::string variable = "the name of variable " + std::to_string(i + 1);
    if (std::string p = TextProblem(doc.varNames[i], variable, kMaxNameLength, true); !p.empty())
      return p;
  }
  if (doc.constants.size() > static_cast<size_t>(kConstantSlots))
    return "there are more than 101 constants";
  for (size_t j = 0; j < doc.constants.size(); ++j) {
    const std::string constant = "constant " + std::to_string(j + 1);
    if (std::string p = TextProblem(doc.constants[j], constant, kMaxConstantLength, false);
        !p.empty())
      return p;
  }
  if (std::string p = FieldProblem(ProblemField::ErrorBound, doc.errorBound, "the error bound");
      !p.empty())
    return p;
  if (std::string p = FieldProblem(ProblemField::MaxCycles, doc.maxCycles, "the iteration cap");
      !p.empty())
    return p;
  for (size_t i = 0; i < size; ++i) {
    const std::string of = " of variable " + std::to_string(i + 1);
    for (const auto& [value, what] : {std::pair{doc.lowerLimit[i], "the lower limit"},
                                      std::pair{doc.upperLimit[i], "the upper limit"}})
      if (std::string p = NumberProblem(value, what + of); !p.empty()) return p;
    if (std::string p = FieldProblem(ProblemField::Subintervals, doc.subintervals[i],
                                     "the number of subintervals" + of);
        !p.empty())
      return p;
  }
  for (const auto* store : {&doc.maxima, &doc.minima}) {
    const char* kind = store == &doc.maxima ? "maxima" : "minima";
    if (store->size() > static_cast<size_t>(kStoreSize))
      return std::string("there are more than 100 ") + kind;
    for (const std::vector<double>& column : *store) {
      if (column.size() != size + 1)
        return std::string("a stored extremum among the ") + kind + " does not have n + 1 values";
      for (double value : column)
        if (std::string p = NumberProblem(value, std::string("a value among the stored ") + kind);
            !p.empty())
          return p;
    }
  }
  return {};
}

}  // namespace quorvant
