// The Newton iteration on the gradient, from one starting point: the Hessian and the
// gradient estimated by central finite differences with fixed steps, the system solved
// by Gaussian elimination with partial pivoting, until no coordinate moves by more than
// the error bound or the cap on cycles is reached.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/matrix.h"
#include "engine/run_context.h"

namespace quorvant {

// How one iteration ended.
enum class NewtonEnd {
  Converged,          // the last step was within the error bound in every coordinate
  EvaluationFailed,   // an evaluation (or a difference) failed: the start is given up
  Inconsistent,       // a singular system whose zero row has a residual
  LinearlyDependent,  // a singular system whose zero row has none
  StepNotFinite,      // the elimination made a step that is not a number, or infinite
  CapReached,         // maxCycles cycles without convergence
};
const char* ToString(NewtonEnd end);

class NewtonIteration {
 public:
  // One object serves every start of a run: the step keeps its values from one solve
  // to the next (a singular system's residual reads the earlier ones).
  NewtonIteration(RunContext& run, int n, double errorBound, int32_t maxCycles);

  // Iterates from `x`, which afterwards holds the point reached (the stationary point
  // when Converged). Sets the run's problem flags for a singular system, a step that is
  // not finite, and the cap.
  NewtonEnd Run(std::vector<double>& x);

  // Cycles the last Run took.
  int32_t cycles() const { return cycle_; }

  // The step as the part of the run before left it (known), or none: a part of the run
  // done ahead of time on another thread, which records in the run's `dependent` when a
  // singular system reads a component it has not solved for itself.
  void Begin(const std::vector<double>& step, bool known);
  const std::vector<double>& step() const { return step_; }
  // Bit j set: component j was solved for since Begin (or was given as known).
  uint32_t stepKnown() const { return stepKnown_; }

 private:
  void EstimateHessianAndGradient(std::vector<double>& x);
  RunContext& run_;
  const int n_;
  const double errorBound_;
  const int32_t maxCycles_;
  Matrix system_;             // the Hessian estimate, then -g in column n
  std::vector<double> step_;  // dx, the solution of the last solve
  uint32_t stepKnown_;        // see stepKnown()
  int32_t cycle_ = 0;
};

// The problem bit of a Newton step that cannot be taken: 1 (an illegal quantity)
// when a component is not a number, 2 (an overflow) when one is infinite, 0 when
// every component is finite.
int32_t NonFiniteStepBit(const std::vector<double>& step);

}  // namespace quorvant
