// Prove in the window's terms: whether the build has it, why it refuses a problem, and
// the proof run on a worker thread, handed back as the listing (the runner's own
// text), the proven points for the table and the plot, the undecided sub-boxes and the
// extrema a Save stores. Builds without Arb have no Prove; the window says so.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/plot_data.h"
#include "engine/run_hooks.h"
#include "model/function_evaluator.h"
#include "model/problem.h"
#include "ui/listing_model.h"

namespace quorvant {

struct ProveOutcome {
  std::shared_ptr<const Problem> problem;  // as proven, with the extrema compared
  std::string refusal;                     // why Prove did not run; nothing else is set then
  LineStore lines;                         // the listing
  std::vector<StationaryPoint> points;     // proven, in the listing's order
  std::vector<std::string> kinds;          // each point's kind as the table names it
  std::vector<PlotBox> undecided;          // sub-boxes left undecided
  // The proven maxima and minima as stored extrema (at most kStoreSize of each kind),
  // and how many of each were proven.
  std::vector<StoredPoint> maxima, minima;
  int64_t provenMaxima = 0, provenMinima = 0;
  bool complete = false;  // every stationary point of the box is listed
  bool stopped = false;
};

// What a proof reports as it goes: sub-boxes examined, waiting, proofs met.
struct ProveCounts {
  int64_t boxes = 0, waiting = 0, proven = 0;
};

// Whether this build has Prove, and why not when it has not.
bool ProveBuilt();
const char* ProveMissingReason();

// Why Prove refuses `problem` (a construct of its formula, a box side of no width), as
// the user is told it; empty when it does not. `evaluator` holds the problem's
// constants and function.
std::string ProveRefusal(FunctionEvaluator& evaluator, const Problem& problem);

// Proves over `problem`'s box with one thread per core, in an evaluator prepared from
// `recipe`; `stop` ends it at once, `progress` is called about ten times a second (both
// on the calling thread).
ProveOutcome RunProof(std::shared_ptr<const Problem> problem, const EvaluatorRecipe& recipe,
                      const std::atomic<bool>& stop,
                      const std::function<void(const ProveCounts&)>& progress);

}  // namespace quorvant
