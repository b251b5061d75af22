#include "engine/solution_store.h"

#include <cmath>

#include "engine/run_context.h"

namespace quorvant {

SolutionStore::Added SolutionStore::Add(PointKind kind, std::span<const double> x,
                                        double smallestPivot, double errorBound, RunContext& run) {
  std::vector<StoredPoint>& store = kind == PointKind::Maximum ? maxima_ : minima_;
  const size_t n = x.size();
  for (const StoredPoint& stored : store) {
    bool same = true;
    for (size_t i = 0; i < n; ++i) {
      if (std::fabs(run.Checked(x[i] - stored[i])) > errorBound) {
        same = false;
        break;
      }
    }
    if (same) return Added::Duplicate;
  }
  if (static_cast<int>(store.size()) >= kStoreSize) return Added::Full;
  StoredPoint point(x.begin(), x.end());
  point.push_back(smallestPivot);
  store.push_back(std::move(point));
  return Added::Stored;
}

}  // namespace quorvant
