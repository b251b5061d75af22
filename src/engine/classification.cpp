// Classification of a stationary point from the leading principal minors of a
// finite-difference Hessian, and the store of maxima and minima.
#include <cmath>
#include <vector>

#include "engine/search_engine.h"

namespace quorvant {

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
  bool someNegative = false;   // rules out positive semidefinite
  bool someWrongSign = false;  // order k, nonzero, sign of (-1)^(k+1): rules out negative semidefinite
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

// Hessian with the smaller steps h = 0.00015, 2h = 0.0003: the diagonal by the
// five-point formula, the elements left of it as the four-point derivative in x(i)
// of four-point derivatives in x(j). Each off-diagonal value is computed once and
// written to both places.
void SearchEngine::EstimateClassificationHessian() {
  const PollStopWhile polling(pollStop_);
  const int n = dim_.varCount;
  auto& x = dim_.point;
  dim_.hessian = Matrix(n, n);
  Matrix& hm = dim_.hessian;
  dim_.fdStep = 0.00015;
  dim_.fdStep2 = dim_.fdStep + dim_.fdStep;
  const double h = dim_.fdStep;
  const double h2 = dim_.fdStep2;
  double f;

  for (int i = 0; i < n; ++i) {
    const double s = x[i];
    x[i] = Ck(s - h2);
    if (F(f)) fdAcc_ = -f;
    x[i] = Ck(s - h);
    if (F(f)) fdAcc_ = Ck(Ck(16 * f) + fdAcc_);
    x[i] = s;
    if (F(f)) fdAcc_ = Ck(fdAcc_ - Ck(30 * f));
    x[i] = Ck(s + h);
    if (F(f)) fdAcc_ = Ck(Ck(16 * f) + fdAcc_);
    x[i] = Ck(s + h2);
    if (F(f)) fdAcc_ = Ck(fdAcc_ - f);
    hm(i, i) = Dv(Dv(Dv(fdAcc_, h), h), 12);

    for (int j = 0; j < i; ++j) {
      const double t = x[j];
      const double offsets[4] = {-h2, -h, h, h2};
      for (int q = 0; q < 4; ++q) {
        x[i] = Ck(s + offsets[q]);
        x[j] = Ck(t - h2);
        if (F(f)) fdAcc_ = f;
        x[j] = Ck(t - h);
        if (F(f)) fdAcc_ = Ck(fdAcc_ - Ck(8 * f));
        x[j] = Ck(t + h);
        if (F(f)) fdAcc_ = Ck(Ck(8 * f) + fdAcc_);
        x[j] = Ck(t + h2);
        if (F(f)) fdAcc_ = Dv(Dv(Ck(fdAcc_ - f), 12), h);
        // g(a) is fdAcc_; combined in the order computed.
        switch (q) {
          case 0: fdD2_ = fdAcc_; break;
          case 1: fdD2_ = Ck(fdD2_ - Ck(8 * fdAcc_)); break;
          case 2: fdD2_ = Ck(Ck(8 * fdAcc_) + fdD2_); break;
          default: fdD2_ = Dv(Dv(Ck(fdD2_ - fdAcc_), 12), h); break;
        }
      }
      hm(i, j) = fdD2_;
      hm(j, i) = fdD2_;
      x[j] = t;
    }
    x[i] = s;
  }
  dim_.fdStep = 0.004;
  dim_.fdStep2 = dim_.fdStep + dim_.fdStep;
}

PointKind SearchEngine::ClassifyHessian() {
  const int n = dim_.varCount;
  Matrix& hm = dim_.hessian;
  const Matrix before = hm;
  auto& det = dim_.determinants;
  auto& minPivots = dim_.minPivots;

  // Triangularisation, row by row: row k joins the triangle by elimination against
  // rows 0..k-1, choosing each pivot between row i and row k only.
  det[0] = hm(0, 0);
  minPivots[0] = std::fabs(hm(0, 0));
  swapCount_ = 0;
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
        swapCount_ = swapCount_ + 1;
        for (int c = i; c < n; ++c) std::swap(hm(i, c), hm(k, c));
      }
      const double m = Dv(hm(k, i), hm(i, i));
      for (int c = i + 1; c < n; ++c) hm(k, c) = Ck(hm(k, c) - Ck(m * hm(i, c)));
    }
    double product = hm(0, 0);
    for (int m = 1; m <= k; ++m) product = Ck(product * hm(m, m));
    det[k] = product * std::pow(-1.0, swapCount_);
    double smallest = std::fabs(hm(0, 0));
    for (int m = 1; m <= k; ++m)
      if (std::fabs(hm(m, m)) < smallest) smallest = std::fabs(hm(m, m));
    minPivots[k] = smallest;
  }
  smallestPivot_ = std::fabs(minPivots[0]);
  for (int k = 0; k < n; ++k)
    if (std::fabs(minPivots[k]) < smallestPivot_) smallestPivot_ = std::fabs(minPivots[k]);

  // Definiteness from the signs of the leading minors D(1)..D(n), exact comparisons
  // with 0: even orders first, then (unless already indefinite) odd orders. A minor
  // that is not a number (the differences overflowed) has no sign: it counts like a
  // zero minor, so such a point is never taken for a maximum or minimum.
  bool posDefinite = true, negDefinite = true, zeroMinor = false, indefinite = false;
  for (int k = 0; k < n; ++k) {
    if (std::isnan(det[k])) {
      zeroMinor = true;
      problems_.problemBits |= 1;
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
      if (dm > 0) negDefinite = false;
      else if (dm < 0) posDefinite = false;
      else if (dm == 0) zeroMinor = true;
    }
    if (!posDefinite && !negDefinite) indefinite = true;
  }

  if (posDefinite && !zeroMinor) return PointKind::Minimum;
  if (negDefinite && !zeroMinor) return PointKind::Maximum;
  if (indefinite) return PointKind::Indefinite;
  // The leading minors alone cannot tell a semidefinite matrix from some indefinite
  // ones (diag(-1, 0, 1) has leading minors -1, 0, 0); all principal minors can.
  if (PrincipalMinorsShowIndefinite(before)) return PointKind::Indefinite;
  if (posDefinite && negDefinite) return PointKind::Semidefinite;
  if (posDefinite) return PointKind::PositiveSemidefinite;
  return PointKind::NegativeSemidefinite;
}

