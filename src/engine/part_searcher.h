// Who searches the parts of a run ahead of time: worker threads of this process, or
// (quorvant-mpi) other processes. The run takes their outcomes in order and commits them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "engine/search_options.h"
#include "engine/search_part.h"
#include "model/problem.h"

namespace quorvant {

// What the searchers of a run need to know of it.
struct RunPlan {
  const Problem* problem = nullptr;  // validated for `options`
  SearchOptions options;
  int64_t total = 0;     // grid points, or trials
  int64_t first = 0;     // the first grid point or trial searched (a resumed run's)
  int64_t partSize = 1;  // grid points or trials in a part
  int64_t parts = 0;     // from `first` on
  PartRange Range(int64_t index) const {
    return {first + index * partSize, std::min(total, first + (index + 1) * partSize)};
  }
  // Random: the starting points of part `index`. Parts must be drawn in increasing
  // order, one at a time (the searcher serialises the calls).
  std::function<std::vector<std::vector<double>>(int64_t index)> drawTrials;
};

class PartSearcher {
 public:
  virtual ~PartSearcher() = default;
  // A run begins: parts may be searched from now on, at most `ahead` beyond the last
  // one committed (worker threads walking a grid may go further: see PartPool).
  virtual void Begin(const RunPlan& plan, int64_t ahead) = 0;
  // The outcome of part `index`, once it is there; empty when `stop` turned true while
  // waiting (asked at least every 20 ms).
  virtual std::optional<PartOutcome> Take(int64_t index, const std::function<bool()>& stop) = 0;
  // Parts up to `index` are committed.
  virtual void Committed(int64_t index) = 0;
  // The run ends (completed or not): searching stops, and every thread or process is
  // released before this returns.
  virtual void End() = 0;
  // How many parts may be searched at once (threads, processes).
  virtual int width() const = 0;
};

// Searches parts on `threads` worker threads, each with its own evaluator from
// `factory`.
std::unique_ptr<PartSearcher> MakeThreadSearcher(
    int threads, std::function<std::unique_ptr<PointFunction>()> factory);

}  // namespace quorvant
