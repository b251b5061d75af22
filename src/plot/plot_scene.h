// What a plot shows of a problem's data for a choice of axes: the sampled function and
// the markers of its stationary points. Shared by the Plot window and the PNG renderer.
#pragma once

#include <atomic>
#include <vector>

#include "engine/plot_data.h"
#include "engine/plot_sampler.h"
#include "plot/plot_view.h"

namespace quorvant {

inline constexpr int kCurvePoints = 801;
inline constexpr int kGridPoints = 121;

// The plotted variables: a horizontal one and a different vertical one (-1 for a
// curve, with one variable). `x` and `y` are the wished indices (-1: the default).
struct PlotAxes {
  int x = 0;
  int y = -1;
};
PlotAxes ChooseAxes(int variables, int x, int y);

// The point the plotted plane goes through: stored extremum `choice` (1-based, maxima
// first, then minima), or the centre of the box for 0.
std::vector<double> SlicePoint(const PlotData& data, int choice);

// The function sampled over the box on the chosen axes, the other variables fixed as
// the sampler's problem says. Stops early (with a partial grid) when `cancel` is set.
PlotGrid SamplePlot(const PlotData& data, PlotSampler& sampler, PlotAxes axes,
                    const std::atomic<bool>* cancel);
// The markers of the stored extrema and the other stationary points on those axes.
PlotMarkers MarkPlot(const PlotData& data, PlotSampler& sampler, PlotAxes axes);

}  // namespace quorvant
