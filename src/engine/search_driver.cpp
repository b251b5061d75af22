#include <cmath>
#include <string>

#include "engine/search_engine.h"
#include "model/numtext.h"
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

bool RunTolerates(int32_t errorNumber) {
  // Invalid argument, overflow, division by zero, and the interpreter's "already
  // reported": numeric trouble at one point, not a broken problem.
  return errorNumber == 5 || errorNumber == 6 || errorNumber == 11 ||
         errorNumber == script::kAlreadyReported;
}

SearchEngine::SearchEngine(Dimension& dim, PointFunction& evaluator, RunHooks& hooks,
                           RandomSource* random)
    : dim_(dim), evaluator_(evaluator), hooks_(hooks), random_(random) {
  if (!random_) {
    ownRandom_ = std::make_unique<ClockRandomSource>();
    random_ = ownRandom_.get();
  }
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

bool SearchEngine::F(double& value) {
  if (pollStop_) CheckStop();
  double v;
  const int32_t e = evaluator_.EvaluateFunction(v);
  if (e == 0) {
    value = v;
    return true;
  }
  dim_.ierr = e;
  if (RunTolerates(e)) return false;
  throw Abort{{RunEnd::Failed, e, {}, dim_.point}};
}

double SearchEngine::Ck(double result) {
  if (!std::isfinite(result)) dim_.ierr = 6;
  return result;
}

double SearchEngine::Dv(double numerator, double denominator) {
  const double q = numerator / denominator;
  if (!std::isfinite(q))
    dim_.ierr = (denominator == 0 && numerator != 0 && !std::isnan(numerator)) ? 11 : 6;
  return q;
}

void SearchEngine::CheckStop() {
  if (hooks_.StopRequested()) throw Abort{{RunEnd::Stopped, 0, {}, {}}};
}

void SearchEngine::ResetRun() {
  problems_ = RunProblems{};
  fPlus_ = fMinus_ = fdAcc_ = fdD2_ = 0;
  std::fill(dim_.newtonStep.begin(), dim_.newtonStep.end(), 0.0);
  // A run that ended inside a classification may have left the small steps behind.
  dim_.fdStep = 0.004;
  dim_.fdStep2 = dim_.fdStep + dim_.fdStep;
}

// What makes a problem impossible to search, in words for the user; empty when it
// can be searched. For Explore it also counts the grid points, walking each axis as the
// search will (Stop is honoured on a walk of billions of values).
std::string SearchEngine::CheckProblem() {
  const int n = dim_.varCount;
  if (n < 1 || n > kMaxVariables || static_cast<int>(dim_.point.size()) != n ||
      static_cast<int>(dim_.varNames.size()) != n)
    return "The problem has no variables yet: give the number of variables and their names.";
  // A bound that is not above 0 is never met, and the iteration would only end at its cap.
  if (!(dim_.errorBound > 0))
    return "The error bound is " + FormatGeneral(dim_.errorBound) + ": give a number above 0.";
  if (dim_.maxCycles < 1)
    return "The iteration cap is " + std::to_string(dim_.maxCycles) + ": give 1 or more.";
  if (dim_.randomTrials != 0) return {};
  gridPoints_ = 1;
  for (int i = 0; i < n; ++i) {
    const std::string name = Printable(dim_.varNames[i]);
    const int32_t subintervals = dim_.subintervals[i];
    if (subintervals < 1)
      return "The number of subintervals of " + name + " is " + std::to_string(subintervals) +
             ": give 1 or more.";
    // The grid walk adds the step until the value reaches the upper limit. Rounding
    // makes the last value fall short now and then, which costs one extra value; if
    // more are needed, the walk would not end where the user expects, or never.
    const double lower = dim_.lowerLimit[i], upper = dim_.upperLimit[i];
    const double step = (upper - lower) / subintervals;
    double v = lower;
    int64_t values = 1;
    for (; !(v >= upper); ++values) {
      if ((values & 0xFFFFF) == 0 && hooks_.StopRequested()) return {};
      if (values > static_cast<int64_t>(subintervals) + 1 || !std::isfinite(v)) {
        const std::string grid = "The grid of " + name + " from " + FormatGeneral(lower) + " to " +
                                 FormatGeneral(upper) + " in " + std::to_string(subintervals) +
                                 " subintervals cannot be walked: ";
        if (!std::isfinite(v) || !std::isfinite(step))
          return grid + "its values overflow. Narrow the limits.";
        if (v + step == v)
          return grid + "its step " + FormatGeneral(step) +
                 " is lost in the rounding of values this large. Narrow the limits or use "
                 "fewer subintervals.";
        return grid + "the rounding errors of adding its step " + FormatGeneral(step) +
               " again and again build up, and the values fall more than a step short of the "
               "upper limit. Use fewer subintervals.";
      }
      v += step;
    }
    gridPoints_ *= static_cast<double>(values);
  }
  return {};
}

RunSummary SearchEngine::Compute() {
  const std::string problem = CheckProblem();
  if (!problem.empty()) return {RunEnd::Refused, 0, problem, {}};
  if (hooks_.StopRequested()) return {RunEnd::Stopped, 0, {}, {}};
  ResetRun();
  RunSummary summary;
  try {
    if (dim_.randomTrials != 0) {
      dim_.trialCount = 0;
      RandomTrials();
    } else {
      Explore();
    }
    hooks_.ReportProgress(1.0);
    if (hooks_.ShowAdditionalInfo())
      for (const std::string& line : ProblemsSection(problems_)) Append(line);
  } catch (const Abort& abort) {
    summary = abort.summary;
    pollStop_ = false;
    dim_.fdStep = 0.004;
    dim_.fdStep2 = dim_.fdStep + dim_.fdStep;
  }
  if (summary.end != RunEnd::Completed) {
    dim_.randomTrials = 0;
    dim_.randomMode = false;
  }
  return summary;
}

// After a Newton iteration (converged or not) and its classification, the run goes
// on with the next starting point.
void SearchEngine::FromStartingPoint() {
  if (NewtonIteration()) ClassifyStationaryPoint();
}

void SearchEngine::Explore() {
  const int n = dim_.varCount;
  const int lastVar = dim_.lastVar;
  auto& x = dim_.point;
  // gridPoints_ was counted by CheckProblem.
  for (int i = 0; i < n; ++i)
    dim_.gridStep[i] =
        Dv(Ck(dim_.upperLimit[i] - dim_.lowerLimit[i]), static_cast<double>(dim_.subintervals[i]));
  pointsDone_ = 0;
  for (int i = 0; i < n; ++i) x[i] = dim_.lowerLimit[i];

  for (;;) {
    CheckStop();
    if ((static_cast<int64_t>(pointsDone_) & 1023) == 0)
      hooks_.ReportProgress(pointsDone_ / gridPoints_);
    pointsDone_ += 1;

    // The grid point test: strictly below (or above) both neighbours along every
    // axis. Neighbours outside the box are evaluated all the same.
    int32_t maxAxes = -1, minAxes = -1;
    int32_t gridPos = lastVar;
    for (int i = 0; i < n; ++i) {
      const double savedX = x[i];
      x[i] = Ck(savedX + dim_.gridStep[i]);
      F(fPlus_);
      x[i] = Ck(savedX - dim_.gridStep[i]);
      F(fMinus_);
      x[i] = savedX;
      F(fdAcc_);
      if (fPlus_ > fdAcc_ && fMinus_ > fdAcc_) ++minAxes;
      if (fPlus_ < fdAcc_ && fMinus_ < fdAcc_) ++maxAxes;
    }
    if (minAxes == lastVar || maxAxes == lastVar) {
      FromStartingPoint();
      for (int i = 0; i < n; ++i) x[i] = dim_.startPoint[i];
    }

    // Advance like an odometer whose last variable turns fastest, by repeated
    // addition; the test is on the value before the addition.
    for (int k = gridPos;;) {
      if (x[k] >= dim_.upperLimit[k]) {
        if (k == 0) return;
        x[k] = dim_.lowerLimit[k];
        gridPos = k - 1;
        k = gridPos;
      } else {
        x[k] = Ck(x[k] + dim_.gridStep[k]);
        break;
      }
    }
  }
}

void SearchEngine::RandomTrials() {
  const int n = dim_.varCount;
  const double trials = dim_.randomTrials;
  while (dim_.randomTrials != 0) {
    CheckStop();
    hooks_.ReportProgress((trials - dim_.randomTrials) / trials);
    for (int i = 0; i < n; ++i) {
      random_->Reseed();
      const double r = random_->Next();
      dim_.point[i] = Ck(Ck(r * Ck(dim_.upperLimit[i] - dim_.lowerLimit[i])) + dim_.lowerLimit[i]);
    }
    dim_.trialCount = dim_.trialCount + 1;
    hooks_.Yield();
    Append("");
    Append(TrialLine(dim_.trialCount));
    dim_.randomTrials = dim_.randomTrials - 1;
    FromStartingPoint();
  }
  dim_.randomMode = false;
}

}  // namespace quorvant
