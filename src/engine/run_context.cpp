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
  }
  return "?";
}

std::string RunFailureMessage(const RunSummary& summary, const std::vector<std::string>& names) {
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

bool RunContext::Evaluate(std::span<const double> x, double& value) {
  if (pollStop_) CheckStop();
  double v;
  const int32_t e = function_.EvaluateFunction(x, v);
  if (e == 0) {
    value = v;
    return true;
  }
  ierr = e;
  if (script::IsNumericFault(e)) return false;
  throw RunAborted{{RunEnd::Failed, e, {}, std::vector<double>(x.begin(), x.end())}};
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
  if (hooks_.StopRequested()) throw RunAborted{{RunEnd::Stopped, 0, {}, {}}};
}

}  // namespace quorvant
