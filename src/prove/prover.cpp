#include "prove/prover.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <optional>
#include <thread>

namespace quorvant::prove {

namespace {

using Clock = std::chrono::steady_clock;

bool Inside(const Box& inner, const Box& outer) {
  for (size_t i = 0; i < inner.size(); ++i)
    if (inner[i].lo < outer[i].lo || inner[i].hi > outer[i].hi) return false;
  return true;
}

bool Meet(const Box& a, const Box& b) {
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].lo > b[i].hi || b[i].lo > a[i].hi) return false;
  return true;
}

// A total order of records, so that merging does not depend on the order the threads
// found them in.
bool PointProofLess(const Box& a, const Box& b) {
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].lo != b[i].lo) return a[i].lo < b[i].lo;
    if (a[i].hi != b[i].hi) return a[i].hi < b[i].hi;
  }
  return false;
}

// The inverse of a point matrix (n x n, row-major) by Gauss-Jordan elimination with
// partial pivoting; false when it is singular or nearly so. Only a preconditioner:
// its rounding errors do not matter for the proof.
bool Invert(std::vector<double> a, int n, std::vector<double>& inverse) {
  inverse.assign(static_cast<size_t>(n * n), 0.0);
  for (int i = 0; i < n; ++i) inverse[static_cast<size_t>(i * n + i)] = 1;
  double scale = 0;
  for (double v : a) scale = std::max(scale, std::fabs(v));
  if (!(scale > 0) || !std::isfinite(scale)) return false;
  for (int c = 0; c < n; ++c) {
    int p = c;
    for (int r = c + 1; r < n; ++r)
      if (std::fabs(a[static_cast<size_t>(r * n + c)]) >
          std::fabs(a[static_cast<size_t>(p * n + c)]))
        p = r;
    const double pivot = a[static_cast<size_t>(p * n + c)];
    if (!(std::fabs(pivot) > 1e-14 * scale)) return false;
    if (p != c)
      for (int k = 0; k < n; ++k) {
        std::swap(a[static_cast<size_t>(p * n + k)], a[static_cast<size_t>(c * n + k)]);
        std::swap(inverse[static_cast<size_t>(p * n + k)], inverse[static_cast<size_t>(c * n + k)]);
      }
    for (int k = 0; k < n; ++k) {
      a[static_cast<size_t>(c * n + k)] /= pivot;
      inverse[static_cast<size_t>(c * n + k)] /= pivot;
    }
    for (int r = 0; r < n; ++r) {
      if (r == c) continue;
      const double f = a[static_cast<size_t>(r * n + c)];
      if (f == 0) continue;
      for (int k = 0; k < n; ++k) {
        a[static_cast<size_t>(r * n + k)] -= f * a[static_cast<size_t>(c * n + k)];
        inverse[static_cast<size_t>(r * n + k)] -= f * inverse[static_cast<size_t>(c * n + k)];
      }
    }
  }
  for (double v : inverse)
    if (!std::isfinite(v)) return false;
  return true;
}

// What one worker does with sub-boxes; its own evaluator and scratch.
class Worker {
 public:
  Worker(std::shared_ptr<const EnclosureProgram> program, const Box& box,
         const ProveOptions& options)
      : enclosure_(std::move(program)),
        n_(enclosure_.variables()),
        box_(box),
        narrow_(options.narrow),
        cut_(options.cut) {
    const double minWidth = options.minWidth;
    for (const Interval& side : box) minWidth_.push_back(minWidth * side.Width());
  }

