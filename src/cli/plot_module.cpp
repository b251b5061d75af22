#include "cli/plot_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>

#include "engine/plot_data.h"
#include "engine/plot_sampler.h"

namespace quorvant {

namespace {

// The folder of the running program.
std::string ProgramFolder() {
  std::array<char, 4096> buffer{};
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return ".";
  std::string path(buffer.data(), static_cast<size_t>(length));
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

std::string RenderWithPlotModule(const Problem& problem, const std::vector<StationaryPoint>& points,
                                 const std::string& path) {
  const std::string folder = ProgramFolder();
  void* module = nullptr;
  std::string tried;
  for (const std::string& candidate :
       {folder + "/" + kPlotModuleName, folder + "/../lib/quorvant/" + kPlotModuleName}) {
    module = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module) break;
    tried += tried.empty() ? candidate : " or " + candidate;
  }
  if (!module)
    return "--plot needs the plot module, which was not found (" + tried +
           "): install Quorvant completely";
  const auto entry = reinterpret_cast<RenderPlotEntry>(::dlsym(module, kRenderPlotSymbol));
  if (!entry) return "the plot module has no entry point: reinstall Quorvant";
  std::array<char, 1024> reason{};
  const PlotData data = PlotDataFrom(problem, points);
  const MakePlotFunction make = [](const void* plotProblem) -> void* {
    return static_cast<PlotFunction*>(
        new PlotSampler(*static_cast<const PlotProblem*>(plotProblem)));
  };
  const int status = entry(&data, make, path.c_str(), reason.data(), reason.size());
  // The module stays loaded: Qt keeps threads and handlers of its own until the process
  // ends.
  if (status != 0) return reason.data();
  return {};
}

}  // namespace quorvant
