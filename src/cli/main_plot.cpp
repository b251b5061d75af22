// quorvant-cli with --plot: the runner, and the plot library's renderer drawing
// offscreen.
#include <QApplication>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "engine/plot_data.h"
#include "plot/plot_render.h"

namespace {

// The runner draws offscreen: Qt's notes about the desktop session it has no use for
// (no runtime folder, say) are not the user's business. Everything else is passed on.
QtMessageHandler g_previousHandler = nullptr;
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtWarningMsg && message.startsWith("QStandardPaths: ")) return;
  if (g_previousHandler) g_previousHandler(type, context, message);
}

std::string RenderPlot(const quorvant::Problem& problem,
                       const std::vector<quorvant::StationaryPoint>& points,
                       const std::string& path, int& argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  g_previousHandler = qInstallMessageHandler(QuietHandler);
  QApplication app(argc, argv);
  return quorvant::RenderPlotPng(quorvant::PlotDataFrom(problem, points), path);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return quorvant::RunCli(
      args, stdout, stderr,
      [&](const quorvant::Problem& problem, const std::vector<quorvant::StationaryPoint>& points,
          const std::string& path) { return RenderPlot(problem, points, path, argc, argv); });
}