  // Decides `x`, or hands back the sub-boxes that remain of it. Returns what the formula
  // may fail of on x when the children are the halves of such a sub-box (they wait
  // until the rest is decided), else None.
  Failure Process(Box x, std::vector<Box>& children, std::vector<PointProof>& records,
                  std::vector<UndecidedBox>& undecided) {
    bool near = false;  // a Krawczyk step narrowed x: a stationary point may be close
    for (int narrowing = 0; narrowing < 8; ++narrowing) {
      bool definite = false;
      const Failure failure = enclosure_.Evaluate(x, 2, whole_, &definite);
      if (failure != Failure::None) {
        if (definite) {
          undecided.push_back(
              {x, std::string(FailureReason(failure)) + " (the formula fails on all of it)"});
          return Failure::None;
        }
        if (!Bisect(x, children, SeparatingCut(x))) {
          undecided.push_back({x, FailureReason(failure)});
          return Failure::None;
        }
        return failure;
      }
      for (int i = 0; i < n_; ++i)
        if (!whole_.g[i].ContainsZero()) return Failure::None;
      Box k;
      const Outcome outcome = Krawczyk(x, whole_, k);
      if (outcome == Outcome::None) return Failure::None;
      if (outcome == Outcome::Unique) {
        Prove(x, k, x, records);
        return Failure::None;
      }
      if (outcome == Outcome::Contracted && narrow_) {
        // Every stationary point of x lies in k, which is much narrower: go on with it.
        x = k;
        near = true;
        continue;
      }
      near = near || outcome == Outcome::Near || outcome == Outcome::Contracted;
      // Every stationary point of x lies in k: bisect that (narrower in the coordinates
      // the step did narrow, such as those of a separable formula already holding one).
      if (narrow_ && (outcome == Outcome::Near || outcome == Outcome::Wide)) x = k;
      break;
    }
    if (near && TryInflated(x, records)) return Failure::None;
    if (!Bisect(x, children))
      undecided.push_back({x,
                           "narrower than the minimum width and still undecided (the Hessian "
                           "may be singular here)"});
    return Failure::None;
  }

 private:
  enum class Outcome { None, Unique, Contracted, Near, Wide, Singular, Failed };

  static Box Mid(const Box& x) {
    Box m(x.size());
    for (size_t i = 0; i < x.size(); ++i) m[i] = Interval::Point(x[i].Mid());
    return m;
  }

  // The Krawczyk operator of the gradient over x, with the Hessian's enclosure `t`
  // over x: K = m - Y g(m) + (I - Y H(x)) (x - m), Y the inverse of H's midpoint.
  // Every zero of the gradient in x lies in K; K inside x's interior proves exactly
  // one. `k` gets K intersected with x.
  Outcome Krawczyk(const Box& x, const Taylor& t, Box& k) {
    const Box m = Mid(x);
    if (enclosure_.Evaluate(m, 1, centre_) != Failure::None) return Outcome::Failed;
    // The mean value form of the gradient: g(x) lies in g(m) + H(x) (x - m).
    std::vector<Interval> dx(static_cast<size_t>(n_));
    for (int j = 0; j < n_; ++j) dx[j] = x[j] - m[j];
    for (int i = 0; i < n_; ++i) {
      Interval g = centre_.g[i];
      for (int j = 0; j < n_; ++j) g = g + t.h[HessianIndex(n_, i, j)] * dx[j];
      if (!g.ContainsZero()) return Outcome::None;
    }
    std::vector<double> mid(static_cast<size_t>(n_ * n_));
    for (int i = 0; i < n_; ++i)
      for (int j = 0; j < n_; ++j)
        mid[static_cast<size_t>(i * n_ + j)] = t.h[HessianIndex(n_, i, j)].Mid();
    if (!Invert(mid, n_, y_)) return Outcome::Singular;
    k.resize(static_cast<size_t>(n_));
    bool inside = true;
    for (int i = 0; i < n_; ++i) {
      Interval yg{};
      for (int c = 0; c < n_; ++c)
        yg = yg + Scale(y_[static_cast<size_t>(i * n_ + c)], centre_.g[c]);
      Interval ki = m[i] - yg;
      for (int j = 0; j < n_; ++j) {
        Interval e = Interval::Point(i == j ? 1.0 : 0.0);
        for (int c = 0; c < n_; ++c)
          e = e - Scale(y_[static_cast<size_t>(i * n_ + c)], t.h[HessianIndex(n_, c, j)]);
        ki = ki + e * dx[j];
      }
      if (!ki.Finite()) return Outcome::Failed;
      if (!(ki.lo > x[i].lo && ki.hi < x[i].hi)) inside = false;
      if (!Intersect(ki, x[i], k[i])) return Outcome::None;
    }
    if (inside) return Outcome::Unique;
    // Narrowed to at most half in the widest (relative) coordinate: worth another step.
    double before = 0, after = 0;
    for (int i = 0; i < n_; ++i) {
      const double w = box_[i].Width() > 0 ? box_[i].Width() : 1;
      before = std::max(before, x[i].Width() / w);
      after = std::max(after, k[i].Width() / w);
    }
    if (after <= 0.5 * before) return Outcome::Contracted;
    return after < before ? Outcome::Near : Outcome::Wide;
  }

