#include "engine/plot_sampler.h"

#include <cmath>

#include "model/dimension.h"
#include "model/function_evaluator.h"

namespace quorvant {

namespace {
class SilentSink final : public MessageSink {
 public:
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
};
}  // namespace

struct PlotSampler::Impl {
  Dimension dim;
  SilentSink sink;
  FunctionEvaluator evaluator{dim, sink};
  std::vector<double> fixed;
};

PlotSampler::PlotSampler(PlotProblem problem) : impl_(new Impl) {
  impl_->evaluator.Prepare();
  impl_->evaluator.RegisterConstants(problem.constants);
  const int n = static_cast<int>(problem.varNames.size());
  impl_->dim.Resize(n);
  impl_->dim.varNames = problem.varNames;
  impl_->dim.formula = problem.formula;
  impl_->fixed = problem.fixed;
  impl_->fixed.resize(n, 0.0);
}

PlotSampler::~PlotSampler() { delete impl_; }

double PlotSampler::ValueAt(const std::vector<double>& point) {
  impl_->dim.point = point;
  impl_->dim.point.resize(impl_->dim.varCount, 0.0);
  double value;
  return impl_->evaluator.EvaluateFunction(value) == 0 ? value : std::nan("");
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
