#include "cli/prove_command.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "cli/cli_output.h"
#include "cli/terminal_line.h"
#include "docs/problem_file.h"
#include "engine/listing.h"
#include "model/function_evaluator.h"
#include "model/numtext.h"
#include "model/text_safety.h"
#include "prove/enclosure.h"
#include "prove/prover.h"

namespace quorvant {

namespace {

using prove::ProvenKind;

const char* Heading(ProvenKind kind) {
  switch (kind) {
    case ProvenKind::Maximum:
      return "MAXIMUM AT:";
    case ProvenKind::Minimum:
      return "MINIMUM AT:";
    case ProvenKind::Saddle:
      return "SADDLE POINT AT:";
    case ProvenKind::Undecided:
      break;
  }
  return "STATIONARY POINT OF UNDECIDED KIND AT:";
}

const char* KindName(ProvenKind kind) {
  switch (kind) {
    case ProvenKind::Maximum:
      return "a maximum";
    case ProvenKind::Minimum:
      return "a minimum";
    case ProvenKind::Saddle:
      return "a saddle point";
    case ProvenKind::Undecided:
      break;
  }
  return "a stationary point of undecided kind";
}

std::string Plural(int64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The progress of the proof on the terminal, at most once a second, erased at the end.
class Progress {
 public:
  Progress(std::FILE* file, std::function<double()> clock) : line_(file, std::move(clock)) {}
  void Report(const prove::ProveProgress& p) {
    if (!line_.Due()) return;
    line_.Show(std::to_string(p.boxes) + " sub-boxes examined, " + std::to_string(p.waiting) +
               " waiting, " + Plural(p.proven, "proof", "proofs") +
               " of a single stationary point");
  }
  void Erase() { line_.Erase(); }

 private:
  TerminalLine line_;
};

std::string SignalName(int signal) {
  if (signal == SIGINT) return "SIGINT";
  if (signal == SIGTERM) return "SIGTERM";
  return "signal " + std::to_string(signal);
}

// The stored extrema (of an earlier search, read from the file) against the proof: a
// stored extremum within the error bound of a proven one of its kind is confirmed; the
// others are named, and so are the proven extrema the store lacks.
void CompareStored(const Problem& problem, const prove::ProveResult& result, bool complete,
                   Output& lines) {
  if (problem.maxima.empty() && problem.minima.empty()) return;
  auto where = [&](const std::vector<double>& x) {
    std::string text;
    for (int i = 0; i < problem.varCount(); ++i)
      text += (i > 0 ? ", " : "") + CoordinateLine(problem.varNames[i], x[i]);
    return text;
  };
  bool all = true;
  for (const ProvenKind kind : {ProvenKind::Maximum, ProvenKind::Minimum}) {
    const bool maximum = kind == ProvenKind::Maximum;
    const std::vector<StoredPoint>& stored = maximum ? problem.maxima : problem.minima;
    std::vector<bool> found(result.points.size(), false);
    for (const StoredPoint& s : stored) {
      bool match = false;
      for (size_t k = 0; k < result.points.size(); ++k) {
        const prove::ProvenPoint& p = result.points[k];
        if (p.kind != kind || p.onBoundary) continue;
        const std::vector<double> c = p.Centre();
        bool near = true;
        for (int i = 0; i < problem.varCount(); ++i)
          near = near && std::fabs(s[i] - c[i]) <= std::max(problem.errorBound, p.Radius());
        if (near) match = found[k] = true;
      }
      if (!match) {
        all = false;
        lines.Line(std::string("The stored ") + (maximum ? "maximum" : "minimum") + " at " +
                   where(s) + " is not a proven " + (maximum ? "maximum" : "minimum") +
                   " of the box.");
      }
    }
    std::vector<std::string> missed;
    for (size_t k = 0; k < result.points.size(); ++k)
      if (result.points[k].kind == kind && !result.points[k].onBoundary && !found[k])
        missed.push_back("(" + where(result.points[k].Centre()) + ")");
    if (!missed.empty()) {
      all = false;
      std::string line = "The stored results miss " +
                         Plural(static_cast<int64_t>(missed.size()),
                                maximum ? "maximum" : "minimum", maximum ? "maxima" : "minima") +
                         ":";
      for (size_t k = 0; k < missed.size(); ++k) line += (k > 0 ? ", " : " ") + missed[k];
      lines.Line(line + ".");
    }
  }
  if (all)
    lines.Line(complete ? "Every stored extremum is proven, and every proven extremum is stored."
                        : "Every stored extremum is proven, and every extremum proven so far is "
                          "stored.");
}

}  // namespace

bool ProveAvailable() {
  return true;
}

int RunProveCommand(Problem& problem, const std::string& file, const FileStamp& stamp,
                    FunctionEvaluator& evaluator, int threads, const ProveBudget& budget, bool save,
                    std::FILE* out, std::FILE* err, const CliHost& host) {
  const std::string fileName = Printable(file);
  const prove::CompiledEnclosure compiled =
      prove::CompileEnclosure(evaluator, problem.varNames, problem.formula);
  if (!compiled.program) {
    Message(host, err, fileName + ": Prove refuses this formula: " + compiled.refusal);
    return kExitUsage;
  }
  prove::Box box;
  for (int i = 0; i < problem.varCount(); ++i) {
    const double lo = problem.lowerLimit[i], hi = problem.upperLimit[i];
    // A side of no width has no interior in which a stationary point could be proven.
    if (!(lo < hi)) {
      Message(host, err,
              fileName + ": the search box of " + Printable(problem.varNames[i]) +
                  " has no width (its lower limit is not below its upper limit): Prove "
                  "needs a box with some width in every variable");
      return kExitUsage;
    }
    box.push_back({lo, hi});
  }

  Progress progress(host.progress, host.clock);
  int stopSignal = 0;
  prove::ProveOptions options;
  options.threads =
      threads > 0 ? threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  if (budget.maxBoxes) options.maxBoxes = *budget.maxBoxes;
  if (budget.seconds) options.maxSeconds = *budget.seconds;
  if (budget.minWidth) options.minWidth = *budget.minWidth;
  options.stop = [&] {
    if (stopSignal == 0 && host.stopSignal) stopSignal = host.stopSignal();
    return stopSignal != 0;
  };
  options.progress = [&](const prove::ProveProgress& p) { progress.Report(p); };
  if (host.prover) host.prover(compiled.program, box, threads, options);
  const prove::ProveResult result = prove::Prove(compiled.program, box, options);
  progress.Erase();

  // The listing goes out in one piece at the end: line by line, through an MPI
  // launcher's forwarding, thousands of lines take seconds, and a launcher that ends
  // the job on Ctrl+C would cut them short.
  char* held = nullptr;
  size_t heldSize = 0;
  std::FILE* memory = open_memstream(&held, &heldSize);
  Output lines(memory ? memory : out);
  int64_t counts[4] = {0, 0, 0, 0};
  std::vector<prove::UndecidedBox> undecided;
  for (const prove::ProvenPoint& p : result.points) {
    if (p.onBoundary) {
      undecided.push_back({p.enclosure, std::string("the enclosure of ") + KindName(p.kind) +
                                            " reaches across the boundary of the box: it may "
                                            "lie just outside"});
      continue;
    }
    ++counts[static_cast<int>(p.kind)];
    lines.Line(Heading(p.kind));
    const std::vector<double> centre = p.Centre();
    for (int i = 0; i < problem.varCount(); ++i)
      lines.Line(CoordinateLine(problem.varNames[i], centre[i]));
    lines.Line("RADIUS=" + FormatGeneral(p.Radius()));
  }
  for (const prove::UndecidedBox& u : result.undecided) undecided.push_back(u);
  const int64_t proven = counts[0] + counts[1] + counts[2] + counts[3];
  const int64_t minima = counts[static_cast<int>(ProvenKind::Minimum)];
  const int64_t maxima = counts[static_cast<int>(ProvenKind::Maximum)];
  const int64_t saddles = counts[static_cast<int>(ProvenKind::Saddle)];
  const int64_t unclassified = counts[static_cast<int>(ProvenKind::Undecided)];
  if (undecided.empty()) {
    std::string verdict =
        "All " + std::to_string(proven) +
        " stationary points of the box are listed: " + Plural(maxima, "maximum", "maxima") + ", " +
        Plural(minima, "minimum", "minima") + ", " + Plural(saddles, "saddle", "saddles");
    if (unclassified > 0) verdict += ", " + std::to_string(unclassified) + " of undecided kind";
    lines.Line(verdict + " (proven).");
  } else {
    lines.Line(std::to_string(proven) + " stationary points proven; " +
               std::to_string(undecided.size()) + " sub-boxes undecided (listed below).");
    for (const prove::UndecidedBox& u : undecided) {
      lines.Line("UNDECIDED: " + u.reason);
      for (int i = 0; i < problem.varCount(); ++i)
        lines.Line(Printable(problem.varNames[i]) + "=" + FormatGeneral(u.box[i].lo) + " TO " +
                   FormatGeneral(u.box[i].hi));
    }
  }

  CompareStored(problem, result, undecided.empty(), lines);

  int code = lines.Finish();
  if (memory) {
    std::fclose(memory);
    Output whole(out);
    if (code == 0) whole.Text(std::string_view(held, heldSize));
    std::free(held);
    if (code == 0) code = whole.Finish();
  }
  int status = kExitOk;
  if (result.end == prove::ProveEnd::Stopped) {
    status = kExitStopped;
    if (host.stopReport) {
      // Across an MPI job: what ended the job (a rank gone, say) is said, with its status.
      const CliHost::StopReport report = host.stopReport(stopSignal);
      Message(host, err, report.message);
      status = report.status;
    } else {
      Message(host, err,
              "the proof was stopped by " + SignalName(stopSignal) +
                  ": the listing holds what was proven before it.");
    }
  }
  if (code != 0) {
    Message(host, err, "cannot write the results to standard output: " + FileErrorReason(code));
    return kExitUsage;
  }
  if (!save) return status;
  if (status == kExitStopped) {
    Message(host, err, fileName + " was not saved: the proof was stopped.");
    return status;
  }
  problem.maxima.clear();
  problem.minima.clear();
  for (const prove::ProvenPoint& p : result.points) {
    if (p.onBoundary || (p.kind != ProvenKind::Maximum && p.kind != ProvenKind::Minimum)) continue;
    auto& store = p.kind == ProvenKind::Maximum ? problem.maxima : problem.minima;
    if (store.size() >= static_cast<size_t>(kStoreSize)) continue;
    StoredPoint point = p.Centre();
    point.push_back(p.smallestPivot);
    store.push_back(std::move(point));
  }
  if (maxima > kStoreSize || minima > kStoreSize)
    Message(host, err,
            fileName + " keeps the first " + std::to_string(kStoreSize) +
                " of each kind (in the listing's order): " + Plural(maxima, "maximum", "maxima") +
                " and " + Plural(minima, "minimum", "minima") + " were proven.");
  const SaveResult saved = SaveProblemFile(file, problem, stamp);
  if (saved.outcome == SaveResult::Outcome::ChangedOnDisk) {
    Message(host, err,
            fileName + " was not saved: " + saved.reason +
                ". Run the command again to work on its new contents.");
    return kExitUsage;
  }
  if (!saved.ok()) {
    Message(host, err, saved.reason);
    return kExitUsage;
  }
  return status;
}

}  // namespace quorvant
