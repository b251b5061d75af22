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

// The runner draws offscreen: Qt's notes about the desktop session it has no use for
// (no runtime folder, say) are not the user's business. Everything else is passed on.
QtMessageHandler g_previousHandler = nullptr;
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtWarningMsg && message.startsWith("QStandardPaths: ")) return;
  if (g_previousHandler) g_previousHandler(type, context, message);
}

std::string RenderPlot(const quorvant::Dimension& dim,
                       const std::vector<quorvant::StationaryPoint>& points,
                       const std::string& path, int& argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  g_previousHandler = qInstallMessageHandler(QuietHandler);
  QApplication app(argc, argv);
  const std::vector<std::string> constants(dim.constants.begin(),
                                           dim.constants.begin() + dim.constCount);
  const quorvant::PlotData data =
      quorvant::PlotDataFrom(dim, dim.formula, constants, dim.lowerLimit, dim.upperLimit, points);
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
  return quorvant::RunCli(
      args, stdout, stderr,
      [&](const quorvant::Dimension& dim, const std::vector<quorvant::StationaryPoint>& points,
          const std::string& path) { return RenderPlot(dim, points, path, argc, argv); });
}
