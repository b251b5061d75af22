#include "model/problem.h"

namespace quorvant {

Problem Problem::WithVariables(int32_t n) {
  Problem problem;
  const auto size = static_cast<size_t>(n < 0 ? 0 : n);
  problem.varNames.assign(size, std::string());
  problem.lowerLimit.assign(size, -10.0);
  problem.upperLimit.assign(size, 10.0);
  problem.subintervals.assign(size, 4);
  return problem;
}

}  // namespace quorvant
