// Whole runs: random trials, the error policy, Stop, and runs that do not depend on
// earlier runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <stdexcept>

#include "engine/engine_test_util.h"
#include "model/script/script_error.h"

namespace quorvant::testing {
namespace {

TEST(RandomRun, TrialHeadersEvenWhenNothingIsFound) {
  PreparedProblem p({"x", "y"}, "x*y");  // converges on a saddle, which is not listed
  ASSERT_EQ(p.Random(3).end, RunEnd::Completed);
  EXPECT_EQ(p.hooks.lines, (std::vector<std::string>{"", "TRIAL1:", "", "TRIAL2:", "", "TRIAL3:"}));
  EXPECT_EQ(p.hooks.yields, 3);
  // Trials are counted from 1 in every run.
  p.Random(1);
  EXPECT_EQ(p.hooks.lines, (std::vector<std::string>{"", "TRIAL1:"}));
}

TEST(RandomRun, StartsLieInTheBoxAndDifferWithinOneClockTick) {
  ClockRandomSource frozen([] { return uint64_t{42}; });  // the clock never moves
  Recorder recorder(1);
  PreparedProblem p({"x"}, "Note(x) + 5");
  p.AddObject("rec", &recorder);
  p.Box(0, 2, 3, 4);
  p.Random(20, &frozen);
  std::set<double> starts;
  // The first evaluation of each trial's Newton iteration is at its start point; the
  // constant function's system is singular, so each iteration makes 7 evaluations.
  ASSERT_EQ(recorder.calls.size(), 20u * 7);
  for (size_t k = 0; k < recorder.calls.size(); k += 7) starts.insert(recorder.calls[k][0]);
  EXPECT_EQ(starts.size(), 20u);
  for (double s : starts) {
    EXPECT_GE(s, 2);
    EXPECT_LT(s, 3);
  }
}

// Each coordinate of a start is lower + r (upper - lower), the source re-seeded before
// every draw.
TEST(RandomRun, StartsComeFromTheSourceCoordinateByCoordinate) {
  ScriptedRandom source({0.5, 0.25, 0, 0.75});
  PreparedProblem p({"x", "y"}, "(x-1)^2 + (y+2)^2");
  p.Box(0, -4, 4, 4);
  p.Box(1, 10, 12, 4);
  ASSERT_EQ(p.Random(2, &source).end, RunEnd::Completed);
  EXPECT_EQ(source.reseeds, 4);
  ASSERT_EQ(p.hooks.met.size(), 2u);
  EXPECT_EQ(p.hooks.met[0].start, (std::vector<double>{0, 10.5}));
  EXPECT_EQ(p.hooks.met[1].start, (std::vector<double>{-4, 11.5}));
  EXPECT_EQ(p.problem.minCount(), 1) << "the same minimum from both starts";
}

TEST(ErrorPolicy, ToleratedFailuresDoNotStopTheRun) {
  // Log fails for x <= 0 on a third of the grid; the minimum of x - Log(x) at 1 is
  // found from the grid point 1.5.
  PreparedProblem p({"x"}, "x - Log(x)");
  p.Box(0, -1.5, 4.5, 6);
  const RunSummary summary = p.Explore();
  EXPECT_EQ(summary.end, RunEnd::Completed);
  ASSERT_GE(p.hooks.lines.size(), 3u);
  EXPECT_EQ(p.hooks.lines[0], "MINIMUM AT:");
  EXPECT_TRUE(p.sink.messages.empty());
}

// Each numeric fault over part of the grid is tolerated: the run completes, finds the
// minimum of (x - 1)^2 + (y + 2)^2 elsewhere, and no message is shown.
struct FaultCase {
  const char* name;
  const char* term;  // added to the bowl: 0 where it can be evaluated
  int32_t fault;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << c.name << ": " << c.term;
}

class ToleratedFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ToleratedFault, ExploreCompletesWithoutAMessage) {
  const FaultCase& c = GetParam();
  // Check(x) fails with "already reported" for x below -2.
  FailingBelow failing(script::kAlreadyReported, -2);
  PreparedProblem p({"x", "y"}, std::string("(x-1)^2 + (y+2)^2 + ") + c.term);
  p.AddObject("fail", &failing);
  FailureCounter counted(p.evaluator);
  SearchEngine engine(counted, p.hooks);
  const RunSummary summary = ComputeInto(engine, p.problem, SearchOptions::Explore()).summary;
  EXPECT_EQ(summary.end, RunEnd::Completed);
  EXPECT_EQ(summary.errorNumber, 0);
  EXPECT_TRUE(p.sink.messages.empty());
  // The fault happened, at grid points and their neighbours only (x <= -5), and nothing
  // else failed.
  EXPECT_GT(counted.Count(c.fault), 0);
  EXPECT_EQ(counted.Count(c.fault), static_cast<int32_t>(counted.failures.size()));
  EXPECT_EQ(p.hooks.lines, (std::vector<std::string>{"MINIMUM AT:", "x=1", "y=-2", "FUNCTION=0"}));
  EXPECT_EQ(p.problem.minima.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ToleratedFault,
    ::testing::Values(
        // Exp(-100 x) overflows for x below about -7.1.
        FaultCase{"Overflow", "0 * Exp(-100 * x)", script::kOverflow},
        // Int((x + 10) / 8) is 0 from -10 to -2.
        FaultCase{"DivisionByZero", "0 * (1 / Int((x + 10) / 8))", script::kDivisionByZero},
        FaultCase{"AlreadyReported", "Check(x)", script::kAlreadyReported},
        FaultCase{"InvalidArgument", "0 * Sqr(x + 2)", script::kInvalidCall}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST(ErrorPolicy, NumericFaultsAreTheTolerated) {
  for (int32_t e : {5, 6, 11, -2147352319}) EXPECT_TRUE(script::IsNumericFault(e)) << e;
  for (int32_t e : {0, 1, 7, 9, 10, 12, 13, 28, 94, 424, 438, 1002, 1023, -2147352318})
    EXPECT_FALSE(script::IsNumericFault(e)) << e;
}

// The run's own arithmetic: a result that is not finite is kept, and recorded as an
// overflow, or as a division by zero for a number other than 0 divided by 0.
struct ArithmeticCase {
  const char* name;
  double numerator, denominator;
  int32_t ierr;
};

TEST(ErrorPolicy, CheckedArithmeticRecordsWhatWentWrong) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const ArithmeticCase cases[] = {
      {"finite", 1, 4, 0},
      {"one by zero", 1, 0, 11},
      {"minus one by zero", -1, 0, 11},
      {"one by minus zero", 1, -0.0, 11},
      {"zero by zero", 0, 0, 6},
      {"not a number by zero", nan, 0, 6},
      {"quotient too large", 1e308, 1e-10, 6},
      {"infinity by two", inf, 2, 6},
      {"infinity by zero", inf, 0, 11},
      {"not a number by one", nan, 1, 6},
  };
  for (const ArithmeticCase& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingHooks hooks;
    NativeFunction f([](std::span<const double>) { return 0.0; });
    RunContext run(f, [&] { return hooks.StopRequested(); });
    const double q = run.CheckedQuotient(c.numerator, c.denominator);
    const double expected = c.numerator / c.denominator;
    EXPECT_TRUE(q == expected || (std::isnan(q) && std::isnan(expected)));
    EXPECT_EQ(run.ierr, c.ierr);
  }
  RecordingHooks hooks;
  NativeFunction f([](std::span<const double>) { return 0.0; });
  RunContext run(f, [&] { return hooks.StopRequested(); });
  EXPECT_EQ(run.Checked(1e308 + 1e308), inf);
  EXPECT_EQ(run.ierr, 6);
  run.ierr = 0;
  EXPECT_EQ(run.Checked(-3.5), -3.5);
  EXPECT_EQ(run.ierr, 0) << "a finite result leaves the number as it was";
}

// One evaluation under the run's policy: a numeric fault is recorded and leaves the
// target alone; any other failure ends the run at that point.
TEST(ErrorPolicy, EvaluateToleratesOnlyNumericFaults) {
  PreparedProblem p({"x"}, "Sqr(x) + 0 * CDbl(Hex(-10 * (x > 100)))");
  RunContext run(p.evaluator, [&] { return p.hooks.StopRequested(); });
  double value = 42;
  EXPECT_TRUE(run.Evaluate(std::vector<double>{4}, value));
  EXPECT_EQ(value, 2);
  EXPECT_FALSE(run.Evaluate(std::vector<double>{-4}, value));
  EXPECT_EQ(value, 2);
  EXPECT_EQ(run.ierr, 5);
  EXPECT_TRUE(run.Evaluate(std::vector<double>{9}, value));
  EXPECT_EQ(run.ierr, 5) << "a success does not clear the number";
  try {
    run.Evaluate(std::vector<double>{121}, value);
    ADD_FAILURE() << "the run was not aborted";
  } catch (const RunAborted& aborted) {
    EXPECT_EQ(aborted.summary.end, RunEnd::Failed);
    EXPECT_EQ(aborted.summary.errorNumber, 13);
    EXPECT_EQ(aborted.summary.failedAt, std::vector<double>{121});
  }
  EXPECT_EQ(value, 3);
}

// Stop is asked before an evaluation only while polling is on.
TEST(Stop, PolledAtEvaluationsOnlyWhilePollingIsOn) {
  PreparedProblem p({"x"}, "x");
  p.hooks.stopAfterPolls = 0;  // every poll asks to stop
  RunContext run(p.evaluator, [&] { return p.hooks.StopRequested(); });
  double value;
  EXPECT_TRUE(run.Evaluate(std::vector<double>{1}, value));
  EXPECT_EQ(p.hooks.polls, 0);
  {
    const RunContext::PollStopWhile polling(run);
    try {
      run.Evaluate(std::vector<double>{2}, value);
      ADD_FAILURE() << "Stop was not honoured";
    } catch (const RunAborted& aborted) {
      EXPECT_EQ(aborted.summary.end, RunEnd::Stopped);
    }
    EXPECT_EQ(value, 1) << "stopped before the evaluation";
  }
  EXPECT_TRUE(run.Evaluate(std::vector<double>{3}, value));
  EXPECT_EQ(p.hooks.polls, 1);
}

TEST(ErrorPolicy, OtherFailuresEndTheRunQuietly) {
  PreparedProblem p({"x"}, "(x-1)^2 + IIf(x, 1, 2)");
  p.hooks.info = true;
  const RunSummary summary = p.Explore();
  EXPECT_EQ(summary.end, RunEnd::Failed);
  EXPECT_EQ(summary.errorNumber, 13);
  // The first evaluation: the upper neighbour of the first grid point.
  EXPECT_EQ(summary.failedAt, std::vector<double>{-5});
  EXPECT_TRUE(p.hooks.lines.empty());     // no problems section either
  EXPECT_EQ(p.sink.messages.size(), 1u);  // the interpreter's own message
}

// An evaluator that throws (as one that runs out of memory does) ends the run with its
// message, on the run's own thread and on the search threads alike; nothing escapes.
TEST(ErrorPolicy, AnExceptionEndsTheRunNotTheProcess) {
  class Throwing final : public PointFunction {
   public:
    explicit Throwing(PointFunction& inner) : inner_(inner) {}
    explicit Throwing(std::unique_ptr<PointFunction> own) : own_(std::move(own)), inner_(*own_) {}
    int32_t EvaluateFunction(std::span<const double> x, double& value) override {
      if (x[0] > 1.5) throw std::runtime_error("the evaluator broke");
      return inner_.EvaluateFunction(x, value);
    }

   private:
    std::unique_ptr<PointFunction> own_;
    PointFunction& inner_;
  };
  for (const int threads : {1, 3}) {
    SCOPED_TRACE(threads);
    PreparedProblem p({"x", "y"}, "(x-1)^2 + (y+2)^2");
    Throwing own(p.evaluator);
    SearchEngine engine(own, p.hooks, nullptr, [copies = p.evaluator.Copies()] {
      return std::make_unique<Throwing>(copies());
    });
    SearchOptions options = SearchOptions::Explore(threads);
    options.partSize = 7;
    const RunResult result = ComputeInto(engine, p.problem, options);
    EXPECT_EQ(result.summary.end, RunEnd::Internal);
    EXPECT_EQ(RunFailureMessage(result.summary, p.problem.varNames),
              "The search ended on a failure of its own: the evaluator broke. The listing "
              "holds what was found before.");
  }
}

TEST(ErrorPolicy, FailureMessageNamesThePointAndTheCause) {
  const std::vector<std::string> names = {"x", "y\x1b"};
  EXPECT_EQ(RunFailureMessage({RunEnd::Failed, 94, {}, {1.5, -2}}, names),
            "The search ended at x=1.5, y\\x1B=-2: the function's value is Null, not a number "
            "(error 94, Invalid use of Null). The listing holds what was found before.");
  EXPECT_EQ(RunFailureMessage({RunEnd::Failed, 13, {}, {}}, names),
            "The search ended at the first point: the function's value is not a number (a text, "
            "or an operation on one) (error 13, Type mismatch). The listing holds what was "
            "found before.");
  EXPECT_NE(RunFailureMessage({RunEnd::Failed, 424, {}, {0, 0}}, names)
                .find(": the function cannot be evaluated (error 424, Object required)."),
            std::string::npos);
}

TEST(Stop, EndsAtTheNextGridPointWithoutProblemsSection) {
  PreparedProblem p({"x", "y"}, "x^2 + y^2");
  p.problem.maxCycles = 1;  // every start has convergence problems
  p.hooks.info = true;
  p.hooks.stopAfterPolls = 20;
  const RunSummary summary = p.Explore();
  EXPECT_EQ(summary.end, RunEnd::Stopped);
  for (const auto& line : p.hooks.lines) EXPECT_NE(line, "PROBLEMS ENCOUNTERED:");
}

TEST(Stop, RequestedBeforeTheRunSearchesNothing) {
  PreparedProblem p({"x"}, "x^2");
  p.hooks.stopAfterPolls = 0;
  NativeFunction never([](std::span<const double>) { return 0.0; });
  SearchEngine engine(never, p.hooks);
  EXPECT_EQ(ComputeInto(engine, p.problem, SearchOptions::Random(5)).summary.end, RunEnd::Stopped);
  EXPECT_TRUE(never.points.empty());
  EXPECT_TRUE(p.hooks.lines.empty());
}

// Counts the evaluations of the function and sets the stop flag at evaluation
// `stopAt`; the hooks read the flag, as the window's Stop button sets it.
class StoppingFunction final : public PointFunction {
 public:
  StoppingFunction(PointFunction& inner, long stopAt) : inner_(inner), stopAt_(stopAt) {}
  int32_t EvaluateFunction(std::span<const double> x, double& value) override {
    if (++count == stopAt_)
      stop = true;
    else if (stop)
      ++afterStop;
    return inner_.EvaluateFunction(x, value);
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
    PreparedProblem p(names, c.formula);
    p.problem.maxCycles = c.cycles;
    StoppingFunction whole(p.evaluator, -1);
    {
      FlagHooks hooks(whole.stop);
      [&] {
        SearchEngine engine(whole, hooks);
        ComputeInto(engine, p.problem, SearchOptions::Random(1));
      }();
    }
    ASSERT_GT(whole.count, 700);
    const long last = std::min(whole.count, 20000L);
    for (long stopAt = 1; stopAt <= last; stopAt += 97) {
      StoppingFunction f(p.evaluator, stopAt);
      FlagHooks hooks(f.stop);
      const RunSummary summary = [&] {
        SearchEngine engine(f, hooks);
        return ComputeInto(engine, p.problem, SearchOptions::Random(1)).summary;
      }();
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
  PreparedProblem p({"x"}, "Log(x) - x");
  p.Box(0, -1, 3, 4);
  p.hooks.info = true;
  SearchEngine engine(p.evaluator, p.hooks);
  std::vector<std::vector<std::string>> listings;
  for (int k = 0; k < 3; ++k) {
    p.hooks.lines.clear();
    ASSERT_EQ(ComputeInto(engine, p.problem, SearchOptions::Explore()).summary.end,
              RunEnd::Completed);
    listings.push_back(p.hooks.lines);
  }
  EXPECT_EQ(listings[1], listings[0]);
  EXPECT_EQ(listings[2], listings[0]);
  EXPECT_EQ(p.problem.maxCount(), 0);
}

// A run replaces what the problem held: its extrema are emptied first, even when the
// run is refused, and the run's own are stored.
TEST(Run, StoredExtremaAreThoseOfTheLastRun) {
  PreparedProblem p({"x"}, "(x-1)^2");
  p.problem.maxima = {{7, 0.5}, {8, 0.5}};
  p.problem.minima = {{-7, 0.5}};
  ASSERT_EQ(p.Explore().end, RunEnd::Completed);
  EXPECT_TRUE(p.problem.maxima.empty());
  ASSERT_EQ(p.problem.minima.size(), 1u);
  EXPECT_NEAR(p.problem.minima[0][0], 1, 1e-9);
  p.problem.subintervals[0] = 0;
  EXPECT_EQ(p.Explore().end, RunEnd::Refused);
  EXPECT_TRUE(p.problem.minima.empty());
}

TEST(Run, RefusedRunSaysWhyAndListsNothing) {
  PreparedProblem p({"x"}, "x^2");
  const RunSummary summary = p.Random(0);
  EXPECT_EQ(summary.end, RunEnd::Refused);
  EXPECT_EQ(summary.reason, SearchOptions::Random(0).Validate(p.problem));
  EXPECT_FALSE(summary.reason.empty());
  EXPECT_TRUE(p.hooks.lines.empty());
}

TEST(Run, ProblemsSectionWithAdditionalInfo) {
  PreparedProblem p({"x", "y"}, "(x-1)^2+(y+2)^2");
  p.problem.maxCycles = 1;
  p.hooks.info = true;
  p.Explore();
  EXPECT_EQ(p.hooks.lines,
            (std::vector<std::string>{"PROBLEMS ENCOUNTERED:", "-CONVERGENCE PROBLEMS."}));
  p.hooks.info = false;
  p.Explore();
  EXPECT_TRUE(p.hooks.lines.empty());
}

// A run resumed from any of its checkpoints goes on exactly as the whole run went: the
// same later checkpoints (working values, store, problems), the same lines after it.
TEST(Run, ResumedFromACheckpointGoesOnAsTheWholeRun) {
  class Checkpoints final : public RecordingHooks {
   public:
    bool CheckpointDue() override { return true; }
    void Checkpoint(const RunCheckpoint& c) override {
      taken.push_back(c);
      linesAt.push_back(lines.size());
    }
    std::vector<RunCheckpoint> taken;
    std::vector<size_t> linesAt;
  };
  PreparedProblem p({"x", "y"}, "Log(x) + (y-1)^2 + Sin(3*x)");
  p.Box(0, -2, 4, 23);
  p.Box(1, -2, 3, 17);
  SearchOptions options = SearchOptions::Explore(1);
  options.partSize = 5;
  Checkpoints whole;
  whole.info = true;
  SearchEngine engine(p.evaluator, whole);
  ASSERT_EQ(engine.Compute({std::make_shared<const Problem>(p.problem), options}).summary.end,
            RunEnd::Completed);
  ASSERT_GT(whole.taken.size(), 20u);
  for (size_t k = 0; k + 1 < whole.taken.size(); k += 3) {
    SCOPED_TRACE(k);
    Checkpoints resumed;
    resumed.info = true;
    SearchEngine again(p.evaluator, resumed);
    again.Compute({std::make_shared<const Problem>(p.problem), options,
                   std::make_shared<const RunCheckpoint>(whole.taken[k])});
    EXPECT_TRUE(std::equal(resumed.taken.begin(), resumed.taken.end(), whole.taken.begin() + k + 1,
                           whole.taken.end()));
    EXPECT_TRUE(std::equal(resumed.lines.begin(), resumed.lines.end(),
                           whole.lines.begin() + static_cast<ptrdiff_t>(whole.linesAt[k]),
                           whole.lines.end()));
    EXPECT_EQ(resumed.lines.size() + whole.linesAt[k], whole.lines.size());
  }
}

TEST(Run, ProblemsOfARunComeWithItsResult) {
  PreparedProblem p({"x", "y"}, "(x-1)^2+(y+2)^2");
  p.problem.maxCycles = 1;
  SearchEngine engine(p.evaluator, p.hooks);
  EXPECT_TRUE(ComputeInto(engine, p.problem, SearchOptions::Explore()).problems.convProblems);
  p.problem.maxCycles = 8;
  EXPECT_FALSE(ComputeInto(engine, p.problem, SearchOptions::Explore()).problems.Any());
}

TEST(Run, EveryStationaryPointIsReported) {
  PreparedProblem p({"x", "y"}, "x*x - y*y");
  ASSERT_EQ(p.Random(3).end, RunEnd::Completed);
  ASSERT_EQ(p.hooks.met.size(), 3u);  // the saddle, once per start, none stored
  for (const auto& s : p.hooks.met) {
    EXPECT_EQ(s.kind, PointKind::Indefinite);
    EXPECT_FALSE(s.stored);
    EXPECT_NEAR(s.point[0], 0, 1e-9);
    EXPECT_EQ(s.cycles, 2);
    EXPECT_EQ(s.start.size(), 2u);
  }
  PreparedProblem q({"x"}, "(x-1)^2");
  ASSERT_EQ(q.Explore().end, RunEnd::Completed);
  ASSERT_EQ(q.hooks.met.size(), 1u);
  EXPECT_TRUE(q.hooks.met[0].stored);
  EXPECT_EQ(q.hooks.met[0].kind, PointKind::Minimum);
}

}  // namespace
}  // namespace quorvant::testing
