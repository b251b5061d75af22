// What keeps a run from being made: each refusal in the user's words, and what is
// accepted.
#include "engine/search_options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quorvant {
namespace {

// Two variables x and y in the window's default box, a formula, the default settings.
Problem Valid() {
  Problem p = Problem::WithVariables(2);
  p.varNames = {"x", "y"};
  p.formula = "x*y";
  return p;
}

const char* const kNoVariables =
    "The problem has no variables yet: give the number of variables and their names.";

struct RefusalCase {
  const char* name;
  void (*change)(Problem&);
  SearchOptions options;
  const char* reason;  // the whole text
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
  *os << c.name;
}

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, SayWhatIsWrongAndWhatToDo) {
  const RefusalCase& c = GetParam();
  Problem p = Valid();
  c.change(p);
  EXPECT_EQ(c.options.Validate(p), c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Problems, Refusals,
    ::testing::Values(
        RefusalCase{"NoVariables",
                    [](Problem& p) {
                      p = Problem();
                      p.formula = "1";
                    },
                    SearchOptions::Explore(), kNoVariables},
        RefusalCase{"ElevenVariables",
                    [](Problem& p) {
                      p = Problem::WithVariables(11);
                      p.formula = "1";
                      for (int i = 0; i < 11; ++i) p.varNames[i] = "v" + std::to_string(i);
                    },
                    SearchOptions::Explore(), kNoVariables},
        RefusalCase{"NamesWithoutLimits", [](Problem& p) { p.upperLimit.pop_back(); },
                    SearchOptions::Random(3), kNoVariables},
        RefusalCase{"NamesWithoutSubintervals", [](Problem& p) { p.subintervals.pop_back(); },
                    SearchOptions::Random(3), kNoVariables},
        RefusalCase{"EmptyFormula", [](Problem& p) { p.formula.clear(); }, SearchOptions::Explore(),
                    "The function is empty: enter the function first."},
        RefusalCase{"ZeroErrorBound", [](Problem& p) { p.errorBound = 0; },
                    SearchOptions::Random(3), "The error bound is 0: give a number above 0."},
        RefusalCase{"NegativeErrorBound", [](Problem& p) { p.errorBound = -0.5; },
                    SearchOptions::Explore(), "The error bound is -0.5: give a number above 0."},
        RefusalCase{"ErrorBoundNotANumber",
                    [](Problem& p) { p.errorBound = std::numeric_limits<double>::quiet_NaN(); },
                    SearchOptions::Explore(), "The error bound is nan: give a number above 0."},
        RefusalCase{"NoCycles", [](Problem& p) { p.maxCycles = 0; }, SearchOptions::Explore(),
                    "The iteration cap is 0: give 1 or more."},
        RefusalCase{"NegativeCycles", [](Problem& p) { p.maxCycles = -3; },
                    SearchOptions::Random(1), "The iteration cap is -3: give 1 or more."},
        RefusalCase{"NoTrials", [](Problem&) {}, SearchOptions::Random(0),
                    "The number of random seeds is 0: give 1 or more."},
        RefusalCase{"NegativeTrials", [](Problem&) {}, SearchOptions::Random(-7),
                    "The number of random seeds is -7: give 1 or more."},
        RefusalCase{"NoSubintervals", [](Problem& p) { p.subintervals[1] = 0; },
                    SearchOptions::Explore(),
                    "The number of subintervals of y is 0: give 1 or more."},
        // A name is shown with its control characters made visible.
        RefusalCase{"NoSubintervalsOfAnOddName",
                    [](Problem& p) {
                      p.varNames[0] = "a\x1b";
                      p.subintervals[0] = -2;
                    },
                    SearchOptions::Explore(),
                    "The number of subintervals of a\\x1B is -2: give 1 or more."},
        // Doubles near 1E+20 lie 16384 apart: a step of 4096 added to 1E+20 is lost.
        RefusalCase{"StepLost",
                    [](Problem& p) {
                      p.lowerLimit[0] = 1e20;
                      p.upperLimit[0] = 1e20 + 32768;
                      p.subintervals[0] = 8;
                    },
                    SearchOptions::Explore(),
                    // 1E+20 + 32768 shows as 1E+20 with 15 significant digits.
                    "The grid of x from 1E+20 to 1E+20 in 8 subintervals cannot "
                    "be walked: its step 4096 is lost in the rounding of values this large. "
                    "Narrow the limits or use fewer subintervals."},
        // Below 2^57 = 144115188075855872 the doubles lie 16 apart, above it 32: a step of
        // 12.5 moves the values up to 2^57, where it is lost.
        RefusalCase{"StepLostAtAPowerOfTwo",
                    [](Problem& p) {
                      p.lowerLimit[1] = 1.4411518807585E+17;
                      p.upperLimit[1] = 1.4411518807586E+17;
                      p.subintervals[1] = 800;
                    },
                    SearchOptions::Explore(),
                    "The grid of y from 1.4411518807585E+17 to 1.4411518807586E+17 in 800 "
                    "subintervals cannot be walked: its step 12.5 is lost in the rounding of "
                    "values this large. Narrow the limits or use fewer subintervals."},
        RefusalCase{"RoundingErrorsBuildUp",
                    [](Problem& p) {
                      p.lowerLimit[0] = 1000;
                      p.upperLimit[0] = 1001;
                      p.subintervals[0] = 10000000;
                    },
                    SearchOptions::Explore(),
                    "The grid of x from 1000 to 1001 in 10000000 subintervals cannot be walked: "
                    "the rounding errors of adding its step 1E-07 again and again build up, and "
                    "the values fall more than a step short of the upper limit. Use fewer "
                    "subintervals."}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST(SearchOptions, AcceptsWhatCanBeSearched) {
  const Problem p = Valid();
  EXPECT_EQ(SearchOptions::Explore().Validate(p), "");
  EXPECT_EQ(SearchOptions::Random(1).Validate(p), "");
  // The grid matters to Explore only.
  Problem noGrid = Valid();
  noGrid.subintervals = {0, -1};
  noGrid.lowerLimit[0] = 1e20;
  noGrid.upperLimit[0] = 1e20 + 32768;
  EXPECT_EQ(SearchOptions::Random(2).Validate(noGrid), "");
  // Ten variables, one subinterval each, equal limits.
  Problem ten = Problem::WithVariables(kMaxVariables);
  ten.formula = "1";
  ten.subintervals.assign(kMaxVariables, 1);
  ten.lowerLimit.assign(kMaxVariables, 3);
  ten.upperLimit.assign(kMaxVariables, 3);
  EXPECT_EQ(SearchOptions::Explore().Validate(ten), "");
}

// A long walk polls `stop` now and then; a true answer ends the check with no reason
// (the caller is stopping, not refusing).
TEST(SearchOptions, StopEndsALongCheckWithoutARefusal) {
  Problem p = Valid();
  p.lowerLimit[0] = 1000;
  p.upperLimit[0] = 1001;
  p.subintervals[0] = 10000000;
  int polls = 0;
  EXPECT_NE(SearchOptions::Explore().Validate(p, [&] { return ++polls, false; }), "");
  EXPECT_GT(polls, 1);
  polls = 0;
  EXPECT_EQ(SearchOptions::Explore().Validate(p, [&] { return ++polls, true; }), "");
  EXPECT_EQ(polls, 1);
}

}  // namespace
}  // namespace quorvant
