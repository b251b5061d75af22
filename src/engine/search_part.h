// A part of a search run: a range of grid points (Explore) or of random trials, worked
// through exactly as the whole run works through them: the grid point test, and from
// every starting point the Newton iteration and, when it converges, the classification.
// What happens to the points found (store, duplicates, listing) is not done here: each
// start's outcome is handed on in order, to be committed by the run.
//
// A part can run in the run's order, with the working values the part before it left
// (then its outcomes are final), or ahead of time on another thread, not knowing those
// values: then it records whether it needed one of them (`dependent`), and such a part is
// run again in order.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/classifier.h"
#include "engine/grid.h"
#include "engine/newton_iteration.h"
#include "engine/run_context.h"
#include "model/point_function.h"
#include "model/problem.h"

namespace quorvant {

// What one starting point gave.
struct StartOutcome {
  int64_t index = 0;          // grid index, or trial number from 0
  std::vector<double> start;  // the starting point
  NewtonEnd end = NewtonEnd::EvaluationFailed;
  int32_t cycles = 0;
  std::vector<double> point;      // where the iteration ended (the stationary point)
  Classification classification;  // when it converged
};

// The working values that carry from one part of a run into the next: the neighbour
// values of the grid point test, the difference accumulator and the Newton step.
struct CarriedState {
  double fPlus = 0, fMinus = 0, fdAcc = 0;
  std::vector<double> step;
  // Which of them the part that produced this state set itself (the others are the
  // values it was given, unknown when it ran ahead of time).
  bool fPlusKnown = true, fMinusKnown = true, fdAccKnown = true;
  uint32_t stepKnown = ~0u;

  // The state after a part that ran ahead of time and left `after`, given what the parts
  // before it left: whatever it did not set itself comes from `before`.
  static CarriedState Compose(const CarriedState& before, const CarriedState& after);
  bool operator==(const CarriedState&) const = default;
};

// Receives the starts of a part as they are searched.
class StartReceiver {
 public:
  virtual ~StartReceiver() = default;
  // A start begins (a random trial's header is listed here).
  virtual void Begin(int64_t index) = 0;
  virtual void End(StartOutcome& outcome) = 0;
};

// Grid points (Explore) or trials (Random) first..last-1.
struct PartRange {
  int64_t first = 0;
  int64_t last = 0;
};

// The values a walk beginning at grid point `first` computed at the grid points
// first..first+count-1, published one by one for the walk that ends there (on another
// thread), which evaluates them as neighbours of its last points: it takes them from
// here when they are there. A value is the same whichever walk computes it.
class SharedBeginning {
 public:
  SharedBeginning(int64_t first, int64_t count);
  void Publish(int64_t index, int32_t error, double value);
  // Whether the value at `index` is there: 0 and the value, or the error number.
  bool Find(int64_t index, int32_t& error, double& value) const;

 private:
  struct Entry {
    std::atomic<uint64_t> bits{0};   // the value, or the error number
    std::atomic<uint32_t> state{0};  // kNothing, kValue or kFailure
  };
  static constexpr uint32_t kNothing = 0, kValue = 1, kFailure = 2;
  int64_t first_, count_;
  std::vector<Entry> entries_;
};

class SearchPart {
 public:
  using StartSink = std::function<void(StartOutcome&)>;

  // `grid` is null for a Random run. `stopRequested` is asked between grid points and
  // starts, and before every evaluation inside a start.
  SearchPart(const Problem& problem, const Grid* grid, PointFunction& function,
             std::function<bool()> stopRequested);

  // Sets the working values: those the part before left (all known), or none.
  void Begin(const CarriedState* state);
  CarriedState End() const;

  // The part `range`: for Random, `trials` holds the starting points of its trials.
  // Every start's outcome goes to `receiver` as soon as it is known. Throws RunAborted
  // (Stopped, or Failed on an untolerated failure).
  void Search(const PartRange& range, const std::vector<std::vector<double>>& trials,
              StartReceiver& receiver);

  RunContext& context() { return run_; }

  // Grid values this walk computes at the beginning of its run of parts go to
  // `beginning`; those it needs beyond the end of its run are looked up in `next` (the
  // beginning of the run after it). Either may be null.
  void Share(SharedBeginning* beginning, const SharedBeginning* next) {
    beginning_ = beginning;
    next_ = next;
  }

