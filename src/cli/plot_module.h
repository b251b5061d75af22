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

// The module's entry point, found by this name: draws the plot of `*problem` (a
// Problem) with the stationary points `*points` (a std::vector<StationaryPoint>) into
// the PNG file `path`. Returns 0, or non-zero with the reason in `reason` (at most
// `reasonSize` bytes with the terminating NUL).
inline constexpr const char* kRenderPlotSymbol = "quorvant_render_plot";
using RenderPlotEntry = int (*)(const void* problem, const void* points, const char* path,
                                char* reason, std::size_t reasonSize);

// The file name of the module, found beside quorvant-cli (a build tree) or in
// ../lib/quorvant from it (an installation).
inline constexpr const char* kPlotModuleName = "quorvant-plot.so";

// Loads the module and draws the plot; returns an empty text, or what went wrong.
std::string RenderWithPlotModule(const Problem& problem, const std::vector<StationaryPoint>& points,
                                 const std::string& path);

}  // namespace quorvant
