// The Explore grid: along each axis the values the walk visits (the lower limit, then one
// per addition of the step while the previous value lies below the upper limit, so
// rounding may add one value beyond the upper limit), and the grid points in walk order,
// the last axis turning fastest. A point's grid index counts from 0 in that order.
#pragma once

#include <cstdint>
#include <vector>

#include "model/problem.h"

namespace quorvant {

class Grid {
 public:
  // `problem` must have passed SearchOptions::Validate for Explore.
  explicit Grid(const Problem& problem);

  int n() const { return static_cast<int>(steps_.size()); }
  int64_t points() const { return points_; }
  int64_t count(int axis) const { return counts_[axis]; }
  int64_t stride(int axis) const { return strides_[axis]; }
  double step(int axis) const { return steps_[axis]; }
  double lower(int axis) const { return checkpoints_[axis][0]; }

  // Value k along an axis, produced by repeated addition exactly as the walk produces it
  // (from the nearest checkpoint: at most 4095 additions).
  double Value(int axis, int64_t k) const;

 private:
  static constexpr int kCheckpointShift = 12;
  std::vector<double> steps_;
  std::vector<int64_t> counts_;
  std::vector<int64_t> strides_;
  std::vector<std::vector<double>> checkpoints_;  // every 4096th value of each axis
  int64_t points_ = 1;
};

}  // namespace quorvant
