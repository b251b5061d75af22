#include "cluster/prove_wire.h"

#include <cmath>

namespace quorvant::cluster {

namespace {

using prove::Box;
using prove::EInstr;
using prove::EOp;

// A box of 1 to kMaxVariables sides, each finite and not reversed.
void Put(Writer& w, const Box& box) {
  w.U64(box.size());
  for (const prove::Interval& side : box) {
    w.F64(side.lo);
    w.F64(side.hi);
  }
}

Box GetBox(Reader& r) {
  Box box(r.Count(16));
  if (box.empty() || box.size() > static_cast<size_t>(kMaxVariables))
    throw WireError("a message holds a box of no or too many variables");
  for (prove::Interval& side : box) {
    side.lo = r.F64();
    side.hi = r.F64();
    if (!std::isfinite(side.lo) || !std::isfinite(side.hi) || !(side.lo <= side.hi))
      throw WireError("a message holds a box with a side that is not an interval");
  }
  return box;
}

std::vector<Box> GetBoxes(Reader& r, size_t variables) {
  std::vector<Box> boxes(r.Count(8));
  for (Box& b : boxes) {
    b = GetBox(r);
    if (b.size() != variables) throw WireError("a message holds boxes of different sizes");
  }
  return boxes;
}

void Put(Writer& w, const std::vector<Box>& boxes) {
  w.U64(boxes.size());
  for (const Box& b : boxes) Put(w, b);
}

int Arity(EOp op) {
  switch (op) {
    case EOp::Const:
    case EOp::Var:
      return 0;
    case EOp::Add:
    case EOp::Sub:
    case EOp::Mul:
    case EOp::Div:
    case EOp::Pow:
      return 2;
    default:
      return 1;
  }
}

void Put(Writer& w, const prove::EnclosureProgram& p) {
  w.I32(p.variables);
  w.I32(p.maxStack);
  w.U64(p.code.size());
  for (const EInstr& in : p.code) {
    w.I32(static_cast<int32_t>(in.op));
    w.I32(in.var);
    w.F64(in.k);
  }
}

// A program the evaluator can run: every instruction known, its operands on the stack,
// the stack within maxStack, one value left at the end.
prove::EnclosureProgram GetProgram(Reader& r) {
  prove::EnclosureProgram p;
  p.variables = r.I32();
  p.maxStack = r.I32();
  if (p.variables < 1 || p.variables > kMaxVariables)
    throw WireError("a message holds a formula of no or too many variables");
  p.code.resize(r.Count(24));
  int depth = 0;
  for (EInstr& in : p.code) {
    const int32_t op = r.I32();
    if (op < 0 || op > static_cast<int32_t>(EOp::Sqr))
      throw WireError("a message holds an unknown operation");
    in.op = static_cast<EOp>(op);
    in.var = r.I32();
    in.k = r.F64();
    if (in.op == EOp::Var && (in.var < 0 || in.var >= p.variables))
      throw WireError("a message holds a variable beyond the formula's");
    if (in.op == EOp::Const && !std::isfinite(in.k))
      throw WireError("a message holds a number that is not finite");
    const int arity = Arity(in.op);
    if (depth < arity || (arity == 0 && depth >= p.maxStack))
      throw WireError("a message holds a formula that does not evaluate");
    depth += arity == 0 ? 1 : 1 - arity;
  }
  if (depth != 1 || p.maxStack > static_cast<int32_t>(p.code.size()))
    throw WireError("a message holds a formula that does not evaluate");
  return p;
}

void Put(Writer& w, const prove::Decision& d) {
  Put(w, d.children);
  w.U64(d.proofs.size());
  for (const prove::PointProof& p : d.proofs) {
    Put(w, p.point);
    Put(w, p.unique);
    w.I32(static_cast<int32_t>(p.kind));
    w.F64(p.smallestPivot);
  }
  w.U64(d.undecided.size());
  for (const prove::UndecidedBox& u : d.undecided) {
    Put(w, u.box);
    w.Text(u.reason);
  }
  w.I32(static_cast<int32_t>(d.failure));
}

prove::Decision GetDecision(Reader& r, size_t variables) {
  prove::Decision d;
  d.children = GetBoxes(r, variables);
  d.proofs.resize(r.Count(8));
  for (prove::PointProof& p : d.proofs) {
    p.point = GetBox(r);
    p.unique = GetBox(r);
    if (p.point.size() != variables || p.unique.size() != variables)
      throw WireError("a message holds boxes of different sizes");
    const int32_t kind = r.I32();
    if (kind < 0 || kind > static_cast<int32_t>(prove::ProvenKind::Undecided))
      throw WireError("a message holds an unknown kind of point");
    p.kind = static_cast<prove::ProvenKind>(kind);
    p.smallestPivot = r.F64();
  }
  d.undecided.resize(r.Count(8));
  for (prove::UndecidedBox& u : d.undecided) {
    u.box = GetBox(r);
    if (u.box.size() != variables) throw WireError("a message holds boxes of different sizes");
    u.reason = r.Text();
  }
  const int32_t failure = r.I32();
  if (failure < 0 || failure > static_cast<int32_t>(prove::Failure::Overflow))
    throw WireError("a message holds an unknown failure");
  d.failure = static_cast<prove::Failure>(failure);
  d.done = true;
  return d;
}

}  // namespace

std::string EncodeProofOrder(const ProofOrder& order) {
  Writer w;
  w.I64(order.run);
  Put(w, order.program);
  Put(w, order.box);
  w.F64(order.minWidth);
  w.Bool(order.narrow);
  w.F64(order.cut);
  w.I32(order.threads);
  return w.Take();
}

ProofOrder DecodeProofOrder(std::string_view bytes) {
  Reader r(bytes);
  ProofOrder order;
  order.run = r.I64();
  order.program = GetProgram(r);
  order.box = GetBox(r);
  if (order.box.size() != static_cast<size_t>(order.program.variables))
    throw WireError("a message holds a box that is not the formula's");
  order.minWidth = r.F64();
  order.narrow = r.Bool();
  order.cut = r.F64();
  order.threads = r.I32();
  if (!(order.minWidth >= 0 && order.minWidth <= 1) || !(order.cut > 0 && order.cut < 1) ||
      order.threads < 0 || order.threads > 4096)
    throw WireError("a message holds options of a proof out of their range");
  r.ExpectEnd();
  return order;
}

std::string EncodeRoundShare(const RoundShare& share) {
  Writer w;
  w.I64(share.run);
  w.I64(share.round);
  w.I64(share.first);
  Put(w, share.boxes);
  return w.Take();
}

RoundShare DecodeRoundShare(std::string_view bytes) {
  Reader r(bytes);
  RoundShare share;
  share.run = r.I64();
  share.round = r.I64();
  share.first = r.I64();
  share.boxes.resize(r.Count(8));
  for (Box& b : share.boxes) {
    b = GetBox(r);
    if (b.size() != share.boxes.front().size())
      throw WireError("a message holds boxes of different sizes");
  }
  if (share.first < 0 || share.first > static_cast<int64_t>(prove::kRoundSize) ||
      share.boxes.size() > prove::kRoundSize - static_cast<size_t>(share.first))
    throw WireError("a message holds members beyond a round");
  r.ExpectEnd();
  return share;
}

std::string EncodeRoundShareResult(const RoundShareResult& result) {
  Writer w;
  w.I64(result.run);
  w.I64(result.round);
  w.I64(result.first);
  w.U64(result.decisions.empty() ? 0 : result.decisions.front().box.size());
  w.U64(result.decisions.size());
  for (const prove::Decision& d : result.decisions) Put(w, d);
  return w.Take();
}

RoundShareResult DecodeRoundShareResult(std::string_view bytes) {
  Reader r(bytes);
  RoundShareResult result;
  result.run = r.I64();
  result.round = r.I64();
  result.first = r.I64();
  const uint64_t variables = r.U64();
  if (variables > static_cast<uint64_t>(kMaxVariables))
    throw WireError("a message holds a formula of too many variables");
  result.decisions.resize(r.Count(8));
  if (result.decisions.empty() != (variables == 0))
    throw WireError("a message holds a formula of no variables");
  if (result.first < 0 || result.first > static_cast<int64_t>(prove::kRoundSize) ||
      result.decisions.size() > prove::kRoundSize - static_cast<size_t>(result.first))
    throw WireError("a message holds members beyond a round");
  for (prove::Decision& d : result.decisions) {
    d = GetDecision(r, variables);
    d.box.resize(variables);  // the sub-box itself stays with rank 0: only its size travels
  }
  r.ExpectEnd();
  return result;
}

}  // namespace quorvant::cluster
