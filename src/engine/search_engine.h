// The search run: starting points from a grid over the search box (Explore) or drawn
// at random (Random), a Newton iteration on finite differences from each, and the
// classification, storing and listing of every stationary point it converges to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/listing.h"
#include "engine/random_source.h"
#include "engine/run_hooks.h"
#include "model/dimension.h"
#include "model/function_evaluator.h"

namespace quorvant {

// Why a run ended.
enum class RunEnd {
  Completed,  // grid exhausted or every random trial made
  Failed,     // an evaluation failed in a way the run does not tolerate
  Stopped,    // the user asked it to stop
  StoreFull,  // a new extremum found no room among the 100 of its kind
  Refused,    // the problem cannot be searched as it stands (reason says why)
};
const char* ToString(RunEnd end);

struct RunSummary {
  RunEnd end = RunEnd::Completed;
  int32_t errorNumber = 0;       // Failed: the number that ended the run
  std::string reason;            // Refused: what is wrong and what to do
  std::vector<double> failedAt;  // Failed: the point whose evaluation failed
};

// What the user is told about a run that failed: the error, where, and that the listing
// holds what was found before. `names` are the variable names.
std::string RunFailureMessage(const RunSummary& summary, const std::vector<std::string>& names);

// What the classification of one stationary point decided.
using PointKind = StationaryPoint::Kind;

// The run's error policy: an evaluation or arithmetic failure with one of these
// numbers is tolerated (the statement that failed has no further effect and the run
// goes on); any other number ends the run.
bool RunTolerates(int32_t errorNumber);

class SearchEngine {
 public:
  // `random` may be null: a clock-seeded source is used.
  SearchEngine(Dimension& dim, PointFunction& evaluator, RunHooks& hooks,
               RandomSource* random = nullptr);

  // One search run over the problem in `dim`: Explore when `randomTrials` is 0,
  // Random otherwise (with `randomMode` set by the caller). Appends its lines
  // through the hooks and leaves its results in the store of `dim`.
  RunSummary Compute();

  // The problems the last run met.
  const RunProblems& problems() const { return problems_; }

  // --- the steps of a run, public for tests ---
  // The Newton iteration from `point`; true when it converged (point then holds the
  // stationary point).
  bool NewtonIteration();
  // Classifies the stationary point in `point`, stores and lists it.
  void ClassifyStationaryPoint();
  // The kind decided by the last classification, and its numbers.
  PointKind lastKind() const { return lastKind_; }
  double smallestPivot() const { return smallestPivot_; }
  int32_t swapCount() const { return swapCount_; }
  int32_t cycle() const { return cycle_; }
  // Triangularises `hessian` (n by n) in place, recording determinants, minPivots,
  // smallestPivot and swapCount, then decides its kind. Used by the classification.
  PointKind ClassifyHessian();

 private:
  struct Abort {
    RunSummary summary;
  };

  void ResetRun();
  std::string CheckProblem();
  void Explore();
  void RandomTrials();
  void FromStartingPoint();
  void CheckStop();

  // One evaluation statement: true with the value, or false when a tolerated failure
  // left the target unchanged. An untolerated failure ends the run.
  bool F(double& value);
  // The run's own arithmetic: a result that is not finite is a floating-point fault,
  // recorded like a tolerated failure (ierr 6, or 11 for a division by zero) and kept.
  double Ck(double result);
  double Dv(double numerator, double denominator);

  void EstimateClassificationHessian();
  bool StorePoint(PointKind kind);
  void ListPoint(std::string_view heading);
  void Append(std::string_view line) { hooks_.AppendLine(line); }

  Dimension& dim_;
  PointFunction& evaluator_;
  RunHooks& hooks_;
  std::unique_ptr<RandomSource> ownRandom_;
  RandomSource* random_;

  // Run state. Values that carry from one step to the next within a run are reset
  // at the start of every run, so a run's result depends on its problem only.
  RunProblems problems_;
  double fPlus_ = 0, fMinus_ = 0, fdAcc_ = 0, fdD2_ = 0;
  int32_t cycle_ = 0;
  int32_t swapCount_ = 0;
  double smallestPivot_ = 0;
  PointKind lastKind_ = PointKind::Indefinite;
  double gridPoints_ = 0;  // grid points of an Explore run, for progress
  double pointsDone_ = 0;
  // Stop is polled at every evaluation while this is set (inside a Newton iteration and
  // the classification's Hessian, where one start can take long), and between starting
  // points otherwise.
  bool pollStop_ = false;
  struct PollStopWhile {
    explicit PollStopWhile(bool& flag) : flag_(flag) { flag_ = true; }
    ~PollStopWhile() { flag_ = false; }
    bool& flag_;
  };
};

// The problem bit of a Newton step that cannot be taken: 1 (an illegal quantity)
// when a component is not a number, 2 (an overflow) when one is infinite, 0 when
// every component is finite.
int32_t NonFiniteStepBit(const std::vector<double>& step);

// The mended verdict for a matrix the leading-minor scan calls semidefinite: it is
// indefinite when some principal minor is negative and some principal minor of
// order k is nonzero with the sign of (-1)^(k+1). Each minor is computed by
// elimination with partial pivoting on a copy; comparisons with 0 are exact.
bool PrincipalMinorsShowIndefinite(const Matrix& h);

}  // namespace quorvant
