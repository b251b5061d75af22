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
  Problem problem;
  RecordedWalk(std::vector<std::string> names, std::string call)
      : recorder(static_cast<int>(names.size())), problem(std::move(names), std::move(call)) {
    problem.evaluator.engine().AddObject("rec", &recorder, true);
  }
  // The grid points: the third evaluation of the first axis of each test.
  std::vector<std::vector<double>> GridPoints() const {
    std::vector<std::vector<double>> points;
    const size_t perPoint = 3 * static_cast<size_t>(problem.dim.varCount);
    for (size_t k = 2; k < recorder.calls.size(); k += perPoint) points.push_back(recorder.calls[k]);
    return points;
  }
};

TEST(GridWalk, OdometerOrderLastVariableFastest) {
  RecordedWalk walk({"x", "y"}, "Note(x, y)");
  walk.problem.Box(0, 0, 2, 2);
  walk.problem.Box(1, 0, 2, 2);
  ASSERT_EQ(walk.problem.Explore().end, RunEnd::Completed);
  const std::vector<std::vector<double>> expected = {
      {0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1}, {2, 2}};
  EXPECT_EQ(walk.GridPoints(), expected);
  EXPECT_EQ(walk.problem.dim.point, (std::vector<double>{2, 0}));
  EXPECT_TRUE(walk.problem.hooks.lines.empty());
}

TEST(GridWalk, NeighboursAlongEachAxisOutsideTheBoxToo) {
  RecordedWalk walk({"x"}, "Note(x)");
  ASSERT_EQ(walk.problem.Explore().end, RunEnd::Completed);
  std::vector<double> evaluated;
  for (const auto& call : walk.recorder.calls) evaluated.push_back(call[0]);
  EXPECT_EQ(evaluated, (std::vector<double>{-5, -15, -10, 0, -10, -5, 5, -5, 0, 10, 0, 5, 15, 5, 10}));
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
  EXPECT_LT(walk.problem.dim.point[0], 1.1);
}

TEST(GridWalk, EqualLimitsKeepTheLowerLimitAndStartNothing) {
  RecordedWalk walk({"x", "y"}, "Note(x, y)");
  walk.problem.Box(0, 3, 3, 4);
  walk.problem.Explore();
  const auto points = walk.GridPoints();
  ASSERT_EQ(points.size(), 5u);
  for (const auto& p : points) EXPECT_EQ(p[0], 3);
}

struct StartCase {
  const char* formula;
  std::vector<std::string> lines;
};

class GridStarts : public ::testing::TestWithParam<StartCase> {};

TEST_P(GridStarts, ListsWhatTheStartsFind) {
  Problem p({"x", "y"}, GetParam().formula);
  ASSERT_EQ(p.Explore().end, RunEnd::Completed);
  EXPECT_EQ(p.hooks.lines, GetParam().lines) << GetParam().formula;
}

void PrintTo(const StartCase& c, std::ostream* os) { *os << c.formula; }

INSTANTIATE_TEST_SUITE_P(
    Formulas, GridStarts,
    ::testing::Values(
        // Only (0, 0) is below its neighbours along both axes.
        StartCase{"x^2 + y^2", {"MINIMUM AT:", "x=0", "y=0", "FUNCTION=0"}},
        // A saddle: no grid point is below (or above) along every axis.
        StartCase{"x^2 - y^2", {}},
        // A plateau: equal neighbours count for neither kind.
        StartCase{"5", {}},
        // (A sign binds tighter than "^": -(x-1)^2 would be (1-x)^2.)
        StartCase{"-((x-1)^2 + (y+2)^2)", {"MAXIMUM AT:", "x=1", "y=-2", "FUNCTION=0"}}));

TEST(GridWalk, SubintervalsBelowOneAreRefused) {
  Problem p({"x", "y"}, "x^2 + y^2");
  p.dim.subintervals[1] = 0;
  const RunSummary summary = p.Explore();
  EXPECT_EQ(summary.end, RunEnd::Refused);
  EXPECT_NE(summary.reason.find("subintervals of y"), std::string::npos) << summary.reason;
  EXPECT_TRUE(p.hooks.lines.empty());
}

TEST(GridWalk, AStepLostInRoundingIsRefused) {
  Problem p({"x"}, "x^2");
  // Doubles near 1E+20 lie 16384 apart: a step of 4096 added to 1E+20 is lost.
  p.Box(0, 1e20, 1e20 + 32768, 8);
  const RunSummary summary = p.Explore();
  EXPECT_EQ(summary.end, RunEnd::Refused);
  EXPECT_NE(summary.reason.find("cannot be walked"), std::string::npos) << summary.reason;
}

}  // namespace
}  // namespace quorvant::testing
