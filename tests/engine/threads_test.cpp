// Searching with several threads gives what one thread gives: the same listing line for
// line, the same store, the same end and the same problems, whatever the number of
// threads and the size of the parts, also where a part depends on what the part before
// it left (tolerated failures, singular systems), where the store fills up, where the
// run fails, and for random starts.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/engine_test_util.h"

namespace quorvant::testing {
namespace {

struct ThreadCase {
  const char* name;
  std::vector<std::string> names;
  std::string formula;
  std::vector<std::vector<double>> boxes;  // lower, upper, subintervals per variable
  int32_t trials = 0;                      // 0: Explore
  bool info = true;
  double errorBound = 0.01;
  int32_t maxCycles = 8;
};

void PrintTo(const ThreadCase& c, std::ostream* os) {
  *os << c.name << ": " << c.formula;
}

// Everything a run leaves that anyone can see.
struct Outcome {
  RunSummary summary;
  std::vector<std::string> lines;
  std::vector<StoredPoint> maxima, minima;
  RunProblems problems;
  std::vector<std::string> messages;
  size_t met = 0;
};

Outcome Search(const ThreadCase& c, int threads, int64_t partSize) {
  PreparedProblem p(c.names, c.formula);
  for (size_t i = 0; i < c.boxes.size(); ++i)
    p.Box(static_cast<int>(i), c.boxes[i][0], c.boxes[i][1], static_cast<int32_t>(c.boxes[i][2]));
  p.problem.errorBound = c.errorBound;
  p.problem.maxCycles = c.maxCycles;
  p.evaluator.SetFunction(p.problem.varNames, p.problem.formula);
  p.hooks.info = c.info;
  // The same random starts for every run of a case.
  std::vector<double> draws;
  for (int k = 0; k < 997; ++k) draws.push_back(std::fmod(k * 0.6180339887498949, 1.0));
  ScriptedRandom random(draws);
  SearchOptions options =
      c.trials > 0 ? SearchOptions::Random(c.trials, threads) : SearchOptions::Explore(threads);
  options.partSize = partSize;
  SearchEngine engine(p.evaluator, p.hooks, &random, p.evaluator.Copies());
  Outcome out;
  const RunResult result = ComputeInto(engine, p.problem, options);
  out.summary = result.summary;
  out.lines = p.hooks.lines;
  out.maxima = p.problem.maxima;
  out.minima = p.problem.minima;
  out.problems = result.problems;
  for (const auto& m : p.sink.messages) out.messages.push_back(m);
  out.met = p.hooks.met.size();
  return out;
}

class Threads : public ::testing::TestWithParam<ThreadCase> {};

TEST_P(Threads, GiveWhatOneThreadGives) {
  const ThreadCase& c = GetParam();
  const Outcome one = Search(c, 1, 0);
  ASSERT_FALSE(one.lines.empty() && c.info) << "the case should list something";
  for (int threads : {1, 2, 3, 8}) {
    for (int64_t partSize : {int64_t{1}, int64_t{7}, int64_t{64}, int64_t{0}}) {
      SCOPED_TRACE(std::to_string(threads) + " threads, parts of " + std::to_string(partSize));
      const Outcome many = Search(c, threads, partSize);
      EXPECT_EQ(many.summary.end, one.summary.end);
      EXPECT_EQ(many.summary.errorNumber, one.summary.errorNumber);
      EXPECT_EQ(many.summary.failedAt, one.summary.failedAt);
      EXPECT_EQ(many.lines, one.lines);
      EXPECT_EQ(many.maxima, one.maxima);
      EXPECT_EQ(many.minima, one.minima);
      EXPECT_EQ(many.problems.convProblems, one.problems.convProblems);
      EXPECT_EQ(many.problems.inconsistence, one.problems.inconsistence);
      EXPECT_EQ(many.problems.linDependence, one.problems.linDependence);
      EXPECT_EQ(many.problems.problemBits, one.problems.problemBits);
      EXPECT_EQ(many.messages, one.messages);
      EXPECT_EQ(many.met, one.met);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Threads,
    ::testing::Values(
        ThreadCase{"Himmelblau",
                   {"x", "y"},
                   "(x*x+y-11)^2+(x+y*y-7)^2",
                   {{-5, 5, 30}, {-5, 5, 30}},
                   0,
                   true,
                   0.0001,
                   20},
        // Log fails over half the box: neighbour values stay at what an earlier point
        // (maybe in the part before) left.
        ThreadCase{"ToleratedFailures",
                   {"x", "y"},
                   "Log(x) + (y-1)^2 + Sin(3*x)",
                   {{-2, 4, 23}, {-2, 3, 17}}},
        // Singular systems read steps an earlier start left.
        ThreadCase{"SingularRandom", {"x", "y"}, "x^2", {{-3, 3, 4}, {-3, 3, 4}}, 150},
        ThreadCase{"InconsistentRandom", {"x", "y"}, "x^2 + y", {{-3, 3, 4}, {-3, 3, 4}}, 120},
        ThreadCase{"SaddlesAndDuplicates", {"x", "y"}, "Sin(x)*Sin(y)", {{-7, 7, 29}, {-7, 7, 31}}},
        // 120 minima in the box, room for 100: the run ends where one thread ends it.
        ThreadCase{"StoreFull", {"x"}, "Cos(x)", {{1, 240 * 3.14159265358979, 960}}, 0, false},
        // A type mismatch where x > 2 and y > 2 ends the run, with one message.
        ThreadCase{"Failure",
                   {"x", "y"},
                   "(x-1)^2+(y+1)^2+0*CDbl(Hex(-10*(x>2 And y>2)))",
                   {{-3, 3, 12}, {-3, 3, 12}}},
        ThreadCase{"ThreeVariables",
                   {"x", "y", "z"},
                   "x^4-3*x^2+y^4-2*y^2+z^2+x*y",
                   {{-2, 2, 9}, {-2, 2, 8}, {-1, 1, 4}}},
        // Ten additions of 0.1 fall short of 1: one more value beyond the upper limit.
        ThreadCase{"ExtraValue", {"x", "y"}, "Cos(7*x)*Cos(5*y)", {{0, 1, 10}, {0, 1, 10}}},
        ThreadCase{"RandomHimmelblau",
                   {"x", "y"},
                   "(x*x+y-11)^2+(x+y*y-7)^2",
                   {{-5, 5, 4}, {-5, 5, 4}},
                   90}),
    [](const ::testing::TestParamInfo<ThreadCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvant::testing
