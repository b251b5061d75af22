// Samples the user's function for plots: along one variable (a curve) or over two
// (a grid), the other variables fixed at a chosen point. It has its own interpreter
// and problem state, so it can run on any thread beside a search; values that cannot
// be evaluated are NaN (gaps in the plot, never zeros).
#pragma once

#include <atomic>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace quorvant {

struct PlotProblem {
  std::vector<std::string> varNames;
  std::string formula;
  std::vector<std::string> constants;  // statements, in list order
  std::vector<double> fixed;           // every variable's value off the plotted axes
};

struct PlotGrid {
  int xAxis = 0, yAxis = -1;  // variable indices; yAxis -1 for a curve
  double xMin = 0, xMax = 1, yMin = 0, yMax = 1;
  int xCount = 0, yCount = 0;
  std::vector<double> values;  // xCount (curve) or xCount * yCount, x fastest; NaN = no value
  double at(int ix, int iy) const { return values[static_cast<size_t>(iy) * xCount + ix]; }
};

class PlotSampler {
 public:
  explicit PlotSampler(PlotProblem problem);
  ~PlotSampler();
  PlotSampler(const PlotSampler&) = delete;
  PlotSampler& operator=(const PlotSampler&) = delete;

  // A curve of `count` points over [min, max] of variable `axis`. Returns false
  // when `cancel` was set before it finished.
  bool SampleCurve(int axis, double min, double max, int count, PlotGrid& out,
                   const std::atomic<bool>* cancel = nullptr);
  // A grid over two variables.
  bool SampleGrid(int xAxis, double xMin, double xMax, int xCount, int yAxis, double yMin,
                  double yMax, int yCount, PlotGrid& out,
                  const std::atomic<bool>* cancel = nullptr);
  // The function at one point (NaN when it cannot be evaluated).
  double ValueAt(std::span<const double> point);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quorvant
