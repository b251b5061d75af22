// Formulas compiled to machine code give bit for bit what the interpreter gives: the
// same values, the same error numbers, the same error state, the same host calls.
// Every case runs on three set-ups: machine code, the interpreter's double-only
// machine (compiled code off) and the plain path. The tables also say which way the
// machine code took: it answered itself, it handed the evaluation to the
// interpreter, or the formula was never compiled.
#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "model/script/fast_vm.h"
#include "model/script/jit.h"
#include "script_test_util.h"

namespace quorvant::testing {
namespace {

using script::CompilerAvailable;

// A host object for the cases the extra functions cannot show: a method that changes
// a property, one that fails, and one that breaks its contract with a result that is
// no number.
class Probe final : public script::HostObject {
 public:
  double level = 0;
  int32_t calls = 0;

  Probe() {
    members_[0] = {"level", MemberKind::DoubleProperty, 0, &level, nullptr};
    members_[1] = {"calls", MemberKind::LongProperty, 0, nullptr, &calls};
    members_[2] = {"Bump", MemberKind::Method, 1};
    members_[3] = {"Fail", MemberKind::Method, 1};
    members_[4] = {"Wild", MemberKind::Method, 1};
  }
  std::span<const Member> Members() const override { return members_; }
  int32_t Call(int index, std::span<const script::Variant> args, script::Variant& result) override {
    double x, r;
    if (int32_t e = script::ToDouble(args[0], x)) return e;
    if (int32_t e = CallNumber(index, x, r)) return e;
    result = script::Variant::Dbl(r);
    return 0;
  }
  int32_t CallNumber(int index, double arg, double& result) override {
    switch (index) {
      case 2:  // Bump: counts its calls, adds its argument to `level`, returns it
        ++calls;
        level += arg;
        result = arg;
        return 0;
      case 3:  // Fail: Invalid procedure call for a negative argument
        if (arg < 0) return 5;
        result = arg;
        return 0;
      default:  // Wild: an infinity or a NaN, with no error
        result = arg > 0 ? std::numeric_limits<double>::infinity()
                         : std::numeric_limits<double>::quiet_NaN();
        return 0;
    }
  }

