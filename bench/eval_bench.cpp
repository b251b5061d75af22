// Cost of one function evaluation: Quorvant's EvaluateFunction (coordinates handed
// over with the 15-digit rounding, then the formula) against the same formula
// compiled natively and given the same rounded coordinates, and against muparser
// with the same hand-over. Quorvant runs three ways: as machine code (the default),
// on the interpreter's double-only machine (compiled code off), and on the plain
// path. Also the cost of compiling a formula of 1,000 operations to machine code.
//
// Two kinds of point sequences: random points (every coordinate changes from one
// point to the next), and a walk over the first points of a grid as the search walks
// it, the last coordinate changing fastest (rows named _walk), where the machine code
// keeps the values of the subexpressions whose coordinates did not change. Each
// Quorvant row on machine code reports machine_code_share, the share of evaluations
// the machine code answered itself (the others it handed to the interpreter).
//
// The machine is shared and noisy; compare columns of one run, interleaved:
//   eval_bench --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true
//              --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "model/function_evaluator.h"
#include "model/message_sink.h"
#include "model/numtext.h"
#include "model/script/fast_vm.h"
#include "model/script/jit.h"
#include "model/script/operators.h"

#ifdef QUORVANT_HAVE_MUPARSER
#include <muParser.h>
#endif

namespace {

using quorvant::Round15;

class NullSink : public quorvant::MessageSink {
 public:
  void ShowMessage(std::string_view, std::string_view, quorvant::MessageIcon) override {}
};

constexpr size_t kPoints = 1024;

std::vector<std::vector<double>> Points(int n, double lo, double hi) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> u(lo, hi);
  std::vector<std::vector<double>> points(kPoints, std::vector<double>(n));
  for (auto& p : points)
    for (double& x : p) x = u(rng);
  return points;
}

// The first kPoints points of a grid with `m` values per axis from `lo` by `step`,
// in the order the search walks it: the last coordinate changes fastest.
std::vector<std::vector<double>> WalkPoints(int n, double lo, double step, int m) {
  std::vector<std::vector<double>> points(kPoints, std::vector<double>(n));
  std::vector<int> at(n, 0);
  for (auto& p : points) {
    for (int i = 0; i < n; ++i) p[i] = lo + at[i] * step;
    for (int i = n - 1; i >= 0 && ++at[i] == m; --i) at[i] = 0;
  }
  return points;
}

// Where a benchmark's points come from: random in [-5, 5], or a grid walk (the
// Himmelblau problem's 4001 values per axis over [-5, 5]; the 10-variable bowl's 5
// values per axis over [-2, 2]).
enum class Sequence { kRandom, kWalk };

std::vector<std::vector<double>> PointsFor(Sequence kind, int n) {
  if (kind == Sequence::kRandom) return Points(n, -5, 5);
  return n == 10 ? WalkPoints(n, -2, 1, 5) : WalkPoints(n, -5, 0.0025, 4001);
}

struct Formula {
  std::vector<std::string> names;
  std::string quorvant;
  std::string muparser;
};

Formula Himmelblau() {
  return {{"x", "y"}, "(x^2+y-11)^2+(x+y^2-7)^2", "(x^2+y-11)^2+(x+y^2-7)^2"};
}

Formula SinCosExp() {
  return {{"x", "y"}, "Sin(x)*Cos(y)+Exp(-(x*x+y*y))", "sin(x)*cos(y)+exp(-(x*x+y*y))"};
}

Formula Rastrigin10() {
  Formula f;
  f.quorvant = "100";
  f.muparser = "100";
  for (int i = 1; i <= 10; ++i) {
    const std::string x = "x" + std::to_string(i);
    f.names.push_back(x);
    f.quorvant += "+(" + x + "^2-10*Cos(2*pi*" + x + "))";
    f.muparser += "+(" + x + "^2-10*cos(2*pi*" + x + "))";
  }
  return f;
}

