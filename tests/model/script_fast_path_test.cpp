// The fast path (slot handles instead of statement text, the double-only machine
// instead of Variants) gives bit for bit what the plain path gives: same values,
// same error numbers, same error state.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

#include "model/numtext.h"
#include "model/script/fast_vm.h"
#include "model/script/operators.h"
#include "script_test_util.h"

namespace quorvant::testing {
namespace {

using Outcome = EvaluationOutcome;

// Two complete program set-ups, one forced onto the plain path.
struct Pair {
  PreparedEngine fast;
  PreparedEngine plain;
  Pair(const std::vector<std::string>& names, const std::string& formula,
       const std::vector<std::string>& constants = {}) {
    // As the program does it: the constants first, then the function.
    for (PreparedEngine* p : {&fast, &plain}) {
      p->evaluator.RegisterConstants(constants);
      p->evaluator.SetFunction(names, formula);
    }
    plain.evaluator.SetFastPath(false);
  }
  static Outcome Run(PreparedEngine& p, const std::vector<double>& point) {
    return EvaluateOutcome(p.evaluator, point);
  }
};

// Coordinates of mixed magnitudes and signs, with exact zeros, whole numbers, halves
// and values near the edges of the extra functions' domains.
double RandomCoordinate(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  switch (rng() % 8) {
    case 0:
      return unit(rng);
    case 1:
      return unit(rng) * std::pow(10.0, static_cast<int>(rng() % 40) - 20);
    case 2:
      return static_cast<double>(static_cast<int>(rng() % 41) - 20);
    case 3:
      return static_cast<double>(static_cast<int>(rng() % 81) - 40) / 4;
    case 4:
      return 0.0;
    case 5:
      return unit(rng) * 800;
    case 6:
      return std::nextafter(1.0, static_cast<double>(rng() % 3)) * ((rng() & 1) ? 1 : -1);
    default:
      return unit(rng) * 5;
  }
}

const char* const kFormulas[] = {
    "(x^2+y-11)^2+(x+y^2-7)^2",
    "(x*x+y-11)*(x*x+y-11)+(x+y*y-7)*(x+y*y-7)",
    "Sin(x)*Cos(y)+Exp(-(x*x+y*y))",
    "x^3 - 3*x*y^2",
    "-x*y",
    "-x + -y - -2",
    "x/y + y/x",
    "Log(x) - x",
    "Sqr(x) + Sqr(y)",
    "Asin(x) + Acos(y) + Atanh(x)",
    "Sinh(x) * Cosh(y) - Tanh(x*y)",
    "Asinh(x*1E+150) + Acosh(y)",
    "x ^ y",
    "(x > y) * 2 + (x = 0) - (y <= 1)",
    "Abs(x) + Int(y) + Fix(x) + Sgn(y) + Round(x) + CDbl(y)",
    "CInt(x) + CLng(y*1000)",
    "Tan(x) / Atn(y)",
    "a*x + b*y + c",
    "x Mod 3 + y \\ 2",
    "x & y",
    "ierr + x",
    "pi * x - e * y + halfpi",
    "x ^ 2.5 + y ^ -1",
    "1E+200 * x * y * 1E+200",
    "s + x",
    "x - x",
    "sh.Asin(x) + sh.pi",
    "(x + y) * 0",
    "Exp(x) * Exp(y)",
    "zz * x + y",
    // Variables holding a Byte, a Single or a Currency are handed back to the
    // Variant machine, whose arithmetic keeps their subtypes.
    "bb * x + y - bb",
    "-bb * y + bb / x",
    "(x > bb) + Abs(bb) * Int(y)",
    "cc * x + y",
    "cc + x - cc * y",
    "ss * x + ss + y",
    "ss - x / ss",
};

TEST(FastPath, BitIdenticalToStatementPath) {
  std::mt19937_64 rng(2026);
  for (const char* formula : kFormulas) {
    Pair pair({"x", "y"}, formula,
              {"a=2.37", "b = -1.5", "c=a*b", "s=\"text\"", "bb = CByte(7)", "cc = CCur(1.25)",
               "ss = CSng(0.1)"});
    for (int k = 0; k < 3000; ++k) {
      const std::vector<double> point = {RandomCoordinate(rng), RandomCoordinate(rng)};
      const Outcome a = Pair::Run(pair.fast, point);
      const Outcome b = Pair::Run(pair.plain, point);
      ASSERT_EQ(a, b) << formula << " at (" << point[0] << ", " << point[1] << ")";
    }
  }
}

TEST(FastPath, NamesThatNeedStatementText) {
  // A blank before a name, a host member, a reserved word and a name that is no
  // identifier: the fast path must follow the text path in every case.
  std::mt19937_64 rng(7);
  const std::vector<std::vector<std::string>> nameSets = {
      {"x", " y"}, {"ierr", "pi"}, {"Mod", "y"}, {"x y", "z"}, {"x", "sin"}, {"[a b]", "y"}};
  for (const auto& names : nameSets) {
    Pair pair(names, "x + y*2 + ierr");
    for (int k = 0; k < 200; ++k) {
      const std::vector<double> point = {RandomCoordinate(rng), RandomCoordinate(rng)};
      ASSERT_EQ(Pair::Run(pair.fast, point), Pair::Run(pair.plain, point)) << names[0];
    }
  }
}

TEST(FastPath, TenVariables) {
  std::vector<std::string> names;
  std::string formula = "100";
  for (int i = 1; i <= 10; ++i) {
    names.push_back("x" + std::to_string(i));
    formula += "+(x" + std::to_string(i) + "^2-10*Cos(2*pi*x" + std::to_string(i) + "))";
  }
  Pair pair(names, formula);
  std::mt19937_64 rng(99);
  for (int k = 0; k < 2000; ++k) {
    std::vector<double> point;
    for (int i = 0; i < 10; ++i) point.push_back(RandomCoordinate(rng));
    ASSERT_EQ(Pair::Run(pair.fast, point), Pair::Run(pair.plain, point));
  }
}

// A formula that reads ierr before an extra function records an error, and then
// fails or is handed back: the run again after the double-only machine starts from
// the same error state as the plain path's single run.
TEST(FastPath, RunsAgainFromTheSameErrorState) {
  struct Row {
    const char* formula;
    double x;
    int32_t error;
  };
  // Tanh(1E+300) records 6 and gives 0, so the first is 0/0 (6), not 1/0; the second
  // divides by -5 and reports Asin's recorded 5, where a stale ierr of 5 would make
  // it 1/0.
  for (const Row& row : {Row{"Sgn(ierr) / (x <= Tanh(1E+300)^3)", 7, 6},
                         Row{"1 / (ierr - 5 + (Asin(2) + bb) * x)", 0, 5}}) {
    Pair pair({"x"}, row.formula, {"bb = CByte(7)"});
    for (int k = 0; k < 3; ++k) {
      const Outcome fast = Pair::Run(pair.fast, {row.x});
      EXPECT_EQ(fast, Pair::Run(pair.plain, {row.x})) << row.formula;
      EXPECT_EQ(fast.error, row.error) << row.formula;
    }
  }
}

TEST(FastPath, CodeShape) {
  PreparedEngine p;
  auto fastPart = [&](const std::string& text) {
    const std::string listing = p.engine().Disassembly(text);
    return listing.substr(listing.find("--\n") + 3);
  };
  // Operands fused into instructions, x^2 as Square, host members read directly.
  EXPECT_EQ(fastPart("(x^2+y-11)^2+(x+y^2-7)^2"),
            "PushHostD\nSquare\nAddVar y\nSubK 11\nSquare\nPushHostD\nPushVar y\nSquare\n"
            "Add\nSubK 7\nSquare\nAdd\nReturn\n");
  EXPECT_EQ(fastPart("z^3 - 2 * z"), "PushVar z\nCube\nPushK 2\nMulVar z\nSub\nReturn\n");
  EXPECT_EQ(fastPart("Sin(z) + Asin(z)"), "PushVar z\nSin\nPushVar z\nCallHost\nAdd\nReturn\n");
  EXPECT_EQ(fastPart("Int(z) * x"), "PushVar z\nCall1\nMulHostD\nReturn\n");
  // Texts, whole-number operators and logic need Variants.
  for (const char* text : {"z & 1", "z \\ 2", "z Mod 2", "Not z", "z And 1", "\"a\"", "Null",
                           "Round(z, 2)", "CStr(z)", "sh.pi"})
    EXPECT_EQ(fastPart(text), "none\n") << text;
  // The Variant form keeps the written order.
  auto variantPart = [&](const std::string& text) {
    const std::string listing = p.engine().Disassembly(text);
    return listing.substr(0, listing.find("--"));
  };
  EXPECT_EQ(variantPart("1 - 2 * 3"),
            "Statement 0\nPushConst 1\nPushConst 2\nPushConst 3\nMul\nSub\nReturn\n");
  // A comparison records which operands were written as literals (1 the left, 2 the
  // right): a negated number is computed, a parenthesized literal still a literal.
  EXPECT_EQ(variantPart("\"5\" = -5"),
            "Statement 0\nPushConst 5\nPushConst 5\nNeg\nEq literal 1\nReturn\n");
  EXPECT_EQ(
      variantPart("(\"5\") < 6 = 1"),
      "Statement 0\nPushConst 5\nPushConst 6\nLt literal 3\nPushConst 1\nEq literal 2\nReturn\n");
}

TEST(Kernels, SquareAndCubeMatchPow) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int k = 0; k < 2000000; ++k) {
    double a;
    switch (k % 3) {
      case 0:
        a = unit(rng) * std::pow(10.0, static_cast<int>(rng() % 200) - 100);
        break;
      case 1:
        a = std::bit_cast<double>(rng() & 0x7FEFFFFFFFFFFFFFull) * ((rng() & 1) ? 1 : -1);
        break;
      default:
        a = (1.0 + static_cast<double>(rng() % (1ull << 27)) * 0x1p-27);
        break;
    }
    double s = 0, c = 0, ps = 0, pc = 0;
    const int32_t es = script::kernel::Square(a, s), eps = script::kernel::Pow(a, 2.0, ps);
    const int32_t ec = script::kernel::Cube(a, c), epc = script::kernel::Pow(a, 3.0, pc);
    ASSERT_EQ(es, eps) << a;
    ASSERT_EQ(ec, epc) << a;
    if (!es) {
      ASSERT_EQ(std::bit_cast<uint64_t>(s), std::bit_cast<uint64_t>(ps)) << a;
    }
    if (!ec) {
      ASSERT_EQ(std::bit_cast<uint64_t>(c), std::bit_cast<uint64_t>(pc)) << a;
    }
  }
}

}  // namespace
}  // namespace quorvant::testing
