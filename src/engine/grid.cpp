#include "engine/grid.h"

namespace quorvant {

Grid::Grid(const Problem& problem) {
  const int n = problem.varCount();
  steps_.resize(n);
  counts_.resize(n);
  strides_.resize(n);
  checkpoints_.resize(n);
  for (int i = 0; i < n; ++i) {
    const double lower = problem.lowerLimit[i], upper = problem.upperLimit[i];
    steps_[i] = (upper - lower) / static_cast<double>(problem.subintervals[i]);
    int64_t k = 0;
    for (double v = lower;; v = v + steps_[i], ++k) {
      if ((k & ((int64_t{1} << kCheckpointShift) - 1)) == 0) checkpoints_[i].push_back(v);
      if (v >= upper) break;
    }
    counts_[i] = k + 1;
  }
  for (int i = n - 1; i >= 0; --i) {
    strides_[i] = points_;
    points_ *= counts_[i];
  }
}

double Grid::Value(int axis, int64_t k) const {
  const std::vector<double>& marks = checkpoints_[axis];
  double v = marks[static_cast<size_t>(k >> kCheckpointShift)];
  for (int64_t j = k & ~((int64_t{1} << kCheckpointShift) - 1); j < k; ++j) v = v + steps_[axis];
  return v;
}

}  // namespace quorvant
