#include "engine/plot_sampler.h"

#include <algorithm>
#include <cmath>

#include "model/function_evaluator.h"

namespace quorvant {

namespace {
class SilentSink final : public MessageSink {
 public:
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
};
}  // namespace

struct PlotSampler::Impl {
  SilentSink sink;
  FunctionEvaluator evaluator{sink};
  std::vector<double> fixed;
  std::vector<double> point;  // the point handed over, with every variable
};

PlotSampler::PlotSampler(PlotProblem problem) : impl_(std::make_unique<Impl>()) {
  impl_->evaluator.Prepare();
  impl_->evaluator.RegisterConstants(problem.constants);
  impl_->evaluator.SetFunction(problem.varNames, problem.formula);
  impl_->fixed = problem.fixed;
  impl_->fixed.resize(problem.varNames.size(), 0.0);
}

PlotSampler::~PlotSampler() = default;

double PlotSampler::ValueAt(std::span<const double> point) {
  impl_->point.assign(impl_->fixed.size(), 0.0);
  std::copy_n(point.begin(), std::min(point.size(), impl_->point.size()), impl_->point.begin());
  double value;
  return impl_->evaluator.EvaluateFunction(impl_->point, value) == 0 ? value : std::nan("");
}

bool PlotSampler::SampleCurve(int axis, double min, double max, int count, PlotGrid& out,
                              const std::atomic<bool>* cancel) {
  out = PlotGrid{axis, -1, min, max, 0, 0, count, 1, {}};
  out.values.resize(count);
  std::vector<double> p = impl_->fixed;
  for (int k = 0; k < count; ++k) {
    if (cancel && *cancel) return false;
    p[axis] = count > 1 ? min + (max - min) * k / (count - 1) : min;
    out.values[k] = ValueAt(p);
  }
  return true;
}

bool PlotSampler::SampleGrid(int xAxis, double xMin, double xMax, int xCount, int yAxis,
                             double yMin, double yMax, int yCount, PlotGrid& out,
                             const std::atomic<bool>* cancel) {
  out = PlotGrid{xAxis, yAxis, xMin, xMax, yMin, yMax, xCount, yCount, {}};
  out.values.resize(static_cast<size_t>(xCount) * yCount);
  std::vector<double> p = impl_->fixed;
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