// The separable quartic: the sum over i of (x_i^4 - 3 x_i^2 + x_i), 6 variables.
// x^4 is the library's pow in Quorvant (and so natively), x^2 the product with
// pow's result.
Formula Quartic6() {
  Formula f;
  for (int i = 1; i <= 6; ++i) {
    const std::string x = "x" + std::to_string(i);
    f.names.push_back(x);
    const std::string term = "(" + x + "^4-3*" + x + "^2+" + x + ")";
    f.quorvant += (i > 1 ? "+" : "") + term;
    f.muparser += (i > 1 ? "+" : "") + term;
  }
  return f;
}

// The 10-variable bowl (bench/problems/bowl10.zvx).
Formula Bowl10() {
  Formula f;
  for (int i = 1; i <= 10; ++i) {
    const std::string x = "x" + std::to_string(i);
    f.names.push_back(x);
    const std::string term = "(" + x + (i % 2 ? "-0.3" : "+0.2") + ")^2";
    f.quorvant += (i > 1 ? "+" : "") + term;
  }
  f.quorvant += "+x1*x2/10";
  f.muparser = f.quorvant;
  return f;
}

const double kPi = std::atan(1.0) * 4;

double NativeHimmelblau(const double* v) {
  const double x = v[0], y = v[1];
  return std::pow(std::pow(x, 2) + y - 11, 2) + std::pow(x + std::pow(y, 2) - 7, 2);
}
double NativeSinCosExp(const double* v) {
  const double x = v[0], y = v[1];
  return std::sin(x) * std::cos(y) + std::exp(-(x * x + y * y));
}
double NativeRastrigin10(const double* v) {
  double s = 100;
  for (int i = 0; i < 10; ++i) s = s + (std::pow(v[i], 2) - 10 * std::cos(2 * kPi * v[i]));
  return s;
}

double NativeBowl10(const double* v) {
  double s = 0;
  for (int i = 0; i < 10; ++i) {
    const double d = v[i] - (i % 2 ? -0.2 : 0.3);
    s = i == 0 ? d * d : s + d * d;
  }
  return s + v[0] * v[1] / 10;
}

double NativeQuartic6(const double* v) {
  double s = 0;
  for (int i = 0; i < 6; ++i) s = s + (std::pow(v[i], 4) - 3 * std::pow(v[i], 2) + v[i]);
  return s;
}

// The same formulas with x^2 as Quorvant computes it (pow's own result: the product
// where it must equal pow, else pow): the native cost of the exact square.
double ExactSquare(double a) {
  double r = 0;
  quorvant::script::kernel::Square(a, r);
  return r;
}
double NativeHimmelblauExact(const double* v) {
  const double x = v[0], y = v[1];
  return ExactSquare(ExactSquare(x) + y - 11) + ExactSquare(x + ExactSquare(y) - 7);
}
double NativeQuartic6Exact(const double* v) {
  double s = 0;
  for (int i = 0; i < 6; ++i) s = s + (std::pow(v[i], 4) - 3 * ExactSquare(v[i]) + v[i]);
  return s;
}
double NativeRastrigin10Exact(const double* v) {
  double s = 100;
  for (int i = 0; i < 10; ++i) s = s + (ExactSquare(v[i]) - 10 * std::cos(2 * kPi * v[i]));
  return s;
}

void Native(benchmark::State& state, double (*F)(const double*), int n,
            Sequence kind = Sequence::kRandom) {
  const auto points = PointsFor(kind, n);
  double rounded[10];
  size_t k = 0;
  for (auto _ : state) {
    const auto& p = points[k++ & (kPoints - 1)];
    for (int i = 0; i < n; ++i) rounded[i] = Round15(p[i]);
    benchmark::DoNotOptimize(F(rounded));
  }
}

enum class Path { kCompiled, kInterpreter, kPlain };