  // A stationary point on or near the sub-box's boundary (the bisection may cut right
  // through one): the Krawczyk test on the sub-box widened on each side.
  bool TryInflated(const Box& x, std::vector<PointProof>& records) {
    Box u(x.size());
    for (int i = 0; i < n_; ++i) {
      // A tenth of the sub-box, and at least the minimum width (far above the rounding
      // errors of the Krawczyk step, which a sub-box narrowed to a few units in the
      // last place could not hold strictly inside).
      const double pad =
          0.1 * x[i].Width() + minWidth_[i] +
          4 * std::numeric_limits<double>::epsilon() * (std::fabs(x[i].lo) + std::fabs(x[i].hi));
      u[i] = {Down(x[i].lo - pad), Up(x[i].hi + pad)};
    }
    if (enclosure_.Evaluate(u, 2, inflated_) != Failure::None) return false;
    Box ku;
    if (Krawczyk(u, inflated_, ku) != Outcome::Unique) return false;
    Prove(u, ku, x, records);
    return true;
  }

  // Exactly one stationary point in `unique`, and it lies in `k`: narrow k by further
  // Krawczyk steps while they narrow it, then read its kind from the Hessian over the
  // last enclosure. The sub-box `x` (inside `unique`) was to be decided: when the point
  // turns out to lie outside it, x holds none, and the point is left to the sub-box
  // that holds it (the neighbours of a point would otherwise each prove it again).
  void Prove(const Box& unique, Box k, const Box& x, std::vector<PointProof>& records) {
    if (!Meet(k, x)) return;
    Taylor t;
    bool haveHessian = false;
    for (int step = 0; step < 60; ++step) {
      if (enclosure_.Evaluate(k, 2, t) != Failure::None) break;
      haveHessian = true;
      Box next;
      const Outcome outcome = Krawczyk(k, t, next);
      if (outcome != Outcome::Unique && outcome != Outcome::Contracted &&
          outcome != Outcome::Near && outcome != Outcome::Wide)
        break;
      double before = 0, after = 0;
      for (int i = 0; i < n_; ++i) {
        before = std::max(before, k[i].Width());
        after = std::max(after, next[i].Width());
      }
      k = next;
      if (!(after < before)) break;
    }
    if (!Meet(k, x)) return;
    double pivot = 0;
    const ProvenKind kind = haveHessian ? Classify(t, n_, &pivot) : ProvenKind::Undecided;
    records.push_back({k, unique, kind, pivot});
  }

  // The coordinate to cut a sub-box where the formula may fail across: the widest (as
  // for any sub-box) of those whose cut leaves a half where the formula does not fail,
  // or fails on all of it; -1 when no cut does. Cutting where it does not separate
  // anything (along x=0 for x*Log(x)) would only multiply the undecided sub-boxes.
  int SeparatingCut(const Box& x) {
    int best = -1;
    double widest = 0;
    for (int i = 0; i < n_; ++i) {
      if (!(x[i].Width() > minWidth_[i])) continue;
      const double relative = x[i].Width() / box_[i].Width();
      if (!(relative > widest)) continue;
      const double cut = x[i].lo + cut_ * x[i].Width();
      bool separates = false;
      for (int side = 0; side < 2 && !separates; ++side) {
        Box half = x;
        (side == 0 ? half[i].hi : half[i].lo) = cut;
        bool definite = false;
        separates = enclosure_.Evaluate(half, 0, inflated_, &definite) == Failure::None || definite;
      }
      if (separates) {
        widest = relative;
        best = i;
      }
    }
    return best;
  }

  // Cuts x across `coordinate`, or across its widest side (relative to the box) when
  // that is -1.
  bool Bisect(const Box& x, std::vector<Box>& children, int coordinate = -1) const {
    int best = coordinate;
    double widest = 0;
    for (int i = 0; i < n_ && coordinate < 0; ++i) {
      if (!(x[i].Width() > minWidth_[i])) continue;
      const double relative = x[i].Width() / box_[i].Width();
      if (relative > widest) {
        widest = relative;
        best = i;
      }
    }
    if (best < 0) return false;
    const double cut = x[best].lo + cut_ * x[best].Width();
    if (!(cut > x[best].lo && cut < x[best].hi)) return false;
    Box left = x, right = x;
    left[best].hi = cut;
    right[best].lo = cut;
    // The right half last, so that a stack hands out the left one first.
    children.push_back(std::move(right));
    children.push_back(std::move(left));
    return true;
  }

