// The plot module's entry point (see cli/plot_module.h): an offscreen application that
// draws the plot into a PNG file for quorvant-cli, with the function's values from the
// runner's own interpreter.
#include <QApplication>
#include <cstring>
#include <string>
#include <vector>

#include "engine/plot_data.h"
#include "engine/plot_sampler.h"
#include "plot/plot_render.h"

namespace {

// The runner draws offscreen: Qt's notes about the desktop session it has no use for
// (no runtime folder, say) are not the user's business. Everything else is passed on.
QtMessageHandler g_previousHandler = nullptr;
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtWarningMsg && message.startsWith("QStandardPaths: ")) return;
  if (g_previousHandler) g_previousHandler(type, context, message);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int quorvant_render_plot(
    const void* data, void* (*make)(const void* plotProblem), const char* path, char* reason,
    std::size_t reasonSize) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  g_previousHandler = qInstallMessageHandler(QuietHandler);
  static int argc = 1;
  static char name[] = "quorvant-cli";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  const std::string failure =
      quorvant::RenderPlotPng(*static_cast<const quorvant::PlotData*>(data), path,
                              [make](const quorvant::PlotProblem& problem) {
                                return std::unique_ptr<quorvant::PlotFunction>(
                                    static_cast<quorvant::PlotFunction*>(make(&problem)));
                              });
  if (failure.empty()) return 0;
  std::strncpy(reason, failure.c_str(), reasonSize - 1);
  reason[reasonSize - 1] = '\0';
  return 1;
}
