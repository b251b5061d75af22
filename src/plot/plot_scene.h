// What a plot shows of a problem's data for a choice of axes: the sampled function and
// the markers of its stationary points. Shared by the Plot window and the PNG renderer.
#pragma once

#include <QString>
#include <atomic>
#include <string>
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
PlotGrid SamplePlot(const PlotData& data, PlotFunction& sampler, PlotAxes axes,
                    const std::atomic<bool>* cancel);
// The markers of the stored extrema and the other stationary points on those axes; with
// three variables or more, a point whose other coordinates are not those of the slice
// `slice` (within a thousandth of the box along each) is marked as off the slice. The
// undecided sub-boxes shade their projections; off the slice where the plane through
// `slice` does not cross them.
PlotMarkers MarkPlot(const PlotData& data, PlotFunction& sampler, PlotAxes axes,
                     const std::vector<double>& slice);

// Where the plotted plane lies, for three variables or more ("z = -9.42478, t = 1"): the
// variables off the axes with their values at the slice, to 6 significant digits; empty
// otherwise.
QString SliceCaption(const std::vector<std::string>& names, PlotAxes axes,
                     const std::vector<double>& slice);

// The heading of a plot: the function with its formula, then the search box of every
// variable ("f(x,y) = x*x+y*y on x: -5 to 5, y: -5 to 5"). A formula longer than
// kTitleFormulaChars ends in an ellipsis.
inline constexpr int kTitleFormulaChars = 90;
QString PlotTitle(const PlotData& data);

// Why the box cannot be sampled on these axes (a limit that is not a number, or a width
// beyond the largest double, as for -1E308 to 1E308), in words; empty when it can.
QString UnplottableBox(const PlotData& data, PlotAxes axes);

// What the plot shows instead of a picture when it has nothing to draw: the box cannot
// be sampled, or the function has no value at any sampled point. Empty when it can draw.
QString PlotProblemMessage(const PlotData& data, PlotAxes axes, const PlotGrid& grid);

}  // namespace quorvant