 private:
  void Explore(int64_t first, int64_t last, const StartSink& sink);
  // The same walk over the axis tables (see axes_).
  void ExploreTabled(int64_t first, int64_t last, const StartSink& sink);
  void BuildAxisTables();
  void FromStartingPoint(int64_t index, std::vector<double>& x, const StartSink& sink);
  // One evaluation of the grid point test at grid point `index` (or at a point off the
  // grid when `index` is -1), with the values the run has already computed reused.
  // `rounded` holds the 15-digit values of `x`, or is empty.
  void Neighbour(int64_t index, std::span<const double> x, std::span<const double> rounded,
                 CarriedValue& target);
  // What Neighbour does not find in the ring.
  void Evaluate(int64_t index, std::span<const double> x, std::span<const double> rounded,
                CarriedValue& target);
  void Remember(int64_t index, int32_t error, double value);

  const Problem& problem_;
  const Grid* grid_;
  RunContext run_;
  NewtonIteration newton_;
  Classifier classifier_;
  CarriedValue fPlus_{&run_.dependent};
  CarriedValue fMinus_{&run_.dependent};

  // The values computed at grid points, by grid index, in a ring of 2^k entries, enough
  // for the neighbours along every axis whose stride is at most 2^21 points. At grid
  // point g the walk reads and writes only the indexes g - reusedStride_ to
  // g + reusedStride_, and empties the entry of g - reusedStride_ - 1 as it arrives at g
  // (the ring holds at least 2 * reusedStride_ + 2 entries): so an entry holds the value
  // of the very index that reads it, or nothing, and needs no tag. An entry is a double's
  // bits: a value (never a NaN; a NaN value is not kept), a failure (kFailure with its
  // number in the low half) or kEmpty.
  static constexpr uint64_t kEmpty = 0x7ff8'dead'0000'0000;
  static constexpr uint64_t kFailure = 0x7ff4'0000'0000'0000;
  // Begins a walk at grid point `first`: the ring goes on from the walk before only if
  // that walk ended right there.
  void StartWalk(int64_t first);
  void Arrive(int64_t g) {
    values_[static_cast<size_t>((g - reusedStride_ - 1) & ringMask_)] = kEmpty;
  }
  std::vector<uint64_t> values_;
  int64_t ringMask_ = 0;
  int64_t walkedTo_ = -1;     // where the last walk ended, or -1 (none, or it was cut short)
  int64_t reusedStride_ = 0;  // axes with a larger stride are evaluated afresh
  SharedBeginning* beginning_ = nullptr;
  const SharedBeginning* next_ = nullptr;

  // Per axis, per index along it: the grid value and its two neighbours (one step up
  // and down, each the sum the walk computes), their 15-digit values, and the grid index
  // offsets the neighbours hand over as (kNoOffset: none). A coordinate depends only on
  // its index along its axis, so all of this is computed once, not at every grid point.
  // Empty when some value or its 15-digit value is not finite (the walk then computes
  // them as it goes, recording the faults of its arithmetic as it meets them) or the
  // axes are too long.
  struct AxisValue {
    double x, up, down;
    double roundedX, roundedUp, roundedDown;
    int64_t back, ahead;
  };
  static constexpr int64_t kNoOffset = INT64_MIN;
  std::vector<std::vector<AxisValue>> axes_;
};

// What a walk over `grid` costs, in evaluations: per grid point on average (the point
// itself and its neighbours that nothing can reuse), and what a walk that begins in the
// middle of the grid evaluates again because the values before its beginning are not in
// its ring (about one point per point of the reused strides). Estimates for sharing the
// work out; the walk does not depend on them.
struct WalkCost {
  double perPoint = 1;
  double atBeginning = 0;
  // The longest stride whose neighbours are reused: the grid points past its end a walk
  // evaluates as neighbours.
  int64_t reach = 0;
};
WalkCost EstimateWalkCost(const Grid& grid);

// What a part searched ahead of time gave.
struct PartOutcome {
  std::vector<StartOutcome> starts;
  int64_t begun = -1;      // a start that began but did not end (the run ended inside it)
  bool dependent = false;  // it read a working value the part before it left
  bool aborted = false;    // Stop, or a failure that ends the run, came after `starts`
  RunSummary abort;
  RunProblems problems;
  CarriedState end;
  std::vector<std::vector<double>> trials;  // Random: the starting points of the part
};

// Searches a part ahead of time, not knowing what the parts before it left.
PartOutcome SearchAhead(SearchPart& part, const PartRange& range,
                        std::vector<std::vector<double>> trials);

}  // namespace quorvant
