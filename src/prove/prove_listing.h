// The listing of a proof, one routine for the runner and the window: every proven point
// with its kind, its centre and the radius of its enclosure, the verdict, the sub-boxes
// left undecided, and the stored extrema of an earlier search compared with the proof.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/listing.h"
#include "model/problem.h"
#include "prove/prover.h"

namespace quorvant::prove {

// "a maximum", "a saddle point", ...
const char* KindName(ProvenKind kind);

// The box of `problem`'s search limits; why Prove cannot work on it (a side of no
// width has no interior in which a stationary point could be proven), empty when it can.
std::string SearchBox(const Problem& problem, Box& box);

struct ProofCounts {
  int64_t maxima = 0, minima = 0, saddles = 0, unclassified = 0;
  size_t undecided = 0;  // sub-boxes, with the points whose enclosure crosses the boundary
  int64_t proven() const { return maxima + minima + saddles + unclassified; }
};

// Writes the listing of `result`, the proof over `problem`'s box, to `line`, and
// compares it with the extrema `problem` holds.
ProofCounts ListProof(const Problem& problem, const ProveResult& result, const LineSink& line);

// The proven maxima and minima become `problem`'s stored extrema, at most kStoreSize of
// each kind (the first, in the listing's order), each with its smallest pivot.
void StoreProvenExtrema(const ProveResult& result, Problem& problem);

}  // namespace quorvant::prove
