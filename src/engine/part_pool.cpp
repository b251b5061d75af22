#include "engine/part_pool.h"

#include <chrono>

namespace quorvant {

void PartPool::Reset(const RunPlan& plan, int64_t ahead, int lanes) {
  std::lock_guard<std::mutex> lock(mutex_);
  lanes_.clear();
  lanesTaken_ = 0;
  beginnings_.clear();
  plan_ = plan;
  ahead_ = ahead;
  stop_ = false;
  next_ = 0;
  committed_ = 0;
  done_.clear();
  failure_ = nullptr;
  grid_.reset();
  walkCost_ = {};
  if (plan_.options.mode == SearchOptions::Mode::Explore) {
    grid_ = std::make_unique<Grid>(*plan_.problem);
    walkCost_ = EstimateWalkCost(*grid_);
  }
  if (lanes > 0 && !plan.drawTrials) {
    for (int t = 0; t < lanes; ++t) {
      Lane lane{plan.parts * t / lanes, plan.parts * (t + 1) / lanes};
      if (t > 0 && lanes_.back().next < lanes_.back().end) {
        lane.beginning = NewBeginning(lane.next);
        lanes_.back().after = lane.beginning;
      }
      lanes_.push_back(lane);
    }
  }
}

// A shared beginning at part `part`, or none when the grid reuses no neighbours, the
// part is past the end, or the memory for it is not there (the walks then evaluate
// those values themselves).
SharedBeginning* PartPool::NewBeginning(int64_t part) {
  if (!grid_ || walkCost_.reach <= 0 || part >= plan_.parts) return nullptr;
  const int64_t first = plan_.Range(part).first;
  try {
    beginnings_.push_back(
        std::make_unique<SharedBeginning>(first, std::min(walkCost_.reach, plan_.total - first)));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return beginnings_.back().get();
}

int64_t PartPool::Claim(std::vector<std::vector<double>>& trials, bool wait) {
  int64_t index;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (wait)
      changed_.wait(lock,
                    [&] { return stop_ || next_ >= plan_.parts || next_ < committed_ + ahead_; });
    if (stop_ || next_ >= plan_.parts || next_ >= committed_ + ahead_) return -1;
    index = next_++;
    if (plan_.drawTrials) trials = plan_.drawTrials(index);
  }
  // Another searcher may be waiting for the part after this one.
  changed_.notify_all();
  return index;
}

// The next part of `lane`, or the first of the upper half of the longest lane left
// (which becomes this lane); -1 when every part is handed out or the run stops. A half
// whose walk costs less than what its beginning evaluates again is left to its lane:
// taking it would cost more processor time than it saves, and on the 10-variable bowl
// (a walk beginning in the middle evaluates one grid point in five again) even end later.
int64_t PartPool::ClaimInLane(int lane, SharedBeginning*& beginning,
                              const SharedBeginning*& after) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stop_) return -1;
  Lane& own = lanes_[static_cast<size_t>(lane)];
  if (own.next < own.end) {
    beginning = own.beginning;
    after = own.after;
    return own.next++;
  }
  Lane* longest = nullptr;
  for (Lane& l : lanes_)
    if (l.end - l.next > 0 && (!longest || l.end - l.next > longest->end - longest->next))
      longest = &l;
  if (!longest) return -1;
  const int64_t middle = longest->next + (longest->end - longest->next) / 2;
  const double half = static_cast<double>(longest->end - middle) *
                      static_cast<double>(plan_.partSize) * walkCost_.perPoint;
  if (half <= walkCost_.atBeginning) return -1;
  own = {middle, longest->end, NewBeginning(middle), longest->after};
  longest->end = middle;
  longest->after = own.beginning;
  beginning = own.beginning;
  after = own.after;
  return own.next++;
}

void PartPool::Deliver(int64_t index, PartOutcome outcome) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_.emplace(index, std::move(outcome));
  }
  changed_.notify_all();
}

void PartPool::Fail(std::exception_ptr failure) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!failure_) failure_ = failure;
  }
  changed_.notify_all();
}

std::optional<PartOutcome> PartPool::Take(int64_t index, const std::function<bool()>& stop) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (failure_) std::rethrow_exception(failure_);
    auto it = done_.find(index);
    if (it != done_.end()) {
      PartOutcome outcome = std::move(it->second);
      done_.erase(it);
      return outcome;
    }
    lock.unlock();
    if (stop()) return std::nullopt;
    lock.lock();
    changed_.wait_for(lock, std::chrono::milliseconds(20));
  }
}

void PartPool::Committed(int64_t index) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    committed_ = index + 1;
  }
  changed_.notify_all();
}

void PartPool::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
}

void PartPool::SearchParts(const std::function<std::unique_ptr<PointFunction>()>& factory,
                           const std::function<void(int64_t, double)>& searched) {
  std::unique_ptr<PointFunction> function;
  std::unique_ptr<SearchPart> part;
  int lane = -1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lanesTaken_ < static_cast<int>(lanes_.size())) lane = lanesTaken_++;
  }
  try {
    function = factory();
    part = std::make_unique<SearchPart>(*plan_.problem, grid_.get(), *function,
                                        [this] { return stopped(); });
  } catch (...) {
    Fail(std::current_exception());
    return;
  }
  try {
    for (;;) {
      std::vector<std::vector<double>> trials;
      SharedBeginning* beginning = nullptr;
      const SharedBeginning* after = nullptr;
      const int64_t index = lane >= 0 ? ClaimInLane(lane, beginning, after) : Claim(trials, true);
      if (index < 0) return;
      part->Share(beginning, after);
      const auto start = std::chrono::steady_clock::now();
      PartOutcome outcome = SearchAhead(*part, plan_.Range(index), std::move(trials));
      if (searched)
        searched(index,
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      Deliver(index, std::move(outcome));
    }
  } catch (...) {
    // Out of memory, say: the run ends with it instead of the process.
    Fail(std::current_exception());
  }
}

}  // namespace quorvant