 private:
  Member members_[5];
};

using Outcome = EvaluationOutcome;

// Which way the machine code took for an evaluation.
enum class Route { kCompiled, kHanded, kRefused };

const char* RouteName(Route r) {
  switch (r) {
    case Route::kCompiled:
      return "answered by machine code";
    case Route::kHanded:
      return "handed to the interpreter";
    case Route::kRefused:
      return "not compiled";
  }
  return "?";
}

// One complete set-up as the program has it, with the probe object and the
// constants every case may use.
struct Rig : PreparedEngine {
  Probe probe;
  Rig(const std::vector<std::string>& names, const std::string& formula) {
    engine().AddObject("probe", &probe, true);
    evaluator.RegisterConstants(std::vector<std::string>{
        "d = 2.5", "i = 7", "l = 100000", "b = True", "s = \"text\"", "bb = CByte(7)",
        "ss = CSng(0.1)", "cc = CCur(1.25)", "big = 1E+300", "tiny = 1E-300"});
    evaluator.SetFunction(names, formula);
  }
  Outcome Run(const std::vector<double>& point) { return EvaluateOutcome(evaluator, point); }
};

// The three set-ups of one formula.
struct Trio {
  Rig compiled, interpreter, plain;
  Trio(const std::vector<std::string>& names, const std::string& formula)
      : compiled(names, formula), interpreter(names, formula), plain(names, formula) {
    interpreter.evaluator.SetCompiledCode(false);
    plain.evaluator.SetFastPath(false);
  }
  // Evaluates on all three, checks they agree, and tells the machine code's route.
  Route Run(const std::vector<double>& point, const std::string& what) {
    const uint64_t before = compiled.evaluator.CompiledHandOvers();
    const Outcome a = compiled.Run(point);
    const Outcome b = interpreter.Run(point);
    const Outcome c = plain.Run(point);
    EXPECT_EQ(a, b) << what;
    EXPECT_EQ(b, c) << what;
    EXPECT_FALSE(interpreter.evaluator.RunsCompiledCode()) << what;
    EXPECT_FALSE(plain.evaluator.RunsCompiledCode()) << what;
    if (!compiled.evaluator.RunsCompiledCode()) return Route::kRefused;
    return compiled.evaluator.CompiledHandOvers() == before ? Route::kCompiled : Route::kHanded;
  }
};

struct Case {
  const char* formula;
  double u;
  double v;
  Route route;
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
  return out << c.formula << " at (" << c.u << ", " << c.v << ")";
}

constexpr Route C = Route::kCompiled;
constexpr Route H = Route::kHanded;
constexpr Route R = Route::kRefused;
constexpr double kInf = std::numeric_limits<double>::infinity();

// clang-format off
const Case kCases[] = {
    // The four operations, their overflow, division by zero, 0/0, underflow.
    {"u + v", 1.5, 2.25, C},
    {"u - v", 1.5, 2.25, C},
    {"u * v", 1.5, 2.25, C},
    {"u / v", 1.5, 2.25, C},
    {"u + v", 1E+308, 1E+308, H},
    {"u - v", -1E+308, 1E+308, H},
    {"u * v", 1E+200, 1E+200, H},
    {"u / v", 1E+200, 1E-200, H},
    {"u / v", 1, 0, H},
    {"u / v", -1, 0, H},
    {"u / v", 0, 0, H},
    {"u / 0", 2, 0, H},
    {"0 / u", 0, 0, H},
    {"u / v", 1E-300, 1E+300, C},
    {"u * v", 1E-200, 1E-200, C},
    {"u * 1E+308 * 10", 1, 0, H},
    {"u * big", 1E+10, 0, H},
    {"u * tiny * tiny", 1, 0, C},
    {"u / 1E+10", 1E-310, 0, C},
    {"u * u", 5E-324, 0, C},
    {"u + 1", 9007199254740992, 0, C},
    {"u * 10", 1E+308, 0, H},
    // -0: from a negation or a product the subtypes decide: a Double operand keeps
    // it, whole-number operands (a coordinate holding a whole number within the Long
    // range, a whole constant, a comparison) give 0; where a subtype is unknown to
    // the machine code the interpreter runs. From any other operation it is the
    // result.
    {"-u", 0, 0, C},
    {"-u", 2.5, 0, C},
    {"-(u - u)", 1.5, 0, H},
    {"u - u", 1.5, 0, C},
    {"0 - u", 0, 0, C},
    {"u * v", -2.5, 0, C},
    {"u * v", -1E-200, 1E-200, C},
    {"u * 0", -3, 0, C},
    {"u * 0", 3, 0, C},
    {"u * v", -0.0, -0.0, C},
    {"u + v", -0.0, -0.0, C},
    {"-u * v", 0.5, 0, C},
    {"u * v / 10 + 1", 0, -2, C},
    {"u * v", 0, -2147483647, C},
    {"u * v", 0, -2147483648, C},
    {"u * v", 0, -1E+15, C},
    {"-Abs(u) * v", 0, 3, C},
    {"(u > v) * u", -3, 1, C},
    {"(u > v) * u", -3.5, 1, C},
    {"(u > v) * -1", 0, 1, C},
    {"(u - v) * -0.5", 1, 1, C},
    {"(u - v) * -2", 1, 1, H},
    {"Sqr(u * v) + Sqr(-v)", 0, -4, C},
    {"u / v", -1E-300, 1E+300, C},
    {"Fix(u)", -0.5, 0, C},
    {"Round(u)", -0.25, 0, C},
    {"CInt(u)", -0.4, 0, C},
    {"Sqr(-u * u + u * u)", 3, 0, C},
    // Powers: 0^-1, a negative base with a fractional exponent, overflow, underflow,
    // and x^2 and x^3 with and without the library's pow.
    {"u ^ v", 0, -1, H},
    {"u ^ -1", 0, 0, H},
    {"u ^ 0.5", -2, 0, H},
    {"u ^ v", -2, 0.5, H},
    {"u ^ v", -2, 3, C},
    {"u ^ v", 2, 0.5, C},
    {"u ^ v", 10, 400, H},
    {"u ^ v", 10, -400, C},
    {"u ^ v", 0, 0, C},
    {"u ^ 2", 1E+200, 0, H},
    {"u ^ 2", 1E-200, 0, C},
    {"u ^ 2", 3, 0, C},
    {"u ^ 2", 0.1, 0, C},
    {"u ^ 2", 0, 0, C},
    {"u ^ 2", -1.3E+154, 0, C},
    {"u ^ 2", 1.00000000000001, 0, C},
    {"u ^ 3", 1E+103, 0, H},
    {"u ^ 3", -1.1, 0, C},
    {"u ^ 3", 0, 0, C},
    {"u ^ 4", -1.5, 0, C},
    {"u ^ 4", 1E+100, 0, H},
    {"u ^ 4", 0, 0, C},
    {"u ^ 0", -3, 0, C},
    {"u ^ 0.5", 0, 0, C},
    {"u ^ 1.5", 4, 0, C},
    {"u ^ 1.5", -4, 0, H},
    {"u ^ 2 + v ^ 2", -1E+155, 3, H},
    {"u ^ 2 * v ^ 2", 1E-160, 1E-160, C},
    // Library functions at their edges.
    {"Sqr(u)", -1, 0, H},
    {"Sqr(u)", 0, 0, C},
    {"Sqr(u)", 2, 0, C},
    {"Sqr(u)", 1E-310, 0, C},
    {"Log(u)", 0, 0, H},
    {"Log(u)", -1, 0, H},
    {"Log(u)", 1E-300, 0, C},
    {"Log(u)", 1E+300, 0, C},
    {"Exp(u)", 710, 0, H},
    {"Exp(u)", 709, 0, C},
    {"Exp(u)", -800, 0, C},
    {"Sin(u)", 1E+300, 0, C},
    {"Cos(u)", 1E+22, 0, C},
    {"Tan(u)", 1.5707963267949, 0, C},
    {"Atn(u)", -1E+300, 0, C},
    {"Abs(u)", -2.5, 0, C},
    {"Abs(u - u)", 2, 0, C},
    // Built-ins through their kernels.
    {"Fix(u) + Int(v)", -2.5, -2.5, C},
    {"Round(u) + Round(v)", 2.5, 3.5, C},
    {"Sgn(u) + Sgn(v)", -3, 0, C},
    {"CDbl(u)", 0.1, 0, C},
    {"CInt(u)", 40000, 0, H},
    {"CInt(u)", 32767.4, 0, C},
    {"CLng(u)", 3E+9, 0, H},
    {"CLng(u)", -2147483648.4, 0, C},
    // Comparisons give -1 or 0.
    {"u < v", 1, 2, C},
    {"u < v", 2, 1, C},
    {"u <= v", 2, 2, C},
    {"u <= v", 2.5, 2, C},
    {"u > v", 2, 1, C},
    {"u > v", 1, 1, C},
    {"u >= v", 1, 1, C},
    {"u >= v", 0.5, 1, C},
    {"u = v", 3, 3, C},
    {"u = v", 3, 4, C},
    {"u <> v", 3, 3, C},
    {"u <> v", -3, 3, C},
    {"(u < v) * 3 + (u = v) - (u >= v) / 2", 1, 2, C},
    {"(u * 1E+308 < v)", 10, 1, H},
    {"(u - u = 0) * -1", 5, 0, C},
    // The extra functions record their own errors, which the evaluation reports.
    {"Asin(u)", 2, 0, C},
    {"Asin(u)", 0.5, 0, C},
    {"Acos(u) + Asin(v)", -1, 1, C},
    {"Atanh(u)", 1, 0, C},
    {"Atanh(u)", 0.25, 0, C},
    {"Acosh(u)", 0.5, 0, C},
    {"Sinh(u)", 1000, 0, H},
    {"Cosh(u) * Tanh(v)", 3, -2, C},
    // Asinh squares its argument on the way (and handles the overflow): the raised
    // flag sends the evaluation to the interpreter, which gives the same.
    {"Asinh(u)", 1E+200, 0, H},
    {"Asinh(u)", 1E+100, 0, C},
    {"Asin(u) + 1 / v", 2, 0, H},
    {"Asin(u) + ierr", 2, 0, C},
    {"ierr + u", 1, 0, C},
    {"pi * u - e + halfpi", 2, 0, C},
    {"x * u", 1.25, 0, C},
    // Host methods: a property changed by a method is read again after the call; a
    // failing method; a result that is no number; no method called where the
    // interpreter stops before it.
    {"level + Bump(u) + level", 2, 0, C},
    {"calls + Bump(u) * calls", 3, 0, C},
    {"Fail(u)", -1, 0, H},
    {"Fail(u) + 1", 1, 0, C},
    {"Wild(u) + 1", 1, 0, H},
    {"Wild(u) < 1", 1, 0, H},
    {"Wild(u)", -1, 0, H},
    {"u * v + Bump(u)", 1E+200, 1E+200, H},
    {"Bump(u) + u * v", 1E+200, 1E+200, H},
    {"Bump(u / v)", 1, 0, H},
    {"Fail(u) + Bump(v)", -1, 1, H},
    // Variables of each subtype: Double, Integer, Long, Boolean and Empty are read as
    // numbers; a text, a Byte, a Single and a Currency go to the Variant machine.
    {"d * u", 2, 0, C},
    {"i * u", 2, 0, C},
    {"l * u", 2, 0, C},
    {"b * u", 2, 0, C},
    {"never + u", 2, 0, C},
    {"s + u", 2, 0, H},
    {"bb * u", 2, 0, H},
    {"ss * u", 2, 0, H},
    {"cc * u", 2, 0, H},
    {"u + v", 40000, -32768, C},
    {"u + v", 2147483648, -2147483649, C},
    // Deeper than the registers hold, with calls inside.
    {"u+(v+(u+(v+(u+(v+(u+(v+(u+(v+(u+(v+(u+(v+(u+(v+(Sin(u)+Cos(v)*Exp(u/8)))))))))))))))))", 0.5, 1.5, C},
    {"u*(v-(u*(v-(u*(v-(u*(v-(u*(v-(u*(v-(u*(v-(u/(v^2-(Sqr(u)^3))))))))))))))))", 0.75, 1.25, C},
    {"u+(v+(u+(v+(u+(v+(u+(v+(u+(v+(u+(v+(u+(v+(u/(v-1)))))))))))))))", 0.5, 1, H},
    {"1+(2+(3+(4+(5+(6+(7+(8+(9+(10+(11+(12+(13+(14+(u<v)*(v>u)-(u<=v))))))))))))))", 1, 2, C},
    {"1+(2+(3+(4+(5+(6+(7+(8+(9+(10+(11+(12+(13+(14+(-u*v))))))))))))))", 0, 2, C},
    {"1+(2+(3+(4+(5+(6+(7+(8+(9+(10+(11+(12+(13+(14+(-(u-v)*v))))))))))))))", 2, 2, H},
    // Formulas the machine code leaves to the interpreter altogether.
    {"u Mod 3", 7, 0, R},
    {"u & v", 1, 2, R},
    {"Round(u, 2)", 1.256, 0, R},
    {"CStr(u) + 1", 1, 0, R},
    {"sh.pi * u", 1, 0, R},
    {"u \\ v", 7, 2, R},
};
// clang-format on

class CompiledEdges : public ::testing::TestWithParam<Case> {};

TEST_P(CompiledEdges, SameAsInterpreterAndRouted) {
  const Case& c = GetParam();
  Trio trio({"u", "v"}, c.formula);
  const Route route = trio.Run({c.u, c.v}, c.formula);
  if (CompilerAvailable()) {
    EXPECT_EQ(route, c.route) << RouteName(route) << " instead of " << RouteName(c.route);
  }
  // Again at the same point (nothing rounded again) and at a point that needs no
  // interpreter, then back: the machine code's state does not leak between
  // evaluations.
  trio.Run({c.u, c.v}, c.formula);
  trio.Run({0.5, 1.5}, c.formula);
  trio.Run({c.u, c.v}, c.formula);
}

INSTANTIATE_TEST_SUITE_P(Table, CompiledEdges, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return CaseName(info.param.formula, info.index);
                         });

// A random formula over the operators, the built-ins, the extra functions, host
// members, variables of several subtypes and constants from tiny to huge.
class FormulaMaker {
 public:
  explicit FormulaMaker(uint64_t seed) : rng_(seed) {}

