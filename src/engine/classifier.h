// Classification of a stationary point from the leading principal minors of a
// finite-difference Hessian.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/matrix.h"
#include "engine/point_kind.h"
#include "engine/run_context.h"

namespace quorvant {

// The leading principal minors D(1)..D(n) of a Hessian, from its triangularisation.
struct LeadingMinors {
  std::vector<double> determinants;  // D(k+1) at index k
  std::vector<double> minPivots;     // the smallest absolute pivot among the first k+1
  double smallestPivot = 0;          // the smallest of them all
  int32_t swapCount = 0;             // row exchanges made
};

// Triangularises `h` (n by n) row by row: row k joins the triangle by elimination
// against rows 0..k-1, each pivot chosen between row i and row k only. A zero pivot
// ends the elimination of its row (its minors come out 0).
LeadingMinors TriangulariseLeadingMinors(Matrix h);

// The kind the signs of the leading minors decide, exact comparisons with 0: positive
// definite is a minimum, negative definite a maximum. Where the leading minors cannot
// tell a semidefinite matrix from an indefinite one, all principal minors of the
// original `hessian` decide. A minor that is not a number counts as 0 and sets bit 1
// (an illegal quantity) in `problemBits`.
PointKind KindFromLeadingMinors(const LeadingMinors& minors, const Matrix& hessian,
                                int32_t& problemBits);

// True when some principal minor is negative and some principal minor of order k is
// nonzero with the sign of (-1)^(k+1): then no semidefinite verdict can hold. Each
// minor is computed by elimination with partial pivoting on a copy.
bool PrincipalMinorsShowIndefinite(const Matrix& h);

struct Classification {
  PointKind kind = PointKind::Indefinite;
  LeadingMinors minors;
};

// The classification of the points a run converges to: a Hessian estimated with the
// smaller steps, then its minors.
class Classifier {
 public:
  Classifier(RunContext& run, int n) : run_(run), n_(n) {}
  // Classifies the stationary point `x`; `x` holds the same point afterwards.
  Classification Classify(std::vector<double>& x);

 private:
  Matrix EstimateHessian(std::vector<double>& x);
  RunContext& run_;
  const int n_;
};

}  // namespace quorvant
