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

// The function's values for a plot: at a point (NaN where it has none), along a
// curve or over a grid, the variables off the plotted axes fixed at `fixed`. The curve
// and the grid only ask ValueAt, so a plot drawn elsewhere (the command line's plot
// module) can sample through it without an interpreter of its own.
class PlotFunction {
 public:
  explicit PlotFunction(std::vector<double> fixed) : fixed_(std::move(fixed)) {}
  virtual ~PlotFunction() = default;
  PlotFunction(const PlotFunction&) = delete;
  PlotFunction& operator=(const PlotFunction&) = delete;

  // The function at one point (NaN when it cannot be evaluated).
  virtual double ValueAt(std::span<const double> point) = 0;

  // A curve of `count` points over [min, max] of variable `axis`. Returns false
  // when `cancel` was set before it finished.
  bool SampleCurve(int axis, double min, double max, int count, PlotGrid& out,
                   const std::atomic<bool>* cancel = nullptr);
  // A grid over two variables.
  bool SampleGrid(int xAxis, double xMin, double xMax, int xCount, int yAxis, double yMin,
                  double yMax, int yCount, PlotGrid& out,
                  const std::atomic<bool>* cancel = nullptr);

 protected:
  std::vector<double> fixed_;  // every variable's value off the plotted axes
};

// The plot function of a problem: its own interpreter, prepared with the problem's
// constants, so it can run on any thread beside a search.
class PlotSampler final : public PlotFunction {
 public:
  explicit PlotSampler(PlotProblem problem);
  ~PlotSampler() override;
  double ValueAt(std::span<const double> point) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace quorvant