  std::string Make(int depth) {
    if (depth == 0 || rng_() % 4 == 0) return Leaf();
    static const char* const kUnary[] = {"-",    "Sin",  "Cos",  "Tan",   "Atn",   "Exp",
                                         "Log",  "Sqr",  "Abs",  "Fix",   "Int",   "Round",
                                         "Sgn",  "CInt", "CLng", "CDbl",  "Asin",  "Acos",
                                         "Sinh", "Cosh", "Tanh", "Asinh", "Acosh", "Atanh"};
    static const char* const kBinary[] = {"+", "-", "*", "/", "^", "=", "<>", "<", ">", "<=", ">="};
    switch (rng_() % 6) {
      case 0: {
        const std::string f = kUnary[rng_() % std::size(kUnary)];
        const std::string arg = Make(depth - 1);
        return f == "-" ? "-(" + arg + ")" : f + "(" + arg + ")";
      }
      case 1:
        return "(" + Make(depth - 1) + ")^" + (rng_() % 2 ? "2" : "3");
      default:
        return "(" + Make(depth - 1) + kBinary[rng_() % std::size(kBinary)] + Make(depth - 1) + ")";
    }
  }

  std::vector<double> Point() {
    std::vector<double> p;
    for (int k = 0; k < 3; ++k) p.push_back(Coordinate());
    return p;
  }

