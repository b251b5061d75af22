// The plot of a problem drawn into a PNG file without any window: for the command line.
// Needs a QApplication (an offscreen one will do).
#pragma once

#include <string>

#include "engine/plot_data.h"

namespace quorvant {

// Draws `data` on its first two variables (a curve for one), the others fixed at the
// centre of the box, into the PNG file `path`. Returns an empty text, or what went wrong.
std::string RenderPlotPng(const PlotData& data, const std::string& path);

}  // namespace quorvant
