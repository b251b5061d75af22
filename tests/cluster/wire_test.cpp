// The messages between the ranks of a cluster run: what a part searched on another
// machine gave comes back to the bit (NaN and negative zero included), a run order
// rebuilds the problem and the evaluator exactly, and a message cut short or padded is
// refused, never read past its end.
#include "cluster/wire.h"
#if QUORVANT_CLUSTER_PROVE
#include "cluster/prove_wire.h"
#endif

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "engine/engine_test_util.h"
#include "engine/grid.h"

namespace quorvant::testing {
namespace {

using cluster::DecodePartOrder;
using cluster::DecodePartResult;
using cluster::DecodeRunOrder;
using cluster::EncodePartOrder;
using cluster::EncodePartResult;
using cluster::EncodeRunOrder;
using cluster::PartOrder;
using cluster::PartResult;
using cluster::Reader;
using cluster::RunOrder;
using cluster::WireError;
using cluster::Writer;

#if QUORVANT_CLUSTER_PROVE
// A proof's messages: to the bit both ways; a formula that could not run is refused.
TEST(ProofMessages, TravelToTheBitAndRefuseWhatCannotRun) {
  using prove::EOp;
  cluster::ProofOrder order;
  order.run = 7;
  order.program = {{{EOp::Var, 0, 0}, {EOp::Var, 1, 0}, {EOp::Mul, 0, 0}, {EOp::Sin, 0, 0}}, 2, 2};
  order.box = {{-1, -0.0}, {0.5, 2}};
  order.minWidth = 1e-9;
  order.cut = 31.0 / 64;
  order.threads = 2;
  const std::string bytes = cluster::EncodeProofOrder(order);
  EXPECT_EQ(cluster::EncodeProofOrder(cluster::DecodeProofOrder(bytes)), bytes);
  for (size_t cut = 0; cut < bytes.size(); cut += 5)
    EXPECT_THROW(cluster::DecodeProofOrder(bytes.substr(0, cut)), WireError) << cut;
  const cluster::RoundShare share{7, 3, 5, {order.box, order.box}};
  const std::string shareBytes = cluster::EncodeRoundShare(share);
  EXPECT_EQ(cluster::DecodeRoundShare(shareBytes).boxes, share.boxes);
  prove::Decision d;
  d.box = order.box;
  d.children = {order.box, order.box};
  d.proofs = {{order.box, order.box, prove::ProvenKind::Saddle, -0.0}};
  d.undecided = {{order.box, "why"}};
  d.failure = prove::Failure::LogDomain;
  const std::string resultBytes = cluster::EncodeRoundShareResult({7, 3, 5, {d, d}});
  const cluster::RoundShareResult back = cluster::DecodeRoundShareResult(resultBytes);
  EXPECT_EQ(cluster::EncodeRoundShareResult(back), resultBytes);
  EXPECT_EQ(back.decisions[1].proofs[0].kind, prove::ProvenKind::Saddle);
  EXPECT_THROW(cluster::DecodeRoundShareResult(resultBytes + '\0'), WireError);
  const struct {
    const char* what;
    std::vector<prove::EInstr> code;
    int maxStack;
  } kCannotRun[] = {
      {"an operand missing", {{EOp::Var, 0, 0}, {EOp::Add, 0, 0}}, 2},
      {"a variable beyond the formula's", {{EOp::Var, 2, 0}}, 1},
      {"two values left", {{EOp::Var, 0, 0}, {EOp::Var, 1, 0}}, 2},
      {"a stack beyond its size", {{EOp::Var, 0, 0}, {EOp::Var, 1, 0}, {EOp::Mul, 0, 0}}, 1},
      {"a number that is not finite",
       {{EOp::Const, 0, std::numeric_limits<double>::infinity()}},
       1},
  };
  for (const auto& row : kCannotRun) {
    order.program.code = row.code;
    order.program.maxStack = row.maxStack;
    EXPECT_THROW(cluster::DecodeProofOrder(cluster::EncodeProofOrder(order)), WireError)
        << row.what;
  }
}
#endif

}  // namespace
}  // namespace quorvant::testing

