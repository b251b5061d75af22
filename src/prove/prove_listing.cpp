#include "prove/prove_listing.h"

#include <algorithm>
#include <cmath>

#include "model/numtext.h"
#include "model/text_safety.h"

namespace quorvant::prove {

namespace {

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

std::string Plural(int64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The stored extrema (of an earlier search) against the proof: a stored extremum within
// the error bound of a proven one of its kind is confirmed; the others are named, and
// so are the proven extrema the store lacks.
void CompareStored(const Problem& problem, const ProveResult& result, bool complete,
                   const LineSink& line) {
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
        const ProvenPoint& p = result.points[k];
        if (p.kind != kind || p.onBoundary) continue;
        const std::vector<double> c = p.Centre();
        bool near = true;
        for (int i = 0; i < problem.varCount(); ++i)
          near = near && std::fabs(s[i] - c[i]) <= std::max(problem.errorBound, p.Radius());
        if (near) match = found[k] = true;
      }
      if (!match) {
        all = false;
        line(std::string("The stored ") + (maximum ? "maximum" : "minimum") + " at " + where(s) +
             " is not a proven " + (maximum ? "maximum" : "minimum") + " of the box.");
      }
    }
    std::vector<std::string> missed;
    for (size_t k = 0; k < result.points.size(); ++k)
      if (result.points[k].kind == kind && !result.points[k].onBoundary && !found[k])
        missed.push_back("(" + where(result.points[k].Centre()) + ")");
    if (!missed.empty()) {
      all = false;
      std::string text = "The stored results miss " +
                         Plural(static_cast<int64_t>(missed.size()),
                                maximum ? "maximum" : "minimum", maximum ? "maxima" : "minima") +
                         ":";
      for (size_t k = 0; k < missed.size(); ++k) text += (k > 0 ? ", " : " ") + missed[k];
      line(text + ".");
    }
  }
  if (all)
    line(complete ? "Every stored extremum is proven, and every proven extremum is stored."
                  : "Every stored extremum is proven, and every extremum proven so far is "
                    "stored.");
}

}  // namespace

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

std::string SearchBox(const Problem& problem, Box& box) {
  box.clear();
  for (int i = 0; i < problem.varCount(); ++i) {
    const double lo = problem.lowerLimit[i], hi = problem.upperLimit[i];
    if (!(lo < hi))
      return "the search box of " + Printable(problem.varNames[i]) +
             " has no width (its lower limit is not below its upper limit): Prove needs a box "
             "with some width in every variable";
    box.push_back({lo, hi});
  }
  return {};
}

ProofCounts ListProof(const Problem& problem, const ProveResult& result, const LineSink& line) {
  ProofCounts counts;
  std::vector<UndecidedBox> undecided;
  for (const ProvenPoint& p : result.points) {
    if (p.onBoundary) {
      undecided.push_back({p.enclosure, std::string("the enclosure of ") + KindName(p.kind) +
                                            " reaches across the boundary of the box: it may "
                                            "lie just outside"});
      continue;
    }
    switch (p.kind) {
      case ProvenKind::Maximum:
        ++counts.maxima;
        break;
      case ProvenKind::Minimum:
        ++counts.minima;
        break;
      case ProvenKind::Saddle:
        ++counts.saddles;
        break;
      case ProvenKind::Undecided:
        ++counts.unclassified;
        break;
    }
    line(Heading(p.kind));
    const std::vector<double> centre = p.Centre();
    for (int i = 0; i < problem.varCount(); ++i)
      line(CoordinateLine(problem.varNames[i], centre[i]));
    line("RADIUS=" + FormatGeneral(p.Radius()));
  }
  for (const UndecidedBox& u : result.undecided) undecided.push_back(u);
  counts.undecided = undecided.size();
  if (undecided.empty()) {
    std::string verdict =
        "All " + std::to_string(counts.proven()) +
        " stationary points of the box are listed: " + Plural(counts.maxima, "maximum", "maxima") +
        ", " + Plural(counts.minima, "minimum", "minima") + ", " +
        Plural(counts.saddles, "saddle", "saddles");
    if (counts.unclassified > 0)
      verdict += ", " + std::to_string(counts.unclassified) + " of undecided kind";
    line(verdict + " (proven).");
  } else {
    line(std::to_string(counts.proven()) + " stationary points proven; " +
         std::to_string(undecided.size()) + " sub-boxes undecided (listed below).");
    for (const UndecidedBox& u : undecided) {
      line("UNDECIDED: " + u.reason);
      for (int i = 0; i < problem.varCount(); ++i)
        line(Printable(problem.varNames[i]) + "=" + FormatGeneral(u.box[i].lo) + " TO " +
             FormatGeneral(u.box[i].hi));
    }
  }
  CompareStored(problem, result, undecided.empty(), line);
  return counts;
}

void StoreProvenExtrema(const ProveResult& result, Problem& problem) {
  problem.maxima.clear();
  problem.minima.clear();
  for (const ProvenPoint& p : result.points) {
    if (p.onBoundary || (p.kind != ProvenKind::Maximum && p.kind != ProvenKind::Minimum)) continue;
    auto& store = p.kind == ProvenKind::Maximum ? problem.maxima : problem.minima;
    if (store.size() >= static_cast<size_t>(kStoreSize)) continue;
    StoredPoint point = p.Centre();
    point.push_back(p.smallestPivot);
    store.push_back(std::move(point));
  }
}

}  // namespace quorvant::prove
