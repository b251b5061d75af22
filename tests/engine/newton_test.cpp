// The Newton iteration: each way it ends, the point it leaves, its cycles and the
// problem flags it sets, its fixed difference steps.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "engine/engine_test_util.h"
#include "engine/finite_differences.h"
#include "engine/newton_iteration.h"

namespace quorvant {

inline void PrintTo(NewtonEnd end, std::ostream* os) {
  *os << ToString(end);
}

namespace testing {
namespace {

// One iteration of a prepared problem, run as a search runs it.
struct Iteration {
  PreparedProblem p;
  RunContext run{p.evaluator, [this] { return p.hooks.StopRequested(); }};
  NewtonIteration newton;
  Iteration(std::vector<std::string> names, std::string formula, int32_t maxCycles = 8)
      : p(std::move(names), std::move(formula)),
        newton(run, p.problem.varCount(), p.problem.errorBound, maxCycles) {}
  NewtonEnd From(std::vector<double>& x) { return newton.Run(x); }
};

TEST(Newton, QuadraticConvergesInCycleTwo) {
  Iteration it({"x", "y"}, "(x-1)^2+(y+2)^2");
  std::vector<double> x = {3, 5};
  ASSERT_EQ(it.From(x), NewtonEnd::Converged);
  EXPECT_EQ(it.newton.cycles(), 2);
  EXPECT_NEAR(x[0], 1, 1e-9);
  EXPECT_NEAR(x[1], -2, 1e-9);
  EXPECT_FALSE(it.run.problems.Any());
}

TEST(Newton, StartWithinTheBoundConvergesInCycleOne) {
  Iteration it({"x", "y"}, "(x-1)^2+(y+2)^2");
  std::vector<double> x = {1.001, -2.002};
  ASSERT_EQ(it.From(x), NewtonEnd::Converged);
  EXPECT_EQ(it.newton.cycles(), 1);
}

TEST(Newton, CapGivesUpWithConvergenceProblemsWhereTheLastStepLed) {
  Iteration it({"x", "y"}, "(x-1)^2+(y+2)^2", 1);
  std::vector<double> x = {3, 5};
  EXPECT_EQ(it.From(x), NewtonEnd::CapReached);
  EXPECT_EQ(it.newton.cycles(), 1);
  EXPECT_TRUE(it.run.problems.convProblems);
  // The one step taken moved the point close to the minimum.
  EXPECT_NEAR(x[0], 1, 1e-6);
  EXPECT_NEAR(x[1], -2, 1e-6);
}

// Each cycle counts: the cap is the number of cycles made, never one more.
TEST(Newton, CyclesCountUpToTheCap) {
  // From 1 each step of x^4 goes a third of the way to 0: about ten cycles to converge.
  for (int32_t cap : {1, 2, 5}) {
    SCOPED_TRACE(cap);
    Iteration it({"x"}, "x^4", cap);
    std::vector<double> x = {1};
    EXPECT_EQ(it.From(x), NewtonEnd::CapReached);
    EXPECT_EQ(it.newton.cycles(), cap);
    EXPECT_NEAR(x[0], std::pow(2.0 / 3, cap), 1e-3);
  }
  Iteration it({"x"}, "x^4", 100);
  std::vector<double> x = {1};
  EXPECT_EQ(it.From(x), NewtonEnd::Converged);
  EXPECT_GT(it.newton.cycles(), 5);
  EXPECT_LT(it.newton.cycles(), 100);
}

struct SingularCase {
  const char* name;
  const char* formula;
  std::vector<double> start;
  NewtonEnd end;
};

void PrintTo(const SingularCase& c, std::ostream* os) {
  *os << c.name << ": " << c.formula;
}

class Singular : public ::testing::TestWithParam<SingularCase> {};

TEST_P(Singular, GivesUpWithItsVerdictAndDoesNotMove) {
  const SingularCase& c = GetParam();
  Iteration it({"x", "y"}, c.formula);
  std::vector<double> x = c.start;
  EXPECT_EQ(it.From(x), c.end);
  EXPECT_EQ(it.newton.cycles(), 1);
  EXPECT_EQ(it.run.problems.inconsistence, c.end == NewtonEnd::Inconsistent);
  EXPECT_EQ(it.run.problems.linDependence, c.end == NewtonEnd::LinearlyDependent);
  EXPECT_FALSE(it.run.problems.convProblems);
  EXPECT_EQ(it.run.problems.problemBits, 0);
  EXPECT_EQ(x, c.start);
}

// The differences of these functions are exact at these points: a zero row with a
// zero right-hand side (a constant, or x^2 along y) is linear dependence; a zero row
// with a slope (y along y) is an inconsistent system.
INSTANTIATE_TEST_SUITE_P(
    Verdicts, Singular,
    ::testing::Values(SingularCase{"Constant", "5", {0.5, 0.25}, NewtonEnd::LinearlyDependent},
                      SingularCase{"FlatAlongY", "x^2", {0.5, 0}, NewtonEnd::LinearlyDependent},
                      SingularCase{"SlopeAlongY", "y", {0, 0}, NewtonEnd::Inconsistent}),
    [](const ::testing::TestParamInfo<SingularCase>& info) {
      return std::string(info.param.name);
    });

TEST(Newton, OneVariableNeedsNoElimination) {
  Iteration it({"x"}, "(x - 2)^2 + 1");
  std::vector<double> x = {7};
  ASSERT_EQ(it.From(x), NewtonEnd::Converged);
  EXPECT_NEAR(x[0], 2, 1e-9);
}

TEST(Newton, FailedEvaluationGivesUpWithoutAFlag) {
  Iteration it({"x"}, "Log(x)");  // the stencil reaches below 0 from 0.005
  std::vector<double> x = {0.005};
  EXPECT_EQ(it.From(x), NewtonEnd::EvaluationFailed);
  EXPECT_EQ(it.newton.cycles(), 1);
  EXPECT_EQ(it.run.ierr, 5);
  EXPECT_FALSE(it.run.problems.Any());
  EXPECT_EQ(x[0], 0.005);
  EXPECT_TRUE(it.p.sink.messages.empty());
}

// A failure in a later cycle gives up there, with the point where that cycle began.
TEST(Newton, FailureInALaterCycleKeepsThePointOfThatCycle) {
  // From 0.5 the first step goes to about 4 (the stencil around 0.5 is fine); Sqr fails
  // beyond 1.2, so the second cycle fails.
  Iteration it({"x"}, "(x - 3)^2 + Sqr(1.2 - x)");
  std::vector<double> x = {0.5};
  EXPECT_EQ(it.From(x), NewtonEnd::EvaluationFailed);
  EXPECT_EQ(it.newton.cycles(), 2);
  EXPECT_EQ(it.run.ierr, 5);
  EXPECT_GT(x[0], 1.2);
  EXPECT_FALSE(it.run.problems.Any());
}

// An untolerated failure is no end of the iteration: it ends the run.
TEST(Newton, UntoleratedFailureAbortsTheRun) {
  Iteration it({"x"}, "x^2 + Null");  // Null is no number: Invalid use of Null
  std::vector<double> x = {1.005};
  try {
    it.From(x);
    ADD_FAILURE() << "the run was not aborted";
  } catch (const RunAborted& aborted) {
    EXPECT_EQ(aborted.summary.end, RunEnd::Failed);
    EXPECT_EQ(aborted.summary.errorNumber, 94);
    EXPECT_EQ(aborted.summary.failedAt, std::vector<double>{1.005});
  }
}

// Every difference is checked before the solve, so only the elimination itself can
// make a step that is not finite. These functions give a tiny finite curvature with a
// huge finite slope along one axis at 0: its step overflows. With a second axis left of
// it, the back substitution then multiplies that infinity by a zero: not a number.
double HugeSlopeTinyCurvature(double t) {
  if (t == kNewtonSteps.h) return 1e300;    // f(+h): the slope
  if (t == kNewtonSteps.h2) return 1e-300;  // f(+2h): the curvature
  return 0;
}

TEST(Newton, StepThatOverflowsEndsTheStartWithTheOverflowBit) {
  RecordingHooks hooks;
  NativeFunction f([](std::span<const double> x) { return HugeSlopeTinyCurvature(x[0]); });
  RunContext run(f, [&] { return hooks.StopRequested(); });
  NewtonIteration newton(run, 1, 0.01, 8);
  std::vector<double> x = {0};
  EXPECT_EQ(newton.Run(x), NewtonEnd::StepNotFinite);
  EXPECT_EQ(run.problems.problemBits, 2);
  EXPECT_FALSE(run.problems.convProblems || run.problems.inconsistence ||
               run.problems.linDependence);
  EXPECT_EQ(x, std::vector<double>{0});
  EXPECT_EQ(run.ierr, 0) << "the differences themselves were finite";
}

TEST(Newton, StepThatIsNotANumberEndsTheStartWithTheIllegalQuantityBit) {
  RecordingHooks hooks;
  NativeFunction f(
      [](std::span<const double> x) { return x[0] * x[0] + HugeSlopeTinyCurvature(x[1]); });
  RunContext run(f, [&] { return hooks.StopRequested(); });
  NewtonIteration newton(run, 2, 0.01, 8);
  std::vector<double> x = {0, 0};
  EXPECT_EQ(newton.Run(x), NewtonEnd::StepNotFinite);
  EXPECT_EQ(run.problems.problemBits, 1);
  EXPECT_EQ(x, (std::vector<double>{0, 0}));
}

TEST(Newton, NonFiniteStepBitNamesWhatItFinds) {
  EXPECT_EQ(NonFiniteStepBit({1, -2, 3e300}), 0);
  EXPECT_EQ(NonFiniteStepBit({1, NAN, INFINITY}), 1);  // the first that is not finite
  EXPECT_EQ(NonFiniteStepBit({-INFINITY, NAN}), 2);
  EXPECT_EQ(NonFiniteStepBit({}), 0);
  RunProblems problems;
  problems.problemBits = NonFiniteStepBit({NAN}) | NonFiniteStepBit({INFINITY});
  EXPECT_EQ(
      ProblemsSection(problems),
      (std::vector<std::string>{"PROBLEMS ENCOUNTERED:", "-ILLEGAL QUANTITY.", "-OVERFLOW."}));
}

// The differences use the fixed steps h = 0.004 and 2h = 0.008 whatever the error bound
// and the box: at 0 the first cycle evaluates exactly these offsets along each axis, the
// Hessian's 3 + 4 (n - 1 - i) points per axis i, then the gradient's 4 per axis.
TEST(Newton, FixedStepsAndTheEvaluationsOfOneCycle) {
  for (double bound : {0.5, 1e-9}) {
    SCOPED_TRACE(bound);
    RecordingHooks hooks;
    NativeFunction f([](std::span<const double> x) {
      return (x[0] - 1) * (x[0] - 1) + (x[1] + 2) * (x[1] + 2) + (x[2] - 3) * (x[2] - 3);
    });
    RunContext run(f, [&] { return hooks.StopRequested(); });
    NewtonIteration newton(run, 3, bound, 1);
    std::vector<double> x = {0, 0, 0};
    newton.Run(x);
    ASSERT_EQ(f.points.size(), (3u + 8) + (3 + 4) + 3 + 3 * 4);
    for (int axis = 0; axis < 3; ++axis) {
      std::set<double> offsets;
      for (const auto& point : f.points) offsets.insert(point[axis]);
      EXPECT_EQ(offsets, (std::set<double>{-0.008, -0.004, 0, 0.004, 0.008})) << "axis " << axis;
    }
  }
}

// One iteration object serves every start of a run: each Run starts its cycles at 0.
TEST(Newton, EachRunCountsItsOwnCycles) {
  Iteration it({"x"}, "x^4", 100);
  std::vector<double> far = {1};
  ASSERT_EQ(it.From(far), NewtonEnd::Converged);
  const int32_t cyclesFromFar = it.newton.cycles();
  std::vector<double> near = {0.001};
  ASSERT_EQ(it.From(near), NewtonEnd::Converged);
  EXPECT_EQ(it.newton.cycles(), 1);
  std::vector<double> again = {1};
  ASSERT_EQ(it.From(again), NewtonEnd::Converged);
  EXPECT_EQ(it.newton.cycles(), cyclesFromFar);
  EXPECT_EQ(again, far);
}

// In a run, a stationary point records where its iteration started and its cycles.
TEST(Newton, StationaryPointsRecordTheirStartAndCycles) {
  PreparedProblem p({"x", "y"}, "(x-1)^2+(y+2)^2");
  ASSERT_EQ(p.Explore().end, RunEnd::Completed);
  ASSERT_EQ(p.hooks.met.size(), 1u);
  // Of the grid points -10, -5, 0, 5, 10 along each axis, (0, 0) is the only one
  // below its neighbours along both.
  EXPECT_EQ(p.hooks.met[0].start, (std::vector<double>{0, 0}));
  EXPECT_EQ(p.hooks.met[0].cycles, 2);
  EXPECT_NEAR(p.hooks.met[0].point[0], 1, 1e-9);
  EXPECT_NEAR(p.hooks.met[0].point[1], -2, 1e-9);
}

TEST(Newton, EndsHaveNames) {
  const std::set<std::string> names = {
      ToString(NewtonEnd::Converged),     ToString(NewtonEnd::EvaluationFailed),
      ToString(NewtonEnd::Inconsistent),  ToString(NewtonEnd::LinearlyDependent),
      ToString(NewtonEnd::StepNotFinite), ToString(NewtonEnd::CapReached)};
  EXPECT_EQ(names.size(), 6u);
  EXPECT_EQ(names.count("?"), 0u);
}

}  // namespace
}  // namespace testing
}  // namespace quorvant