void SearchEngine::ClassifyStationaryPoint() {
  EstimateClassificationHessian();
  lastKind_ = ClassifyHessian();
  StationaryPoint met{lastKind_, dim_.point, dim_.startPoint, smallestPivot_, cycle_, false};
  switch (lastKind_) {
    case PointKind::Minimum:
    case PointKind::Maximum:
      met.stored = StorePoint(lastKind_);
      break;
    case PointKind::Indefinite: ListPoint("P.D. MATRIX IS INDEFINITE."); break;
    case PointKind::Semidefinite: ListPoint("P.D. MATRIX IS SEMIDEFINITE."); break;
    case PointKind::PositiveSemidefinite: ListPoint("P.D. MATRIX IS POSITIVE SEMIDEFINITE."); break;
    case PointKind::NegativeSemidefinite: ListPoint("P.D. MATRIX IS NEGATIVE SEMIDEFINITE."); break;
  }
  hooks_.StationaryPointMet(met);
}

// A point that is neither maximum nor minimum leaves a trace only with
// "Show additional info": its verdict, coordinates, value and detail block.
void SearchEngine::ListPoint(std::string_view verdict) {
  if (!hooks_.ShowAdditionalInfo()) return;
  Append(verdict);
  const int n = dim_.varCount;
  for (int i = 0; i < n; ++i) Append(CoordinateLine(dim_.varNames[i], dim_.point[i]));
  double value;
  if (F(value)) Append(FunctionLine(value));
  for (const std::string& line : DetailBlock(smallestPivot_, dim_.minPivots, dim_.determinants))
    Append(line);
  hooks_.Yield();
}

bool SearchEngine::StorePoint(PointKind kind) {
  const bool maximum = kind == PointKind::Maximum;
  Matrix& store = maximum ? dim_.maxima : dim_.minima;
  int32_t& count = maximum ? dim_.maxCount : dim_.minCount;
  const int n = dim_.varCount;
  const auto& x = dim_.point;

  // A point within the error bound of a stored point of its kind, in every
  // coordinate, is that point again.
  for (int k = 1; k <= count; ++k) {
    bool same = true;
    for (int i = 0; i < n; ++i) {
      if (std::fabs(Ck(x[i] - store(i, k))) > dim_.errorBound) {
        same = false;
        break;
      }
    }
    if (same) return false;
  }
  if (count >= kStoreSize) {
    Append(maximum ? "STORE FULL: 100 MAXIMA ARE HELD, THE SEARCH ENDS HERE."
                   : "STORE FULL: 100 MINIMA ARE HELD, THE SEARCH ENDS HERE.");
    throw Abort{{RunEnd::StoreFull, 0, {}, {}}};
  }
  count = count + 1;
  Append(maximum ? kMaximumHeading : kMinimumHeading);
  for (int i = 0; i < n; ++i) {
    store(i, count) = x[i];
    Append(CoordinateLine(dim_.varNames[i], x[i]));
  }
  store(n, count) = smallestPivot_;
  double value;
  if (F(value)) Append(FunctionLine(value));
  if (hooks_.ShowAdditionalInfo()) {
    for (const std::string& line : DetailBlock(smallestPivot_, dim_.minPivots, dim_.determinants))
      Append(line);
    hooks_.Yield();
  }
  return true;
}

}  // namespace quorvant
