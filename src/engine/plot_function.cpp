// Curves and grids of a plot from a function's values: no interpreter here.
#include "engine/plot_sampler.h"

namespace quorvant {

bool PlotFunction::SampleCurve(int axis, double min, double max, int count, PlotGrid& out,
                               const std::atomic<bool>* cancel) {
  out = PlotGrid{axis, -1, min, max, 0, 0, count, 1, {}};
  out.values.resize(count);
  std::vector<double> p = fixed_;
  for (int k = 0; k < count; ++k) {
    if (cancel && *cancel) return false;
    p[axis] = count > 1 ? min + (max - min) * k / (count - 1) : min;
    out.values[k] = ValueAt(p);
  }
  return true;
}

bool PlotFunction::SampleGrid(int xAxis, double xMin, double xMax, int xCount, int yAxis,
                              double yMin, double yMax, int yCount, PlotGrid& out,
                              const std::atomic<bool>* cancel) {
  out = PlotGrid{xAxis, yAxis, xMin, xMax, yMin, yMax, xCount, yCount, {}};
  out.values.resize(static_cast<size_t>(xCount) * yCount);
  std::vector<double> p = fixed_;
  for (int iy = 0; iy < yCount; ++iy) {
    if (cancel && *cancel) return false;
    p[yAxis] = yCount > 1 ? yMin + (yMax - yMin) * iy / (yCount - 1) : yMin;
    for (int ix = 0; ix < xCount; ++ix) {
      p[xAxis] = xCount > 1 ? xMin + (xMax - xMin) * ix / (xCount - 1) : xMin;
      out.values[static_cast<size_t>(iy) * xCount + ix] = ValueAt(p);
    }
  }
  return true;
}

}  // namespace quorvant
