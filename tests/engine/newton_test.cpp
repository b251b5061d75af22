// The Newton iteration: convergence, the cycle cap, the singular verdicts.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/engine_test_util.h"

namespace quorvant::testing {
namespace {

TEST(Newton, QuadraticConvergesInCycleTwo) {
  Problem p({"x", "y"}, "(x-1)^2+(y+2)^2");
  SearchEngine engine(p.dim, p.evaluator, p.hooks);
  p.dim.point = {3, 5};
  ASSERT_TRUE(engine.NewtonIteration());
  EXPECT_EQ(engine.cycle(), 2);
  EXPECT_NEAR(p.dim.point[0], 1, 1e-9);
  EXPECT_NEAR(p.dim.point[1], -2, 1e-9);
  EXPECT_EQ(p.dim.startPoint, (std::vector<double>{3, 5}));
  EXPECT_FALSE(engine.problems().convProblems);
}

TEST(Newton, StartWithinTheBoundConvergesInCycleOne) {
  Problem p({"x", "y"}, "(x-1)^2+(y+2)^2");
  SearchEngine engine(p.dim, p.evaluator, p.hooks);
  p.dim.point = {1.001, -2.002};
  ASSERT_TRUE(engine.NewtonIteration());
  EXPECT_EQ(engine.cycle(), 1);
}

TEST(Newton, CapGivesUpWithConvergenceProblems) {
  Problem p({"x", "y"}, "(x-1)^2+(y+2)^2");
  p.dim.maxCycles = 1;
  SearchEngine engine(p.dim, p.evaluator, p.hooks);
  p.dim.point = {3, 5};
  EXPECT_FALSE(engine.NewtonIteration());
  EXPECT_TRUE(engine.problems().convProblems);
}

struct SingularCase {
  const char* formula;
  std::vector<double> start;
  bool inconsistence;
  bool linDependence;
};

class Singular : public ::testing::TestWithParam<SingularCase> {};

TEST_P(Singular, GivesUpWithItsVerdictAndDoesNotMove) {
  Problem p({"x", "y"}, GetParam().formula);
  SearchEngine engine(p.dim, p.evaluator, p.hooks);
  p.dim.point = GetParam().start;
  EXPECT_FALSE(engine.NewtonIteration());
  EXPECT_EQ(engine.problems().inconsistence, GetParam().inconsistence);
  EXPECT_EQ(engine.problems().linDependence, GetParam().linDependence);
  EXPECT_EQ(p.dim.point, GetParam().start);
}

void PrintTo(const SingularCase& c, std::ostream* os) { *os << c.formula; }

// The differences of these functions are exact at these points: a zero row with a
// zero right-hand side (a constant, or x^2 along y) is linear dependence; a zero row
// with a slope (y along y) is an inconsistent system.
INSTANTIATE_TEST_SUITE_P(Verdicts, Singular,
                         ::testing::Values(SingularCase{"5", {0.5, 0.25}, false, true},
                                           SingularCase{"x^2", {0.5, 0}, false, true},
                                           SingularCase{"y", {0, 0}, true, false}));

TEST(Newton, OneVariableNeedsNoElimination) {
  Problem p({"x"}, "(x - 2)^2 + 1");
  SearchEngine engine(p.dim, p.evaluator, p.hooks);
  p.dim.point = {7};
  ASSERT_TRUE(engine.NewtonIteration());
  EXPECT_NEAR(p.dim.point[0], 2, 1e-9);
}

TEST(Newton, FailedEvaluationGivesUpWithoutAFlag) {
  Problem p({"x"}, "Log(x)");  // the stencil reaches below 0 from 0.005
  SearchEngine engine(p.dim, p.evaluator, p.hooks);
  p.dim.point = {0.005};
  EXPECT_FALSE(engine.NewtonIteration());
  EXPECT_EQ(p.dim.ierr, 5);
  EXPECT_FALSE(engine.problems().Any());
  EXPECT_EQ(p.dim.point[0], 0.005);
}

TEST(Newton, StepThatIsNotFiniteIsNamed) {
  // Every difference is checked before the solve, so only the elimination itself
  // can make a step that is not finite; the check names what it found.
  EXPECT_EQ(NonFiniteStepBit({1, -2, 3e300}), 0);
  EXPECT_EQ(NonFiniteStepBit({1, NAN, INFINITY}), 1);
  EXPECT_EQ(NonFiniteStepBit({-INFINITY, 1}), 2);
  RunProblems problems;
  problems.problemBits = NonFiniteStepBit({NAN}) | NonFiniteStepBit({INFINITY});
  EXPECT_EQ(ProblemsSection(problems),
            (std::vector<std::string>{"PROBLEMS ENCOUNTERED:", "-ILLEGAL QUANTITY.", "-OVERFLOW."}));
}

}  // namespace
}  // namespace quorvant::testing
