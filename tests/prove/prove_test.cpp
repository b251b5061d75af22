// Prove against known counts of stationary points (from the literature and from exact
// algebra), the formulas it refuses, and the soundness of its enclosures against Arb
// at 320 bits.
#include <gtest/gtest.h>

#include <random>

#include "model/script_test_util.h"
#include "prove/enclosure.h"
#include "prove/enclosure_check.h"
#include "prove/prover.h"

namespace quorvant::testing {
namespace {

using prove::Box;
using prove::ProvenKind;

struct Proof {
  std::string refusal;
  prove::ProveResult result;
};

Proof ProveFormula(const std::vector<std::string>& names, const std::string& formula,
                   const Box& box, prove::ProveOptions options = {},
                   const std::vector<std::string>& constants = {}) {
  PreparedEngine p;
  p.evaluator.RegisterConstants(constants);
  p.evaluator.SetFunction(names, formula);
  const prove::CompiledEnclosure compiled = prove::CompileEnclosure(p.evaluator, names, formula);
  Proof proof{compiled.refusal, {}};
  if (compiled.program) {
    proof.result = prove::Prove(compiled.program, box, options);
  }
  return proof;
}

struct Known {
  const char* what;
  std::vector<std::string> names;
  std::string formula;
  Box box;
  int minima, maxima, saddles;
  bool complete;
  std::vector<std::vector<double>> points;  // stationary points known exactly
  std::string undecidedReason;              // part of some undecided sub-box's reason
  bool plainBisection = false;              // cut at the middle, no narrowing
};

void PrintTo(const Known& k, std::ostream* os) {
  *os << k.what;
}

const std::string kRastrigin = "20+x^2-10*Cos(6.28318530717959*x)+y^2-10*Cos(6.28318530717959*y)";

class KnownCounts : public ::testing::TestWithParam<Known> {};

TEST_P(KnownCounts, ProvesTheKnownStationaryPoints) {
  const Known& k = GetParam();
  prove::ProveOptions options;
  if (k.plainBisection) {
    options.narrow = false;
    options.cut = 0.5;
  }
  const Proof proof = ProveFormula(k.names, k.formula, k.box, options);
  ASSERT_EQ(proof.refusal, "");
  int counts[4] = {0, 0, 0, 0};
  bool boundary = false;
  for (const prove::ProvenPoint& p : proof.result.points) {
    boundary = boundary || p.onBoundary;
    if (!p.onBoundary) ++counts[static_cast<int>(p.kind)];
    EXPECT_LT(p.Radius(), 1e-9) << k.what << ": an enclosure was not narrowed";
  }
  EXPECT_EQ(counts[static_cast<int>(ProvenKind::Minimum)], k.minima);
  EXPECT_EQ(counts[static_cast<int>(ProvenKind::Maximum)], k.maxima);
  EXPECT_EQ(counts[static_cast<int>(ProvenKind::Saddle)], k.saddles);
  EXPECT_EQ(counts[static_cast<int>(ProvenKind::Undecided)], 0);
  EXPECT_EQ(proof.result.Complete() && !boundary, k.complete);
  for (const std::vector<double>& x : k.points) {
    bool found = false;
    for (const prove::ProvenPoint& p : proof.result.points) {
      bool inside = true;
      for (size_t i = 0; i < x.size(); ++i) inside = inside && p.enclosure[i].Contains(x[i]);
      found = found || inside;
    }
    EXPECT_TRUE(found) << k.what << ": no enclosure holds the point at " << x[0];
  }
  if (!k.undecidedReason.empty()) {
    bool found = false;
    for (const prove::UndecidedBox& u : proof.result.undecided)
      found = found || u.reason.find(k.undecidedReason) != std::string::npos;
    EXPECT_TRUE(found) << k.what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Prove, KnownCounts,
    ::testing::Values(
        Known{"Himmelblau",
              {"x", "y"},
              "(x*x+y-11)*(x*x+y-11)+(x+y*y-7)*(x+y*y-7)",
              {{-5, 5}, {-5, 5}},
              4,
              1,
              4,
              true,
              {{3, 2}},
              ""},
        // Hessian [[2, 1], [1, 4]]: positive definite, one minimum.
        Known{"quadratic",
              {"x", "y"},
              "(x-1)^2+2*(y+0.5)^2+x*y",
              {{-10, 10}, {-10, 10}},
              1,
              0,
              0,
              true,
              {},
              ""},
        // The derivative is (x-1)(x-2)(x-3).
        Known{"quartic",
              {"x"},
              "x^4/4-2*x^3+5.5*x^2-6*x",
              {{0, 4}},
              2,
              1,
              0,
              true,
              {{1}, {2}, {3}},
              ""},
        Known{"Rastrigin",
              {"x", "y"},
              kRastrigin,
              {{-5.12, 5.12}, {-5.12, 5.12}},
              121,
              100,
              220,
              true,
              {{0, 0}},
              ""},
        // Plain bisection cuts exactly through every stationary point (+-1, +-1).
        Known{"on a cut",
              {"x", "y"},
              "x^3-3*x+y^3-3*y",
              {{-3, 5}, {-3, 5}},
              1,
              1,
              2,
              true,
              {{1, 1}, {-1, -1}, {1, -1}, {-1, 1}},
              "",
              true},
        // The stationary points +-1 are the ends of the box.
        Known{"on the boundary", {"x"}, "x^3-3*x", {{-1, 1}}, 0, 0, 0, false, {{1}, {-1}}, ""},
        // A degenerate minimum: left undecided, never classified wrongly.
        Known{"degenerate",
              {"x", "y"},
              "x^4+y^4",
              {{-1, 1}, {-1, 1}},
              0,
              0,
              0,
              false,
              {},
              "minimum width"},
        Known{"fails on half",
              {"x"},
              "x*Log(x)",
              {{-1, 1}},
              1,
              0,
              0,
              false,
              {{0.36787944117144233}},
              "Log of a range reaching 0 or below (the formula fails on all of it)"},
        // Undecided along x=0 (Log of a range reaching 0): the minimum is proven anyway.
        Known{"fails along a line",
              {"x", "y"},
              "x*Log(x)+y^2",
              {{-1, 1}, {-1, 1}},
              1,
              0,
              0,
              false,
              {{0.36787944117144233, 0}},
              "Log of a range reaching 0 or below"},
        Known{"constants",
              {"x"},
              "Sin(x+halfpi-halfpi)+Exp(x/pi)/e",
              {{-1, 4}},
              0,
              1,
              0,
              true,
              {},
              ""}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

TEST(Prove, ListsTheSameWithAnyNumberOfThreads) {
  // Whole proofs, and proofs a count budget ends: the same points and undecided
  // sub-boxes on any number of threads.
  const struct {
    std::string formula;
    int64_t maxBoxes, maxUndecided;
  } kRows[] = {
      {kRastrigin, 20'000'000, 1000},
      {kRastrigin, 777, 1000},
      {"(x-y)^2", 20'000'000, 40},
      {"x*Log(x)+y^2", 20'000'000, 1000},
  };
  for (const auto& row : kRows) {
    const Box box{{-5.12, 5.12}, {-5.12, 5.12}};
    prove::ProveOptions options;
    options.maxBoxes = row.maxBoxes;
    options.maxUndecided = row.maxUndecided;
    const Proof one = ProveFormula({"x", "y"}, row.formula, box, options);
    for (const int threads : {2, 3}) {
      options.threads = threads;
      const Proof other = ProveFormula({"x", "y"}, row.formula, box, options);
      EXPECT_EQ(one.result.boxes, other.result.boxes) << row.formula;
      ASSERT_EQ(one.result.points.size(), other.result.points.size()) << row.formula;
      for (size_t i = 0; i < one.result.points.size(); ++i) {
        EXPECT_EQ(one.result.points[i].enclosure, other.result.points[i].enclosure);
        EXPECT_EQ(one.result.points[i].kind, other.result.points[i].kind);
      }
      ASSERT_EQ(one.result.undecided.size(), other.result.undecided.size()) << row.formula;
      for (size_t i = 0; i < one.result.undecided.size(); ++i) {
        EXPECT_EQ(one.result.undecided[i].box, other.result.undecided[i].box);
        EXPECT_EQ(one.result.undecided[i].reason, other.result.undecided[i].reason);
      }
    }
  }
}

TEST(Prove, BudgetAndStopEndTheProofWithTheRestListed) {
  const Box box{{-5.12, 5.12}, {-5.12, 5.12}};
  prove::ProveOptions options;
  options.maxBoxes = 20;
  Proof proof = ProveFormula({"x", "y"}, kRastrigin, box, options);
  EXPECT_EQ(proof.result.end, prove::ProveEnd::Budget);
  ASSERT_FALSE(proof.result.undecided.empty());
  EXPECT_EQ(proof.result.undecided.back().reason,
            "the budget of 20 sub-boxes was spent before it was decided");
  // A line of stationary points: every sub-box along it stays undecided.
  options = {};
  options.maxUndecided = 50;
  proof = ProveFormula({"x", "y"}, "(x-y)^2", {{-1, 1}, {-1, 1}}, options);
  EXPECT_EQ(proof.result.end, prove::ProveEnd::Budget);
  EXPECT_GE(proof.result.undecided.size(), 50u);
  options = {};
  options.stop = [] { return true; };
  proof = ProveFormula({"x", "y"}, kRastrigin, box, options);
  EXPECT_EQ(proof.result.end, prove::ProveEnd::Stopped);
  EXPECT_FALSE(proof.result.undecided.empty());
}

TEST(Prove, RefusesWhatIsNotSmooth) {
  const struct {
    std::string formula;
    std::string refusal;
  } kRows[] = {
      {"Int(x)", "Int is not differentiable: Prove needs a smooth formula"},
      {"Fix(x)+1", "Fix is not differentiable: Prove needs a smooth formula"},
      {"Round(x)", "Round is not differentiable: Prove needs a smooth formula"},
      {"Sgn(x)", "Sgn is not differentiable at 0: Prove needs a smooth formula"},
      {"Abs(x)", "Abs is not differentiable at 0: Prove needs a smooth formula"},
      {"x Mod 2", "Mod is not differentiable: Prove needs a smooth formula"},
      {"x\\2", "\\ (whole-number division) is not differentiable: Prove needs a smooth formula"},
      {"x*(x<1)",
       "comparisons (=, <>, <, >, <=, >=, Is) are not differentiable: Prove needs a "
       "smooth formula"},
      {"x And 1",
       "logical operators (Not, And, Or, Xor, Eqv, Imp) are not differentiable: Prove "
       "needs a smooth formula"},
      {"x & 1", "& joins text, not numbers: Prove needs a smooth formula"},
      {"Asin(x/9)",
       "Asin is not one of the functions Prove can enclose (Sin, Cos, Tan, Atn, Exp, "
       "Log, Sqr): Prove needs a smooth formula"},
      {"x+t", "t holds text: Prove needs every constant to be a number"},
      {"x+u", "u has no value: Prove needs every constant to be a number"},
      {"x+ierr", "ierr changes as the formula runs: Prove needs a smooth formula"},
      {"pi+e",
       "the formula does not depend on x: its stationary points are not isolated, and Prove lists "
       "isolated ones"},
  };
  for (const auto& row : kRows)
    EXPECT_EQ(ProveFormula({"x"}, row.formula, {{0, 1}}, {}, {"t=\"a\""}).refusal, row.refusal)
        << row.formula;
}

// Random smooth programs over random boxes: Arb's value, gradient and Hessian at a
// point of the box lie in the enclosures (the fuzz target runs the same check longer).
TEST(Prove, EnclosuresHoldTheTrueDerivatives) {
  std::mt19937_64 rng(20261209);
  int checked = 0;
  for (int trial = 0; trial < 6000; ++trial) {
    std::vector<uint8_t> bytes(64);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    ByteSource source(bytes);
    const int n = 1 + source.Next() % 3;
    auto program = std::make_shared<prove::EnclosureProgram>(ProgramFrom(source, n, 24));
    Box box;
    std::vector<double> point;
    for (int i = 0; i < n; ++i) {
      const double c = std::uniform_real_distribution<double>(-4, 4)(rng);
      const double w = std::uniform_real_distribution<double>(0, 2)(rng) * (trial % 2);
      box.push_back({c - w, c + w});
      point.push_back(std::uniform_real_distribution<double>(c - w, c + w)(rng));
    }
    prove::Enclosure enclosure(program);
    prove::Taylor t;
    if (enclosure.Evaluate(box, 2, t) != prove::Failure::None) continue;
    ArbReference reference(n);
    if (!reference.Evaluate(*program, point)) continue;
    EXPECT_EQ(reference.Outside(t, 2), "")
        << Describe(*program) << " over [" << box[0].lo << ", " << box[0].hi << "] at " << point[0];
    ++checked;
  }
  EXPECT_GT(checked, 500);
  // Exp just above the smallest normal double (2^-1022 lies at -708.396...).
  auto exp = std::make_shared<prove::EnclosureProgram>();
  exp->variables = 1;
  exp->maxStack = 1;
  exp->code = {{prove::EOp::Var, 0}, {prove::EOp::Exp}};
  for (double x = -708.5; x < -707.5; x += 1.0 / 64) {
    prove::Taylor t;
    ArbReference reference(1);
    const Box at{{x, x}};
    const std::vector<double> point{x};
    ASSERT_EQ(prove::Enclosure(exp).Evaluate(at, 2, t), prove::Failure::None);
    ASSERT_TRUE(reference.Evaluate(*exp, point));
    EXPECT_EQ(reference.Outside(t, 2), "") << "Exp(" << x << ")";
  }
}

}  // namespace
}  // namespace quorvant::testing
