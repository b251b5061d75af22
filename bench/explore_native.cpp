// The baselines of the whole-run benchmark: plain native programs doing what an Explore
// run does, the plain way. They walk the same grid (each value the previous one plus the
// step), make the grid point test's 3n evaluations at every grid point (each neighbour
// and the point itself, for every axis, with no value reused), hand every coordinate
// over rounded to 15 significant digits as the interpreter gets it, and run the Newton
// iteration and the classification from each starting point, storing and listing the
// extrema. The formula is compiled into the program. Their listings must equal
// quorvant-cli's.
//
// The plain walk evaluates through the search's own PointFunction and RunContext (a
// virtual call and all coordinates rounded at every evaluation). The tight walk
// (--tight) is what a native program needs: the formula inlined into the grid test, a
// coordinate rounded (by Round15, the exact fast rounding) only when it changes, no
// virtual call; only the starting points go through the search's Newton iteration.
#include <cmath>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "docs/problem_file.h"
#include "engine/classifier.h"
#include "engine/grid.h"
#include "engine/listing.h"
#include "engine/newton_iteration.h"
#include "engine/run_context.h"
#include "engine/search_options.h"
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

// (x1-0.3)^2+(x2+0.2)^2+(x3-0.3)^2+...+(x10+0.2)^2+x1*x2/10, as
// bench/problems/bowl10.zvx writes it.
double Bowl10(const double* v) {
  double s = 0;
  for (int i = 0; i < 10; ++i) {
    const double d = i % 2 == 0 ? v[i] - 0.3 : v[i] + 0.2;
    s = i == 0 ? d * d : s + d * d;
  }
  return s + v[0] * v[1] / 10;
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

void Line(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

// A new maximum or minimum is stored and listed (without the additional info).
bool Store(quorvant::Problem& problem, quorvant::RunContext& run, quorvant::PointKind kind,
           const std::vector<double>& x, double smallestPivot) {
  const bool maximum = kind == quorvant::PointKind::Maximum;
  auto& store = maximum ? problem.maxima : problem.minima;
  const int n = problem.varCount();
  for (const auto& stored : store) {
    bool same = true;
    for (int i = 0; i < n && same; ++i) same = std::fabs(x[i] - stored[i]) <= problem.errorBound;
    if (same) return true;
  }
  if (store.size() >= quorvant::kStoreSize) return false;
  quorvant::StoredPoint point(x.begin(), x.end());
  point.push_back(smallestPivot);
  store.push_back(point);
  Line(maximum ? quorvant::kMaximumHeading : quorvant::kMinimumHeading);
  for (int i = 0; i < n; ++i) Line(quorvant::CoordinateLine(problem.varNames[i], x[i]));
  double value;
  if (run.Evaluate(x, value)) Line(quorvant::FunctionLine(value));
  return true;
}

// The grid test of the tight walk: f at the point's neighbours along axis i and at the
// point itself, from the rounded coordinates `r` of the grid point `x`. A value that is
// not finite (a failure, for the run) leaves its variable as it was.
template <class Formula>
void TightTest(Formula f, std::vector<double>& r, const std::vector<double>& x, double step, int i,
               double& fPlus, double& fMinus, double& fPoint) {
  const double saved = r[i];
  r[i] = quorvant::Round15(x[i] + step);
  double v = f(r.data());
  if (std::isfinite(v)) fPlus = v;
  r[i] = quorvant::Round15(x[i] - step);
  v = f(r.data());
  if (std::isfinite(v)) fMinus = v;
  r[i] = saved;
  v = f(r.data());
  if (std::isfinite(v)) fPoint = v;
}

// The tight walk; false when the store filled up.
template <class Formula>
bool TightWalk(Formula f, quorvant::Problem& problem, quorvant::RunContext& run,
               quorvant::NewtonIteration& newton, quorvant::Classifier& classifier) {
  const quorvant::Grid grid(problem);
  const int n = problem.varCount();
  std::vector<double> x(problem.lowerLimit), r(n), start(n);
  for (int i = 0; i < n; ++i) r[i] = quorvant::Round15(x[i]);
  double fPlus = 0, fMinus = 0, fPoint = 0;
  for (;;) {
    int maxAxes = -1, minAxes = -1;
    for (int i = 0; i < n; ++i) {
      TightTest(f, r, x, grid.step(i), i, fPlus, fMinus, fPoint);
      if (fPlus > fPoint && fMinus > fPoint) ++minAxes;
      if (fPlus < fPoint && fMinus < fPoint) ++maxAxes;
    }
    if (minAxes == n - 1 || maxAxes == n - 1) {
      start = x;
      run.fdAcc = fPoint;
      if (newton.Run(x) == quorvant::NewtonEnd::Converged) {
        const quorvant::Classification c = classifier.Classify(x);
        if ((c.kind == quorvant::PointKind::Minimum || c.kind == quorvant::PointKind::Maximum) &&
            !Store(problem, run, c.kind, x, c.minors.smallestPivot))
          return false;
      }
      x = start;
    }
    int k = n - 1;
    for (; k >= 0; --k) {
      if (x[k] >= problem.upperLimit[k]) {
        x[k] = problem.lowerLimit[k];
        r[k] = quorvant::Round15(x[k]);
        continue;
      }
      x[k] = x[k] + grid.step(k);
      r[k] = quorvant::Round15(x[k]);
      break;
    }
    if (k < 0) return true;
  }
}

bool Tight(const std::string& which, quorvant::Problem& problem, quorvant::RunContext& run,
           quorvant::NewtonIteration& newton, quorvant::Classifier& classifier) {
  if (which == "himmelblau")
    return TightWalk([](const double* v) { return Himmelblau(v); }, problem, run, newton,
                     classifier);
  if (which == "sincosexp")
    return TightWalk([](const double* v) { return SinCosExp(v); }, problem, run, newton,
                     classifier);
  if (which == "separable6")
    return TightWalk([](const double* v) { return Separable6(v); }, problem, run, newton,
                     classifier);
  return TightWalk([](const double* v) { return Bowl10(v); }, problem, run, newton, classifier);
}

}  // namespace

int main(int argc, char** argv) {
  const bool tight = argc == 4 && std::string_view(argv[1]) == "--tight";
  if (tight) {
    --argc;
    ++argv;
  }
  if (argc != 3) {
    std::fprintf(stderr,
                 "usage: explore_native [--tight] himmelblau|sincosexp|separable6|bowl10 FILE\n");
    return 2;
  }
  const std::string which = argv[1];
  double (*f)(const double*) = which == "himmelblau"   ? Himmelblau
                               : which == "sincosexp"  ? SinCosExp
                               : which == "separable6" ? Separable6
                               : which == "bowl10"     ? Bowl10
                                                       : nullptr;
  quorvant::Problem problem;
  std::string error;
  if (!f || !quorvant::LoadProblemFile(argv[2], problem, error)) {
    std::fprintf(stderr, "explore_native: %s\n", f ? error.c_str() : "unknown formula");
    return 2;
  }
  const std::string refused = quorvant::SearchOptions::Explore().Validate(problem);
  if (!refused.empty()) {
    std::fprintf(stderr, "explore_native: %s\n", refused.c_str());
    return 2;
  }
  NativeFunction native(f);
  quorvant::RunContext run(native, {});
  const int n = problem.varCount();
  quorvant::NewtonIteration newton(run, n, problem.errorBound, problem.maxCycles);
  quorvant::Classifier classifier(run, n);
  if (tight) {
    if (!Tight(which, problem, run, newton, classifier)) Line("STORE FULL");
    Line(quorvant::CountsCaption(problem.maxCount(), problem.minCount()));
    return 0;
  }
  const quorvant::Grid grid(problem);
  std::vector<double> x(problem.lowerLimit), start(n);
  double fPlus = 0, fMinus = 0, fPoint = 0;
  bool full = false;
  for (;;) {
    int maxAxes = -1, minAxes = -1;
    for (int i = 0; i < n; ++i) {
      const double saved = x[i];
      x[i] = saved + grid.step(i);
      run.Evaluate(x, fPlus);
      x[i] = saved - grid.step(i);
      run.Evaluate(x, fMinus);
      x[i] = saved;
      run.Evaluate(x, fPoint);
      run.fdAcc = fPoint;
      if (fPlus > fPoint && fMinus > fPoint) ++minAxes;
      if (fPlus < fPoint && fMinus < fPoint) ++maxAxes;
    }
    if (minAxes == n - 1 || maxAxes == n - 1) {
      start = x;
      if (newton.Run(x) == quorvant::NewtonEnd::Converged) {
        const quorvant::Classification c = classifier.Classify(x);
        if ((c.kind == quorvant::PointKind::Minimum || c.kind == quorvant::PointKind::Maximum) &&
            !Store(problem, run, c.kind, x, c.minors.smallestPivot)) {
          full = true;
          break;
        }
      }
      x = start;
    }
    int k = n - 1;
    for (; k >= 0; --k) {
      if (x[k] >= problem.upperLimit[k]) {
        x[k] = problem.lowerLimit[k];
        continue;
      }
      x[k] = x[k] + grid.step(k);
      break;
    }
    if (k < 0) break;
  }
  if (full) Line("STORE FULL");
  Line(quorvant::CountsCaption(problem.maxCount(), problem.minCount()));
  return 0;
}
