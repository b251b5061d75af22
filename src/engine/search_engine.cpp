#include "engine/search_engine.h"

#include <cmath>
#include <string>

#include "engine/newton_iteration.h"
#include "model/numtext.h"

namespace quorvant {

// One run: the driver (grid or random starts), and what happens to every stationary
// point found (store, duplicates, listing).
class SearchEngine::Run {
 public:
  Run(Problem& problem, PointFunction& function, RunHooks& hooks, RandomSource& random)
      : problem_(problem),
        run_(function, hooks),
        random_(random),
        n_(problem.varCount()),
        newton_(run_, n_, problem.errorBound, problem.maxCycles),
        classifier_(run_, n_) {}

  void Explore(double gridPoints);
  void RandomTrials(int32_t trials);
  RunContext& context() { return run_; }

 private:
  void FromStartingPoint(std::vector<double>& x);
  bool StorePoint(PointKind kind, const std::vector<double>& x, const LeadingMinors& minors);
  void ListPoint(std::string_view verdict, const std::vector<double>& x,
                 const LeadingMinors& minors);
  void ListValueAt(const std::vector<double>& x);

  Problem& problem_;
  RunContext run_;
  RandomSource& random_;
  const int n_;
  NewtonIteration newton_;
  Classifier classifier_;
};

SearchEngine::SearchEngine(PointFunction& function, RunHooks& hooks, RandomSource* random)
    : function_(function), hooks_(hooks), random_(random) {
  if (!random_) {
    ownRandom_ = std::make_unique<ClockRandomSource>();
    random_ = ownRandom_.get();
  }
}

RunSummary SearchEngine::Compute(Problem& problem, const SearchOptions& options) {
  problem.maxima.clear();
  problem.minima.clear();
  problems_ = RunProblems{};
  const std::string refused = options.Validate(problem, [this] { return hooks_.StopRequested(); });
  if (!refused.empty()) return {RunEnd::Refused, 0, refused, {}};
  if (hooks_.StopRequested()) return {RunEnd::Stopped, 0, {}, {}};

  double gridPoints = 1;
  if (options.mode == SearchOptions::Mode::Explore)
    for (int i = 0; i < problem.varCount(); ++i)
      gridPoints *= static_cast<double>(
          GridAxisValues(problem.lowerLimit[i], problem.upperLimit[i], problem.subintervals[i]));

  Run run(problem, function_, hooks_, *random_);
  RunSummary summary;
  try {
    if (options.mode == SearchOptions::Mode::Random)
      run.RandomTrials(options.randomTrials);
    else
      run.Explore(gridPoints);
    hooks_.ReportProgress(1.0);
    if (hooks_.ShowAdditionalInfo())
      for (const std::string& line : ProblemsSection(run.context().problems))
        run.context().Append(line);
  } catch (const RunAborted& aborted) {
    summary = aborted.summary;
  }
  problems_ = run.context().problems;
  return summary;
}

// After a Newton iteration (converged or not) and its classification, the run goes
// on with the next starting point.
void SearchEngine::Run::FromStartingPoint(std::vector<double>& x) {
  const std::vector<double> start = x;
  if (newton_.Run(x) != NewtonEnd::Converged) return;
  const Classification c = classifier_.Classify(x);
  StationaryPoint met{c.kind, x, start, c.minors.smallestPivot, newton_.cycles(), false};
  switch (c.kind) {
    case PointKind::Minimum:
    case PointKind::Maximum:
      met.stored = StorePoint(c.kind, x, c.minors);
      break;
    case PointKind::Indefinite:
      ListPoint("P.D. MATRIX IS INDEFINITE.", x, c.minors);
      break;
    case PointKind::Semidefinite:
      ListPoint("P.D. MATRIX IS SEMIDEFINITE.", x, c.minors);
      break;
    case PointKind::PositiveSemidefinite:
      ListPoint("P.D. MATRIX IS POSITIVE SEMIDEFINITE.", x, c.minors);
      break;
    case PointKind::NegativeSemidefinite:
      ListPoint("P.D. MATRIX IS NEGATIVE SEMIDEFINITE.", x, c.minors);
      break;
  }
  run_.hooks().StationaryPointMet(met);
}

void SearchEngine::Run::Explore(double gridPoints) {
  const int n = n_;
  const int lastVar = n - 1;
  Problem& p = problem_;
  RunContext& run = run_;
  std::vector<double> gridStep(n);
  for (int i = 0; i < n; ++i)
    gridStep[i] = run.CheckedQuotient(run.Checked(p.upperLimit[i] - p.lowerLimit[i]),
                                      static_cast<double>(p.subintervals[i]));
  // The grid point under test; the first is the corner with every variable at its lower
  // limit.
  std::vector<double> x(p.lowerLimit);
  std::vector<double> start(n);
  double pointsDone = 0;
  double fPlus = 0, fMinus = 0;

  for (;;) {
    run.CheckStop();
    if ((static_cast<int64_t>(pointsDone) & 1023) == 0)
      run.hooks().ReportProgress(pointsDone / gridPoints);
    pointsDone += 1;

    // The grid point test: strictly below (or above) both neighbours along every
    // axis. Neighbours outside the box are evaluated all the same. A failed evaluation
    // leaves fPlus, fMinus or fdAcc at its previous value.
    int32_t maxAxes = -1, minAxes = -1;
    int32_t gridPos = lastVar;
    for (int i = 0; i < n; ++i) {
      const double savedX = x[i];
      x[i] = run.Checked(savedX + gridStep[i]);
      run.Evaluate(x, fPlus);
      x[i] = run.Checked(savedX - gridStep[i]);
      run.Evaluate(x, fMinus);
      x[i] = savedX;
      run.Evaluate(x, run.fdAcc);
      if (fPlus > run.fdAcc && fMinus > run.fdAcc) ++minAxes;
      if (fPlus < run.fdAcc && fMinus < run.fdAcc) ++maxAxes;
    }
    if (minAxes == lastVar || maxAxes == lastVar) {
      start = x;
      FromStartingPoint(x);
      x = start;  // the walk goes on from the grid point the iteration started from
    }

    // Advance like an odometer whose last variable turns fastest, by repeated
    // addition; the test is on the value before the addition.
    for (int k = gridPos;;) {
      if (x[k] >= p.upperLimit[k]) {
        if (k == 0) return;
        x[k] = p.lowerLimit[k];
        gridPos = k - 1;
        k = gridPos;
      } else {
        x[k] = run.Checked(x[k] + gridStep[k]);
        break;
      }
    }
  }
}

void SearchEngine::Run::RandomTrials(int32_t trials) {
  const int n = n_;
  Problem& p = problem_;
  RunContext& run = run_;
  std::vector<double> x(n);
  int32_t trialCount = 0;
  for (int32_t left = trials; left != 0;) {
    run.CheckStop();
    run.hooks().ReportProgress(static_cast<double>(trials - left) / trials);
    for (int i = 0; i < n; ++i) {
      random_.Reseed();
      const double r = random_.Next();
      x[i] = run.Checked(run.Checked(r * run.Checked(p.upperLimit[i] - p.lowerLimit[i])) +
                         p.lowerLimit[i]);
    }
    trialCount = trialCount + 1;
    run.hooks().Yield();
    run.Append("");
    run.Append(TrialLine(trialCount));
    left = left - 1;
    FromStartingPoint(x);
  }
}

// The function line of a point being listed: a tolerated failure drops the line.
void SearchEngine::Run::ListValueAt(const std::vector<double>& x) {
  double value;
  if (run_.Evaluate(x, value)) run_.Append(FunctionLine(value));
}

// A point that is neither maximum nor minimum leaves a trace only with
// "Show additional info": its verdict, coordinates, value and detail block.
void SearchEngine::Run::ListPoint(std::string_view verdict, const std::vector<double>& x,
                                  const LeadingMinors& minors) {
  if (!run_.hooks().ShowAdditionalInfo()) return;
  run_.Append(verdict);
  for (int i = 0; i < n_; ++i) run_.Append(CoordinateLine(problem_.varNames[i], x[i]));
  ListValueAt(x);
  for (const std::string& line :
       DetailBlock(minors.smallestPivot, minors.minPivots, minors.determinants))
    run_.Append(line);
  run_.hooks().Yield();
}

// A new maximum or minimum is stored and listed; a point within the error bound of a
// stored point of its kind, in every coordinate, is that point again and leaves no
// trace. A full store ends the run.
bool SearchEngine::Run::StorePoint(PointKind kind, const std::vector<double>& x,
                                   const LeadingMinors& minors) {
  const bool maximum = kind == PointKind::Maximum;
  std::vector<StoredPoint>& store = maximum ? problem_.maxima : problem_.minima;
  const int n = n_;
  for (const StoredPoint& stored : store) {
    bool same = true;
    for (int i = 0; i < n; ++i) {
      if (std::fabs(run_.Checked(x[i] - stored[i])) > problem_.errorBound) {
        same = false;
        break;
      }
    }
    if (same) return false;
  }
  if (static_cast<int>(store.size()) >= kStoreSize) {
    run_.Append(maximum ? "STORE FULL: 100 MAXIMA ARE HELD, THE SEARCH ENDS HERE."
                        : "STORE FULL: 100 MINIMA ARE HELD, THE SEARCH ENDS HERE.");
    throw RunAborted{{RunEnd::StoreFull, 0, {}, {}}};
  }
  StoredPoint stored(x.begin(), x.end());
  stored.push_back(minors.smallestPivot);
  store.push_back(std::move(stored));
  run_.Append(maximum ? kMaximumHeading : kMinimumHeading);
  for (int i = 0; i < n; ++i) run_.Append(CoordinateLine(problem_.varNames[i], x[i]));
  ListValueAt(x);
  if (run_.hooks().ShowAdditionalInfo()) {
    for (const std::string& line :
         DetailBlock(minors.smallestPivot, minors.minPivots, minors.determinants))
      run_.Append(line);
    run_.hooks().Yield();
  }
  return true;
}

}  // namespace quorvant
