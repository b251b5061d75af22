// The plot of a problem drawn into a PNG file without any window: for the command line.
// Needs a QApplication (an offscreen one will do).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/plot_data.h"

namespace quorvant {

// Makes the function of a plot for `problem` (its slice point included).
using PlotFunctionMaker = std::function<std::unique_ptr<PlotFunction>(const PlotProblem& problem)>;

// Draws `data` on its first two variables (a curve for one), the others fixed at the
// centre of the box, into the PNG file `path`, sampling through `make`. Returns an empty
// text, or what went wrong.
std::string RenderPlotPng(const PlotData& data, const std::string& path,
                          const PlotFunctionMaker& make);

}  // namespace quorvant
