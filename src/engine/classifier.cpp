// The order of every double operation below decides the last bits of the results:
// each statement is one operation (or a few, left to right) as written.
#include "engine/classifier.h"

#include <cmath>
#include <utility>
#include <vector>

#include "engine/finite_differences.h"

namespace quorvant {

const char* ToString(PointKind kind) {
  switch (kind) {
    case PointKind::Minimum:
      return "minimum";
    case PointKind::Maximum:
      return "maximum";
    case PointKind::Indefinite:
      return "indefinite (saddle)";
    case PointKind::Semidefinite:
      return "semidefinite";
    case PointKind::PositiveSemidefinite:
      return "positive semidefinite";
    case PointKind::NegativeSemidefinite:
      return "negative semidefinite";
  }
  return "?";
}

namespace {

// Determinant of the principal submatrix of `h` on the rows and columns in `index`,
// by elimination with partial pivoting on a copy.
double PrincipalMinor(const Matrix& h, const std::vector<int>& index) {
  const int m = static_cast<int>(index.size());
  Matrix a(m, m);
  for (int r = 0; r < m; ++r)
    for (int c = 0; c < m; ++c) a(r, c) = h(index[r], index[c]);
  double det = 1;
  bool negate = false;
  for (int k = 0; k < m; ++k) {
    int p = k;
    for (int r = k + 1; r < m; ++r)
      if (std::fabs(a(r, k)) > std::fabs(a(p, k))) p = r;
    if (a(p, k) == 0) return 0;
    if (p != k) {
      for (int c = 0; c < m; ++c) std::swap(a(k, c), a(p, c));
      negate = !negate;
    }
    for (int r = k + 1; r < m; ++r) {
      const double factor = a(r, k) / a(k, k);
      for (int c = k; c < m; ++c) a(r, c) = a(r, c) - factor * a(k, c);
    }
    det = det * a(k, k);
  }
  return negate ? -det : det;
}

}  // namespace

bool PrincipalMinorsShowIndefinite(const Matrix& h) {
  const int n = h.rows();
  bool someNegative = false;  // rules out positive semidefinite
  bool someWrongSign =
      false;  // order k, nonzero, sign of (-1)^(k+1): rules out negative semidefinite
  std::vector<int> index;
  for (uint32_t subset = 1; subset < (1u << n); ++subset) {
    index.clear();
    for (int i = 0; i < n; ++i)
      if (subset & (1u << i)) index.push_back(i);
    const double minor = PrincipalMinor(h, index);
    const bool odd = index.size() % 2 == 1;
    if (minor < 0) someNegative = true;
    if ((odd && minor > 0) || (!odd && minor < 0)) someWrongSign = true;
  }
  return someNegative && someWrongSign;
}

LeadingMinors TriangulariseLeadingMinors(Matrix hm) {
  const int n = hm.rows();
  LeadingMinors out;
  auto& det = out.determinants;
  auto& minPivots = out.minPivots;
  det.assign(n, 0.0);
  minPivots.assign(n, 0.0);
  det[0] = hm(0, 0);
  minPivots[0] = std::fabs(hm(0, 0));
  int32_t swapCount = 0;
  for (int k = 1; k < n; ++k) {
    for (int i = 0; i < k; ++i) {
      double pivotAbs = std::fabs(hm(i, i));
      int r = i;
      if (std::fabs(hm(k, i)) > pivotAbs) {
        pivotAbs = std::fabs(hm(k, i));
        r = k;
      }
      if (pivotAbs == 0) break;
      if (r != i) {
        swapCount = swapCount + 1;
        for (int c = i; c < n; ++c) std::swap(hm(i, c), hm(k, c));
      }
      const double m = hm(k, i) / hm(i, i);
      for (int c = i + 1; c < n; ++c) hm(k, c) = hm(k, c) - m * hm(i, c);
    }
    double product = hm(0, 0);
    for (int m = 1; m <= k; ++m) product = product * hm(m, m);
    det[k] = product * std::pow(-1.0, swapCount);
    double smallest = std::fabs(hm(0, 0));
    for (int m = 1; m <= k; ++m)
      if (std::fabs(hm(m, m)) < smallest) smallest = std::fabs(hm(m, m));
    minPivots[k] = smallest;
  }
  out.smallestPivot = std::fabs(minPivots[0]);
  for (int k = 0; k < n; ++k)
    if (std::fabs(minPivots[k]) < out.smallestPivot) out.smallestPivot = std::fabs(minPivots[k]);
  out.swapCount = swapCount;
  return out;
}

PointKind KindFromLeadingMinors(const LeadingMinors& minors, const Matrix& hessian,
                                int32_t& problemBits) {
  const auto& det = minors.determinants;
  const int n = static_cast<int>(det.size());
  // Even orders first, then (unless already indefinite) odd orders. A minor that is not
  // a number (the differences overflowed) has no sign: it counts like a zero minor, so
  // such a point is never taken for a maximum or minimum.
  bool posDefinite = true, negDefinite = true, zeroMinor = false, indefinite = false;
  for (int k = 0; k < n; ++k) {
    if (std::isnan(det[k])) {
      zeroMinor = true;
      problemBits |= 1;
    }
  }
  for (int m = 2; m <= n; m += 2) {
    const double dm = det[m - 1];
    if (dm == 0) {
      zeroMinor = true;
    } else if (dm < 0) {
      posDefinite = negDefinite = false;
      indefinite = true;
      break;
    }
  }
  if (!indefinite) {
    for (int m = 1; m <= n; m += 2) {
      const double dm = det[m - 1];
      if (dm > 0)
        negDefinite = false;
      else if (dm < 0)
        posDefinite = false;
      else if (dm == 0)
        zeroMinor = true;
    }
    if (!posDefinite && !negDefinite) indefinite = true;
  }

  if (posDefinite && !zeroMinor) return PointKind::Minimum;
  if (negDefinite && !zeroMinor) return PointKind::Maximum;
  if (indefinite) return PointKind::Indefinite;
  // The leading minors alone cannot tell a semidefinite matrix from some indefinite
  // ones (diag(-1, 0, 1) has leading minors -1, 0, 0); all principal minors can.
  if (PrincipalMinorsShowIndefinite(hessian)) return PointKind::Indefinite;
  if (posDefinite && negDefinite) return PointKind::Semidefinite;
  if (posDefinite) return PointKind::PositiveSemidefinite;
  return PointKind::NegativeSemidefinite;
}

// Hessian with the smaller steps h = 0.00015, 2h = 0.0003: the diagonal by the
// five-point formula, the elements left of it as the four-point derivative in x(i) of
// four-point derivatives in x(j). Each off-diagonal value is computed once and written to
// both places. A failed evaluation leaves the value it would have set as it was.
Matrix Classifier::EstimateHessian(std::vector<double>& x) {
  const RunContext::PollStopWhile polling(run_);
  const int n = n_;
  RunContext& run = run_;
  CarriedValue& acc = run.fdAcc;
  Matrix hm(n, n);
  const double h = kClassificationSteps.h;
  const double h2 = kClassificationSteps.h2;
  double f;

  for (int i = 0; i < n; ++i) {
    const double s = x[i];
    x[i] = run.Checked(s - h2);
    if (run.Evaluate(x, f)) acc = -f;
    x[i] = run.Checked(s - h);
    if (run.Evaluate(x, f)) acc = run.Checked(run.Checked(16 * f) + acc);
    x[i] = s;
    if (run.Evaluate(x, f)) acc = run.Checked(acc - run.Checked(30 * f));
    x[i] = run.Checked(s + h);
    if (run.Evaluate(x, f)) acc = run.Checked(run.Checked(16 * f) + acc);
    x[i] = run.Checked(s + h2);
    if (run.Evaluate(x, f)) acc = run.Checked(acc - f);
    hm(i, i) = run.CheckedQuotient(run.CheckedQuotient(run.CheckedQuotient(acc, h), h), 12);

    for (int j = 0; j < i; ++j) {
      const double t = x[j];
      const double offsets[4] = {-h2, -h, h, h2};
      // The derivative in x(i), combined from the derivatives in x(j) (in `acc`) at
      // the four offsets, in the order computed.
      double mixed = 0;
      for (int q = 0; q < 4; ++q) {
        x[i] = run.Checked(s + offsets[q]);
        x[j] = run.Checked(t - h2);
        if (run.Evaluate(x, f)) acc = f;
        x[j] = run.Checked(t - h);
        if (run.Evaluate(x, f)) acc = run.Checked(acc - run.Checked(8 * f));
        x[j] = run.Checked(t + h);
        if (run.Evaluate(x, f)) acc = run.Checked(run.Checked(8 * f) + acc);
        x[j] = run.Checked(t + h2);
        if (run.Evaluate(x, f))
          acc = run.CheckedQuotient(run.CheckedQuotient(run.Checked(acc - f), 12), h);
        switch (q) {
          case 0:
            mixed = acc;
            break;
          case 1:
            mixed = run.Checked(mixed - run.Checked(8 * acc));
            break;
          case 2:
            mixed = run.Checked(run.Checked(8 * acc) + mixed);
            break;
          default:
            mixed = run.CheckedQuotient(run.CheckedQuotient(run.Checked(mixed - acc), 12), h);
            break;
        }
      }
      hm(i, j) = mixed;
      hm(j, i) = mixed;
      x[j] = t;
    }
    x[i] = s;
  }
  return hm;
}

Classification Classifier::Classify(std::vector<double>& x) {
  const Matrix hessian = EstimateHessian(x);
  Classification out;
  out.minors = TriangulariseLeadingMinors(hessian);
  out.kind = KindFromLeadingMinors(out.minors, hessian, run_.problems.problemBits);
  return out;
}

}  // namespace quorvant
