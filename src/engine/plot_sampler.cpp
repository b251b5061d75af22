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
  std::vector<double> point;  // the point handed over, with every variable
};

PlotSampler::PlotSampler(PlotProblem problem)
    : PlotFunction(problem.fixed), impl_(std::make_unique<Impl>()) {
  impl_->evaluator.Prepare();
  impl_->evaluator.RegisterConstants(problem.constants);
  impl_->evaluator.SetFunction(problem.varNames, problem.formula);
  fixed_.resize(problem.varNames.size(), 0.0);
}

PlotSampler::~PlotSampler() = default;

double PlotSampler::ValueAt(std::span<const double> point) {
  impl_->point.assign(fixed_.size(), 0.0);
  std::copy_n(point.begin(), std::min(point.size(), impl_->point.size()), impl_->point.begin());
  double value;
  return impl_->evaluator.EvaluateFunction(impl_->point, value) == 0 ? value : std::nan("");
}

}  // namespace quorvant