void Quorvant(benchmark::State& state, const Formula& f, Path path,
              Sequence kind = Sequence::kRandom) {
  NullSink sink;
  quorvant::FunctionEvaluator evaluator(sink);
  evaluator.Prepare();
  evaluator.SetFastPath(path != Path::kPlain);
  evaluator.SetCompiledCode(path == Path::kCompiled);
  const int n = static_cast<int>(f.names.size());
  evaluator.SetFunction(f.names, f.quorvant);
  const auto points = PointsFor(kind, n);
  size_t k = 0;
  double value = 0;
  for (auto _ : state) {
    const auto& p = points[k++ & (kPoints - 1)];
    if (evaluator.EvaluateFunction(p, value)) state.SkipWithError("evaluation failed");
    benchmark::DoNotOptimize(value);
  }
  if (path == Path::kCompiled && !evaluator.RunsCompiledCode() &&
      quorvant::script::CompilerAvailable())
    state.SkipWithError("the formula was not compiled");
  state.counters["handed_over"] = static_cast<double>(evaluator.CompiledHandOvers());
  if (path == Path::kCompiled && state.iterations() > 0)
    state.counters["machine_code_share"] =
        1.0 - static_cast<double>(evaluator.CompiledHandOvers()) /
                  static_cast<double>(state.iterations());
}

// A formula of about 1,000 double-only operations: terms cycling through the
// operators, the inline built-ins, a kernel and powers, over 10 variables.
std::string LongFormula(quorvant::script::ScriptEngine& engine, size_t operations) {
  static const char* const kTerms[] = {
      "x{a}*0.5",       "Sin(x{a})",        "x{a}^2",
      "x{a}/3.25",      "Exp(-x{a}*x{b})",  "Sqr(x{a}*x{a}+1)",
      "Abs(x{a}-x{b})", "(x{a}<x{b})",      "x{a}^3",
      "Atn(x{a})",      "Cos(x{a}+x{b})",   "x{a}^1.5",
      "Int(x{a})",      "Log(1+x{a}*x{a})", "(x{a}-x{b})*(x{b}+2)"};
  std::string text = "0";
  for (size_t k = 0;; ++k) {
    std::string term = kTerms[k % std::size(kTerms)];
    for (const auto& [key, value] :
         {std::pair<std::string, size_t>{"{a}", k % 10 + 1}, {"{b}", (k * 7 + 3) % 10 + 1}}) {
      for (size_t at; (at = term.find(key)) != std::string::npos;)
        term.replace(at, key.size(), std::to_string(value));
    }
    text += (k % 2 ? "-" : "+") + term;
    const auto program = engine.CompileExpression(text);
    if (program && program->fast && program->fast->code.size() >= operations) return text;
  }
}

void CompileMachineCode(benchmark::State& state) {
  NullSink sink;
  quorvant::FunctionEvaluator evaluator(sink);
  evaluator.Prepare();
  const std::string text = LongFormula(evaluator.engine(), 1000);
  const auto program = evaluator.engine().CompileExpression(text);
  for (auto _ : state) {
    auto code = quorvant::script::CompileFormula(*program->fast);
    if (!code) state.SkipWithError("not compiled");
    benchmark::DoNotOptimize(code.get());
  }
  state.counters["operations"] = static_cast<double>(program->fast->code.size());
  if (auto code = quorvant::script::CompileFormula(*program->fast))
    state.counters["code_bytes"] = static_cast<double>(code->CodeSize());
}

#ifdef QUORVANT_HAVE_MUPARSER
void Muparser(benchmark::State& state, const Formula& f) {
  const int n = static_cast<int>(f.names.size());
  std::vector<double> vars(n);
  mu::Parser parser;
  parser.DefineConst("pi", kPi);
  for (int i = 0; i < n; ++i) parser.DefineVar(f.names[i], &vars[i]);
  parser.SetExpr(f.muparser);
  const auto points = Points(n, -5, 5);
  size_t k = 0;
  for (auto _ : state) {
    const auto& p = points[k++ & (kPoints - 1)];
    for (int i = 0; i < n; ++i) vars[i] = Round15(p[i]);
    benchmark::DoNotOptimize(parser.Eval());
  }
}
#endif

