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
#include "engine/run_context.h"
#include "engine/run_hooks.h"
#include "engine/search_options.h"
#include "model/point_function.h"
#include "model/problem.h"

namespace quorvant {

class PartSearcher;

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

  // One search run over `problem`: its stored extrema are emptied, then every new
  // maximum and minimum the run finds is stored there and listed through the hooks.
  // A problem the options refuse is not searched (RunEnd::Refused, with the reason).
  RunSummary Compute(Problem& problem, const SearchOptions& options);

  // The problems the last run met.
  const RunProblems& problems() const { return problems_; }

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
  RunProblems problems_;
};

// The threads a run uses for `requested` (0: every core the machine has).
int ThreadsFor(int requested);

}  // namespace quorvant
