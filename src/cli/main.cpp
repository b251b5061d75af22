// quorvant-cli: the runner, with --plot drawn by the plot module when it is installed.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "cli/plot_module.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return quorvant::RunCli(args, stdout, stderr, quorvant::RenderWithPlotModule);
}
