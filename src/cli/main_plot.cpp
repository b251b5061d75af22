// quorvant-cli with --plot: the runner, and a plot renderer that draws offscreen
// with the window's plot.
#include <QApplication>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "ui/plot_window.h"

namespace {

std::string RenderPlot(const quorvant::Dimension& dim,
                       const std::vector<quorvant::StationaryPoint>& points, const std::string& path,
                       int& argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  quorvant::PlotData data;
  data.problem.varNames = dim.varNames;
  data.problem.formula = dim.formula;
  data.problem.constants.assign(dim.constants.begin(), dim.constants.begin() + dim.constCount);
  data.lower = dim.lowerLimit;
  data.upper = dim.upperLimit;
  const int n = dim.varCount;
  auto column = [n](const quorvant::Matrix& m, int k) {
    std::vector<double> p;
    for (int i = 0; i < n; ++i) p.push_back(m(i, k));
    return p;
  };
  for (int k = 1; k <= dim.maxCount; ++k) data.maxima.push_back(column(dim.maxima, k));
  for (int k = 1; k <= dim.minCount; ++k) data.minima.push_back(column(dim.minima, k));
  for (const auto& s : points) {
    if (s.kind == quorvant::StationaryPoint::Kind::Minimum ||
        s.kind == quorvant::StationaryPoint::Kind::Maximum)
      continue;
    bool seen = false;
    for (const auto& o : data.others) {
      bool same = true;
      for (int i = 0; i < n; ++i) same = same && std::abs(o[i] - s.point[i]) <= dim.errorBound;
      seen = seen || same;
    }
    if (!seen) data.others.push_back(s.point);
  }
  quorvant::PlotWindow window;
  window.SetData(data);
  window.RenderNow();
  if (!window.view()->ExportPng(QString::fromStdString(path)))
    return "cannot write the plot to " + path;
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return quorvant::RunCli(args, stdout, stderr,
                          [&](const quorvant::Dimension& dim,
                              const std::vector<quorvant::StationaryPoint>& points,
                              const std::string& path) { return RenderPlot(dim, points, path, argc, argv); });
}
