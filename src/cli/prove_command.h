// quorvant-cli --prove: the proof that the list of stationary points in the search box
// is complete, listed with every proven point and what could not be decided.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/cli_runner.h"
#include "docs/safe_file.h"
#include "model/problem.h"

namespace quorvant {

class FunctionEvaluator;

// Whether this build has Prove (it needs Arb).
bool ProveAvailable();

// What may end a proof before it is decided (unset: the prover's own defaults).
struct ProveBudget {
  std::optional<int64_t> maxBoxes;  // sub-boxes examined
  std::optional<double> seconds;    // wall-clock seconds
  std::optional<double> minWidth;   // share of the box below which a side is not cut
};

// Proves over the problem's box with `threads` threads (0: one per core) within
// `budget`, lists the result on `out` and, with `save`, stores the proven maxima and
// minima in `file`. Returns the exit status.
int RunProveCommand(Problem& problem, const std::string& file, const FileStamp& stamp,
                    FunctionEvaluator& evaluator, int threads, const ProveBudget& budget, bool save,
                    std::FILE* out, std::FILE* err, const CliHost& host);

}  // namespace quorvant
