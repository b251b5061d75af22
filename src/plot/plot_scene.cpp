#include "plot/plot_scene.h"

#include <algorithm>
#include <cmath>

#include "model/numtext.h"

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

PlotGrid SamplePlot(const PlotData& data, PlotFunction& sampler, PlotAxes axes,
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

namespace {

// Whether `p` lies in the plotted plane through `slice`: its coordinates off the axes are
// the slice's, within a thousandth of the box's width along each (a point found by its
// own Newton iteration never repeats another's digits exactly).
bool OnSlice(const PlotData& data, PlotAxes axes, const std::vector<double>& slice,
             const std::vector<double>& p) {
  for (size_t i = 0; i < p.size() && i < slice.size(); ++i) {
    if (static_cast<int>(i) == axes.x || static_cast<int>(i) == axes.y) continue;
    double width = i < data.lower.size() ? std::fabs(data.upper[i] - data.lower[i]) : 0;
    if (!std::isfinite(width) || width == 0) width = std::max(1.0, std::fabs(slice[i]));
    if (!(std::fabs(p[i] - slice[i]) <= width * 1e-3)) return false;
  }
  return true;
}

QString Short(double v) {
  return QString::number(v, 'g', 6);
}

}  // namespace

PlotMarkers MarkPlot(const PlotData& data, PlotFunction& sampler, PlotAxes axes,
                     const std::vector<double>& slice) {
  PlotMarkers markers;
  auto place = [&](const std::vector<std::vector<double>>& points, std::vector<PlotMarker>& out,
                   const QString& kind) {
    for (const auto& p : points) {
      PlotMarker m;
      m.x = p[axes.x];
      m.y = axes.y < 0 ? sampler.ValueAt(p) : p[axes.y];
      m.label = kind;
      m.onSlice = OnSlice(data, axes, slice, p);
      out.push_back(m);
    }
  };
  place(data.maxima, markers.maxima, "max");
  place(data.minima, markers.minima, "min");
  place(data.others, markers.others, "");
  for (const PlotBox& box : data.undecided) {
    PlotShade shade;
    shade.x0 = box.lower[axes.x];
    shade.x1 = box.upper[axes.x];
    shade.fullHeight = axes.y < 0;
    if (axes.y >= 0) {
      shade.y0 = box.lower[axes.y];
      shade.y1 = box.upper[axes.y];
    }
    for (size_t i = 0; i < box.lower.size() && i < slice.size(); ++i)
      if (static_cast<int>(i) != axes.x && static_cast<int>(i) != axes.y)
        shade.onSlice = shade.onSlice && box.lower[i] <= slice[i] && slice[i] <= box.upper[i];
    markers.undecided.push_back(shade);
  }
  return markers;
}

QString SliceCaption(const std::vector<std::string>& names, PlotAxes axes,
                     const std::vector<double>& slice) {
  if (axes.y < 0 || names.size() < 3) return {};
  QStringList parts;
  for (size_t i = 0; i < names.size() && i < slice.size(); ++i) {
    if (static_cast<int>(i) == axes.x || static_cast<int>(i) == axes.y) continue;
    parts << QString::fromStdString(names[i]) + " = " + Short(slice[i]);
  }
  return parts.join(", ");
}

QString PlotTitle(const PlotData& data) {
  const auto& names = data.problem.varNames;
  QStringList joined, box;
  for (const std::string& name : names) joined << QString::fromStdString(name);
  QString formula = QString::fromStdString(data.problem.formula);
  if (formula.size() > kTitleFormulaChars)
    formula = formula.left(kTitleFormulaChars - 1) + QString::fromUtf8("\u2026");
  for (size_t i = 0; i < names.size() && i < data.lower.size() && i < data.upper.size(); ++i)
    box << QString::fromStdString(names[i]) + ": " +
               QString::fromStdString(FormatGeneral(data.lower[i])) + " to " +
               QString::fromStdString(FormatGeneral(data.upper[i]));
  return "f(" + joined.join(',') + ") = " + formula + " on " + box.join(", ");
}

QString UnplottableBox(const PlotData& data, PlotAxes axes) {
  for (int axis : {axes.x, axes.y}) {
    if (axis < 0 || axis >= static_cast<int>(data.lower.size())) continue;
    const double lo = data.lower[axis], hi = data.upper[axis];
    const QString name = axis < static_cast<int>(data.problem.varNames.size())
                             ? QString::fromStdString(data.problem.varNames[axis])
                             : QString("variable %1").arg(axis + 1);
    const QString box = QString::fromStdString(FormatGeneral(lo)) + " to " +
                        QString::fromStdString(FormatGeneral(hi));
    if (!std::isfinite(lo) || !std::isfinite(hi))
      return "The limits of " + name + " (" + box + ") are not numbers the plot can sample.";
    if (!std::isfinite(hi - lo))
      return "The box of " + name + " (" + box +
             ") is too wide to plot: its width is beyond the largest number. Narrow its limits "
             "to plot it.";
  }
  return {};
}

QString PlotProblemMessage(const PlotData& data, PlotAxes axes, const PlotGrid& grid) {
  const QString box = UnplottableBox(data, axes);
  if (!box.isEmpty()) return box;
  for (double v : grid.values)
    if (std::isfinite(v)) return {};
  return "The function has no value at any point the plot sampled (every evaluation failed), "
         "so there is nothing to draw.";
}

}  // namespace quorvant
