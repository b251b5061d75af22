// The search run: starting points from a grid over the search box (Explore) or drawn
// at random (Random), a Newton iteration on finite differences from each, and the
// classification, storing and listing of every stationary point it converges to.
#pragma once

#include <cstdint>
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

class SearchEngine {
 public:
  // `random` may be null: a clock-seeded source is used.
  SearchEngine(PointFunction& function, RunHooks& hooks, RandomSource* random = nullptr);

  // One search run over `problem`: its stored extrema are emptied, then every new
  // maximum and minimum the run finds is stored there and listed through the hooks.
  // A problem the options refuse is not searched (RunEnd::Refused, with the reason).
  RunSummary Compute(Problem& problem, const SearchOptions& options);

  // The problems the last run met.
  const RunProblems& problems() const { return problems_; }

 private:
  class Run;
  std::unique_ptr<RandomSource> ownRandom_;
  PointFunction& function_;
  RunHooks& hooks_;
  RandomSource* random_;
  RunProblems problems_;
};

}  // namespace quorvant
