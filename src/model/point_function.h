// What the search needs of the user's function: its value at a point, or the number of
// the error that kept it from being computed.
#pragma once

#include <cstdint>
#include <span>

namespace quorvant {

class PointFunction {
 public:
  virtual ~PointFunction() = default;
  // The function at `x` (one coordinate per variable). Returns 0 with the value, or
  // an error number (the value is then left as it was).
  virtual int32_t EvaluateFunction(std::span<const double> x, double& value) = 0;
};

}  // namespace quorvant