 private:
  std::string Leaf() {
    static const char* const kLeaves[] = {
        "u",  "v",    "w",      "u",      "v",   "w",    "x",     "pi",   "ierr",
        "d",  "i",    "b",      "0",      "1",   "2",    "3",     "0.5",  "2.5",
        "10", "7.25", "1E+300", "1E-300", "big", "tiny", "never", "level"};
    return kLeaves[rng_() % std::size(kLeaves)];
  }
  double Coordinate() {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    switch (rng_() % 7) {
      case 0:
        return 0.0;
      case 1:
        return static_cast<double>(static_cast<int>(rng_() % 11) - 5);
      case 2:
        return unit(rng_) * std::pow(10.0, static_cast<int>(rng_() % 600) - 300);
      case 3:
        return unit(rng_) * 1E+154;
      default:
        return unit(rng_) * 4;
    }
  }
  std::mt19937_64 rng_;
};

TEST(CompiledFormulas, RandomFormulasMatchTheInterpreter) {
  FormulaMaker maker(20260113);
  int answered = 0, handed = 0, refused = 0;
  for (int f = 0; f < 1000; ++f) {
    const std::string formula = maker.Make(1 + f % 5);
    Trio trio({"u", "v", "w"}, formula);
    for (int k = 0; k < 40; ++k) {
      const std::vector<double> point = maker.Point();
      std::ostringstream what;
      what.precision(17);
      what << formula << " at (" << point[0] << ", " << point[1] << ", " << point[2] << ")";
      switch (trio.Run(point, what.str())) {
        case Route::kCompiled:
          ++answered;
          break;
        case Route::kHanded:
          ++handed;
          break;
        case Route::kRefused:
          ++refused;
          break;
      }
      if (::testing::Test::HasFailure()) FAIL() << formula;
    }
  }
  // The machine code must really have answered (and handed over) a good share.
  if (CompilerAvailable()) {
    EXPECT_GT(answered, 25000);
    EXPECT_GT(handed, 4000);
    EXPECT_EQ(refused, 0);
  }
}

// A host method is called as often as the interpreter calls it where the machine
// code answers, and never where the interpreter stops before reaching it. Where the
// machine code hands over after a call, the interpreter runs the formula again from
// its start, calling the method again with the same argument, as the double-only
// machine does when it hands back to the Variant machine.
TEST(CompiledFormulas, HostMethodCalls) {
  struct Row {
    const char* formula;
    double u, v;
    int32_t compiledCalls, interpreterCalls;
  };
  for (const Row& row :
       {Row{"Bump(u) + u * v", 2, 3, 1, 1}, Row{"u * v + Bump(u)", 2, 3, 1, 1},
        Row{"u * v + Bump(u)", 1E+200, 1E+200, 0, 0}, Row{"-u * v + Bump(u)", 0, 3, 1, 1},
        Row{"Sqr(u) + Bump(u)", -1, 0, 0, 0}, Row{"Bump(u) + u * v", 1E+200, 1E+200, 3, 2}}) {
    Trio trio({"u", "v"}, row.formula);
    trio.Run({row.u, row.v}, row.formula);
    const int32_t extra = CompilerAvailable() ? 0 : row.interpreterCalls - row.compiledCalls;
    EXPECT_EQ(trio.compiled.probe.calls, row.compiledCalls + extra) << row.formula;
    EXPECT_EQ(trio.interpreter.probe.calls, row.interpreterCalls) << row.formula;
    EXPECT_LE(trio.plain.probe.calls, 1) << row.formula;
  }
}

// The machine code reading the rounded coordinates itself leaves every variable as
// the assignments would: what the formula sees, what the variables hold when read
// afterwards (value and subtype), after a statement changed one, after a coordinate
// that cannot be handed over, with fewer coordinates than names, with one name twice.
TEST(CompiledFormulas, CoordinatesReadDirectly) {
  // U is u again (names are case-insensitive): the later coordinate is u's.
  const std::vector<std::string> names = {"u", "v", "x", "U"};
  const std::string formula = "u * v - x / 4 + (u > 2)";
  Trio trio(names, formula);
  const std::string state = "TypeName(u) & \" \" & u & \" \" & TypeName(v) & \" \" & v & \" \" & x";
  const std::vector<std::vector<double>> points = {{1.5, -2, 0.25, 7},
                                                   {-0.0, 40000, -3, -0.0},
                                                   {2147483648, 0.1, 1E-300, 0.5},
                                                   {1, 2, 3, -32768},
                                                   {1E+300, 1E+300, 0, 1},
                                                   {2.5, kInf, 1, 2},
                                                   {1, 1E+300, 0, 1E+300},
                                                   {0.5, -4, 1, -0.0},
                                                   {0.1, 0.2, 0.3, 0.4},
                                                   {1.00000000000000001, 3, 4, 5},
                                                   {-7.25, -0.0, 1E+15, 32767}};
  for (size_t k = 0; k < points.size(); ++k) {
    trio.Run(points[k], formula);
    trio.Run(points[(k + 1) % points.size()], formula);
    if (k % 2 == 0) {
      trio.Run(points[k], formula);  // twice without a read in between
      trio.Run(points[k], formula);
    }
    EXPECT_EQ(trio.compiled.Eval(state), trio.plain.Eval(state)) << k;
    EXPECT_EQ(trio.interpreter.Eval(state), trio.plain.Eval(state)) << k;
    if (k == 3) {
      for (Rig* rig : {&trio.compiled, &trio.interpreter, &trio.plain})
        rig->engine().ExecuteStatement("u = \"text\" : v = Null : x = 99");
      trio.Run(points[0], formula);
    }
  }
  // Fewer coordinates than names: the variables beyond keep their values.
  for (Rig* rig : {&trio.compiled, &trio.interpreter, &trio.plain}) {
    double value = 0;
    rig->evaluator.EvaluateFunction(std::vector<double>{0.5, 0.75}, value);
  }
  EXPECT_EQ(trio.compiled.Eval(state), trio.plain.Eval(state));
  trio.Run({3, 4, 5, 6}, formula);
  EXPECT_EQ(trio.compiled.Eval(state), trio.plain.Eval(state));
  if (CompilerAvailable()) {
    EXPECT_TRUE(trio.compiled.evaluator.CompiledCodeReadsCoordinates());
    EXPECT_GT(trio.compiled.evaluator.CompiledHandOvers(), 0u);
  }
  // A host method could read or change the variables: they are assigned first.
  Rig host(names, "Bump(u) * v");
  double value = 0;
  ASSERT_EQ(host.evaluator.EvaluateFunction(std::vector<double>{1, 2, 3, 4}, value), 0);
  EXPECT_EQ(host.evaluator.RunsCompiledCode(), CompilerAvailable());
  EXPECT_FALSE(host.evaluator.CompiledCodeReadsCoordinates());
}

// A host property that holds no number (host code may store anything there): the
// machine code leaves every use of it to the interpreter.
TEST(CompiledFormulas, HostPropertyThatIsNoNumber) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const char* formula : {"Sin(level)", "Cos(level) * 0", "Atn(level)", "Abs(level)",
                              "level + 1", "level < 1", "level * 0", "Tan(level) + Exp(level)",
                              "Log(level)", "Sqr(level)", "level ^ 2", "level ^ 0"}) {
    for (double held : {kInf, -kInf, nan, 1E+308}) {
      Trio trio({"u"}, formula);
      for (Rig* rig : {&trio.compiled, &trio.interpreter, &trio.plain}) rig->probe.level = held;
      const Route route = trio.Run({1}, formula);
      if (CompilerAvailable() && !std::isfinite(held)) {
        EXPECT_EQ(route, Route::kHanded) << formula;
      }
    }
  }
}

