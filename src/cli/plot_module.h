// The plot module: the PNG renderer of `--plot`, in a shared module of its own that
// quorvant-cli loads only when a plot is asked for, so that every other command starts
// without loading Qt.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/run_hooks.h"
#include "model/problem.h"

namespace quorvant {

// The module's entry point, found by this name: draws `*data` (a PlotData) into the PNG
// file `path`, sampling the function through `make` (given a PlotProblem, returns a new
// PlotFunction the module deletes). The module holds no interpreter: the values come
// from the runner's own. Returns 0, or non-zero with the reason in `reason` (at most
// `reasonSize` bytes with the terminating NUL).
inline constexpr const char* kRenderPlotSymbol = "quorvant_render_plot";
using MakePlotFunction = void* (*)(const void* plotProblem);
using RenderPlotEntry = int (*)(const void* data, MakePlotFunction make, const char* path,
                                char* reason, std::size_t reasonSize);

// The file name of the module, found beside quorvant-cli (a build tree) or in
// ../lib/quorvant from it (an installation).
inline constexpr const char* kPlotModuleName = "quorvant-plot.so";

// Loads the module and draws the plot; returns an empty text, or what went wrong.
std::string RenderWithPlotModule(const Problem& problem, const std::vector<StationaryPoint>& points,
                                 const std::string& path);

}  // namespace quorvant
