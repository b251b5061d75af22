// What the processes of a proof across an MPI job send each other, as bytes: the proof
// a worker is to join (the compiled formula, the box, the options that decide how a
// sub-box is decided), a share of a round's sub-boxes, and what deciding them gave.
// Every double travels as its 64 bits, so a sub-box decided on another machine merges
// exactly as one decided here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cluster/wire.h"
#include "prove/prover.h"

namespace quorvant::cluster {

// A proof a worker joins.
struct ProofOrder {
  int64_t run = 0;  // the proof's number: later messages name it
  prove::EnclosureProgram program;
  prove::Box box;
  double minWidth = 0;
  bool narrow = true;
  double cut = 0.5;
  int32_t threads = 0;  // per rank; 0: each rank's default
};

// Members `first`, `first` + 1, ... of round `round`, to decide.
struct RoundShare {
  int64_t run = 0;
  int64_t round = 0;
  int64_t first = 0;
  std::vector<prove::Box> boxes;
};

// What deciding a share gave, member by member (their sub-boxes stay with rank 0).
struct RoundShareResult {
  int64_t run = 0;
  int64_t round = 0;
  int64_t first = 0;
  std::vector<prove::Decision> decisions;
};

std::string EncodeProofOrder(const ProofOrder& order);
ProofOrder DecodeProofOrder(std::string_view bytes);
std::string EncodeRoundShare(const RoundShare& share);
RoundShare DecodeRoundShare(std::string_view bytes);
std::string EncodeRoundShareResult(const RoundShareResult& result);
RoundShareResult DecodeRoundShareResult(std::string_view bytes);

}  // namespace quorvant::cluster