// Bit patterns of x^2 near the kernel's rounding test, where its pow path decides.
TEST(CompiledFormulas, SquaresOnBothPathsOfTheKernel) {
  Trio trio({"u", "v"}, "u^2 + v^2 * 0");
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> unit(-8.0, 8.0);
  for (int k = 0; k < 20000; ++k) {
    ASSERT_EQ(trio.Run({unit(rng), 1}, "u^2"),
              CompilerAvailable() ? Route::kCompiled : Route::kRefused);
  }
}

// Values kept between evaluations, along walks as the search makes them: a grid point
// (the last coordinate changing fastest), then each neighbour, one coordinate changed,
// and back. Some neighbours are handed over or fail after a kept value was stored for
// their coordinates. Random formulas walk too.
TEST(CompiledFormulas, KeptValuesAlongWalks) {
  const char* const formulas[] = {"(u-0.3)^2+(v+0.2)^2+(w-0.3)^2+u*v/10",
                                  "(u^2+v-11)^2+(u+v^2-7)^2+Sin(w)*Exp(u)",
                                  "(u+1)^2 + Log(v) + w^2",
                                  "Sqr(u^3 - 1) * (v^2 + w) + (u - v)^2",
                                  "(u^2 - (w - w) * -1) * v^2 + w^2",
                                  "Atn(1 / (u - 0.5)) ^ 2 + v",
                                  "u+(v+(u+(v+(u+(v+(u+(v+(u+(v+(u+(v+(u+(v+(w^2+Sin(v)*(u-1)^2+"
                                  "Log(v)))))))))))))))"};
  // u = 0.5 fails the root above and divides by zero in a square that is finite all the
  // same, v = 0 fails the logarithm, w = 2 hands the -0 over.
  const double values[] = {1.5, -1, 0.5, 0, 2};
  const auto walk = [](Trio& trio, const std::vector<double>& point,
                       const std::function<double(int)>& neighbour, const std::string& what) {
    trio.Run(point, what);
    for (int axis = 0; axis < 3; ++axis) {
      std::vector<double> next = point;
      next[axis] = neighbour(axis);
      trio.Run(next, what);
    }
  };
  for (const char* formula : formulas) {
    Trio trio({"u", "v", "w"}, formula);
    for (int u = 0; u < 5; ++u)
      for (int v = 0; v < 5; ++v)
        for (int w = 0; w < 5; ++w) {
          const int at[] = {u, v, w};
          walk(
              trio, {values[u], values[v], values[w]},
              [&](int axis) { return values[(at[axis] + 1) % 5]; }, formula);
        }
  }
  FormulaMaker maker(7);
  for (int f = 0; f < 200; ++f) {
    const std::string formula = maker.Make(1 + f % 5);
    Trio trio({"u", "v", "w"}, formula);
    std::vector<double> point = maker.Point();
    for (int k = 0; k < 8; ++k) {
      point[2 - k % 3] = maker.Point()[0];
      walk(
          trio, point, [&](int) { return maker.Point()[0]; }, formula);
      if (::testing::Test::HasFailure()) FAIL() << formula;
    }
  }
}

