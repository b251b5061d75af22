// The same Explore run as quorvant-cli, with the formula compiled into the program:
// the search engine, the grid and every evaluation are the same, only the formula is
// native C++ (given the coordinates rounded to 15 significant digits, as the
// interpreter gets them). The listing must equal quorvant-cli's; the time is the
// baseline of the Explore benchmark.
#include <cmath>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "docs/problem_file.h"
#include "engine/listing.h"
#include "engine/search_engine.h"
#include "model/numtext.h"

namespace {

double Himmelblau(const double* v) {
  const double x = v[0], y = v[1];
  return (x * x + y - 11) * (x * x + y - 11) + (x + y * y - 7) * (x + y * y - 7);
}

double SinCosExp(const double* v) {
  const double x = v[0], y = v[1];
  return std::sin(x) * std::cos(y) + std::exp(-(x * x + y * y));
}

double Separable6(const double* v) {
  double s = 0;
  for (int i = 0; i < 6; ++i) {
    const double x = v[i];
    const double term = x * x * x * x / 4 - x * x / 2;
    s = i == 0 ? term : s + term;
  }
  return s;
}

class NativeFunction final : public quorvant::PointFunction {
 public:
  explicit NativeFunction(double (*f)(const double*)) : f_(f) {}
  int32_t EvaluateFunction(std::span<const double> x, double& value) override {
    double rounded[quorvant::kMaxVariables];
    for (size_t i = 0; i < x.size(); ++i) rounded[i] = quorvant::Round15(x[i]);
    value = f_(rounded);
    return std::isfinite(value) ? 0 : 6;
  }

 private:
  double (*f_)(const double*);
};

class StdoutHooks final : public quorvant::RunHooks {
 public:
  void AppendLine(std::string_view line) override {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
  }
  bool ShowAdditionalInfo() override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: explore_native himmelblau|sincosexp|separable6 FILE\n");
    return 2;
  }
  const std::string which = argv[1];
  double (*f)(const double*) = which == "himmelblau"   ? Himmelblau
                               : which == "sincosexp"  ? SinCosExp
                               : which == "separable6" ? Separable6
                                                       : nullptr;
  quorvant::Problem problem;
  std::string error;
  if (!f || !quorvant::LoadProblemFile(argv[2], problem, error)) {
    std::fprintf(stderr, "explore_native: %s\n", f ? error.c_str() : "unknown formula");
    return 2;
  }
  NativeFunction native(f);
  StdoutHooks hooks;
  quorvant::SearchEngine engine(native, hooks);
  const quorvant::RunSummary summary = engine.Compute(problem, quorvant::SearchOptions::Explore());
  if (summary.end == quorvant::RunEnd::Refused) {
    std::fprintf(stderr, "explore_native: %s\n", summary.reason.c_str());
    return 2;
  }
  const std::string caption = quorvant::CountsCaption(problem.maxCount(), problem.minCount());
  std::printf("%s\n", caption.c_str());
  return 0;
}
