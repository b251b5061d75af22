// The fixed finite-difference steps. They do not depend on the error bound or on the
// size of the box; each is the double nearest to the decimal value written, and 2h is
// computed as h + h (exact).
#pragma once

namespace quorvant {

struct DifferenceSteps {
  double h;
  double h2;  // 2h
};

// The Newton iteration's gradient and Hessian: h = 0.004, 2h = 0.008.
inline constexpr DifferenceSteps kNewtonSteps{0.004, 0.004 + 0.004};
// The classification's Hessian: h = 0.00015, 2h = 0.0003.
inline constexpr DifferenceSteps kClassificationSteps{0.00015, 0.00015 + 0.00015};
// The divisor of every second difference of the Newton Hessian: (2h)^2 = 0.008 x 0.008.
// It is 4h^2 for the mixed differences, whose step is h along each axis, and (2h)^2 for
// the diagonal ones, whose step is 2h.
inline constexpr double kNewtonDivisor = kNewtonSteps.h2 * kNewtonSteps.h2;

}  // namespace quorvant