TEST(CompiledFormulas, SwitchesAndState) {
  Rig on({"u"}, "u * 2");
  double value = 0;
  ASSERT_EQ(on.evaluator.EvaluateFunction(std::vector<double>{1.5}, value), 0);
  EXPECT_EQ(value, 3);
  EXPECT_EQ(on.evaluator.RunsCompiledCode(), CompilerAvailable());

  Rig off({"u"}, "u * 2");
  off.evaluator.SetCompiledCode(false);
  ASSERT_EQ(off.evaluator.EvaluateFunction(std::vector<double>{1.5}, value), 0);
  EXPECT_FALSE(off.evaluator.RunsCompiledCode());
  // Turned on later, the formula is compiled at its next evaluation.
  off.evaluator.SetCompiledCode(true);
  ASSERT_EQ(off.evaluator.EvaluateFunction(std::vector<double>{2.5}, value), 0);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(off.evaluator.RunsCompiledCode(), CompilerAvailable());

  Rig plain({"u"}, "u * 2");
  plain.evaluator.SetFastPath(false);
  ASSERT_EQ(plain.evaluator.EvaluateFunction(std::vector<double>{1.5}, value), 0);
  EXPECT_FALSE(plain.evaluator.RunsCompiledCode());

  // A new formula drops the old code.
  on.evaluator.SetFunction(std::vector<std::string>{"u"}, "u Mod 2");
  ASSERT_EQ(on.evaluator.EvaluateFunction(std::vector<double>{3}, value), 0);
  EXPECT_EQ(value, 1);
  EXPECT_FALSE(on.evaluator.RunsCompiledCode());
}

