// Whole runs: random trials, the error policy, Stop, and runs that do not depend on
// earlier runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "engine/engine_test_util.h"

namespace quorvant::testing {
namespace {

TEST(RandomRun, TrialHeadersEvenWhenNothingIsFound) {
  Problem p({"x", "y"}, "x*y");  // converges on a saddle, which is not listed
  ASSERT_EQ(p.Random(3).end, RunEnd::Completed);
  EXPECT_EQ(p.hooks.lines, (std::vector<std::string>{"", "TRIAL1:", "", "TRIAL2:", "", "TRIAL3:"}));
  EXPECT_EQ(p.dim.randomTrials, 0);
  EXPECT_FALSE(p.dim.randomMode);
  EXPECT_EQ(p.hooks.yields, 3);
  p.Random(1);
  EXPECT_EQ(p.hooks.lines, (std::vector<std::string>{"", "TRIAL1:"}));
}

TEST(RandomRun, StartsLieInTheBoxAndDifferWithinOneClockTick) {
  ClockRandomSource frozen([] { return uint64_t{42}; });  // the clock never moves
  Recorder recorder(1);
  Problem p({"x"}, "Note(x) + 5");
  p.evaluator.engine().AddObject("rec", &recorder, true);
  p.Box(0, 2, 3, 4);
  p.Random(20, &frozen);
  std::set<double> starts;
  // The first evaluation of each trial's Newton iteration is at its start point.
  for (size_t k = 0; k < recorder.calls.size(); k += 7) starts.insert(recorder.calls[k][0]);
  EXPECT_EQ(starts.size(), 20u);
  for (double s : starts) {
    EXPECT_GE(s, 2);
    EXPECT_LT(s, 3);
  }
}

TEST(ErrorPolicy, ToleratedFailuresDoNotStopTheRun) {
  // Log fails for x <= 0 on a third of the grid; the minimum of x - Log(x) at 1 is
  // found from the grid point 1.5.
  Problem p({"x"}, "x - Log(x)");
  p.Box(0, -1.5, 4.5, 6);
  const RunSummary summary = p.Explore();
  EXPECT_EQ(summary.end, RunEnd::Completed);
  ASSERT_GE(p.hooks.lines.size(), 3u);
  EXPECT_EQ(p.hooks.lines[0], "MINIMUM AT:");
  EXPECT_TRUE(p.sink.messages.empty());
}

TEST(ErrorPolicy, OtherFailuresEndTheRunQuietly) {
  Problem p({"x"}, "(x-1)^2 + IIf(x, 1, 2)");
  p.hooks.info = true;
  const RunSummary summary = p.Explore();
  EXPECT_EQ(summary.end, RunEnd::Failed);
  EXPECT_EQ(summary.errorNumber, 13);
  EXPECT_TRUE(p.hooks.lines.empty());     // no problems section either
  EXPECT_EQ(p.sink.messages.size(), 1u);  // the interpreter's own message
}

TEST(Stop, EndsAtTheNextGridPointWithoutProblemsSection) {
  Problem p({"x", "y"}, "x^2 + y^2");
  p.dim.maxCycles = 1;  // every start has convergence problems
  p.hooks.info = true;
  p.hooks.stopAfterPolls = 20;
  const RunSummary summary = p.Explore();
  EXPECT_EQ(summary.end, RunEnd::Stopped);
  for (const auto& line : p.hooks.lines) EXPECT_NE(line, "PROBLEMS ENCOUNTERED:");
}

// Counts the evaluations of the function and sets the stop flag at evaluation
// `stopAt`; the hooks read the flag, as the window's Stop button sets it.
class StoppingFunction final : public PointFunction {
 public:
  StoppingFunction(PointFunction& inner, long stopAt) : inner_(inner), stopAt_(stopAt) {}
  int32_t EvaluateFunction(double& value) override {
    if (++count == stopAt_)
      stop = true;
    else if (stop)
      ++afterStop;
    return inner_.EvaluateFunction(value);
  }
  long count = 0;
  long afterStop = 0;
  bool stop = false;

 private:
  PointFunction& inner_;
  long stopAt_;
};

class FlagHooks final : public RecordingHooks {
 public:
  explicit FlagHooks(const bool& flag) : flag_(flag) {}
  bool StopRequested() override { return flag_; }