  Enclosure enclosure_;
  int n_;
  Box box_;
  bool narrow_;
  double cut_;
  std::vector<double> minWidth_;
  Taylor whole_, centre_, inflated_;
  std::vector<double> y_;
};

bool LexLess(const Box& a, const Box& b) {
  for (size_t i = 0; i < a.size(); ++i) {
    const double ma = a[i].Mid(), mb = b[i].Mid();
    if (ma != mb) return ma < mb;
  }
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].Width() != b[i].Width()) return a[i].Width() < b[i].Width();
  return false;
}

// Proofs of the same point from neighbouring sub-boxes become one: two records are of
// the same point when one's enclosure lies in the other's region of uniqueness. Two
// enclosures that meet without that are listed as undecided.
void Merge(std::vector<PointProof>& records, const Box& box, ProveResult& result) {
  std::sort(records.begin(), records.end(), [](const PointProof& a, const PointProof& b) {
    if (PointProofLess(a.point, b.point)) return true;
    if (PointProofLess(b.point, a.point)) return false;
    return PointProofLess(a.unique, b.unique);
  });
  const size_t count = records.size();
  double reach = 0;  // the widest region of uniqueness in the first coordinate
  for (const PointProof& r : records) reach = std::max(reach, r.unique[0].Width());
  std::vector<size_t> parent(count);
  std::iota(parent.begin(), parent.end(), 0);
  auto find = [&](size_t i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
  };
  std::vector<bool> clash(count, false);
  for (size_t i = 0; i < count; ++i)
    for (size_t j = i + 1; j < count; ++j) {
      // Sorted by the first coordinate: beyond the widest region of uniqueness nothing
      // more can meet the i-th.
      if (records[j].point[0].lo - records[i].point[0].hi > reach) break;
      const bool same = Inside(records[i].point, records[j].unique) ||
                        Inside(records[j].point, records[i].unique);
      if (same)
        parent[find(i)] = find(j);
      else if (Meet(records[i].point, records[j].point))
        clash[i] = clash[j] = true;
    }
  // A group's point lies in every member's enclosure, so in their intersection; its
  // kind is the first member's that is decided (in the records' order), with that
  // member's pivot.
  std::vector<Box> meet(count);
  std::vector<size_t> decided(count, SIZE_MAX);
  std::vector<bool> member(count, false), groupClash(count, false);
  for (size_t i = 0; i < count; ++i) {
    const size_t root = find(i);
    if (clash[i]) groupClash[root] = true;
    if (!member[root]) {
      member[root] = true;
      meet[root] = records[i].point;
    } else {
      for (size_t d = 0; d < meet[root].size(); ++d)
        Intersect(meet[root][d], records[i].point[d], meet[root][d]);
    }
    if (decided[root] == SIZE_MAX && records[i].kind != ProvenKind::Undecided) decided[root] = i;
  }
  for (size_t root = 0; root < count; ++root) {
    if (!member[root]) continue;
    if (groupClash[root]) {
      result.undecided.push_back({records[root].unique,
                                  "two enclosures of stationary points meet: they could not be "
                                  "told apart"});
      continue;
    }
    if (!Meet(meet[root], box)) continue;  // a stationary point outside the box
    ProvenPoint p;
    p.enclosure = meet[root];
    p.onBoundary = !Inside(meet[root], box);
    if (decided[root] != SIZE_MAX) {
      p.kind = records[decided[root]].kind;
      p.smallestPivot = records[decided[root]].smallestPivot;
    }
    result.points.push_back(std::move(p));
  }
  std::sort(
      result.points.begin(), result.points.end(),
      [](const ProvenPoint& a, const ProvenPoint& b) { return LexLess(a.enclosure, b.enclosure); });
}

}  // namespace

std::vector<double> ProvenPoint::Centre() const {
  std::vector<double> c;
  for (const Interval& side : enclosure) c.push_back(side.Mid());
  return c;
}