// The processor's flags: set before an evaluation by other code, they neither make
// the machine code hand over nor stay set; a fault leaves the next evaluation free.
TEST(CompiledFormulas, FloatingPointFlags) {
  if (!CompilerAvailable()) GTEST_SKIP() << "no machine code in this build";
  Rig rig({"u", "v"}, "u * v + 1");
  double value = 0;
  std::feclearexcept(FE_ALL_EXCEPT);
  // The flags raised by arithmetic, as the search's own code could raise them.
  volatile double huge = 1E+308, zero = 0;
  const std::function<void()> raise[] = {[&] { huge = huge * 10; }, [&] { huge = zero / zero; },
                                         [&] { huge = 1 / zero; }};
  for (const auto& raiseFlag : raise) {
    huge = 1E+308;
    raiseFlag();
    ASSERT_NE(std::fetestexcept(FE_INVALID | FE_OVERFLOW | FE_DIVBYZERO), 0);
    ASSERT_EQ(rig.evaluator.EvaluateFunction(std::vector<double>{2, 3}, value), 0);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(std::fetestexcept(FE_INVALID | FE_OVERFLOW | FE_DIVBYZERO), 0);
    EXPECT_EQ(rig.evaluator.CompiledHandOvers(), 0u);
  }
  ASSERT_EQ(rig.evaluator.EvaluateFunction(std::vector<double>{1E+200, 1E+200}, value), 6);
  EXPECT_EQ(rig.evaluator.CompiledHandOvers(), 1u);
  ASSERT_EQ(rig.evaluator.EvaluateFunction(std::vector<double>{2, 4}, value), 0);
  EXPECT_EQ(value, 9);
  EXPECT_EQ(rig.evaluator.CompiledHandOvers(), 1u);
  std::feclearexcept(FE_ALL_EXCEPT);
}

