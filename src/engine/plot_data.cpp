#include "engine/plot_data.h"

#include <cmath>

namespace quorvant {

PlotData PlotDataFrom(const Problem& problem, const std::vector<StationaryPoint>& met) {
  PlotData data;
  data.problem.varNames = problem.varNames;
  data.problem.formula = problem.formula;
  data.problem.constants = problem.constants;
  data.lower = problem.lowerLimit;
  data.upper = problem.upperLimit;
  const int n = problem.varCount();
  auto coordinates = [n](const StoredPoint& stored) {
    return std::vector<double>(stored.begin(), stored.begin() + n);
  };
  for (const StoredPoint& stored : problem.maxima) data.maxima.push_back(coordinates(stored));
  for (const StoredPoint& stored : problem.minima) data.minima.push_back(coordinates(stored));
  for (const StationaryPoint& s : met) {
    if (s.kind == PointKind::Minimum || s.kind == PointKind::Maximum) continue;
    bool seen = false;
    for (const auto& o : data.others) {
      bool same = true;
      for (int i = 0; i < n; ++i) same = same && std::fabs(o[i] - s.point[i]) <= problem.errorBound;
      seen = seen || same;
    }
    if (!seen) data.others.push_back(s.point);
  }
  return data;
}

}  // namespace quorvant