namespace quorvant::cluster {
// Failure output names the run and its problem, not the object's bytes.
void PrintTo(const RunOrder& o, std::ostream* os) {
  *os << "run " << o.run << " of " << o.problem.formula << " in " << o.parts << " parts";
}
}  // namespace quorvant::cluster

namespace quorvant::testing {
namespace {

uint64_t Bits(double v) {
  return std::bit_cast<uint64_t>(v);
}

void ExpectSameBits(const std::vector<double>& a, const std::vector<double>& b,
                    const std::string& what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (size_t i = 0; i < a.size(); ++i)
    EXPECT_EQ(Bits(a[i]), Bits(b[i])) << what << "[" << i << "]";
}

// Every field of two outcomes, doubles compared bit for bit.
void ExpectSame(const PartOutcome& a, const PartOutcome& b) {
  ASSERT_EQ(a.starts.size(), b.starts.size());
  for (size_t k = 0; k < a.starts.size(); ++k) {
    SCOPED_TRACE("start " + std::to_string(k));
    const StartOutcome &s = a.starts[k], &t = b.starts[k];
    EXPECT_EQ(s.index, t.index);
    ExpectSameBits(s.start, t.start, "start");
    EXPECT_EQ(s.end, t.end);
    EXPECT_EQ(s.cycles, t.cycles);
    ExpectSameBits(s.point, t.point, "point");
    EXPECT_EQ(s.classification.kind, t.classification.kind);
    ExpectSameBits(s.classification.minors.determinants, t.classification.minors.determinants,
                   "determinants");
    ExpectSameBits(s.classification.minors.minPivots, t.classification.minors.minPivots,
                   "minPivots");
    EXPECT_EQ(Bits(s.classification.minors.smallestPivot),
              Bits(t.classification.minors.smallestPivot));
    EXPECT_EQ(s.classification.minors.swapCount, t.classification.minors.swapCount);
  }
  EXPECT_EQ(a.begun, b.begun);
  EXPECT_EQ(a.dependent, b.dependent);
  EXPECT_EQ(a.aborted, b.aborted);
  EXPECT_EQ(a.abort.end, b.abort.end);
  EXPECT_EQ(a.abort.errorNumber, b.abort.errorNumber);
  EXPECT_EQ(a.abort.reason, b.abort.reason);
  ExpectSameBits(a.abort.failedAt, b.abort.failedAt, "failedAt");
  EXPECT_EQ(a.problems.convProblems, b.problems.convProblems);
  EXPECT_EQ(a.problems.inconsistence, b.problems.inconsistence);
  EXPECT_EQ(a.problems.linDependence, b.problems.linDependence);
  EXPECT_EQ(a.problems.problemBits, b.problems.problemBits);
  EXPECT_EQ(Bits(a.end.fPlus), Bits(b.end.fPlus));
  EXPECT_EQ(Bits(a.end.fMinus), Bits(b.end.fMinus));
  EXPECT_EQ(Bits(a.end.fdAcc), Bits(b.end.fdAcc));
  ExpectSameBits(a.end.step, b.end.step, "step");
  EXPECT_EQ(a.end.fPlusKnown, b.end.fPlusKnown);
  EXPECT_EQ(a.end.fMinusKnown, b.end.fMinusKnown);
  EXPECT_EQ(a.end.fdAccKnown, b.end.fdAccKnown);
  EXPECT_EQ(a.end.stepKnown, b.end.stepKnown);
}

struct WireCase {
  const char* name;
  std::vector<std::string> names;
  std::string formula;
  std::vector<std::vector<double>> boxes;  // lower, upper, subintervals
  int32_t trials = 0;                      // 0: Explore
  int64_t partSize = 17;
};

void PrintTo(const WireCase& c, std::ostream* os) {
  *os << c.name << ": " << c.formula;
}

class PartMessages : public ::testing::TestWithParam<WireCase> {};

// Every part of a run, searched ahead as a worker searches it, travels and comes back
// the same; what a part was given travels too.
TEST_P(PartMessages, TravelToTheBit) {
  const WireCase& c = GetParam();
  PreparedProblem p(c.names, c.formula);
  for (size_t i = 0; i < c.boxes.size(); ++i)
    p.Box(static_cast<int>(i), c.boxes[i][0], c.boxes[i][1], static_cast<int32_t>(c.boxes[i][2]));
  std::unique_ptr<Grid> grid;
  int64_t total = c.trials;
  if (c.trials == 0) {
    grid = std::make_unique<Grid>(p.problem);
    total = grid->points();
  }
  const auto function = p.evaluator.Copies()();
  SearchPart part(p.problem, grid.get(), *function, [] { return false; });
  bool sawStart = false, sawDependent = false, sawAbort = false;
  for (int64_t first = 0, index = 0; first < total; first += c.partSize, ++index) {
    SCOPED_TRACE("part " + std::to_string(index));
    PartOrder order;
    order.run = 7;
    order.index = index;
    order.range = {first, std::min(total, first + c.partSize)};
    for (int64_t t = order.range.first; grid == nullptr && t < order.range.last; ++t) {
      std::vector<double> x;
      for (int i = 0; i < p.problem.varCount(); ++i)
        x.push_back(p.problem.lowerLimit[i] +
                    std::fmod(t * 0.6180339887498949 + i * 0.31, 1.0) *
                        (p.problem.upperLimit[i] - p.problem.lowerLimit[i]));
      order.trials.push_back(x);
    }
    const std::string orderBytes = EncodePartOrder(order);
    const PartOrder orderBack = DecodePartOrder(orderBytes);
    EXPECT_EQ(orderBack.run, 7);
    EXPECT_EQ(orderBack.index, index);
    EXPECT_EQ(orderBack.range.first, order.range.first);
    EXPECT_EQ(orderBack.range.last, order.range.last);
    ASSERT_EQ(orderBack.trials.size(), order.trials.size());
    for (size_t t = 0; t < order.trials.size(); ++t)
      ExpectSameBits(orderBack.trials[t], order.trials[t], "trial");

    PartResult result;
    result.run = 7;
    result.index = index;
    result.seconds = 0.25;
    result.outcome = SearchAhead(part, orderBack.range, orderBack.trials);
    result.outcome.trials.clear();
    sawStart = sawStart || !result.outcome.starts.empty();
    sawDependent = sawDependent || result.outcome.dependent;
    sawAbort = sawAbort || result.outcome.aborted;
    const std::string bytes = EncodePartResult(result);
    const PartResult back = DecodePartResult(bytes);
    EXPECT_EQ(back.run, 7);
    EXPECT_EQ(back.index, index);
    EXPECT_EQ(back.seconds, 0.25);
    ExpectSame(back.outcome, result.outcome);
    EXPECT_EQ(EncodePartResult(back), bytes);
    // Cut short anywhere, or with a byte too many: refused.
    for (size_t cut : {size_t{0}, size_t{1}, bytes.size() / 3, bytes.size() / 2, bytes.size() - 1})
      EXPECT_THROW(DecodePartResult(bytes.substr(0, cut)), WireError) << cut;
    EXPECT_THROW(DecodePartResult(bytes + '\0'), WireError);
  }
  EXPECT_TRUE(sawStart) << "the case should have starting points";
  if (std::string(c.name).find("Dependent") != std::string::npos) {
    EXPECT_TRUE(sawDependent);
  }
  if (std::string(c.name) == "Failure") {
    EXPECT_TRUE(sawAbort);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, PartMessages,
    ::testing::Values(
        WireCase{"Himmelblau", {"x", "y"}, "(x*x+y-11)^2+(x+y*y-7)^2", {{-5, 5, 12}, {-5, 5, 12}}},
        // Log fails over part of the box: parts read values the part before them left.
        WireCase{"ToleratedFailuresDependent",
                 {"x", "y"},
                 "Log(x) + (y-1)^2 + Sin(3*x)",
                 {{-2, 4, 23}, {-2, 3, 17}}},
        // Singular systems and values that are not numbers in the classification.
        WireCase{"SingularDependent", {"x", "y"}, "x^2", {{-3, 3, 4}, {-3, 3, 4}}, 40, 7},
        WireCase{"Saddles", {"x", "y"}, "Sin(x)*Sin(y)", {{-7, 7, 15}, {-7, 7, 13}}},
        WireCase{"Failure",
                 {"x", "y"},
                 "(x-1)^2+(y+1)^2+0*CDbl(Hex(-10*(x>2 And y>2)))",
                 {{-3, 3, 12}, {-3, 3, 12}}},
        WireCase{"SixVariables",
                 {"a", "b", "c", "d", "e", "f"},
                 "a^4/4-a^2/2+b^2+c^2+d^2+e^2+f^2",
                 {{-2, 2, 4}, {-2, 2, 2}, {-1, 1, 2}, {-1, 1, 2}, {-1, 1, 2}, {-1, 1, 2}},
                 0,
                 31},
        WireCase{"RandomHimmelblau",
                 {"x", "y"},
                 "(x*x+y-11)^2+(x+y*y-7)^2",
                 {{-5, 5, 4}, {-5, 5, 4}},
                 30,
                 4}),
    [](const ::testing::TestParamInfo<WireCase>& info) { return std::string(info.param.name); });

TEST(RunOrders, RebuildTheProblemAndTheEvaluator) {
  RunOrder order;
  order.run = 12;
  order.problem.varNames = {"x", "long name with blanks", "\xC3\xA9t\xC3\xA9"};
  order.problem.formula = "x + Len(\"a,b\") * 0 + e";
  order.problem.constants = {"k=2.5", "w=k*pi"};
  order.problem.errorBound = 1e-300;
  order.problem.maxCycles = 32767;
  order.problem.lowerLimit = {-0.0, -1e308, std::numeric_limits<double>::denorm_min()};
  order.problem.upperLimit = {1.0 / 3, 1e308, 1};
  order.problem.subintervals = {1, 2147483647, 9};
  order.options = SearchOptions::Random(2147483647, 1024);
  order.options.partSize = int64_t{1} << 40;
  order.recipe.statements = {"k=2.5", "w=k*pi", "k=0"};
  order.recipe.names = order.problem.varNames;
  order.recipe.formula = order.problem.formula;
  order.recipe.fastPath = false;
  order.recipe.compiledCode = false;
  order.total = INT64_MAX;
  order.partSize = 4096;
  order.parts = 123456789;
  const std::string bytes = EncodeRunOrder(order);
  const RunOrder back = DecodeRunOrder(bytes);
  EXPECT_EQ(back, order);
  EXPECT_EQ(Bits(back.problem.lowerLimit[0]), Bits(-0.0));
  EXPECT_EQ(EncodeRunOrder(back), bytes);
  for (size_t cut = 0; cut < bytes.size(); cut += 7)
    EXPECT_THROW(DecodeRunOrder(bytes.substr(0, cut)), WireError) << cut;
}

struct BadValueCase {
  const char* name;
  std::string bytes;
  std::function<void(Reader&)> read;
};

void PrintTo(const BadValueCase& c, std::ostream* os) {
  *os << c.name;
}

class BadValues : public ::testing::TestWithParam<BadValueCase> {};

TEST_P(BadValues, AreRefused) {
  Reader r(GetParam().bytes);
  EXPECT_THROW(GetParam().read(r), WireError);
}

std::string Encoded(const std::function<void(Writer&)>& write) {
  Writer w;
  write(w);
  return w.Take();
}

INSTANTIATE_TEST_SUITE_P(
    Readers, BadValues,
    ::testing::Values(
        BadValueCase{"FlagTwo", std::string(1, '\2'), [](Reader& r) { r.Bool(); }},
        BadValueCase{"Int32TooLarge", Encoded([](Writer& w) { w.I64(int64_t{1} << 31); }),
                     [](Reader& r) { r.I32(); }},
        BadValueCase{"TextLongerThanTheMessage", Encoded([](Writer& w) { w.U64(1000); }),
                     [](Reader& r) { r.Text(); }},
        BadValueCase{"CountOfDoublesBeyondTheMessage", Encoded([](Writer& w) {
                       w.U64(uint64_t{1} << 61);
                       w.F64(1);
                     }),
                     [](Reader& r) { r.Doubles(); }},
        BadValueCase{"EmptyNumber", std::string(), [](Reader& r) { r.U64(); }},
        BadValueCase{"LeftOver", std::string(3, '\0'), [](Reader& r) { r.ExpectEnd(); }}),
    [](const ::testing::TestParamInfo<BadValueCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
}  // namespace quorvant::testing
