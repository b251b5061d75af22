// The proof over a box: branch and bound on enclosures of the gradient and the
// Hessian. A sub-box where some gradient component excludes 0 holds no stationary
// point; where the Krawczyk operator maps a sub-box into its interior, that sub-box
// holds exactly one, whose enclosure is then narrowed and whose kind is read from the
// Hessian's enclosure; anything else is bisected, down to a minimum width. What is
// left undecided is listed with the reason, never guessed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "prove/enclosure.h"
#include "prove/interval.h"

namespace quorvant::prove {

using Box = std::vector<Interval>;

enum class ProvenKind { Minimum, Maximum, Saddle, Undecided };

struct ProvenPoint {
  ProvenKind kind = ProvenKind::Undecided;
  Box enclosure;            // holds the point
  bool onBoundary = false;  // the enclosure reaches across the box's boundary
  // The smallest absolute pivot of the elimination of the Hessian at the centre of
  // its enclosure (stored with an extremum, as a search stores its own).
  double smallestPivot = 0;
  std::vector<double> Centre() const;
  double Radius() const;  // the largest half-width, rounded up
};

struct UndecidedBox {
  Box box;
  std::string reason;
};

// A stationary point proven alone in `unique` and enclosed in `point`, as one sub-box
// proved it (the proofs of one point from neighbouring sub-boxes are merged later).
struct PointProof {
  Box point;
  Box unique;
  ProvenKind kind = ProvenKind::Undecided;
  double smallestPivot = 0;
};

// One sub-box of a round, and what deciding it gave.
struct Decision {
  Box box;
  std::vector<Box> children;  // what remains of it to decide
  std::vector<PointProof> proofs;
  std::vector<UndecidedBox> undecided;
  // Not None: the children are the halves of a sub-box where the formula may fail so
  // (they wait until the rest is decided).
  Failure failure = Failure::None;
  bool done = false;
};

struct ProveProgress {
  int64_t boxes = 0;    // sub-boxes examined
  int64_t waiting = 0;  // sub-boxes still to examine
  int64_t proven = 0;   // proofs of a single stationary point met (before merging)
};

struct ProveOptions {
  // Worker threads; sub-boxes are handed out to them one at a time.
  int threads = 1;
  // Budget: sub-boxes examined, seconds (0: no limit). Spent, the proof ends with the
  // sub-boxes not yet decided listed.
  int64_t maxBoxes = 20'000'000;
  double maxSeconds = 0;
  // A sub-box narrower than this share of the box in every coordinate is not bisected
  // again: it is listed as undecided.
  double minWidth = 1e-9;
  // The proof gives up when this many sub-boxes are undecided (the stationary points
  // may fill a curve or a surface, each point of which would leave one).
  int64_t maxUndecided = 1000;
  // A sub-box whose Krawczyk image is at most half as wide is replaced by that image
  // (every stationary point of the sub-box lies in it); off, such a sub-box is
  // bisected like any other (for comparing the two rules).
  bool narrow = true;
  // Where a sub-box is cut, as a share of its widest side: a little below the middle,
  // so that the stationary points of symmetric problems (at 0, at the middle of the
  // box) do not lie on the cuts, where each would need a proof from both sides.
  double cut = 31.0 / 64;
  // Polled about ten times a second on the calling thread: true ends the proof at once.
  std::function<bool()> stop;
  // Called on the calling thread about ten times a second.
  std::function<void(const ProveProgress&)> progress;
  // When set, decides each round in place of the proof's threads (across the ranks of
  // an MPI job), from a thread of the proof: it sets `done` on the members it decided,
  // and may return early once `abandon` turns true. False ends the proof as Stop does
  // (the job cannot go on).
  std::function<bool(std::vector<Decision>& round, const std::function<bool()>& abandon)>
      decideRound;
};

// Sub-boxes decided together in one round of a proof. Fixed, not the number of threads
// or ranks: the rounds, what their members give and the order that is merged in make
// the proof, and a count budget's end, the same on any number of them.
inline constexpr size_t kRoundSize = 1024;

enum class ProveEnd { Completed, Budget, Stopped };

struct ProveResult {
  // Sorted by centre, lexicographically, so that the order does not depend on the
  // threads. Points whose enclosure lies outside the box are left out.
  std::vector<ProvenPoint> points;
  std::vector<UndecidedBox> undecided;  // sorted by their lower corner
  int64_t boxes = 0;
  ProveEnd end = ProveEnd::Completed;
  bool Complete() const { return undecided.empty(); }
};

ProveResult Prove(std::shared_ptr<const EnclosureProgram> program, const Box& box,
                  const ProveOptions& options);

// Decides every member of `round` on `threads` threads as a proof of `box` with
// `options` decides them: what another rank does with the members it is handed.
void DecideRound(std::shared_ptr<const EnclosureProgram> program, const Box& box,
                 const ProveOptions& options, std::span<Decision> round, int threads);

// The kind of a stationary point whose Hessian lies in `h` (upper triangle, as
// Taylor::h): the signs of the pivots of an interval elimination give the inertia of
// every symmetric matrix in it; a positive and a negative diagonal entry or a negative
// 2x2 principal minor prove a saddle. Anything else is undecided.
ProvenKind Classify(const Taylor& t, int n, double* smallestPivot = nullptr);

}  // namespace quorvant::prove
