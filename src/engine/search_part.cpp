#include "engine/search_part.h"

#include <bit>
#include <cmath>

#include "model/numtext.h"
#include "model/script/script_error.h"

namespace quorvant {

namespace {

// The ring holds the neighbours along axes whose stride is at most this many points:
// 2 * stride + 2 entries rounded up to a power of two, so at most 2^22 entries of 8
// bytes (32 MiB) a thread.
constexpr int64_t kLargestReusedStride = (int64_t{1} << 21) - 1;
static_assert(std::bit_ceil(static_cast<uint64_t>(2 * kLargestReusedStride + 2)) == 1u << 22);

// The axis tables hold at most this many values in all (64 bytes each).
constexpr int64_t kLargestTabledValues = int64_t{1} << 17;

bool SameBits(double a, double b) {
  return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

bool SameHandOver(double a, double b) {
  return SameBits(Round15(a), Round15(b));
}

}  // namespace

WalkCost EstimateWalkCost(const Grid& grid) {
  WalkCost cost;
  for (int i = 0; i < grid.n(); ++i) {
    const int64_t count = grid.count(i), stride = grid.stride(i);
    if (count <= 1 || stride > kLargestReusedStride) {
      // Both neighbours are evaluated at every point.
      cost.perPoint += 2;
      continue;
    }
    // The first and the last value along the axis have a neighbour off the grid; every
    // other value's backward neighbour was a grid point visited one stride before.
    const double share = 1.0 / static_cast<double>(count);
    cost.perPoint += 2 * share;
    cost.atBeginning += static_cast<double>(stride) * (1 - share);
    cost.reach = std::max(cost.reach, stride);
  }
  return cost;
}

SharedBeginning::SharedBeginning(int64_t first, int64_t count)
    : first_(first), count_(count), entries_(static_cast<size_t>(count)) {}

void SharedBeginning::Publish(int64_t index, int32_t error, double value) {
  if (index < first_ || index - first_ >= count_) return;
  Entry& e = entries_[static_cast<size_t>(index - first_)];
  e.bits.store(error == 0 ? std::bit_cast<uint64_t>(value)
                          : static_cast<uint64_t>(static_cast<uint32_t>(error)),
               std::memory_order_relaxed);
  e.state.store(error == 0 ? kValue : kFailure, std::memory_order_release);
}

bool SharedBeginning::Find(int64_t index, int32_t& error, double& value) const {
  if (index < first_ || index - first_ >= count_) return false;
  const Entry& e = entries_[static_cast<size_t>(index - first_)];
  const uint32_t state = e.state.load(std::memory_order_acquire);
  if (state == kNothing) return false;
  const uint64_t bits = e.bits.load(std::memory_order_relaxed);
  error = state == kValue ? 0 : static_cast<int32_t>(static_cast<uint32_t>(bits));
  value = state == kValue ? std::bit_cast<double>(bits) : 0;
  return true;
}

CarriedState CarriedState::Compose(const CarriedState& before, const CarriedState& after) {
  CarriedState out = after;
  if (!after.fPlusKnown) out.fPlus = before.fPlus;
  if (!after.fMinusKnown) out.fMinus = before.fMinus;
  if (!after.fdAccKnown) out.fdAcc = before.fdAcc;
  out.step.resize(before.step.size());
  for (size_t j = 0; j < out.step.size(); ++j)
    if (!(after.stepKnown & (1u << j))) out.step[j] = before.step[j];
  out.fPlusKnown = before.fPlusKnown || after.fPlusKnown;
  out.fMinusKnown = before.fMinusKnown || after.fMinusKnown;
  out.fdAccKnown = before.fdAccKnown || after.fdAccKnown;
  out.stepKnown = before.stepKnown | after.stepKnown;
  return out;
}

SearchPart::SearchPart(const Problem& problem, const Grid* grid, PointFunction& function,
                       std::function<bool()> stopRequested)
    : problem_(problem),
      grid_(grid),
      run_(function, std::move(stopRequested)),
      newton_(run_, problem.varCount(), problem.errorBound, problem.maxCycles),
      classifier_(run_, problem.varCount()) {
  if (!grid_) return;
  // The ring must reach from a grid point to its neighbours along every reused axis, on
  // both sides.
  for (int i = 0; i < grid_->n(); ++i)
    if (grid_->stride(i) <= kLargestReusedStride && grid_->count(i) > 1)
      reusedStride_ = std::max(reusedStride_, grid_->stride(i));
  // (With no reused axis the ring still holds the point itself, which the test
  // evaluates once per axis.)
  const int64_t size = std::bit_ceil(static_cast<uint64_t>(2 * reusedStride_ + 2));
  values_.assign(static_cast<size_t>(size), kEmpty);
  ringMask_ = size - 1;
  BuildAxisTables();
}

void SearchPart::BuildAxisTables() {
  const Grid& grid = *grid_;
  const int n = grid.n();
  int64_t values = 0;
  for (int i = 0; i < n; ++i) values += grid.count(i);
  if (values > kLargestTabledValues) return;
  std::vector<std::vector<AxisValue>> axes(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const int64_t count = grid.count(i), stride = grid.stride(i);
    const bool reused = stride <= reusedStride_;
    const double step = grid.step(i);
    std::vector<AxisValue>& axis = axes[static_cast<size_t>(i)];
    axis.resize(static_cast<size_t>(count));
    for (int64_t k = 0; k < count; ++k) {
      AxisValue& a = axis[static_cast<size_t>(k)];
      // Each value the one before it plus the step, as the walk adds it.
      a.x = k == 0 ? grid.lower(i) : axis[static_cast<size_t>(k - 1)].up;
      a.up = a.x + step;
      a.down = a.x - step;
      a.roundedX = Round15(a.x);
      a.roundedUp = Round15(a.up);
      a.roundedDown = Round15(a.down);
      for (double v : {a.x, a.up, a.down, a.roundedX, a.roundedUp, a.roundedDown})
        if (!std::isfinite(v)) return;
      // As Explore decides them (setBack).
      a.back = kNoOffset;
      if (SameBits(a.roundedDown, a.roundedX))
        a.back = 0;
      else if (reused && k >= 1 &&
               SameBits(a.roundedDown, axis[static_cast<size_t>(k - 1)].roundedX))
        a.back = -stride;
      a.ahead = kNoOffset;
      if (SameBits(a.roundedUp, a.roundedX))
        a.ahead = 0;
      else if (reused && k + 1 < count)
        a.ahead = stride;
    }
  }
  axes_ = std::move(axes);
}

void SearchPart::Begin(const CarriedState* state) {
  const int n = problem_.varCount();
  const bool known = state != nullptr;
  const CarriedState none;
  const CarriedState& s = known ? *state : none;
  fPlus_.Begin(s.fPlus, known);
  fMinus_.Begin(s.fMinus, known);
  run_.fdAcc.Begin(s.fdAcc, known);
  std::vector<double> step = s.step;
  step.resize(n, 0.0);
  newton_.Begin(step, known);
  run_.dependent = false;
  run_.problems = RunProblems{};
}

CarriedState SearchPart::End() const {
  CarriedState s;
  s.fPlus = fPlus_.raw();
  s.fMinus = fMinus_.raw();
  s.fdAcc = run_.fdAcc.raw();
  s.step = newton_.step();
  s.fPlusKnown = fPlus_.known();
  s.fMinusKnown = fMinus_.known();
  s.fdAccKnown = run_.fdAcc.known();
  s.stepKnown = newton_.stepKnown();
  return s;
}

void SearchPart::FromStartingPoint(int64_t index, std::vector<double>& x, const StartSink& sink) {
  StartOutcome outcome;
  outcome.index = index;
  outcome.start = x;
  outcome.end = newton_.Run(x);
  outcome.cycles = newton_.cycles();
  if (outcome.end == NewtonEnd::Converged) outcome.classification = classifier_.Classify(x);
  outcome.point = x;
  sink(outcome);
}

void SearchPart::StartWalk(int64_t first) {
  if (first != walkedTo_) std::fill(values_.begin(), values_.end(), kEmpty);
  walkedTo_ = -1;
}

void SearchPart::Remember(int64_t index, int32_t error, double value) {
  if (error == 0 && std::isnan(value)) return;
  values_[static_cast<size_t>(index & ringMask_)] =
      error == 0 ? std::bit_cast<uint64_t>(value)
                 : kFailure | static_cast<uint64_t>(static_cast<uint32_t>(error));
  if (beginning_) beginning_->Publish(index, error, value);
}

// A value found in the ring is taken right here; anything else (a failure to replay, an
// evaluation) out of line.
inline void SearchPart::Neighbour(int64_t index, std::span<const double> x,
                                  std::span<const double> rounded, CarriedValue& target) {
  if (index >= 0) {
    const double value = std::bit_cast<double>(values_[static_cast<size_t>(index & ringMask_)]);
    if (!std::isnan(value)) {
      target = value;
      return;
    }
  }
  Evaluate(index, x, rounded, target);
}

void SearchPart::Evaluate(int64_t index, std::span<const double> x, std::span<const double> rounded,
                          CarriedValue& target) {
  if (index >= 0) {
    const uint64_t slot = values_[static_cast<size_t>(index & ringMask_)];
    double value = 0;
    if (slot >> 32 == kFailure >> 32) {
      run_.Replay(static_cast<int32_t>(static_cast<uint32_t>(slot)), 0, value, x);
      return;
    }
    double v;
    int32_t e;
    if (!next_ || !next_->Find(index, e, v))
      e = rounded.empty() ? run_.function().EvaluateFunction(x, v)
                          : run_.function().EvaluateRounded(x, rounded, v);
    // An untolerated failure ends the run right here, and is not remembered.
    if (e == 0 || script::IsNumericFault(e)) Remember(index, e, v);
    if (run_.Replay(e, v, value, x)) target = value;
    return;
  }
  if (rounded.empty())
    run_.Evaluate(x, target);
  else
    run_.Evaluate(x, rounded, target);
}

void SearchPart::Explore(int64_t first, int64_t last, const StartSink& sink) {
  if (!axes_.empty()) {
    ExploreTabled(first, last, sink);
    return;
  }
  const Grid& grid = *grid_;
  const int n = grid.n();
  const int lastVar = n - 1;
  RunContext& run = run_;
  // Where the walk stands: the index along each axis, the grid point, and per axis
  // whether the point one step back (the minus neighbour) hands over exactly as the
  // grid value before it does, so its value can be reused.
  std::vector<int64_t> k(n);
  std::vector<double> x(n), previous(n), start(n);
  // Per axis, the grid index offset of the backward and the forward neighbour when it
  // hands over exactly as a grid point does (the point itself, for a step lost in the
  // 15-digit hand-over), or none.
  constexpr int64_t kNone = INT64_MIN;
  std::vector<int64_t> back(n, kNone), ahead(n, kNone);
  auto setBack = [&](int i) {
    const int64_t stride = grid.stride(i);
    const bool reused = stride <= reusedStride_;
    const double down = run.Checked(x[i] - grid.step(i));
    const double up = run.Checked(x[i] + grid.step(i));
    back[i] = kNone;
    if (SameHandOver(down, x[i]))
      back[i] = 0;
    else if (reused && k[i] >= 1 && SameHandOver(down, previous[i]))
      back[i] = -stride;
    ahead[i] = kNone;
    // The next value along the axis is this very sum: a grid point, unless the axis ends.
    if (SameHandOver(up, x[i]))
      ahead[i] = 0;
    else if (reused && k[i] + 1 < grid.count(i))
      ahead[i] = stride;
  };
  for (int i = 0; i < n; ++i) {
    k[i] = (first / grid.stride(i)) % grid.count(i);
    x[i] = grid.Value(i, k[i]);
    if (k[i] >= 1) previous[i] = grid.Value(i, k[i] - 1);
    setBack(i);
  }

  for (int64_t g = first; g < last; ++g) {
    Arrive(g);
    run.CheckStop();
    // The grid point test: strictly below (or above) both neighbours along every axis.
    // Neighbours outside the box are evaluated all the same. A failed evaluation leaves
    // fPlus, fMinus or fdAcc at its previous value.
    int32_t maxAxes = -1, minAxes = -1;
    for (int i = 0; i < n; ++i) {
      const double savedX = x[i];
      x[i] = run.Checked(savedX + grid.step(i));
      Neighbour(ahead[i] != kNone ? g + ahead[i] : -1, x, {}, fPlus_);
      x[i] = run.Checked(savedX - grid.step(i));
      Neighbour(back[i] != kNone ? g + back[i] : -1, x, {}, fMinus_);
      x[i] = savedX;
      Neighbour(g, x, {}, run.fdAcc);
      if (fPlus_ > run.fdAcc && fMinus_ > run.fdAcc) ++minAxes;
      if (fPlus_ < run.fdAcc && fMinus_ < run.fdAcc) ++maxAxes;
    }
    if (minAxes == lastVar || maxAxes == lastVar) {
      start = x;
      FromStartingPoint(g, x, sink);
      x = start;  // the walk goes on from the grid point the iteration started from
    }

    // Advance like an odometer whose last variable turns fastest, by repeated addition.
    for (int i = lastVar; i >= 0; --i) {
      if (k[i] + 1 < grid.count(i)) {
        previous[i] = x[i];
        x[i] = run.Checked(x[i] + grid.step(i));
        ++k[i];
        setBack(i);
        break;
      }
      k[i] = 0;
      x[i] = grid.lower(i);
      setBack(i);
    }
  }
}

// The walk of Explore with every coordinate, its neighbours, their 15-digit values and
// the reuse offsets looked up in the axis tables: the same points evaluated in the same
// order, with nothing rounded or decided again.
void SearchPart::ExploreTabled(int64_t first, int64_t last, const StartSink& sink) {
  const Grid& grid = *grid_;
  const int n = grid.n();
  const int lastVar = n - 1;
  RunContext& run = run_;
  std::vector<int64_t> k(static_cast<size_t>(n));
  std::vector<const AxisValue*> at(static_cast<size_t>(n));
  std::vector<double> x(static_cast<size_t>(n)), rounded(static_cast<size_t>(n)), start;
  for (int i = 0; i < n; ++i) {
    k[i] = (first / grid.stride(i)) % grid.count(i);
    at[i] = &axes_[i][static_cast<size_t>(k[i])];
    x[i] = at[i]->x;
    rounded[i] = at[i]->roundedX;
  }
  // As Neighbour, but x and rounded take the coordinate along axis i only when the point
  // is evaluated (or its failure replayed), not when its value is in the ring: between
  // evaluations they hold the grid point.
  const uint64_t* const ring = values_.data();
  const int64_t ringMask = ringMask_;
  const auto probe = [&](int64_t index, int i, double xi, double roundedXi, CarriedValue& target) {
    if (index >= 0) {
      const double value = std::bit_cast<double>(ring[index & ringMask]);
      if (!std::isnan(value)) {
        target = value;
        return;
      }
    }
    x[i] = xi;
    rounded[i] = roundedXi;
    Evaluate(index, x, rounded, target);
    x[i] = at[i]->x;
    rounded[i] = at[i]->roundedX;
  };
  for (int64_t g = first; g < last; ++g) {
    Arrive(g);
    run.CheckStop();
    int32_t maxAxes = -1, minAxes = -1;
    // Once the point's value is in the ring, fdAcc holds it, and taking it again for
    // each later axis would change nothing.
    bool pointKept = false;
    for (int i = 0; i < n; ++i) {
      const AxisValue& a = *at[i];
      probe(a.ahead != kNoOffset ? g + a.ahead : -1, i, a.up, a.roundedUp, fPlus_);
      probe(a.back != kNoOffset ? g + a.back : -1, i, a.down, a.roundedDown, fMinus_);
      if (!pointKept) {
        probe(g, i, a.x, a.roundedX, run.fdAcc);
        pointKept = !std::isnan(std::bit_cast<double>(ring[g & ringMask]));
      }
      const double plus = fPlus_, minus = fMinus_, point = run.fdAcc;
      if (plus > point && minus > point) ++minAxes;
      if (plus < point && minus < point) ++maxAxes;
    }
    if (minAxes == lastVar || maxAxes == lastVar) {
      start = x;
      FromStartingPoint(g, x, sink);
      x = start;
    }
    for (int i = lastVar; i >= 0; --i) {
      if (k[i] + 1 < grid.count(i)) {
        ++k[i];
        ++at[i];
        x[i] = at[i]->x;
        rounded[i] = at[i]->roundedX;
        break;
      }
      k[i] = 0;
      at[i] = axes_[i].data();
      x[i] = at[i]->x;
      rounded[i] = at[i]->roundedX;
    }
  }
}

void SearchPart::Search(const PartRange& range, const std::vector<std::vector<double>>& trials,
                        StartReceiver& receiver) {
  const StartSink sink = [&](StartOutcome& o) { receiver.End(o); };
  if (grid_) {
    StartWalk(range.first);
    Explore(range.first, range.last, sink);
    walkedTo_ = range.last;
    return;
  }
  for (size_t t = 0; t < trials.size(); ++t) {
    const int64_t index = range.first + static_cast<int64_t>(t);
    run_.CheckStop();
    receiver.Begin(index);
    std::vector<double> x = trials[t];
    FromStartingPoint(index, x, sink);
  }
}

PartOutcome SearchAhead(SearchPart& part, const PartRange& range,
                        std::vector<std::vector<double>> trials) {
  PartOutcome outcome;
  outcome.trials = std::move(trials);
  struct Record final : StartReceiver {
    explicit Record(PartOutcome& o) : o_(o) {}
    void Begin(int64_t i) override { o_.begun = i; }
    void End(StartOutcome& s) override {
      o_.begun = -1;
      o_.starts.push_back(std::move(s));
    }
    PartOutcome& o_;
  } record(outcome);
  part.Begin(nullptr);
  try {
    part.Search(range, outcome.trials, record);
  } catch (const RunAborted& aborted) {
    outcome.aborted = true;
    outcome.abort = aborted.summary;
  }
  outcome.dependent = part.context().dependent;
  outcome.problems = part.context().problems;
  outcome.end = part.End();
  return outcome;
}

}  // namespace quorvant
