// Fuzzes the messages between the processes of a cluster run. The first byte picks the
// kind of message (a run order, a part order, a part's result, and in builds with Prove
// a proof's order, a share of its round, what deciding a share gave), the rest is read
// as one. A message is either refused with a WireError or read whole; one that is read
// must write back to exactly the bytes it came from (every field travels as its bits,
// so nothing may be lost or normalised on the way). Any other exception, crash,
// sanitizer report or difference is a finding.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cluster/wire.h"
#if QUORVANT_CLUSTER_PROVE
#include "cluster/prove_wire.h"
#endif

namespace {

using namespace quorvant::cluster;

std::string RoundTrip(uint8_t kind, std::string_view bytes) {
  switch (kind % 6) {
    case 0:
      return EncodeRunOrder(DecodeRunOrder(bytes));
    case 1:
      return EncodePartOrder(DecodePartOrder(bytes));
#if QUORVANT_CLUSTER_PROVE
    // A proof's messages: its order, a share of a round, what deciding it gave.
    case 3:
      return EncodeProofOrder(DecodeProofOrder(bytes));
    case 4:
      return EncodeRoundShare(DecodeRoundShare(bytes));
    case 5:
      return EncodeRoundShareResult(DecodeRoundShareResult(bytes));
#endif
    default:
      return EncodePartResult(DecodePartResult(bytes));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string back;
  try {
    back = RoundTrip(data[0], bytes);
  } catch (const WireError&) {
    return 0;
  }
  if (back != bytes) std::abort();
  return 0;
}
