#include "ui/prove_run.h"

#include <algorithm>
#include <cctype>
#include <thread>

#include "prove/enclosure.h"
#include "prove/prove_listing.h"
#include "prove/prover.h"

namespace quorvant {

namespace {

// The proof's own evaluator is prepared silently: its formula and constants were
// checked on the window's thread before the proof started.
class SilentMessages final : public MessageSink {
 public:
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
};

PointKind TableKind(prove::ProvenKind kind) {
  switch (kind) {
    case prove::ProvenKind::Maximum:
      return PointKind::Maximum;
    case prove::ProvenKind::Minimum:
      return PointKind::Minimum;
    case prove::ProvenKind::Saddle:
    case prove::ProvenKind::Undecided:
      break;
  }
  return PointKind::Indefinite;
}

std::string Refusal(const prove::CompiledEnclosure& compiled) {
  return "Prove refuses this formula: " + compiled.refusal;
}

// Why the box cannot be proven over, as a sentence; empty when it can.
std::string BoxRefusal(const Problem& problem, prove::Box& box) {
  std::string why = prove::SearchBox(problem, box);
  if (why.empty()) return why;
  why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
  return why + ".";
}

}  // namespace

bool ProveBuilt() {
  return true;
}

const char* ProveMissingReason() {
  return "";
}

std::string ProveRefusal(FunctionEvaluator& evaluator, const Problem& problem) {
  const prove::CompiledEnclosure compiled =
      prove::CompileEnclosure(evaluator, problem.varNames, problem.formula);
  if (!compiled.program) return Refusal(compiled);
  prove::Box box;
  return BoxRefusal(problem, box);
}

ProveOutcome RunProof(std::shared_ptr<const Problem> problem, const EvaluatorRecipe& recipe,
                      const std::atomic<bool>& stop,
                      const std::function<void(const ProveCounts&)>& progress) {
  ProveOutcome outcome;
  outcome.problem = problem;
  SilentMessages messages;
  FunctionEvaluator evaluator(messages);
  evaluator.PrepareFrom(recipe);
  const prove::CompiledEnclosure compiled =
      prove::CompileEnclosure(evaluator, problem->varNames, problem->formula);
  prove::Box box;
  if (!compiled.program) {
    outcome.refusal = Refusal(compiled);
    return outcome;
  }
  outcome.refusal = BoxRefusal(*problem, box);
  if (!outcome.refusal.empty()) return outcome;
  prove::ProveOptions options;
  options.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  options.stop = [&stop] { return stop.load(); };
  options.progress = [&progress](const prove::ProveProgress& p) {
    progress({p.boxes, p.waiting, p.proven});
  };
  const prove::ProveResult result = prove::Prove(compiled.program, box, options);

  const prove::ProofCounts counts = prove::ListProof(
      *problem, result, [&outcome](std::string_view line) { outcome.lines.Append(line); });
  outcome.complete = counts.undecided == 0;
  outcome.stopped = result.end == prove::ProveEnd::Stopped;
  outcome.provenMaxima = counts.maxima;
  outcome.provenMinima = counts.minima;
  for (const prove::ProvenPoint& p : result.points) {
    if (p.onBoundary) {
      outcome.undecided.push_back({});
      for (const prove::Interval& side : p.enclosure) {
        outcome.undecided.back().lower.push_back(side.lo);
        outcome.undecided.back().upper.push_back(side.hi);
      }
      continue;
    }
    StationaryPoint point;
    point.kind = TableKind(p.kind);
    point.point = p.Centre();
    point.smallestPivot = p.smallestPivot;
    point.stored = p.kind == prove::ProvenKind::Maximum || p.kind == prove::ProvenKind::Minimum;
    outcome.points.push_back(std::move(point));
    outcome.kinds.push_back(p.kind == prove::ProvenKind::Undecided ? "undecided" : "");
  }
  for (const prove::UndecidedBox& u : result.undecided) {
    PlotBox shaded;
    for (const prove::Interval& side : u.box) {
      shaded.lower.push_back(side.lo);
      shaded.upper.push_back(side.hi);
    }
    outcome.undecided.push_back(std::move(shaded));
  }
  Problem stored = *problem;
  prove::StoreProvenExtrema(result, stored);
  outcome.maxima = std::move(stored.maxima);
  outcome.minima = std::move(stored.minima);
  return outcome;
}

}  // namespace quorvant
