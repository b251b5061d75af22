// The extra math functions: values, end points, and failures caught and recorded.
#include "model/extra_functions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

#include "script_test_util.h"

namespace quorvant::testing {
namespace {

struct FunctionCase {
  const char* call;
  double expected;  // compared exactly
  int32_t ierr;     // recorded error (the function then returns 0)
};

// Test names show the text under test.
void PrintTo(const FunctionCase& c, std::ostream* os) {
  *os << c.call;
}

class ExtraTable : public ::testing::TestWithParam<FunctionCase> {};

TEST_P(ExtraTable, ValueAndRecordedError) {
  const FunctionCase& c = GetParam();
  PreparedEngine p;
  p.evaluator.extraFunctions().ierr = 0;
  double value = -99;
  ASSERT_EQ(p.engine().EvalNumber(c.call, value), 0) << c.call;
  EXPECT_EQ(value, c.expected) << c.call;
  EXPECT_EQ(p.evaluator.extraFunctions().ierr, c.ierr) << c.call;
  if (c.ierr) {
    EXPECT_EQ(p.evaluator.ierr(), c.ierr) << c.call;
  }
  EXPECT_TRUE(p.sink.messages.empty());
}

const double kHalfPi = std::atan(1.0) * 2;

const FunctionCase kCases[] = {
    {"Asin(1)", kHalfPi, 0},
    {"Asin(-1)", -kHalfPi, 0},
    {"Asin(0.5)", std::atan(0.5 / std::sqrt(-1 * 0.5 * 0.5 + 1)), 0},
    {"Asin(1.0000001)", 0, 5},
    {"Asin(2) + 1", 1, 5},
    {"Acos(1)", 0, 0},
    {"Acos(-1)", 2 * kHalfPi, 0},
    {"Acos(0)", kHalfPi, 0},
    {"Atanh(1)", 0, 11},
    {"Atanh(-1)", 0, 5},
    {"Atanh(2)", 0, 5},
    {"Atanh(0.5)", std::log(1.5 / 0.5) * 0.5, 0},
    {"Acosh(1)", 0, 0},
    {"Acosh(0.5)", 0, 5},
    {"Acosh(-2)", 0, 5},
    {"Asinh(-1E+08)", 0, 5},
    {"Asinh(1E+155)", 0, 6},
    {"Asinh(1)", std::log(1 + std::sqrt(2.0)), 0},
    {"Tanh(-709.5)", -1, 0},
    {"Tanh(709.5)", 1, 0},
    {"Tanh(710)", 0, 6},
    {"Sinh(710)", 0, 6},
    {"Sinh(-710)", 0, 6},
    {"Cosh(709)",
     static_cast<double>((static_cast<long double>(std::exp(709.0)) + std::exp(-709.0)) * 0.5L), 0},
    {"Sinh(1)",
     static_cast<double>((static_cast<long double>(std::exp(1.0)) - std::exp(-1.0)) * 0.5L), 0},
    {"Asin(\"abc\")", 0, 13},
    {"Asin(Null)", 0, 94},
    {"sh.Asinh(0)", 0, 0},
};
INSTANTIATE_TEST_SUITE_P(Functions, ExtraTable, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FunctionCase>& info) {
                           return CaseName(info.param.call, info.index);
                         });

TEST(ExtraFunctions, TanhUsesExtendedIntermediates) {
  // -2 * Exp(709.5) overflows a double; in the extended format it does not, and the
  // quotient is exactly -2.
  ExtraFunctions f;
  EXPECT_EQ(f.Tanh(-709.5), -1.0);
  EXPECT_EQ(f.ierr, 0);
}

TEST(ExtraFunctions, RecordsIntoTheWindowToo) {
  int32_t windowIerr = 0;
  ExtraFunctions f(&windowIerr);
  EXPECT_EQ(f.Acosh(0), 0);
  EXPECT_EQ(f.ierr, 5);
  EXPECT_EQ(windowIerr, 5);
}

TEST(ExtraFunctions, InverseTrigDependsOnTheObjectsHalfPi) {
  PreparedEngine p;
  ASSERT_EQ(p.engine().ExecuteStatement("halfpi = 2"), 0);
  double value;
  ASSERT_EQ(p.engine().EvalNumber("Asin(1)", value), 0);
  EXPECT_EQ(value, 2);
}

TEST(ExtraFunctions, IerrStaysUntilReset) {
  PreparedEngine p;
  double value;
  ASSERT_EQ(p.engine().EvalNumber("Asin(2) + Asin(2 * 2)", value), 0);
  EXPECT_EQ(p.evaluator.extraFunctions().ierr, 5);
  ASSERT_EQ(p.engine().EvalNumber("Asin(0.5)", value), 0);
  EXPECT_EQ(p.evaluator.extraFunctions().ierr, 5);
}

}  // namespace
}  // namespace quorvant::testing
