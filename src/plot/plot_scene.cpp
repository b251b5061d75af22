#include "plot/plot_scene.h"

#include <algorithm>

namespace quorvant {

PlotAxes ChooseAxes(int variables, int x, int y) {
  PlotAxes axes;
  axes.x = x >= 0 && x < variables ? x : 0;
  if (variables < 2) return axes;
  axes.y = y >= 0 && y < variables ? y : std::min(1, variables - 1);
  if (axes.y == axes.x) axes.y = (axes.x + 1) % variables;
  return axes;
}

std::vector<double> SlicePoint(const PlotData& data, int choice) {
  const int maxima = static_cast<int>(data.maxima.size());
  if (choice >= 1 && choice <= maxima) return data.maxima[choice - 1];
  if (choice > maxima && choice - maxima - 1 < static_cast<int>(data.minima.size()))
    return data.minima[choice - maxima - 1];
  std::vector<double> centre;
  for (size_t i = 0; i < data.lower.size(); ++i)
    centre.push_back((data.lower[i] + data.upper[i]) / 2);
  return centre;
}

PlotGrid SamplePlot(const PlotData& data, PlotSampler& sampler, PlotAxes axes,
                    const std::atomic<bool>* cancel) {
  PlotGrid grid;
  auto range = [&](int axis, double& lo, double& hi) {
    lo = data.lower[axis];
    hi = data.upper[axis];
    if (!(hi > lo)) hi = lo + 1;  // a box of no width still gets a picture
  };
  double x0, x1, y0, y1;
  range(axes.x, x0, x1);
  if (axes.y < 0) {
    sampler.SampleCurve(axes.x, x0, x1, kCurvePoints, grid, cancel);
  } else {
    range(axes.y, y0, y1);
    sampler.SampleGrid(axes.x, x0, x1, kGridPoints, axes.y, y0, y1, kGridPoints, grid, cancel);
  }
  return grid;
}

PlotMarkers MarkPlot(const PlotData& data, PlotSampler& sampler, PlotAxes axes) {
  PlotMarkers markers;
  auto place = [&](const std::vector<std::vector<double>>& points, std::vector<PlotMarker>& out,
                   const QString& kind) {
    for (const auto& p : points) {
      PlotMarker m;
      m.x = p[axes.x];
      m.y = axes.y < 0 ? sampler.ValueAt(p) : p[axes.y];
      m.label = kind;
      out.push_back(m);
    }
  };
  place(data.maxima, markers.maxima, "max");
  place(data.minima, markers.minima, "min");
  place(data.others, markers.others, "");
  return markers;
}

}  // namespace quorvant
