// The search run: starting points from a grid over the search box (Explore) or drawn
// at random (Random), a Newton iteration on finite differences from each, and the
// classification, storing and listing of every stationary point it converges to.
//
// With several threads the grid (or the list of trials) is cut into parts that worker
// threads search ahead of time, each with its own evaluator; one routine commits their
// outcomes in the run's order (store, duplicates, listing, problem flags), so every
// listing is the one a single thread gives. A part that needed a working value left by
// the part before it is searched again, in order.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/classifier.h"
#include "engine/listing.h"
#include "engine/random_source.h"
#include "engine/run_checkpoint.h"
#include "engine/run_context.h"
#include "engine/run_hooks.h"
#include "engine/search_options.h"
#include "engine/solution_store.h"
#include "model/point_function.h"
#include "model/problem.h"

namespace quorvant {

class PartSearcher;

// What a run is asked to do. The problem is shared and never changes while the run goes
// (its threads, and other processes, read it); the caller applies the result.
struct RunRequest {
  std::shared_ptr<const Problem> problem;
  SearchOptions options;
  // Go on from where an earlier run of the same problem and options stood (its listing
  // so far is the caller's to repeat); null: from the start.
  std::shared_ptr<const RunCheckpoint> resume = nullptr;
};

// What a run gives back: how it ended (a failure with its number and point, a refusal
// with its reason, an internal failure with its message), the maxima and minima it
// stored, and the problems it met.
struct RunResult {
  RunSummary summary;
  SolutionStore store;
  RunProblems problems;
  // The problem as the run leaves it: its stored extrema replaced by the run's (also
  // after a run that stored none, or was refused).
  void ApplyTo(Problem& problem) const {
    problem.maxima = store.maxima();
    problem.minima = store.minima();
  }
};

// Makes one more evaluator of the run's function, prepared exactly as the one the run
// was given, for a worker thread. Its message boxes are not shown: a failure that ends
// the run is reported once, in order, by the run's own evaluator.
using FunctionFactory = std::function<std::unique_ptr<PointFunction>()>;

class SearchEngine {
 public:
  // `random` may be null: a clock-seeded source is used. Without `factory` every run is
  // searched on the calling thread alone.
  SearchEngine(PointFunction& function, RunHooks& hooks, RandomSource* random = nullptr,
               FunctionFactory factory = {});
  ~SearchEngine();

  // One search run: every new maximum and minimum the run finds is stored in the
  // result and listed through the hooks. A problem the options refuse is not searched
  // (RunEnd::Refused, with the reason). Nothing escapes as an exception: a failure the
  // run cannot handle (out of memory, say), on any of its threads, ends it as
  // RunEnd::Internal with its message.
  RunResult Compute(const RunRequest& request);

  // Runs from now on have their parts searched ahead by `searcher` (other processes,
  // say) instead of this process's threads. Null goes back to threads.
  void SetPartSearcher(PartSearcher* searcher) { searcher_ = searcher; }

 private:
  class Run;
  std::unique_ptr<RandomSource> ownRandom_;
  PointFunction& function_;
  RunHooks& hooks_;
  RandomSource* random_;
  FunctionFactory factory_;
  PartSearcher* searcher_ = nullptr;
};

// The threads a run uses for `requested` (0: every core the machine has).
int ThreadsFor(int requested);

}  // namespace quorvant
