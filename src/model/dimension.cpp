#include "model/dimension.h"

namespace quorvant {

void Dimension::Resize(int32_t n) {
  varCount = n;
  lastVar = n - 1;
  hessian = Matrix(n, n + 1);
  point.assign(n, 0.0);
  lowerLimit.assign(n, 0.0);
  upperLimit.assign(n, 0.0);
  minPivots.assign(n, 0.0);
  determinants.assign(n, 0.0);
  newtonStep.assign(n, 0.0);
  startPoint.assign(n, 0.0);
  gridStep.assign(n, 0.0);
  subintervals.assign(n, 0);
  maxima = Matrix(n + 1, kStoreSize + 1);
  minima = Matrix(n + 1, kStoreSize + 1);
  varNames.assign(n, std::string());
}

}  // namespace quorvant
