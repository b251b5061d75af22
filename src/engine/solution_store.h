// The maxima and minima a run stores: a new point is stored unless a stored point of its
// kind lies within the error bound of it in every coordinate (then it is that point
// again), and each kind holds at most kStoreSize points.
#pragma once

#include <span>
#include <utility>
#include <vector>

#include "engine/point_kind.h"
#include "model/problem.h"

namespace quorvant {

class RunContext;

class SolutionStore {
 public:
  enum class Added { Stored, Duplicate, Full };

  SolutionStore() = default;
  // A store that holds these already (a run resumed where another left off).
  SolutionStore(std::vector<StoredPoint> maxima, std::vector<StoredPoint> minima)
      : maxima_(std::move(maxima)), minima_(std::move(minima)) {}

  // Offers the point `x` of `kind` (Maximum or Minimum), stored with its smallest pivot
  // after its coordinates. The differences of the duplicate test are the run's checked
  // arithmetic (`run`), so a difference that overflows is noted as the run's fault.
  Added Add(PointKind kind, std::span<const double> x, double smallestPivot, double errorBound,
            RunContext& run);

  const std::vector<StoredPoint>& maxima() const { return maxima_; }
  const std::vector<StoredPoint>& minima() const { return minima_; }

 private:
  std::vector<StoredPoint> maxima_, minima_;
};

}  // namespace quorvant
