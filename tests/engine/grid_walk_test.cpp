// The Explore grid: which points are visited, in which order, and which become
// starting points.
#include <gtest/gtest.h>

#include <set>

#include "engine/engine_test_util.h"
#include "model/numtext.h"

namespace quorvant::testing {
namespace {

// The walk as it is meant to be: the grid points in odometer order (the last variable
// turning fastest, each coordinate the previous one plus the step), and at each point,
// axis by axis, the forward neighbour, the backward neighbour and the point itself.
std::vector<std::vector<double>> WalkEvaluations(const std::vector<double>& lower,
                                                 const std::vector<double>& upper,
                                                 const std::vector<int32_t>& subintervals) {
  const size_t n = lower.size();
  std::vector<std::vector<double>> axes(n);
  std::vector<double> steps(n);
  for (size_t i = 0; i < n; ++i) {
    steps[i] = (upper[i] - lower[i]) / subintervals[i];
    for (double v = lower[i];; v = v + steps[i]) {
      axes[i].push_back(v);
      if (v >= upper[i]) break;
    }
  }
  std::vector<std::vector<double>> out;
  std::vector<size_t> k(n, 0);
  for (;;) {
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = axes[i][k[i]];
    for (size_t i = 0; i < n; ++i) {
      std::vector<double> y = x;
      y[i] = x[i] + steps[i];
      out.push_back(y);
      y[i] = x[i] - steps[i];
      out.push_back(y);
      out.push_back(x);
    }
    size_t i = n;
    while (i > 0 && k[i - 1] + 1 == axes[i - 1].size()) k[--i] = 0;
    if (i == 0) return out;
    ++k[i - 1];
  }
}

// Each point as the formula sees it (every coordinate written with 15 digits and read
// back), once, in the order first met.
std::vector<std::vector<double>> Distinct(const std::vector<std::vector<double>>& points,
                                          bool rounded) {
  std::vector<std::vector<double>> out;
  std::set<std::vector<double>> seen;
  for (std::vector<double> p : points) {
    if (rounded)
      for (double& v : p) v = Round15(v);
    if (seen.insert(p).second) out.push_back(p);
  }
  return out;
}

// Records every evaluation point of an Explore run over f = 0 (no grid point is a
// starting point, so every evaluation is part of a grid point test).
struct RecordedWalk {
  Recorder recorder;
  PreparedProblem problem;
  RecordedWalk(std::vector<std::string> names, std::string call)
      : recorder(static_cast<int>(names.size())), problem(std::move(names), std::move(call)) {
    problem.AddObject("rec", &recorder);
  }
  // What the run evaluated, and what the walk means to evaluate, each point once.
  std::vector<std::vector<double>> Evaluated() const { return Distinct(recorder.calls, false); }
  std::vector<std::vector<double>> Meant() const {
    const Problem& p = problem.problem;
    return Distinct(WalkEvaluations(p.lowerLimit, p.upperLimit, p.subintervals), true);
  }
};

// A value already computed at the same point (as the formula sees it) is not computed
// again, but nothing the walk evaluates is left out, and the first evaluation of each
// point comes in the walk's order.
TEST(GridWalk, OdometerOrderLastVariableFastest) {
  RecordedWalk walk({"x", "y"}, "Note(x, y)");
  walk.problem.Box(0, 0, 2, 2);
  walk.problem.Box(1, 0, 2, 2);
  ASSERT_EQ(walk.problem.Explore().end, RunEnd::Completed);
  EXPECT_EQ(walk.Evaluated(), walk.Meant());
  // The first nine points the run asks for: the neighbours along x come first at each
  // grid point, and the grid points follow in the odometer order.
  const std::vector<std::vector<double>> first = {{1, 0}, {-1, 0}, {0, 0}, {0, 1}, {0, -1},
                                                  {1, 1}, {-1, 1}, {0, 2}, {1, 2}};
  const auto evaluated = walk.Evaluated();
  ASSERT_GE(evaluated.size(), first.size());
  EXPECT_EQ(std::vector<std::vector<double>>(evaluated.begin(), evaluated.begin() + 9), first);
  EXPECT_TRUE(walk.problem.hooks.lines.empty());
}

TEST(GridWalk, NeighboursAlongEachAxisOutsideTheBoxToo) {
  RecordedWalk walk({"x"}, "Note(x)");
  ASSERT_EQ(walk.problem.Explore().end, RunEnd::Completed);
  std::vector<double> evaluated;
  for (const auto& call : walk.recorder.calls) evaluated.push_back(call[0]);
  // Grid points -10, -5, 0, 5, 10, each tested against its neighbours at +-5, also -15
  // and 15 outside the box; each value is computed once.
  EXPECT_EQ(evaluated, (std::vector<double>{-5, -15, -10, 0, 5, 10, 15}));
}

TEST(GridWalk, RoundingAddsOneValueBeyondTheUpperLimit) {
  RecordedWalk walk({"x"}, "Note(x)");
  walk.problem.Box(0, 0, 1, 10);
  walk.problem.Explore();
  EXPECT_EQ(walk.Evaluated(), walk.Meant());
  // Ten additions of 0.1 stay just below 1, so one more value, just below 1.1, is
  // visited. The formula sees them rounded to 15 digits: 1 and 1.1.
  EXPECT_EQ(GridAxisValues(0, 1, 10), 12);
  const std::vector<std::vector<double>> last = {{1.1}, {1.2}};
  const auto evaluated = walk.Evaluated();
  ASSERT_GE(evaluated.size(), 2u);
  EXPECT_EQ(std::vector<std::vector<double>>(evaluated.end() - 2, evaluated.end()), last);
}

// Larger walks: two and three variables, a box whose steps lose digits in the
// hand-over, a box with a variable of one value, an axis too long to keep its values in
// a table (they are computed as the walk goes): the run evaluates exactly the points the
// walk does.
TEST(GridWalk, ReuseLeavesNoPointOut) {
  struct Box {
    std::vector<double> lower, upper;
    std::vector<int32_t> subintervals;
  };
  const Box boxes[] = {
      {{-1, 0.3}, {1, 0.7}, {7, 9}},
      {{0, -1.5, 2}, {0.9, 1.5, 2.05}, {3, 5, 4}},
      {{1e-5, 3}, {1e-5 + 1e-9, 3}, {6, 4}},
      {{-3, 1.0 / 3}, {3, 2.0 / 3}, {13, 11}},
      {{-1}, {1}, {140000}},
  };
  for (const Box& b : boxes) {
    std::vector<std::string> names;
    std::string call = "Note(";
    for (size_t i = 0; i < b.lower.size(); ++i) {
      names.push_back("v" + std::to_string(i));
      call += (i ? ", v" : "v") + std::to_string(i);
    }
    RecordedWalk walk(names, call + ")");
    for (size_t i = 0; i < b.lower.size(); ++i)
      walk.problem.Box(static_cast<int>(i), b.lower[i], b.upper[i], b.subintervals[i]);
    ASSERT_EQ(walk.problem.Explore().end, RunEnd::Completed);
    EXPECT_EQ(walk.Evaluated(), walk.Meant()) << call;
    // Each grid point is computed about once, not three times per variable.
    EXPECT_LT(walk.recorder.calls.size(), 2 * walk.Meant().size()) << call;
  }
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
  ASSERT_EQ(ComputeInto(engine, problem, SearchOptions::Explore()).summary.end, RunEnd::Completed);
  std::vector<double> expected = {0.1, -0.1, 0};  // the first point's neighbours, then it
  double value = 0.1;
  for (int k = 1; k < 12; ++k) {
    value += 0.1;
    expected.push_back(value);  // each further value: the forward neighbour of the last
  }
  ASSERT_EQ(f.points.size(), expected.size());
  for (size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(f.points[k][0], expected[k]) << k;
  EXPECT_LT(f.points[12][0], 1.1);  // ten additions of 0.1 fall just short of 1
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
  EXPECT_EQ(walk.Evaluated(), walk.Meant());
  for (const auto& p : walk.Evaluated()) EXPECT_EQ(p[0], 3);
  EXPECT_TRUE(walk.problem.hooks.lines.empty());
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
