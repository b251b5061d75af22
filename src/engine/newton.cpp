// The Newton iteration on the gradient, with the Hessian and the gradient estimated
// by central finite differences with fixed steps. Every statement below is one double
// operation (or a few, evaluated left to right) in the order written: that order
// decides the last bits of the results, so it must not be "simplified".
#include <cmath>

#include "engine/search_engine.h"

namespace quorvant {

int32_t NonFiniteStepBit(const std::vector<double>& step) {
  for (double component : step)
    if (!std::isfinite(component)) return std::isnan(component) ? 1 : 2;
  return 0;
}

bool SearchEngine::NewtonIteration() {
  const int n = dim_.varCount;
  auto& x = dim_.point;
  auto& step = dim_.newtonStep;
  // h = 0.004, 2h = 0.008; the divisor of every second difference is 0.008 * 0.008,
  // computed once at start-up (4h^2 for the mixed differences, whose step is h along
  // each axis, and (2h)^2 for the diagonal ones, whose step is 2h).
  const double h = dim_.fdStep;
  const double h2 = dim_.fdStep2;
  const double d = dim_.fdStep2Sq;

  const PollStopWhile polling(pollStop_);
  for (int i = 0; i < n; ++i) dim_.startPoint[i] = x[i];
  cycle_ = 0;
  bool zeroPivot = false;
  dim_.hessian = Matrix(n, n + 1);
  Matrix& a = dim_.hessian;
  double f;

  for (;;) {
    cycle_ = cycle_ + 1;
    dim_.ierr = 0;

    // Hessian: the diagonal from f(s+2h) - 2 f(s) + f(s-2h), the elements right of
    // it from the four corners at (s +- h, t +- h); each mirrored, so H is exactly
    // symmetric.
    for (int i = 0; i < n; ++i) {
      const double s = x[i];
      if (F(f)) fdAcc_ = Ck(2 * f);
      x[i] = Ck(s + h2);
      if (F(f)) fdAcc_ = Ck(f - fdAcc_);
      x[i] = Ck(s - h2);
      if (F(f)) a(i, i) = Dv(Ck(fdAcc_ + f), d);
      x[i] = Ck(s + h);
      for (int j = i + 1; j < n; ++j) {
        const double t = x[j];
        x[j] = Ck(t + h);
        if (F(f)) fdAcc_ = f;
        x[j] = Ck(t - h);
        if (F(f)) a(i, j) = Ck(fdAcc_ - f);
        x[j] = t;
      }
      x[i] = Ck(s - h);
      for (int j = i + 1; j < n; ++j) {
        const double t = x[j];
        x[j] = Ck(t + h);
        if (F(f)) fdAcc_ = f;
        x[j] = Ck(t - h);
        if (F(f)) a(i, j) = Dv(Ck(Ck(f + a(i, j)) - fdAcc_), d);
        a(j, i) = a(i, j);
        x[j] = t;
      }
      x[i] = s;
    }

    // Right-hand side -g, with the fourth-order central difference
    // g = [f(s-2h) - 8 f(s-h) + 8 f(s+h) - f(s+2h)] / (12h).
    for (int i = 0; i < n; ++i) {
      const double s = x[i];
      x[i] = Ck(s - h2);
      if (F(f)) fdAcc_ = f;
      x[i] = Ck(s - h);
      if (F(f)) fdAcc_ = Ck(fdAcc_ - Ck(8 * f));
      x[i] = Ck(s + h);
      if (F(f)) fdAcc_ = Ck(Ck(8 * f) + fdAcc_);
      x[i] = Ck(s + h2);
      if (F(f)) fdAcc_ = Ck(fdAcc_ - f);
      a(i, n) = Dv(Dv(-fdAcc_, 12), h);
      x[i] = s;
    }

    // Some evaluation (or difference) failed: give this start up, without a flag.
    if (dim_.ierr != 0) return false;

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
        fdAcc_ = a(r, k) / a(k, k);
        for (int c = k; c <= n; ++c) a(r, c) = a(r, c) - fdAcc_ * a(k, c);
      }
    }

    // Back substitution; a diagonal element that is exactly 0 stops it.
    int stopRow = -1;
    for (int i = n - 1; i >= 0; --i) {
      double backSum = 0;
      step[i] = 0;
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
      double rowSum = 0;
      for (int j = 0; j < n; ++j) rowSum = a(stopRow, j) * step[j] + rowSum;
      if (rowSum != a(stopRow, n)) problems_.inconsistence = true;
      else problems_.linDependence = true;
      return false;
    }

    // A step that is not a number, or infinite, cannot converge: give the start up
    // and say so in the problems section.
    if (const int32_t bit = NonFiniteStepBit(step)) {
      problems_.problemBits |= bit;
      return false;
    }

    for (int i = 0; i < n; ++i) x[i] = Ck(x[i] + step[i]);
    bool converged = true;
    for (int i = 0; i < n; ++i) {
      if (std::fabs(step[i]) > dim_.errorBound) {
        converged = false;
        break;
      }
    }
    if (converged) return true;
    if (cycle_ >= dim_.maxCycles) {
      problems_.convProblems = true;
      return false;
    }
  }
}

}  // namespace quorvant
