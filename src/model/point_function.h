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
  // The same, for a caller that already knows each coordinate's 15-digit value
  // (`rounded[i]` is Round15(x[i]), finite): the function need not round them again.
  virtual int32_t EvaluateRounded(std::span<const double> x, std::span<const double> rounded,
                                  double& value) {
    (void)rounded;
    return EvaluateFunction(x, value);
  }
};

}  // namespace quorvant