double ProvenPoint::Radius() const {
  double r = 0;
  for (const Interval& side : enclosure) r = std::max(r, side.Radius());
  return r;
}

ProvenKind Classify(const Taylor& t, int n, double* smallestPivot) {
  if (smallestPivot) {
    // The same elimination on the midpoints, for the stored pivot.
    std::vector<double> m(static_cast<size_t>(n * n));
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j)
        m[static_cast<size_t>(i * n + j)] = t.h[HessianIndex(n, i, j)].Mid();
    double smallest = std::numeric_limits<double>::infinity();
    for (int k = 0; k < n; ++k) {
      const double pivot = m[static_cast<size_t>(k * n + k)];
      smallest = std::min(smallest, std::fabs(pivot));
      if (pivot == 0) break;
      for (int i = k + 1; i < n; ++i) {
        const double f = m[static_cast<size_t>(i * n + k)] / pivot;
        for (int j = k + 1; j < n; ++j)
          m[static_cast<size_t>(i * n + j)] -= f * m[static_cast<size_t>(k * n + j)];
      }
    }
    *smallestPivot = smallest;
  }
  std::vector<Interval> a(static_cast<size_t>(n * n));
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) a[static_cast<size_t>(i * n + j)] = t.h[HessianIndex(n, i, j)];
  int positive = 0, negative = 0;
  bool regular = true;
  for (int k = 0; k < n && regular; ++k) {
    const Interval pivot = a[static_cast<size_t>(k * n + k)];
    if (pivot.ContainsZero()) {
      regular = false;
      break;
    }
    (pivot.lo > 0 ? positive : negative) += 1;
    for (int i = k + 1; i < n; ++i) {
      const Interval f = a[static_cast<size_t>(i * n + k)] / pivot;
      for (int j = k + 1; j < n; ++j)
        a[static_cast<size_t>(i * n + j)] =
            a[static_cast<size_t>(i * n + j)] - f * a[static_cast<size_t>(k * n + j)];
    }
  }
  if (regular) {
    if (negative == 0) return ProvenKind::Minimum;
    if (positive == 0) return ProvenKind::Maximum;
    return ProvenKind::Saddle;
  }
  // Some direction of positive and some of negative curvature.
  bool up = false, down = false;
  for (int i = 0; i < n; ++i) {
    const Interval d = t.h[HessianIndex(n, i, i)];
    up = up || d.lo > 0;
    down = down || d.hi < 0;
    for (int j = i + 1; j < n; ++j) {
      const Interval minor = d * t.h[HessianIndex(n, j, j)] - Square(t.h[HessianIndex(n, i, j)]);
      if (minor.hi < 0) return ProvenKind::Saddle;
    }
  }
  return up && down ? ProvenKind::Saddle : ProvenKind::Undecided;
}

namespace {

// A sub-box waiting to be decided: `failure` names what the formula may fail of on the
// sub-box it was cut from (such sub-boxes wait until the others are decided).
struct Waiting {
  Box box;
  Failure failure = Failure::None;
};

bool SameExceptIn(const Box& a, const Box& b, size_t d) {
  for (size_t i = 0; i < a.size(); ++i)
    if (i != d && (a[i].lo != b[i].lo || a[i].hi != b[i].hi)) return false;
  return true;
}

// Undecided sub-boxes with the same reason that share a whole face become one, so
// that a region left undecided (along a curve where the formula fails, say) is listed
// in a few boxes rather than in every sub-box the bisection cut it into.
void JoinUndecided(std::vector<UndecidedBox>& undecided) {
  if (undecided.empty()) return;
  const size_t n = undecided.front().box.size();
  for (bool joined = true; joined;) {
    joined = false;
    for (size_t d = 0; d < n; ++d) {
      // Neighbours along coordinate d: same reason, same other sides, then by d.
      std::sort(undecided.begin(), undecided.end(),
                [d, n](const UndecidedBox& a, const UndecidedBox& b) {
                  if (a.reason != b.reason) return a.reason < b.reason;
                  for (size_t i = 0; i < n; ++i) {
                    if (i == d) continue;
                    if (a.box[i].lo != b.box[i].lo) return a.box[i].lo < b.box[i].lo;
                    if (a.box[i].hi != b.box[i].hi) return a.box[i].hi < b.box[i].hi;
                  }
                  return a.box[d].lo < b.box[d].lo;
                });
      std::vector<UndecidedBox> out;
      for (UndecidedBox& u : undecided) {
        if (!out.empty()) {
          UndecidedBox& last = out.back();
          if (last.reason == u.reason && SameExceptIn(last.box, u.box, d) &&
              last.box[d].hi == u.box[d].lo) {
            last.box[d].hi = u.box[d].hi;
            joined = true;
            continue;
          }
        }
        out.push_back(std::move(u));
      }
      undecided.swap(out);
    }
  }
}

}  // namespace

