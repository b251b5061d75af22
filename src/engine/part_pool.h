// The parts of one run that are searched ahead of time, shared by whoever searches them
// (worker threads of this process, and in quorvant-mpi the thread that hands parts to
// other processes): parts are handed out in index order, at most `ahead` beyond the
// last one committed; their outcomes wait here until the run takes them in order; the
// first failure of any searcher ends the run when it next takes an outcome.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "engine/grid.h"
#include "engine/part_searcher.h"
#include "engine/search_part.h"

namespace quorvant {

class PartPool {
 public:
  // A run begins: nothing handed out, nothing done, no failure. With `lanes` (the
  // number of searchers that call SearchParts, for a grid run), each searcher walks a
  // run of consecutive parts of its own (the grid values it computed are reused across
  // its part boundaries, which parts handed out in turn would break at every part):
  // the parts are split into that many lanes at first, and a searcher whose lane is
  // done takes the upper half of the longest lane left, when that half is worth more
  // than what a walk beginning there evaluates again. The window `ahead` then does
  // not apply (a grid part's outcome is small).
  void Reset(const RunPlan& plan, int64_t ahead, int lanes = 0);

  const RunPlan& plan() const { return plan_; }
  const Grid* grid() const { return grid_.get(); }

  // The next part to search, with its trials drawn (Random; in part order). With `wait`
  // it waits until the window has room; -1 when the run is over (stopped, or every part
  // handed out), or, without `wait`, when the window is full now.
  int64_t Claim(std::vector<std::vector<double>>& trials, bool wait);

  // A part's outcome is there.
  void Deliver(int64_t index, PartOutcome outcome);
  // A searcher cannot go on: the run ends with `failure` when it next takes an outcome.
  void Fail(std::exception_ptr failure);

  // The PartSearcher calls, for the run's thread.
  std::optional<PartOutcome> Take(int64_t index, const std::function<bool()>& stop);
  void Committed(int64_t index);

  // Searching stops: no more parts are handed out, parts being searched end early.
  void Stop();
  bool stopped() const { return stop_.load(std::memory_order_relaxed); }

  // Searches parts on the calling thread, with an evaluator from `factory`, until the
  // run is over. `searched` (optional) learns how long each part took, in seconds.
  void SearchParts(const std::function<std::unique_ptr<PointFunction>()>& factory,
                   const std::function<void(int64_t index, double seconds)>& searched = {});

 private:
  RunPlan plan_;
  std::unique_ptr<Grid> grid_;
  int64_t ahead_ = 1;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<int64_t, PartOutcome> done_;
  int64_t next_ = 0;
  int64_t committed_ = 0;
  std::exception_ptr failure_;
  // With lanes: per lane, the next part and the end of its run; the lanes given out.
  // Each lane's run begins with a shared beginning (but the first), where the walk of the
  // lane before it finds the values it would evaluate past its end.
  struct Lane {
    int64_t next = 0, end = 0;
    SharedBeginning* beginning = nullptr;
    const SharedBeginning* after = nullptr;
  };
  std::vector<Lane> lanes_;
  int lanesTaken_ = 0;
  WalkCost walkCost_;
  std::vector<std::unique_ptr<SharedBeginning>> beginnings_;
  SharedBeginning* NewBeginning(int64_t part);
  int64_t ClaimInLane(int lane, SharedBeginning*& beginning, const SharedBeginning*& after);
};

}  // namespace quorvant
