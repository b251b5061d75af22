// Cost of one function evaluation: Quorvant's EvaluateFunction (coordinates handed
// over with the 15-digit rounding, then the formula) against the same formula
// compiled natively and given the same rounded coordinates, and against muparser
// with the same hand-over.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "model/function_evaluator.h"
#include "model/message_sink.h"
#include "model/numtext.h"

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

void Native(benchmark::State& state, double (*F)(const double*), int n) {
  const auto points = Points(n, -5, 5);
  double rounded[10];
  size_t k = 0;
  for (auto _ : state) {
    const auto& p = points[k++ & (kPoints - 1)];
    for (int i = 0; i < n; ++i) rounded[i] = Round15(p[i]);
    benchmark::DoNotOptimize(F(rounded));
  }
}

void Quorvant(benchmark::State& state, const Formula& f, bool fast) {
  NullSink sink;
  quorvant::FunctionEvaluator evaluator(sink);
  evaluator.Prepare();
  evaluator.SetFastPath(fast);
  const int n = static_cast<int>(f.names.size());
  evaluator.SetFunction(f.names, f.quorvant);
  const auto points = Points(n, -5, 5);
  size_t k = 0;
  double value = 0;
  for (auto _ : state) {
    const auto& p = points[k++ & (kPoints - 1)];
    if (evaluator.EvaluateFunction(p, value)) state.SkipWithError("evaluation failed");
    benchmark::DoNotOptimize(value);
  }
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
BENCHMARK_CAPTURE(Quorvant, Himmelblau, Himmelblau(), true);
BENCHMARK_CAPTURE(Quorvant, Himmelblau_plain_path, Himmelblau(), false);
BENCHMARK_CAPTURE(Native, Rastrigin10, NativeRastrigin10, 10);
BENCHMARK_CAPTURE(Quorvant, Rastrigin10, Rastrigin10(), true);
BENCHMARK_CAPTURE(Quorvant, Rastrigin10_plain_path, Rastrigin10(), false);
BENCHMARK_CAPTURE(Native, SinCosExp, NativeSinCosExp, 2);
BENCHMARK_CAPTURE(Quorvant, SinCosExp, SinCosExp(), true);
BENCHMARK_CAPTURE(Quorvant, SinCosExp_plain_path, SinCosExp(), false);
#ifdef QUORVANT_HAVE_MUPARSER
BENCHMARK_CAPTURE(Muparser, Himmelblau, Himmelblau());
BENCHMARK_CAPTURE(Muparser, Rastrigin10, Rastrigin10());
BENCHMARK_CAPTURE(Muparser, SinCosExp, SinCosExp());
#endif
BENCHMARK(Round15Only);
BENCHMARK(Round15Text);

BENCHMARK_MAIN();
