// Every statement below is one double operation (or a few, evaluated left to right) in
// the order written: that order decides the last bits of the results, so it must not be
// "simplified".
#include "engine/newton_iteration.h"

#include <cmath>
#include <utility>

#include "engine/finite_differences.h"

namespace quorvant {

const char* ToString(NewtonEnd end) {
  switch (end) {
    case NewtonEnd::Converged:
      return "converged";
    case NewtonEnd::EvaluationFailed:
      return "evaluation failed";
    case NewtonEnd::Inconsistent:
      return "inconsistent system";
    case NewtonEnd::LinearlyDependent:
      return "linearly dependent system";
    case NewtonEnd::StepNotFinite:
      return "step not finite";
    case NewtonEnd::CapReached:
      return "cap on cycles reached";
  }
  return "?";
}

namespace {
uint32_t AllComponents(int n) {
  return n >= 32 ? ~0u : (1u << n) - 1;
}
}  // namespace

int32_t NonFiniteStepBit(const std::vector<double>& step) {
  for (double component : step)
    if (!std::isfinite(component)) return std::isnan(component) ? 1 : 2;
  return 0;
}

NewtonIteration::NewtonIteration(RunContext& run, int n, double errorBound, int32_t maxCycles)
    : run_(run),
      n_(n),
      errorBound_(errorBound),
      maxCycles_(maxCycles),
      step_(n, 0.0),
      stepKnown_(AllComponents(n)) {}

void NewtonIteration::Begin(const std::vector<double>& step, bool known) {
  step_ = step;
  step_.resize(n_, 0.0);
  stepKnown_ = known ? AllComponents(n_) : 0u;
}

// The Hessian: the diagonal from f(s+2h) - 2 f(s) + f(s-2h), the elements right of it
// from the four corners at (s +- h, t +- h); each mirrored, so H is exactly symmetric.
// Then the right-hand side -g, with the fourth-order central difference
// g = [f(s-2h) - 8 f(s-h) + 8 f(s+h) - f(s+2h)] / (12h). A failed evaluation leaves the
// value it would have set as it was.
void NewtonIteration::EstimateHessianAndGradient(std::vector<double>& x) {
  const int n = n_;
  const double h = kNewtonSteps.h;
  const double h2 = kNewtonSteps.h2;
  const double d = kNewtonDivisor;
  Matrix& a = system_;
  RunContext& run = run_;
  CarriedValue& acc = run.fdAcc;
  double f;

  for (int i = 0; i < n; ++i) {
    const double s = x[i];
    if (run.Evaluate(x, f)) acc = run.Checked(2 * f);
    x[i] = run.Checked(s + h2);
    if (run.Evaluate(x, f)) acc = run.Checked(f - acc);
    x[i] = run.Checked(s - h2);
    if (run.Evaluate(x, f)) a(i, i) = run.CheckedQuotient(run.Checked(acc + f), d);
    x[i] = run.Checked(s + h);
    for (int j = i + 1; j < n; ++j) {
      const double t = x[j];
      x[j] = run.Checked(t + h);
      if (run.Evaluate(x, f)) acc = f;
      x[j] = run.Checked(t - h);
      if (run.Evaluate(x, f)) a(i, j) = run.Checked(acc - f);
      x[j] = t;
    }
    x[i] = run.Checked(s - h);
    for (int j = i + 1; j < n; ++j) {
      const double t = x[j];
      x[j] = run.Checked(t + h);
      if (run.Evaluate(x, f)) acc = f;
      x[j] = run.Checked(t - h);
      if (run.Evaluate(x, f))
        a(i, j) = run.CheckedQuotient(run.Checked(run.Checked(f + a(i, j)) - acc), d);
      a(j, i) = a(i, j);
      x[j] = t;
    }
    x[i] = s;
  }

  for (int i = 0; i < n; ++i) {
    const double s = x[i];
    x[i] = run.Checked(s - h2);
    if (run.Evaluate(x, f)) acc = f;
    x[i] = run.Checked(s - h);
    if (run.Evaluate(x, f)) acc = run.Checked(acc - run.Checked(8 * f));
    x[i] = run.Checked(s + h);
    if (run.Evaluate(x, f)) acc = run.Checked(run.Checked(8 * f) + acc);
    x[i] = run.Checked(s + h2);
    if (run.Evaluate(x, f)) acc = run.Checked(acc - f);
    a(i, n) = run.CheckedQuotient(run.CheckedQuotient(-acc, 12), h);
    x[i] = s;
  }
}

NewtonEnd NewtonIteration::Run(std::vector<double>& x) {
  const RunContext::PollStopWhile polling(run_);
  const int n = n_;
  RunContext& run = run_;
  std::vector<double>& step = step_;
  cycle_ = 0;
  bool zeroPivot = false;
  system_ = Matrix(n, n + 1);  // all 0, once per start
  Matrix& a = system_;

  for (;;) {
    cycle_ = cycle_ + 1;
    run.ierr = 0;
    EstimateHessianAndGradient(x);
    // Some evaluation (or difference) failed: give this start up, without a flag.
    if (run.ierr != 0) return NewtonEnd::EvaluationFailed;

    // Forward elimination with partial pivoting over all n+1 columns; the first of
    // equal magnitudes wins, a column without a nonzero pivot is skipped.
    for (int k = 0; k <= n - 2; ++k) {
      double pivotAbs = std::fabs(a(k, k));
      int p = k;
      for (int r = k + 1; r < n; ++r) {
        if (std::fabs(a(r, k)) > pivotAbs) {
          pivotAbs = std::fabs(a(r, k));
          p = r;
        }
      }
      if (pivotAbs == 0) continue;
      if (p != k)
        for (int c = 0; c <= n; ++c) std::swap(a(k, c), a(p, c));
      for (int r = k + 1; r < n; ++r) {
        run.fdAcc = a(r, k) / a(k, k);
        for (int c = k; c <= n; ++c) a(r, c) = a(r, c) - run.fdAcc * a(k, c);
      }
    }

    // Back substitution; a diagonal element that is exactly 0 stops it.
    int stopRow = -1;
    for (int i = n - 1; i >= 0; --i) {
      double backSum = 0;
      step[i] = 0;
      stepKnown_ |= 1u << i;
      for (int j = i + 1; j < n; ++j) backSum = a(i, j) * step[j] + backSum;
      if (a(i, i) == 0) {
        zeroPivot = true;
        stopRow = i;
        break;
      }
      step[i] = (a(i, n) - backSum) / a(i, i);
    }

    // Singular system: the row's residual tells an inconsistent equation from a
    // dependent one. The sum runs over every column; left of the diagonal the steps
    // still hold an earlier solve's values.
    if (zeroPivot) {
      // Left of the diagonal the sum reads components an earlier solve left.
      const uint32_t left = AllComponents(stopRow);
      if ((stepKnown_ & left) != left) run.dependent = true;
      double rowSum = 0;
      for (int j = 0; j < n; ++j) rowSum = a(stopRow, j) * step[j] + rowSum;
      if (rowSum != a(stopRow, n)) {
        run.problems.inconsistence = true;
        return NewtonEnd::Inconsistent;
      }
      run.problems.linDependence = true;
      return NewtonEnd::LinearlyDependent;
    }

    // A step that is not a number, or infinite, cannot converge: give the start up
    // and say so in the problems section.
    if (const int32_t bit = NonFiniteStepBit(step)) {
      run.problems.problemBits |= bit;
      return NewtonEnd::StepNotFinite;
    }

    for (int i = 0; i < n; ++i) x[i] = run.Checked(x[i] + step[i]);
    bool converged = true;
    for (int i = 0; i < n; ++i) {
      if (std::fabs(step[i]) > errorBound_) {
        converged = false;
        break;
      }
    }
    if (converged) return NewtonEnd::Converged;
    if (cycle_ >= maxCycles_) {
      run.problems.convProblems = true;
      return NewtonEnd::CapReached;
    }
  }
}

}  // namespace quorvant