 private:
  const bool& flag_;
};

// Stop acts at the next evaluation inside a Newton iteration and inside the
// classification, not only between starting points: with ten variables one start can
// take hundreds of thousands of evaluations.
TEST(Stop, ActsWithinOneEvaluationAtAnyMomentOfAStart) {
  std::vector<std::string> names;
  std::string bowl, slope;
  for (int i = 0; i < 10; ++i) {
    names.push_back("x" + std::to_string(i));
    bowl += (i ? "+(x" : "(x") + std::to_string(i) + "-0.3)^2";
    slope += (i ? "+Exp(x" : "Exp(x") + std::to_string(i) + ")";
  }
  struct Case {
    const char* name;
    std::string formula;
    int32_t cycles;
  };
  // A bowl: Newton converges at once, then the classification takes 770 evaluations.
  // Exponentials: every Newton step is -1, up to the cap of 32767 cycles.
  for (const Case& c : {Case{"bowl", bowl, 8}, Case{"slope", slope, 32767}}) {
    SCOPED_TRACE(c.name);
    Problem p(names, c.formula);
    p.dim.maxCycles = c.cycles;
    StoppingFunction whole(p.evaluator, -1);
    {
      FlagHooks hooks(whole.stop);
      p.dim.randomTrials = 1;
      p.dim.randomMode = true;
      SearchEngine(p.dim, whole, hooks).Compute();
    }
    ASSERT_GT(whole.count, 700);
    const long last = std::min(whole.count, 20000L);
    for (long stopAt = 1; stopAt <= last; stopAt += 97) {
      StoppingFunction f(p.evaluator, stopAt);
      FlagHooks hooks(f.stop);
      p.dim.randomTrials = 1;
      p.dim.randomMode = true;
      const RunSummary summary = SearchEngine(p.dim, f, hooks).Compute();
      EXPECT_EQ(summary.end, RunEnd::Stopped) << stopAt;
      // At most the value of a point being listed when Stop came.
      EXPECT_LE(f.afterStop, 1) << "stop at evaluation " << stopAt;
    }
  }
}

TEST(Run, SameProblemSameListingRunAfterRun) {
  // At the grid point 1 the backward neighbour 0 cannot be evaluated, so the test
  // compares with the value left from before. Each run starts from the same values,
  // so the same engine lists the same every time (without the reset the second run
  // would take the point for a maximum).
  Problem p({"x"}, "Log(x) - x");
  p.Box(0, -1, 3, 4);
  p.hooks.info = true;
  SearchEngine engine(p.dim, p.evaluator, p.hooks);
  std::vector<std::vector<std::string>> listings;
  for (int k = 0; k < 3; ++k) {
    p.hooks.lines.clear();
    p.dim.maxCount = p.dim.minCount = 0;
    ASSERT_EQ(engine.Compute().end, RunEnd::Completed);
    listings.push_back(p.hooks.lines);
  }
  EXPECT_EQ(listings[1], listings[0]);
  EXPECT_EQ(listings[2], listings[0]);
  EXPECT_EQ(p.dim.maxCount, 0);
}

TEST(Run, ProblemsSectionWithAdditionalInfo) {
  Problem p({"x", "y"}, "(x-1)^2+(y+2)^2");
  p.dim.maxCycles = 1;
  p.hooks.info = true;
  p.Explore();
  EXPECT_EQ(p.hooks.lines,
            (std::vector<std::string>{"PROBLEMS ENCOUNTERED:", "-CONVERGENCE PROBLEMS."}));
  p.hooks.info = false;
  p.Explore();
  EXPECT_TRUE(p.hooks.lines.empty());
}

TEST(Run, EveryStationaryPointIsReported) {
  struct Collecting : RecordingHooks {
    void StationaryPointMet(const StationaryPoint& p) override { met.push_back(p); }
    std::vector<StationaryPoint> met;
  };
  Problem p({"x", "y"}, "x*x - y*y");
  Collecting hooks;
  p.dim.randomTrials = 3;
  p.dim.randomMode = true;
  SearchEngine engine(p.dim, p.evaluator, hooks);
  ASSERT_EQ(engine.Compute().end, RunEnd::Completed);
  ASSERT_EQ(hooks.met.size(), 3u);  // the saddle, once per start, none stored
  for (const auto& s : hooks.met) {
    EXPECT_EQ(s.kind, PointKind::Indefinite);
    EXPECT_FALSE(s.stored);
    EXPECT_NEAR(s.point[0], 0, 1e-9);
    EXPECT_EQ(s.cycles, 2);
    EXPECT_EQ(s.start.size(), 2u);
  }
  Problem q({"x"}, "(x-1)^2");
  Collecting more;
  SearchEngine explore(q.dim, q.evaluator, more);
  explore.Compute();
  ASSERT_EQ(more.met.size(), 1u);
  EXPECT_TRUE(more.met[0].stored);
  EXPECT_EQ(more.met[0].kind, PointKind::Minimum);
}

}  // namespace
}  // namespace quorvant::testing
