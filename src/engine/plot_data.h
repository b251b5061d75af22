// What a plot of a problem shows: the function over the search box, the stored extrema,
// the other stationary points of the last run, and the sub-boxes a proof left undecided.
#pragma once

#include <vector>

#include "engine/plot_sampler.h"
#include "engine/run_hooks.h"
#include "model/problem.h"

namespace quorvant {

// A sub-box of the search box, lower and upper limit of each variable.
struct PlotBox {
  std::vector<double> lower, upper;
};

struct PlotData {
  PlotProblem problem;
  std::vector<double> lower, upper;
  std::vector<std::vector<double>> maxima, minima, others;  // coordinates
  std::vector<PlotBox> undecided;  // where a proof could not decide, shaded
};

// The plot of `problem` (its formula, constants, box and stored extrema), with the
// stationary points `met` that are neither maximum nor minimum, each once (within the
// error bound).
PlotData PlotDataFrom(const Problem& problem, const std::vector<StationaryPoint>& met);

}  // namespace quorvant