ProveResult Prove(std::shared_ptr<const EnclosureProgram> program, const Box& box,
                  const ProveOptions& options) {
  ProveResult result;
  // All under `mutex`: what waits, what was merged, why the proof ends.
  std::mutex mutex;
  std::vector<Waiting> stack{{box, Failure::None}};  // the next round is taken from its top
  std::vector<Waiting> later;  // halves of sub-boxes where the formula may fail
  std::vector<PointProof> records;
  int64_t examined = 0;  // merged
  int64_t provenSeen = 0;
  bool halt = false;
  std::string haltReason;
  bool jobFailed = false;  // the rounds' decider could not go on
  // The round being decided, and the threads' meeting points.
  std::condition_variable start, finished;
  std::vector<Decision> round;
  std::atomic<size_t> next{0};
  std::atomic<bool> abandon{false};  // Stop or the time budget: no more members taken
  std::atomic<int64_t> decided{0};   // for the progress
  int64_t generation = 0;
  int running = 0;
  bool quit = false;
  const int threads = options.decideRound ? 1 : std::max(1, options.threads);

  auto giveUp = [&] {
    halt = true;
    result.end = ProveEnd::Budget;
    haltReason = "the proof gave up after " + std::to_string(options.maxUndecided) +
                 " undecided sub-boxes (the stationary points may fill a curve or a surface, "
                 "or the formula fail along one) before it was decided";
  };

  // The next round from the top of the stack; false when the proof ends here.
  auto nextRound = [&]() -> bool {
    if (halt) return false;
    if (stack.empty()) {
      // Everything else is decided: what waited for it is taken up, in the order it was
      // cut, unless it would take the undecided sub-boxes beyond the limit (sub-boxes
      // where the formula fails along a curve double with every cut across it).
      if (!later.empty() &&
          static_cast<int64_t>(result.undecided.size() + later.size()) >= options.maxUndecided) {
        giveUp();
        return false;
      }
      for (auto it = later.rbegin(); it != later.rend(); ++it) stack.push_back(std::move(*it));
      later.clear();
      if (stack.empty()) return false;
    }
    if (examined >= options.maxBoxes) {
      halt = true;
      result.end = ProveEnd::Budget;
      haltReason = "the budget of " + std::to_string(options.maxBoxes) +
                   " sub-boxes was spent before it was decided";
      return false;
    }
    if (abandon) {
      halt = true;
      return false;
    }
    const size_t take = static_cast<size_t>(
        std::min<int64_t>({static_cast<int64_t>(kRoundSize), static_cast<int64_t>(stack.size()),
                           options.maxBoxes - examined}));
    round.assign(take, {});
    for (size_t i = 0; i < take; ++i) {
      round[i].box = std::move(stack.back().box);
      stack.pop_back();
    }
    next = 0;
    running = threads;
    ++generation;
    return true;
  };

  // The round just decided, merged in its order whichever thread decided which member.
  auto mergeRound = [&] {
    if (jobFailed && !abandon) {
      abandon = true;
      result.end = ProveEnd::Stopped;
      haltReason = "the proof was stopped before it was decided";
    }
    if (abandon) halt = true;
    size_t accepted = 0;
    for (Decision& d : round) {
      if (!d.done || (halt && !abandon)) break;
      ++accepted;
      ++examined;
      provenSeen += static_cast<int64_t>(d.proofs.size());
      for (PointProof& r : d.proofs) records.push_back(std::move(r));
      for (UndecidedBox& u : d.undecided) result.undecided.push_back(std::move(u));
      if (static_cast<int64_t>(result.undecided.size()) >= options.maxUndecided && !halt) giveUp();
    }
    // The children of the first member end on top, as a single stack would have them.
    for (size_t i = accepted; i-- > 0;) {
      Decision& d = round[i];
      for (Box& child : d.children)
        (d.failure != Failure::None ? later : stack).push_back({std::move(child), d.failure});
    }
    for (size_t i = accepted; i < round.size(); ++i)
      stack.push_back({std::move(round[i].box), Failure::None});
    round.clear();
    decided = 0;
  };

  // Each thread decides members of the round; the last to finish merges it and sets
  // out the next, so that no other thread stands between two rounds.
  auto worker = [&] {
    std::optional<Worker> own;
    if (!options.decideRound) own.emplace(program, box, options);
    int64_t seen = 0;
    std::unique_lock lock(mutex);
    for (;;) {
      start.wait(lock, [&] { return quit || generation != seen; });
      if (quit) return;
      seen = generation;
      lock.unlock();
      if (options.decideRound) {
        bool ok = false;
        try {
          ok = options.decideRound(round, [&] { return abandon.load(); });
        } catch (...) {
        }
        lock.lock();
        jobFailed = jobFailed || !ok;
      } else {
        for (;;) {
          if (abandon.load(std::memory_order_relaxed)) break;
          const size_t i = next.fetch_add(1);
          if (i >= round.size()) break;
          Decision& d = round[i];
          d.failure = own->Process(d.box, d.children, d.proofs, d.undecided);
          d.done = true;
          decided.fetch_add(1, std::memory_order_relaxed);
        }
        lock.lock();
      }
      if (--running > 0) continue;
      mergeRound();
      if (nextRound()) {
        start.notify_all();
      } else {
        quit = true;
        start.notify_all();
        finished.notify_all();
      }
    }
  };

  const auto began = Clock::now();
  std::vector<std::thread> pool;
  {
    std::unique_lock lock(mutex);
    // Stop, the time budget and the progress, about ten times a second.
    auto poll = [&] {
      if (options.progress) {
        const ProveProgress progress{examined + decided.load(),
                                     static_cast<int64_t>(stack.size() + later.size()), provenSeen};
        lock.unlock();
        options.progress(progress);
        lock.lock();
      }
      if (abandon) return;
      const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
      bool stop = false;
      if (options.stop) {
        lock.unlock();
        stop = options.stop();
        lock.lock();
      }
      if (abandon) return;
      if (stop) {
        result.end = ProveEnd::Stopped;
        haltReason = "the proof was stopped before it was decided";
        abandon = true;
      } else if (options.maxSeconds > 0 && seconds > options.maxSeconds) {
        result.end = ProveEnd::Budget;
        haltReason = "the time budget was spent before it was decided";
        abandon = true;
      }
    };
    poll();
    if (abandon || !nextRound()) {
      halt = true;
      quit = true;
    } else {
      for (int t = 0; t < threads; ++t) pool.emplace_back(worker);
      while (!finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return quit; })) poll();
    }
  }
  for (std::thread& t : pool) t.join();
  for (std::vector<Waiting>* rest : {&stack, &later})
    for (Waiting& w : *rest)
      result.undecided.push_back(
          {std::move(w.box), w.failure != Failure::None
                                 ? std::string(FailureReason(w.failure)) + "; " + haltReason
                                 : haltReason});
  result.boxes = examined;
  Merge(records, box, result);
  JoinUndecided(result.undecided);
  std::sort(result.undecided.begin(), result.undecided.end(),
            [](const UndecidedBox& a, const UndecidedBox& b) {
              for (size_t i = 0; i < a.box.size(); ++i)
                if (a.box[i].lo != b.box[i].lo) return a.box[i].lo < b.box[i].lo;
              return a.reason < b.reason;
            });
  return result;
}

void DecideRound(std::shared_ptr<const EnclosureProgram> program, const Box& box,
                 const ProveOptions& options, std::span<Decision> round, int threads) {
  std::atomic<size_t> next{0};
  auto work = [&] {
    Worker worker(program, box, options);
    for (size_t i; (i = next.fetch_add(1)) < round.size();) {
      Decision& d = round[i];
      d.failure = worker.Process(d.box, d.children, d.proofs, d.undecided);
      d.done = true;
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < std::min<int>(threads, static_cast<int>(round.size())); ++t)
    pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();
}

}  // namespace quorvant::prove
