// quorvant-cli --prove: the proof that the list of stationary points in the search box
// is complete, listed with every proven point and what could not be decided.
#pragma once

#include <cstdio>
#include <string>

#include "cli/cli_runner.h"
#include "docs/safe_file.h"
#include "model/problem.h"

namespace quorvant {

class FunctionEvaluator;

// Whether this build has Prove (it needs Arb).
bool ProveAvailable();

// Proves over the problem's box with `threads` threads (0: one per core), lists the
// result on `out` and, with `save`, stores the proven maxima and minima in `file`.
// Returns the exit status.
int RunProveCommand(Problem& problem, const std::string& file, const FileStamp& stamp,
                    FunctionEvaluator& evaluator, int threads, bool save, std::FILE* out,
                    std::FILE* err, const CliHost& host);

}  // namespace quorvant
