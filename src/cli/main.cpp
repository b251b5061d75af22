// quorvant-cli: the runner, with --plot drawn by the plot module when it is installed,
// SIGINT and SIGTERM as Stop, and the progress of a search on stderr when it is a
// terminal.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "cli/plot_module.h"
#include "cli/stop_signals.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  quorvant::CatchStopSignals();
  quorvant::CliHost host;
  host.plot = quorvant::RenderWithPlotModule;
  host.stopSignal = quorvant::CaughtStopSignal;
  if (isatty(fileno(stderr))) {
    host.progress = stderr;
    host.resultsShareTerminal = isatty(fileno(stdout));
  }
  return quorvant::RunCli(args, stdout, stderr, host);
}
