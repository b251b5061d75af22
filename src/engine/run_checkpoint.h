// Where a run stands after the parts it committed: enough to go on from there in
// another process and list, store and save exactly what the whole run would have.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/listing.h"
#include "engine/search_part.h"
#include "model/problem.h"

namespace quorvant {

struct RunCheckpoint {
  int64_t committed = 0;  // grid points (Explore) or trials (Random) committed, in order
  int64_t starts = 0;     // starting points committed
  CarriedState carried;   // the working values the committed parts left
  std::vector<StoredPoint> maxima, minima;  // stored so far
  RunProblems problems;                     // met so far
  bool operator==(const RunCheckpoint&) const = default;
};

}  // namespace quorvant
