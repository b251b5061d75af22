// The headless runner's work, apart from the process: parse the arguments, run the
// command, write to the given streams, return the exit status.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/run_hooks.h"
#include "model/problem.h"

namespace quorvant {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;        // bad usage, or a file that cannot be read
inline constexpr int kExitScriptError = 3;  // the interpreter reported an error

// Draws the plot of `problem` (its stored extrema, and the other stationary points of a
// run made by the same command) into a PNG file; returns an empty text, or what went
// wrong. Builds with the plot library provide one.
using PlotRenderer = std::function<std::string(
    const Problem& problem, const std::vector<StationaryPoint>& points, const std::string& path)>;

int RunCli(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
           const PlotRenderer& plot = {});

}  // namespace quorvant