// Several threads run their own evaluators of one formula at once, and get what one
// thread alone gets.
TEST(CompiledFormulas, ThreadsAgreeWithOneThread) {
  const std::string formula = "Sin(u)*Cos(v)+Exp(-(u*u+v*v)) + (u^2+v-11)^2 + Asin(v/10)";
  auto runAll = [&](std::vector<uint64_t>& out, int seed) {
    Rig s({"u", "v"}, formula);
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> unit(-20.0, 20.0);
    for (int k = 0; k < 20000; ++k) {
      double value = 0;
      const int32_t e =
          s.evaluator.EvaluateFunction(std::vector<double>{unit(rng), unit(rng)}, value);
      out.push_back(e ? 0xE000000000000000ull + static_cast<uint64_t>(e)
                      : std::bit_cast<uint64_t>(value));
    }
  };
  std::vector<std::vector<uint64_t>> alone(4), together(4);
  for (int t = 0; t < 4; ++t) runAll(alone[t], t);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back([&, t] { runAll(together[t], t); });
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(alone[t], together[t]) << "thread " << t;
}

// The machine code holds no fused multiply-add (nor any other instruction outside
// SSE2's scalar double arithmetic that could round differently).
TEST(CompiledFormulas, MachineCodeHasNoFusedMultiplyAdd) {
  if (!CompilerAvailable()) GTEST_SKIP() << "no machine code in this build";
  PreparedEngine p;
  for (const char* text : {"(x^2+y-11)^2+(x+y^2-7)^2", "Sin(x)*Cos(y)+Exp(-(x*x+y*y))",
                           "x*y+z*w-x/y", "x^3+Sqr(y)*Abs(z)-(x<y)"}) {
    const auto program = p.engine().CompileExpression(text);
    ASSERT_TRUE(program && program->fast) << text;
    std::string listing = script::CompiledListing(*program->fast);
    ASSERT_FALSE(listing.empty()) << text;
    EXPECT_NE(listing.find("mulsd"), std::string::npos) << text;
    // The one fused instruction allowed: x^2's exact product error, which rounds
    // nothing (the error of a product is a double) and only decides pow or not.
    for (size_t at; (at = listing.find("vfmsub213sd")) != std::string::npos;) listing.erase(at, 11);
    for (const char* forbidden :
         {"fma", "fnma", "fms", "vmul", "vadd", "vsub", "vdiv", "x87", "fmul", "fadd", "cvtss"})
      EXPECT_EQ(listing.find(forbidden), std::string::npos) << text << ": " << forbidden;
  }
}

}  // namespace
}  // namespace quorvant::testing
