#include "engine/run_context.h"

#include <cmath>

#include "model/script/script_error.h"
#include "model/text_safety.h"

namespace quorvant {

const char* ToString(RunEnd end) {
  switch (end) {
    case RunEnd::Completed:
      return "completed";
    case RunEnd::Failed:
      return "failed";
    case RunEnd::Stopped:
      return "stopped";
    case RunEnd::StoreFull:
      return "store full";
    case RunEnd::Refused:
      return "refused";
    case RunEnd::Internal:
      return "internal failure";
  }
  return "?";
}

std::string RunFailureMessage(const RunSummary& summary, const std::vector<std::string>& names) {
  if (summary.end == RunEnd::Internal)
    return "The search ended on a failure of its own: " + summary.reason +
           ". The listing holds what was found before.";
  std::string where;
  for (size_t i = 0; i < summary.failedAt.size() && i < names.size(); ++i) {
    if (i > 0) where += ", ";
    where += CoordinateLine(Printable(names[i]), summary.failedAt[i]);
  }
  std::string cause;
  if (summary.errorNumber == script::kInvalidUseOfNull)
    cause = "the function's value is Null, not a number";
  else if (summary.errorNumber == script::kTypeMismatch)
    cause = "the function's value is not a number (a text, or an operation on one)";
  else
    cause = "the function cannot be evaluated";
  return "The search ended at " + (where.empty() ? std::string("the first point") : where) + ": " +
         cause + " (error " + std::to_string(summary.errorNumber) + ", " +
         std::string(script::ErrorDescription(summary.errorNumber)) +
         "). The listing holds what was found before.";
}

void RunContext::Fail(int32_t error, std::span<const double> x) {
  ierr = error;
  if (!script::IsNumericFault(error))
    throw RunAborted{{RunEnd::Failed, error, {}, std::vector<double>(x.begin(), x.end())}};
}

bool RunContext::Evaluate(std::span<const double> x, double& value) {
  if (pollStop_) CheckStop();
  double v;
  const int32_t e = function_.EvaluateFunction(x, v);
  if (e == 0) {
    value = v;
    return true;
  }
  Fail(e, x);
  return false;
}

bool RunContext::Evaluate(std::span<const double> x, CarriedValue& value) {
  double v = 0;
  if (!Evaluate(x, v)) return false;
  value = v;
  return true;
}

bool RunContext::Evaluate(std::span<const double> x, std::span<const double> rounded,
                          CarriedValue& value) {
  if (pollStop_) CheckStop();
  double v;
  const int32_t e = function_.EvaluateRounded(x, rounded, v);
  if (e == 0) {
    value = v;
    return true;
  }
  Fail(e, x);
  return false;
}

double RunContext::Checked(double result) {
  if (!std::isfinite(result)) ierr = script::kOverflow;
  return result;
}

double RunContext::CheckedQuotient(double numerator, double denominator) {
  const double q = numerator / denominator;
  if (!std::isfinite(q))
    ierr = (denominator == 0 && numerator != 0 && !std::isnan(numerator)) ? script::kDivisionByZero
                                                                          : script::kOverflow;
  return q;
}

void RunContext::CheckStop() {
  if (stopRequested_ && stopRequested_()) throw RunAborted{{RunEnd::Stopped, 0, {}, {}}};
}

}  // namespace quorvant
