// The problem value: the box a new problem starts with, its counts, and equality.
#include "model/problem.h"

#include <gtest/gtest.h>

namespace quorvant {
namespace {

TEST(Problem, WithVariablesGivesEveryVariableTheDefaultBox) {
  for (int32_t n = 1; n <= kMaxVariables; ++n) {
    SCOPED_TRACE(n);
    const Problem p = Problem::WithVariables(n);
    const auto size = static_cast<size_t>(n);
    EXPECT_EQ(p.varCount(), n);
    EXPECT_EQ(p.lastVar(), n - 1);
    EXPECT_EQ(p.varNames, std::vector<std::string>(size));
    EXPECT_EQ(p.lowerLimit, std::vector<double>(size, -10.0));
    EXPECT_EQ(p.upperLimit, std::vector<double>(size, 10.0));
    EXPECT_EQ(p.subintervals, std::vector<int32_t>(size, 4));
    EXPECT_TRUE(p.maxima.empty());
    EXPECT_TRUE(p.minima.empty());
    EXPECT_TRUE(p.formula.empty());
    EXPECT_TRUE(p.constants.empty());
  }
  // A count below 0 is taken as none.
  EXPECT_EQ(Problem::WithVariables(-3), Problem::WithVariables(0));
  EXPECT_EQ(Problem::WithVariables(0).varCount(), 0);
}

TEST(Problem, CountsFollowTheStores) {
  Problem p = Problem::WithVariables(2);
  p.maxima = {{1, 2, 0.5}, {3, 4, 0.25}};
  p.minima = {{-1, -2, 1}};
  EXPECT_EQ(p.maxCount(), 2);
  EXPECT_EQ(p.minCount(), 1);
}

// Equality is over every field, the stored extrema included: a problem read back from
// its file compares equal to the one written.
TEST(Problem, EqualityCoversEveryField) {
  Problem base = Problem::WithVariables(2);
  base.varNames = {"x", "y"};
  base.formula = "x*y";
  base.constants = {"a=1"};
  base.maxima = {{1, 2, 0.5}};
  base.minima = {{-1, -2, 1}};
  const std::vector<void (*)(Problem&)> changes = {
      [](Problem& p) { p.varNames[1] = "z"; },
      [](Problem& p) { p.formula = "x+y"; },
      [](Problem& p) { p.constants.push_back("b=2"); },
      [](Problem& p) { p.errorBound = 0.001; },
      [](Problem& p) { p.maxCycles = 9; },
      [](Problem& p) { p.lowerLimit[0] = -9; },
      [](Problem& p) { p.upperLimit[1] = 9; },
      [](Problem& p) { p.subintervals[0] = 5; },
      [](Problem& p) { p.maxima[0][2] = 0.75; },
      [](Problem& p) { p.minima.clear(); },
  };
  EXPECT_EQ(base, Problem(base));
  for (size_t k = 0; k < changes.size(); ++k) {
    SCOPED_TRACE(k);
    Problem changed = base;
    changes[k](changed);
    EXPECT_FALSE(changed == base);
  }
}

}  // namespace
}  // namespace quorvant
