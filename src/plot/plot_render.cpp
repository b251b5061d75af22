#include "plot/plot_render.h"

#include "plot/plot_scene.h"
#include "plot/plot_view.h"

namespace quorvant {

std::string RenderPlotPng(const PlotData& data, const std::string& path,
                          const PlotFunctionMaker& make) {
  if (data.problem.varNames.empty()) return "the problem has no variables to plot";
  const int n = static_cast<int>(data.problem.varNames.size());
  const PlotAxes axes = ChooseAxes(n, 0, 1);
  PlotProblem problem = data.problem;
  problem.fixed = SlicePoint(data, 0);
  PlotView view;
  view.resize(900, 700);
  // A box the plot cannot sample, or a function with no value on it, gives a picture of
  // the reason instead of an empty one.
  const QString unplottable = UnplottableBox(data, axes);
  if (!unplottable.isEmpty()) {
    view.ShowMessage(unplottable);
  } else {
    const std::unique_ptr<PlotFunction> sampler = make(problem);
    const PlotGrid grid = SamplePlot(data, *sampler, axes, nullptr);
    const PlotMarkers markers = MarkPlot(data, *sampler, axes, problem.fixed);
    const QString xName = QString::fromStdString(data.problem.varNames[axes.x]);
    const QString yName =
        axes.y >= 0 ? QString::fromStdString(data.problem.varNames[axes.y]) : QString("f");
    const QString nothing = PlotProblemMessage(data, axes, grid);
    if (nothing.isEmpty())
      view.Show(grid, markers, xName, yName, true,
                SliceCaption(data.problem.varNames, axes, problem.fixed), PlotTitle(data));
    else
      view.ShowMessage(nothing);
  }
  if (!view.ExportPng(QString::fromStdString(path))) return "cannot write the plot to " + path;
  return {};
}

}  // namespace quorvant
