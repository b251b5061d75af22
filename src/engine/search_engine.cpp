#include "engine/search_engine.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <thread>

#include "engine/grid.h"
#include "engine/part_searcher.h"
#include "engine/search_part.h"
#include "model/numtext.h"

namespace quorvant {

int ThreadsFor(int requested) {
  if (requested > 0) return requested;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

// One run: the driver (grid or random starts, in parts, on one thread or several), and
// the one routine that commits what every start gave (store, duplicates, listing).
class SearchEngine::Run {
 public:
  Run(const Problem& problem, PointFunction& function, RunHooks& hooks, RandomSource& random,
      PartSearcher* searcher, const SearchOptions& options, const RunCheckpoint* resume)
      : problem_(problem),
        hooks_(hooks),
        random_(random),
        searcher_(searcher),
        options_(options),
        commit_(function, {}),
        function_(function),
        n_(problem.varCount()) {
    if (options.mode == SearchOptions::Mode::Explore) grid_ = std::make_unique<Grid>(problem);
    total_ = grid_ ? grid_->points() : options.randomTrials;
    // Parts small enough for Stop, progress and the threads' shares to stay fine, and
    // large enough that a thread's reuse of grid values pays.
    const int threads = searcher_ ? searcher_->width() : 1;
    threads_ = static_cast<int>(std::min<int64_t>(threads, std::max<int64_t>(1, total_)));
    if (grid_) {
      partSize_ = threads_ == 1
                      ? int64_t{1} << 16
                      : std::clamp<int64_t>(total_ / (8 * threads_), 4096, int64_t{1} << 22);
    } else {
      partSize_ = threads_ == 1 ? 64 : std::clamp<int64_t>(total_ / (32 * threads_), 1, 4096);
    }
    if (options.partSize > 0) partSize_ = options.partSize;
    if (resume) {
      first_ = std::clamp<int64_t>(resume->committed, 0, total_);
      starts_ = resume->starts;
      done_ = grid_ ? 0 : first_;
      truth_ = resume->carried;
      truth_.step.resize(static_cast<size_t>(n_), 0.0);
      store = SolutionStore(resume->maxima, resume->minima);
      problems = resume->problems;
    }
    parts_ = (total_ - first_ + partSize_ - 1) / partSize_;
  }

  void Execute() {
    if (searcher_ && threads_ > 1)
      Ahead(*searcher_);
    else
      Sequential();
    Progress(total_);
  }

  RunProblems problems;
  SolutionStore store;

 private:
  // --- the commit: what happens to each start's outcome, in the run's order ----------

  class Committer final : public StartReceiver {
   public:
    explicit Committer(Run& run) : run_(run) {}
    void Begin(int64_t index) override { run_.BeginStart(index); }
    void End(StartOutcome& outcome) override { run_.Commit(outcome); }

   private:
    Run& run_;
  };

  // A random trial begins: its header, after a yield to the caller's event loop.
  void BeginStart(int64_t index) {
    if (grid_) return;
    hooks_.Yield();
    Append("");
    Append(TrialLine(static_cast<int32_t>(index + 1)));
  }

  void Commit(StartOutcome& s) {
    ++starts_;
    if (!grid_) {
      ++done_;
      if ((done_ & 63) == 0) Progress(done_);
    }
    if (s.end != NewtonEnd::Converged) return;
    const Classification& c = s.classification;
    StationaryPoint met{c.kind, s.point, s.start, c.minors.smallestPivot, s.cycles, false};
    switch (c.kind) {
      case PointKind::Minimum:
      case PointKind::Maximum:
        met.stored = StorePoint(c.kind, s.point, c.minors);
        break;
      case PointKind::Indefinite:
        ListPoint("P.D. MATRIX IS INDEFINITE.", s.point, c.minors);
        break;
      case PointKind::Semidefinite:
        ListPoint("P.D. MATRIX IS SEMIDEFINITE.", s.point, c.minors);
        break;
      case PointKind::PositiveSemidefinite:
        ListPoint("P.D. MATRIX IS POSITIVE SEMIDEFINITE.", s.point, c.minors);
        break;
      case PointKind::NegativeSemidefinite:
        ListPoint("P.D. MATRIX IS NEGATIVE SEMIDEFINITE.", s.point, c.minors);
        break;
    }
    hooks_.StationaryPointMet(met);
  }

  void Append(std::string_view line) { hooks_.AppendLine(line); }

  // The function line of a point being listed: a tolerated failure drops the line.
  void ListValueAt(const std::vector<double>& x) {
    double value;
    if (commit_.Evaluate(x, value)) Append(FunctionLine(value));
  }

  // A point that is neither maximum nor minimum leaves a trace only with
  // "Show additional info": its verdict, coordinates, value and detail block.
  void ListPoint(std::string_view verdict, const std::vector<double>& x,
                 const LeadingMinors& minors) {
    if (!hooks_.ShowAdditionalInfo()) return;
    Append(verdict);
    for (int i = 0; i < n_; ++i) Append(CoordinateLine(problem_.varNames[i], x[i]));
    ListValueAt(x);
    for (const std::string& line :
         DetailBlock(minors.smallestPivot, minors.minPivots, minors.determinants))
      Append(line);
    hooks_.Yield();
  }

  // A new maximum or minimum is stored and listed; a point within the error bound of a
  // stored point of its kind, in every coordinate, is that point again and leaves no
  // trace. A full store ends the run.
  bool StorePoint(PointKind kind, const std::vector<double>& x, const LeadingMinors& minors) {
    const bool maximum = kind == PointKind::Maximum;
    switch (store.Add(kind, x, minors.smallestPivot, problem_.errorBound, commit_)) {
      case SolutionStore::Added::Duplicate:
        return false;
      case SolutionStore::Added::Full:
        Append(maximum ? "STORE FULL: 100 MAXIMA ARE HELD, THE SEARCH ENDS HERE."
                       : "STORE FULL: 100 MINIMA ARE HELD, THE SEARCH ENDS HERE.");
        throw RunAborted{{RunEnd::StoreFull, 0, {}, {}}};
      case SolutionStore::Added::Stored:
        break;
    }
    Append(maximum ? kMaximumHeading : kMinimumHeading);
    for (int i = 0; i < n_; ++i) Append(CoordinateLine(problem_.varNames[i], x[i]));
    ListValueAt(x);
    if (hooks_.ShowAdditionalInfo()) {
      for (const std::string& line :
           DetailBlock(minors.smallestPivot, minors.minPivots, minors.determinants))
        Append(line);
      hooks_.Yield();
    }
    return true;
  }

  // --- the parts ----------------------------------------------------------------------

  int64_t PartFirst(int64_t part) const { return first_ + part * partSize_; }
  int64_t PartLast(int64_t part) const { return std::min(total_, first_ + (part + 1) * partSize_); }

  // The starting points of a random part, drawn in trial order: each coordinate after
  // re-seeding from the clock.
  std::vector<std::vector<double>> DrawTrials(int64_t part) {
    std::vector<std::vector<double>> points;
    for (int64_t t = PartFirst(part); t < PartLast(part); ++t) {
      std::vector<double> x(n_);
      for (int i = 0; i < n_; ++i) {
        random_.Reseed();
        const double r = random_.Next();
        // (The run's checked arithmetic would only note a fault here, which nothing
        // reads: worker threads draw their parts too, so it is plain.)
        x[i] = r * (problem_.upperLimit[i] - problem_.lowerLimit[i]) + problem_.lowerLimit[i];
      }
      points.push_back(std::move(x));
    }
    return points;
  }

  // Searches a part in order, with the working values the parts before it left, each
  // start committed as soon as it is known.
  void SearchInOrder(SearchPart& part, int64_t index,
                     const std::vector<std::vector<double>>& trials) {
    Committer committer(*this);
    part.Search({PartFirst(index), PartLast(index)}, trials, committer);
  }

  void PartDone(int64_t index) {
    if (grid_) Progress(PartLast(index));
    if (hooks_.CheckpointDue()) {
      RunCheckpoint checkpoint;
      checkpoint.committed = PartLast(index);
      checkpoint.starts = starts_;
      checkpoint.carried = truth_;
      checkpoint.maxima = store.maxima();
      checkpoint.minima = store.minima();
      checkpoint.problems = problems;
      hooks_.Checkpoint(checkpoint);
    }
  }

  // `done` grid points or trials of the run are done.
  void Progress(int64_t done) {
    hooks_.ReportProgress(static_cast<double>(done) / total_);
    hooks_.ReportWork(done, total_, starts_);
  }

  // One thread: every part in order, on the run's own evaluator.
  void Sequential() {
    SearchPart part(problem_, grid_.get(), function_, [this] { return hooks_.StopRequested(); });
    part.Begin(&truth_);
    try {
      for (int64_t p = 0; p < parts_; ++p) {
        if (grid_) Progress(PartFirst(p));
        std::vector<std::vector<double>> trials;
        if (!grid_) {
          part.context().CheckStop();
          trials = DrawTrials(p);
        }
        SearchInOrder(part, p, trials);
        // Where the run stands, for a checkpoint (a resumed run's problems included).
        truth_ = part.End();
        Merge(part.context().problems);
        PartDone(p);
      }
    } catch (...) {
      Merge(part.context().problems);
      throw;
    }
    Merge(part.context().problems);
  }

  // Parts searched ahead of time, by other threads or processes; this thread commits
  // them in order, and searches again (in order, on the run's own evaluator) a part that
  // needed a working value from the part before it.
  void Ahead(PartSearcher& searcher) {
    RunPlan plan;
    plan.problem = &problem_;
    plan.options = options_;
    plan.total = total_;
    plan.first = first_;
    plan.partSize = partSize_;
    plan.parts = parts_;
    if (!grid_) plan.drawTrials = [this](int64_t index) { return DrawTrials(index); };
    searcher.Begin(plan, 2 * static_cast<int64_t>(threads_) + 2);
    struct EndSearch {
      PartSearcher& searcher;
      ~EndSearch() { searcher.End(); }
    } endSearch{searcher};
    std::unique_ptr<SearchPart> own;  // for parts searched again in order
    const auto stop = [this] { return hooks_.StopRequested(); };
    for (int64_t p = 0; p < parts_; ++p) {
      std::optional<PartOutcome> outcome = searcher.Take(p, stop);
      if (!outcome || stop()) throw RunAborted{{RunEnd::Stopped, 0, {}, {}}};
      CommitPart(p, *outcome, own);
      searcher.Committed(p);
      PartDone(p);
    }
  }

  void CommitPart(int64_t p, PartOutcome& outcome, std::unique_ptr<SearchPart>& own) {
    // A part stopped by Stop was not searched to its end: it is searched again in order
    // like a part that needed a value from before it (unless the run stops first).
    const bool stopped = outcome.aborted && outcome.abort.end == RunEnd::Stopped;
    if (outcome.dependent || stopped) {
      if (!own)
        own = std::make_unique<SearchPart>(problem_, grid_.get(), function_,
                                           [this] { return hooks_.StopRequested(); });
      own->Begin(&truth_);
      try {
        SearchInOrder(*own, p, outcome.trials);
      } catch (...) {
        Merge(own->context().problems);
        throw;
      }
      Merge(own->context().problems);
      truth_ = own->End();
      return;
    }
    Committer committer(*this);
    for (StartOutcome& s : outcome.starts) {
      committer.Begin(s.index);
      committer.End(s);
    }
    Merge(outcome.problems);
    if (outcome.aborted) {
      if (outcome.begun >= 0) committer.Begin(outcome.begun);
      // The failure is reported as the run's own evaluator reports it: evaluated again
      // at the same point, it fails the same way, with its message.
      double unused;
      commit_.Evaluate(outcome.abort.failedAt, unused);
      throw RunAborted{outcome.abort};
    }
    truth_ = CarriedState::Compose(truth_, outcome.end);
  }

  void Merge(const RunProblems& p) {
    problems.convProblems = problems.convProblems || p.convProblems;
    problems.inconsistence = problems.inconsistence || p.inconsistence;
    problems.linDependence = problems.linDependence || p.linDependence;
    problems.problemBits |= p.problemBits;
  }

  const Problem& problem_;
  RunHooks& hooks_;
  RandomSource& random_;
  PartSearcher* searcher_;
  const SearchOptions& options_;
  RunContext commit_;  // the listing's evaluations, on the run's own evaluator
  PointFunction& function_;
  const int n_;
  std::unique_ptr<Grid> grid_;
  int64_t total_ = 0;     // grid points, or trials
  int64_t first_ = 0;     // where the run begins (after what a resumed run had committed)
  int64_t partSize_ = 1;  // grid points or trials in a part
  int64_t parts_ = 0;
  int threads_ = 1;
  int64_t done_ = 0;    // random trials committed
  int64_t starts_ = 0;  // starting points committed
  // The working values as the parts committed so far left them (all known: the run
  // starts from zeros).
  CarriedState truth_ = [this] {
    CarriedState s;
    s.step.assign(n_, 0.0);
    return s;
  }();
};

SearchEngine::SearchEngine(PointFunction& function, RunHooks& hooks, RandomSource* random,
                           FunctionFactory factory)
    : function_(function), hooks_(hooks), random_(random), factory_(std::move(factory)) {
  if (!random_) {
    ownRandom_ = std::make_unique<ClockRandomSource>();
    random_ = ownRandom_.get();
  }
}

SearchEngine::~SearchEngine() = default;

RunResult SearchEngine::Compute(const RunRequest& request) {
  RunResult result;
  const Problem& problem = *request.problem;
  const SearchOptions& options = request.options;
  std::unique_ptr<Run> run;
  try {
    const std::string refused =
        options.Validate(problem, [this] { return hooks_.StopRequested(); });
    if (!refused.empty()) {
      result.summary = {RunEnd::Refused, 0, refused, {}};
      return result;
    }
    if (hooks_.StopRequested()) {
      result.summary = {RunEnd::Stopped, 0, {}, {}};
      return result;
    }
    // Other threads (or processes) search ahead when there is more than one.
    PartSearcher* searcher = searcher_;
    std::unique_ptr<PartSearcher> threads;
    if (!searcher && factory_ && ThreadsFor(options.threads) > 1) {
      threads = MakeThreadSearcher(ThreadsFor(options.threads), factory_);
      searcher = threads.get();
    }
    run = std::make_unique<Run>(problem, function_, hooks_, *random_, searcher, options,
                                request.resume.get());
    try {
      run->Execute();
      if (hooks_.ShowAdditionalInfo())
        for (const std::string& line : ProblemsSection(run->problems)) hooks_.AppendLine(line);
    } catch (const RunAborted& aborted) {
      result.summary = aborted.summary;
    }
  } catch (const std::bad_alloc&) {
    result.summary = {RunEnd::Internal, 0, "the memory ran out", {}};
  } catch (const std::exception& e) {
    result.summary = {RunEnd::Internal, 0, e.what(), {}};
  } catch (...) {
    result.summary = {RunEnd::Internal, 0, "an unknown failure", {}};
  }
  if (run) {
    result.problems = run->problems;
    result.store = std::move(run->store);
  }
  return result;
}

}  // namespace quorvant