void Round15Only(benchmark::State& state) {
  const auto points = Points(1, -5, 5);
  size_t k = 0;
  for (auto _ : state) benchmark::DoNotOptimize(Round15(points[k++ & (kPoints - 1)][0]));
}

void Round15Text(benchmark::State& state) {
  const auto points = Points(1, -5, 5);
  size_t k = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(quorvant::Round15ByText(points[k++ & (kPoints - 1)][0]));
}

}  // namespace

BENCHMARK_CAPTURE(Native, Himmelblau, NativeHimmelblau, 2);
BENCHMARK_CAPTURE(Native, Himmelblau_exact_squares, NativeHimmelblauExact, 2);
BENCHMARK_CAPTURE(Quorvant, Himmelblau, Himmelblau(), Path::kCompiled);
BENCHMARK_CAPTURE(Quorvant, Himmelblau_interpreter, Himmelblau(), Path::kInterpreter);
BENCHMARK_CAPTURE(Quorvant, Himmelblau_plain_path, Himmelblau(), Path::kPlain);
BENCHMARK_CAPTURE(Native, Himmelblau_walk, NativeHimmelblau, 2, Sequence::kWalk);
BENCHMARK_CAPTURE(Quorvant, Himmelblau_walk, Himmelblau(), Path::kCompiled, Sequence::kWalk);
BENCHMARK_CAPTURE(Native, Bowl10_walk, NativeBowl10, 10, Sequence::kWalk);
BENCHMARK_CAPTURE(Quorvant, Bowl10_walk, Bowl10(), Path::kCompiled, Sequence::kWalk);
BENCHMARK_CAPTURE(Quorvant, Bowl10_walk_interpreter, Bowl10(), Path::kInterpreter, Sequence::kWalk);
BENCHMARK_CAPTURE(Quorvant, Bowl10, Bowl10(), Path::kCompiled);
BENCHMARK_CAPTURE(Native, Quartic6, NativeQuartic6, 6);
BENCHMARK_CAPTURE(Native, Quartic6_exact_squares, NativeQuartic6Exact, 6);
BENCHMARK_CAPTURE(Quorvant, Quartic6, Quartic6(), Path::kCompiled);
BENCHMARK_CAPTURE(Quorvant, Quartic6_interpreter, Quartic6(), Path::kInterpreter);
BENCHMARK_CAPTURE(Native, Rastrigin10, NativeRastrigin10, 10);
BENCHMARK_CAPTURE(Native, Rastrigin10_exact_squares, NativeRastrigin10Exact, 10);
BENCHMARK_CAPTURE(Quorvant, Rastrigin10, Rastrigin10(), Path::kCompiled);
BENCHMARK_CAPTURE(Quorvant, Rastrigin10_interpreter, Rastrigin10(), Path::kInterpreter);
BENCHMARK_CAPTURE(Quorvant, Rastrigin10_plain_path, Rastrigin10(), Path::kPlain);
BENCHMARK_CAPTURE(Native, SinCosExp, NativeSinCosExp, 2);
BENCHMARK_CAPTURE(Quorvant, SinCosExp, SinCosExp(), Path::kCompiled);
BENCHMARK_CAPTURE(Quorvant, SinCosExp_interpreter, SinCosExp(), Path::kInterpreter);
BENCHMARK_CAPTURE(Quorvant, SinCosExp_plain_path, SinCosExp(), Path::kPlain);
#ifdef QUORVANT_HAVE_MUPARSER
BENCHMARK_CAPTURE(Muparser, Himmelblau, Himmelblau());
BENCHMARK_CAPTURE(Muparser, Quartic6, Quartic6());
BENCHMARK_CAPTURE(Muparser, Rastrigin10, Rastrigin10());
BENCHMARK_CAPTURE(Muparser, SinCosExp, SinCosExp());
#endif
BENCHMARK(CompileMachineCode)->Unit(benchmark::kMicrosecond);
BENCHMARK(Round15Only);
BENCHMARK(Round15Text);

BENCHMARK_MAIN();
