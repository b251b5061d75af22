// The lines of the results list, digit for digit.
#include "engine/listing.h"

#include <gtest/gtest.h>

#include "engine/engine_test_util.h"

namespace quorvant::testing {
namespace {

TEST(Listing, NumberForms) {
  EXPECT_EQ(CoordinateLine("x", 0.5), "x=0.5");
  EXPECT_EQ(CoordinateLine("x", 2), "x=2");
  EXPECT_EQ(CoordinateLine("x", -0.25), "x=-0.25");
  EXPECT_EQ(CoordinateLine("x", 1.0 / 3), "x=0.333333333333333");
  EXPECT_EQ(CoordinateLine("x", 0.0001), "x=0.0001");
  EXPECT_EQ(CoordinateLine("x", 1e-10), "x=1E-10");
  EXPECT_EQ(CoordinateLine("x", 1e15), "x=1E+15");
  EXPECT_EQ(FunctionLine(0.1 + 0.2), "FUNCTION=0.3");
  EXPECT_EQ(FunctionLine(-0.0), "FUNCTION=0");
  EXPECT_EQ(TrialLine(12), "TRIAL12:");
  EXPECT_EQ(CountsCaption(2, 1), "2 max. 1 min. ");
}

TEST(Listing, DetailBlockColumns) {
  const auto lines = DetailBlock(0.5, {2, 0.5}, {2, -1.23456789012346e+17});
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "SMALLEST (OVERALL) PIVOT (ABSOLUTE VALUE)=0.5");
  EXPECT_EQ(lines[1], "SMALLEST PIVOTS (ABS.VAL.):   DETERMINANTS:");
  EXPECT_EQ(lines[2], "2                             2");
  EXPECT_EQ(lines[3], "0.5                           -1.23456789012346E+17");
  EXPECT_EQ(lines[3].find('-'), 30u);  // column 31
}

TEST(Listing, ProblemsSectionInOrder) {
  EXPECT_TRUE(ProblemsSection(RunProblems{}).empty());
  RunProblems all{true, true, true, 3};
  EXPECT_EQ(ProblemsSection(all),
            (std::vector<std::string>{"PROBLEMS ENCOUNTERED:", "-ILLEGAL QUANTITY.", "-OVERFLOW.",
                                      "-CONVERGENCE PROBLEMS.", "-POSSIBLE INCONSISTENCE PROBLEMS.",
                                      "-POSSIBLE LINEAR DEPENDENCE PROBLEMS."}));
}

TEST(Listing, NewMinimumWithAndWithoutAdditionalInfo) {
  PreparedProblem p({"x", "y"}, "(x-1)^2+(y+2)^2");
  p.Explore();
  EXPECT_EQ(p.hooks.lines, (std::vector<std::string>{"MINIMUM AT:", "x=1", "y=-2", "FUNCTION=0"}));
  p.hooks.info = true;
  p.Explore();
  ASSERT_EQ(p.hooks.lines.size(), 8u);
  EXPECT_EQ(p.hooks.lines[4].rfind(kSmallestPivotLabel, 0), 0u);
  EXPECT_EQ(p.hooks.lines[5], "SMALLEST PIVOTS (ABS.VAL.):   DETERMINANTS:");
  for (int k = 6; k < 8; ++k) {
    EXPECT_EQ(p.hooks.lines[k].substr(29, 1), " ");
    EXPECT_NE(p.hooks.lines[k][30], ' ');
  }
  EXPECT_EQ(p.hooks.yields, 1);  // once after the detail block
}

TEST(Listing, ListSolutionsAfterOpen) {
  PreparedProblem p({"x", "y"}, "x*y");
  p.problem.maxima = {{1, 2, 0.5}, {-3, 0.25, 4}};
  p.problem.minima = {{5, 6, 7}};
  std::vector<std::string> lines;
  const std::string caption =
      ListSolutions(p.problem, p.evaluator, [&](std::string_view l) { lines.emplace_back(l); });
  EXPECT_EQ(caption, "2 max. 1 min. ");
  EXPECT_EQ(lines, (std::vector<std::string>{"MAXIMUM AT:", "x=1", "y=2", "FUNCTION=2",
                                             "SMALLEST (OVERALL) PIVOT (ABSOLUTE VALUE)=0.5",
                                             "MAXIMUM AT:", "x=-3", "y=0.25", "FUNCTION=-0.75",
                                             "SMALLEST (OVERALL) PIVOT (ABSOLUTE VALUE)=4",
                                             "MINIMUM AT:", "x=5", "y=6", "FUNCTION=30",
                                             "SMALLEST (OVERALL) PIVOT (ABSOLUTE VALUE)=7"}));
}

// The function is evaluated at each stored point, with its coordinates and nothing else.
TEST(Listing, ListSolutionsEvaluatesAtEachStoredPoint) {
  PreparedProblem p({"x", "y"}, "x*y");
  p.problem.maxima = {{1, 2, 0.5}};
  p.problem.minima = {{5, 6, 7}, {-1, -1, 3}};
  NativeFunction f([](std::span<const double> x) { return x[0] - x[1]; });
  std::vector<std::string> lines;
  EXPECT_EQ(ListSolutions(p.problem, f, [&](std::string_view l) { lines.emplace_back(l); }),
            "1 max. 2 min. ");
  EXPECT_EQ(f.points, (std::vector<std::vector<double>>{{1, 2}, {5, 6}, {-1, -1}}));
  EXPECT_EQ(lines[3], "FUNCTION=-1");
  EXPECT_EQ(lines[8], "FUNCTION=-1");
  EXPECT_EQ(lines[13], "FUNCTION=0");
}

TEST(Listing, NothingStoredGivesOnlyTheCaption) {
  PreparedProblem p({"x"}, "x");
  std::vector<std::string> lines;
  EXPECT_EQ(
      ListSolutions(p.problem, p.evaluator, [&](std::string_view l) { lines.emplace_back(l); }),
      "0 max. 0 min. ");
  EXPECT_TRUE(lines.empty());
}

TEST(Listing, ValueThatCannotBeEvaluatedIsShownAsSuch) {
  PreparedProblem p({"x"}, "Log(x)");
  p.problem.minima = {{-1, 0.5}};
  std::vector<std::string> lines;
  ListSolutions(p.problem, p.evaluator, [&](std::string_view l) { lines.emplace_back(l); });
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], "FUNCTION=NOT EVALUATED (ERROR 5)");
}

}  // namespace
}  // namespace quorvant::testing
