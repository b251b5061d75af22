// The Explore grid: which points are visited, in which order, and which become
// starting points.
#include <gtest/gtest.h>

#include "engine/engine_test_util.h"

namespace quorvant::testing {
namespace {

// Records every evaluation point of an Explore run over f = 0 (no grid point is a
// starting point, so every evaluation is part of a grid point test).
struct RecordedWalk {
  Recorder recorder;
  PreparedProblem problem;
  RecordedWalk(std::vector<std::string> names, std::string call)
      : recorder(static_cast<int>(names.size())), problem(std::move(names), std::move(call)) {
    problem.AddObject("rec", &recorder);
  }
  // The grid points: the third evaluation of the first axis of each test.
  std::vector<std::vector<double>> GridPoints() const {
    std::vector<std::vector<double>> points;
    const size_t perPoint = 3 * static_cast<size_t>(problem.problem.varCount());
    for (size_t k = 2; k < recorder.calls.size(); k += perPoint)
      points.push_back(recorder.calls[k]);
    return points;
  }
};

TEST(GridWalk, OdometerOrderLastVariableFastest) {
  RecordedWalk walk({"x", "y"}, "Note(x, y)");
  walk.problem.Box(0, 0, 2, 2);
  walk.problem.Box(1, 0, 2, 2);
  ASSERT_EQ(walk.problem.Explore().end, RunEnd::Completed);
  const std::vector<std::vector<double>> expected = {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1},
                                                     {1, 2}, {2, 0}, {2, 1}, {2, 2}};
  EXPECT_EQ(walk.GridPoints(), expected);
  EXPECT_TRUE(walk.problem.hooks.lines.empty());
}

TEST(GridWalk, NeighboursAlongEachAxisOutsideTheBoxToo) {
  RecordedWalk walk({"x"}, "Note(x)");
  ASSERT_EQ(walk.problem.Explore().end, RunEnd::Completed);
  std::vector<double> evaluated;
  for (const auto& call : walk.recorder.calls) evaluated.push_back(call[0]);
  EXPECT_EQ(evaluated,
            (std::vector<double>{-5, -15, -10, 0, -10, -5, 5, -5, 0, 10, 0, 5, 15, 5, 10}));
}

TEST(GridWalk, RoundingAddsOneValueBeyondTheUpperLimit) {
  RecordedWalk walk({"x"}, "Note(x)");
  walk.problem.Box(0, 0, 1, 10);
  walk.problem.Explore();
  const auto points = walk.GridPoints();
  // Ten additions of 0.1 stay just below 1, so one more value, just below 1.1, is
  // visited. The formula sees them rounded to 15 digits: 1 and 1.1.
  ASSERT_EQ(points.size(), 12u);
  EXPECT_EQ(points[10][0], 1.0);
  EXPECT_EQ(points[11][0], 1.1);
  EXPECT_EQ(GridAxisValues(0, 1, 10), 12);
}

// The grid values themselves, as the search has them before the hand-over rounds them:
// each the previous one plus the step.
TEST(GridWalk, ValuesAreSumsOfTheStep) {
  Problem problem = Problem::WithVariables(1);
  problem.varNames = {"x"};
  problem.formula = "x";
  problem.lowerLimit = {0};
  problem.upperLimit = {1};
  problem.subintervals = {10};
  NativeFunction f([](std::span<const double>) { return 0.0; });
  RecordingHooks hooks;
  SearchEngine engine(f, hooks);
  ASSERT_EQ(engine.Compute(problem, SearchOptions::Explore()).end, RunEnd::Completed);
  std::vector<double> grid;
  for (size_t k = 2; k < f.points.size(); k += 3) grid.push_back(f.points[k][0]);
  ASSERT_EQ(grid.size(), 12u);
  double value = 0;
  for (size_t k = 0; k < grid.size(); ++k) {
    EXPECT_EQ(grid[k], value) << k;
    value += 0.1;
  }
  EXPECT_LT(grid[10], 1.0);  // ten additions of 0.1 fall just short of 1
  EXPECT_LT(grid[11], 1.1);
  // The neighbours are one step either side.
  EXPECT_EQ(f.points[3][0], grid[1] + 0.1);
  EXPECT_EQ(f.points[4][0], grid[1] - 0.1);
}

struct AxisCase {
  const char* name;
  double lower, upper;
  int32_t subintervals;
  int64_t values;
};

void PrintTo(const AxisCase& c, std::ostream* os) {
  *os << c.name << ": " << c.lower << " to " << c.upper << " in " << c.subintervals;
}

class AxisValues : public ::testing::TestWithParam<AxisCase> {};

TEST_P(AxisValues, CountsWhatTheWalkVisits) {
  const AxisCase& c = GetParam();
  EXPECT_EQ(GridAxisValues(c.lower, c.upper, c.subintervals), c.values);
}

INSTANTIATE_TEST_SUITE_P(
    Axes, AxisValues,
    ::testing::Values(AxisCase{"Default", -10, 10, 4, 5}, AxisCase{"OneSubinterval", 0, 1, 1, 2},
                      AxisCase{"RoundingAddsOne", 0, 1, 10, 12},
                      AxisCase{"EqualLimits", 3, 3, 4, 1}, AxisCase{"UpperBelowLower", 3, 2, 4, 1},
                      AxisCase{"StepLost", 1e20, 1e20 + 32768, 8, -1},
                      AxisCase{"RoundingBuildsUp", 1000, 1001, 10000000, -1}),
    [](const ::testing::TestParamInfo<AxisCase>& info) { return std::string(info.param.name); });

TEST(GridWalk, EqualLimitsKeepTheLowerLimitAndStartNothing) {
  RecordedWalk walk({"x", "y"}, "Note(x, y)");
  walk.problem.Box(0, 3, 3, 4);
  walk.problem.Explore();
  const auto points = walk.GridPoints();
  ASSERT_EQ(points.size(), 5u);
  for (const auto& p : points) EXPECT_EQ(p[0], 3);
}

struct StartCase {
  const char* name;
  const char* formula;
  std::vector<std::string> lines;
};

class GridStarts : public ::testing::TestWithParam<StartCase> {};

TEST_P(GridStarts, ListsWhatTheStartsFind) {
  PreparedProblem p({"x", "y"}, GetParam().formula);
  ASSERT_EQ(p.Explore().end, RunEnd::Completed);
  EXPECT_EQ(p.hooks.lines, GetParam().lines) << GetParam().formula;
}

void PrintTo(const StartCase& c, std::ostream* os) {
  *os << c.name << ": " << c.formula;
}

INSTANTIATE_TEST_SUITE_P(
    Formulas, GridStarts,
    ::testing::Values(
        // Only (0, 0) is below its neighbours along both axes.
        StartCase{"Bowl", "x^2 + y^2", {"MINIMUM AT:", "x=0", "y=0", "FUNCTION=0"}},
        // A saddle: no grid point is below (or above) along every axis.
        StartCase{"Saddle", "x^2 - y^2", {}},
        // A plateau: equal neighbours count for neither kind.
        StartCase{"Plateau", "5", {}},
        // (A sign binds tighter than "^": -(x-1)^2 would be (1-x)^2.)
        StartCase{"Cap", "-((x-1)^2 + (y+2)^2)", {"MAXIMUM AT:", "x=1", "y=-2", "FUNCTION=0"}}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

TEST(GridWalk, SubintervalsBelowOneAreRefused) {
  PreparedProblem p({"x", "y"}, "x^2 + y^2");
  p.problem.subintervals[1] = 0;
  const RunSummary summary = p.Explore();
  EXPECT_EQ(summary.end, RunEnd::Refused);
  EXPECT_NE(summary.reason.find("subintervals of y"), std::string::npos) << summary.reason;
  EXPECT_TRUE(p.hooks.lines.empty());
}

TEST(GridWalk, AStepLostInRoundingIsRefused) {
  PreparedProblem p({"x"}, "x^2");
  // Doubles near 1E+20 lie 16384 apart: a step of 4096 added to 1E+20 is lost.
  p.Box(0, 1e20, 1e20 + 32768, 8);
  const RunSummary summary = p.Explore();
  EXPECT_EQ(summary.end, RunEnd::Refused);
  EXPECT_NE(summary.reason.find("cannot be walked"), std::string::npos) << summary.reason;
}

}  // namespace
}  // namespace quorvant::testing
