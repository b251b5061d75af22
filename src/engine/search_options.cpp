#include "engine/search_options.h"

#include <cmath>

#include "model/numtext.h"
#include "model/problem_rules.h"
#include "model/text_safety.h"

namespace quorvant {

int64_t GridAxisValues(double lower, double upper, int32_t subintervals,
                       const std::function<bool()>& stop) {
  const double step = (upper - lower) / subintervals;
  double v = lower;
  int64_t values = 1;
  for (; !(v >= upper); ++values) {
    if ((values & 0xFFFFF) == 0 && stop && stop()) return values;
    if (values > static_cast<int64_t>(subintervals) + 1 || !std::isfinite(v)) return -1;
    v += step;
  }
  return values;
}

std::string SearchOptions::Validate(const Problem& problem,
                                    const std::function<bool()>& stop) const {
  const int n = problem.varCount();
  const auto size = static_cast<size_t>(n);
  if (!FieldAccepts(ProblemField::VarCount, n) || problem.lowerLimit.size() != size ||
      problem.upperLimit.size() != size || problem.subintervals.size() != size)
    return "The problem has no variables yet: give the number of variables and their names.";
  if (problem.formula.empty()) return "The function is empty: enter the function first.";
  // A bound that is not above 0 is never met, and the iteration would only end at its cap.
  if (CheckField(ProblemField::ErrorBound, problem.errorBound) == FieldFault::Below)
    return "The error bound is " + FormatGeneral(problem.errorBound) + ": give a number above 0.";
  if (CheckField(ProblemField::MaxCycles, problem.maxCycles) == FieldFault::Below)
    return "The iteration cap is " + std::to_string(problem.maxCycles) + ": give 1 or more.";
  if (mode == Mode::Random) {
    if (!FieldAccepts(ProblemField::RandomSeeds, randomTrials))
      return "The number of random seeds is " + std::to_string(randomTrials) + ": give 1 or more.";
    return {};
  }
  double points = 1;
  for (int i = 0; i < n; ++i) {
    const std::string name = Printable(problem.varNames[i]);
    const int32_t subintervals = problem.subintervals[i];
    if (CheckField(ProblemField::Subintervals, subintervals) == FieldFault::Below)
      return "The number of subintervals of " + name + " is " + std::to_string(subintervals) +
             ": give 1 or more.";
    const double lower = problem.lowerLimit[i], upper = problem.upperLimit[i];
    const int64_t values = GridAxisValues(lower, upper, subintervals, stop);
    if (values >= 0) {
      // Grid points are counted in 64 bits; a grid beyond that could not be walked in
      // any lifetime anyway.
      points *= static_cast<double>(values);
      if (points > 0x1p62) return "The grid has more than 4.6E+18 points: use fewer subintervals.";
      continue;
    }
    // The grid walk adds the step until the value reaches the upper limit. Rounding
    // makes the last value fall short now and then, which costs one extra value; if
    // more are needed, the walk would not end where the user expects, or never.
    const double step = (upper - lower) / subintervals;
    const std::string grid = "The grid of " + name + " from " + FormatGeneral(lower) + " to " +
                             FormatGeneral(upper) + " in " + std::to_string(subintervals) +
                             " subintervals cannot be walked: ";
    // `last` is the value the walk stopped at: where adding the step no longer changes
    // it, the step is lost (just above a power of two this can happen although the step
    // still counted below it).
    double last = lower;
    for (int64_t k = 0; k <= static_cast<int64_t>(subintervals) && std::isfinite(last); ++k)
      last += step;
    if (!std::isfinite(step) || !std::isfinite(last))
      return grid + "its values overflow. Narrow the limits.";
    if (last + step == last)
      return grid + "its step " + FormatGeneral(step) +
             " is lost in the rounding of values this large. Narrow the limits or use fewer "
             "subintervals.";
    return grid + "the rounding errors of adding its step " + FormatGeneral(step) +
           " again and again build up, and the values fall more than a step short of the "
           "upper limit. Use fewer subintervals.";
  }
  return {};
}

}  // namespace quorvant
