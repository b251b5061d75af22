// The settings of one search run, apart from the problem it searches.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "model/problem.h"

namespace quorvant {

struct SearchOptions {
  enum class Mode {
    Explore,  // starting points from a grid over the box
    Random,   // starting points drawn at random in the box
  };
  Mode mode = Mode::Explore;
  int32_t randomTrials = 0;  // Random: how many starting points, 1 or more
  // Threads searching at once: 1, or more (0: one per core). Every thread count gives
  // the same listing, store and problems.
  int threads = 1;
  // Grid points (or trials) in each part of the run that one thread searches at a
  // time; 0 lets the run choose. Any size gives the same listing.
  int64_t partSize = 0;

  bool operator==(const SearchOptions&) const = default;

  static SearchOptions Explore(int threads = 1) { return {Mode::Explore, 0, threads, 0}; }
  static SearchOptions Random(int32_t trials, int threads = 1) {
    return {Mode::Random, trials, threads, 0};
  }

  // What keeps a run of `problem` with these settings from being made, in words for the
  // user (what is wrong and what to do); empty when it can be made. For Explore this
  // walks each axis as the search will, which takes a while for billions of
  // subintervals: `stop` (may be empty) is polled now and then, and a true answer ends
  // the check early with an empty text.
  std::string Validate(const Problem& problem, const std::function<bool()>& stop = {}) const;
};

// The number of values the grid walk visits along one axis: the lower limit, then one
// more per addition of the step while the previous value is below the upper limit.
// Rounding can add one value beyond the upper limit; -1 when more would be needed (the
// walk would not end where the user expects, or never).
int64_t GridAxisValues(double lower, double upper, int32_t subintervals,
                       const std::function<bool()>& stop = {});

}  // namespace quorvant
