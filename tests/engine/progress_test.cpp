// A run's progress in counts: points (or trials) done of the total, never going back,
// reaching the total, and the starting points found, counted as they are committed,
// whatever the number of threads.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "engine/engine_test_util.h"

namespace quorvant::testing {
namespace {

struct Report {
  int64_t done, total, starts;
};

class WorkHooks final : public RecordingHooks {
 public:
  void ReportWork(int64_t done, int64_t total, int64_t starts) override {
    reports.push_back({done, total, starts});
  }
  std::vector<Report> reports;
};

struct ProgressCase {
  const char* name;
  std::string formula;
  int32_t subintervals;
  int32_t trials;  // 0: Explore
  int threads;
  int64_t partSize;
  int64_t total;   // points or trials
  int64_t starts;  // starting points of the whole run
};

void PrintTo(const ProgressCase& c, std::ostream* os) {
  *os << c.name << ": " << c.formula << ", " << c.threads << " threads";
}

class WorkReports : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(WorkReports, CountUpToTheTotal) {
  const ProgressCase& c = GetParam();
  PreparedProblem p({"x", "y"}, c.formula);
  for (int i = 0; i < 2; ++i) p.Box(i, -2, 2, c.subintervals);
  WorkHooks hooks;
  std::vector<double> draws;
  for (int k = 0; k < 101; ++k) draws.push_back((k * 0.37) - static_cast<int>(k * 0.37));
  ScriptedRandom random(draws);
  SearchOptions options =
      c.trials > 0 ? SearchOptions::Random(c.trials, c.threads) : SearchOptions::Explore(c.threads);
  options.partSize = c.partSize;
  SearchEngine engine(p.evaluator, hooks, &random, p.evaluator.Copies());
  ASSERT_EQ(ComputeInto(engine, p.problem, options).summary.end, RunEnd::Completed);
  ASSERT_FALSE(hooks.reports.empty());
  int64_t done = 0, starts = 0;
  for (const Report& r : hooks.reports) {
    EXPECT_EQ(r.total, c.total);
    EXPECT_GE(r.done, done);
    EXPECT_GE(r.starts, starts);
    EXPECT_LE(r.done, r.total);
    done = r.done;
    starts = r.starts;
  }
  EXPECT_EQ(hooks.reports.back().done, c.total);
  EXPECT_EQ(hooks.reports.back().starts, c.starts);
}

INSTANTIATE_TEST_SUITE_P(Runs, WorkReports,
                         ::testing::Values(
                             // One minimum at a grid point of 9 x 9, and its start.
                             ProgressCase{"BowlOneThread", "x*x + y*y", 8, 0, 1, 0, 81, 1},
                             ProgressCase{"BowlThreads", "x*x + y*y", 8, 0, 3, 5, 81, 1},
                             // Four minima and a maximum of the double wells at grid points.
                             ProgressCase{"WellsThreads", "x^4/4 - x^2/2 + y^4/4 - y^2/2", 4, 0, 2,
                                          3, 25, 5},
                             // Every trial is a start; reports come every 64 trials and at the end.
                             ProgressCase{"RandomOneThread", "x*x + y*y", 4, 200, 1, 0, 200, 200},
                             ProgressCase{"RandomThreads", "x*x + y*y", 4, 130, 3, 7, 130, 130}),
                         [](const ::testing::TestParamInfo<ProgressCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace quorvant::testing
