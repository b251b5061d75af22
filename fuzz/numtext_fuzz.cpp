// Fuzzes the exact 15-digit rounding and the general number format, value by value:
// every 8 bytes of the input are a double's bits. Round15 must give the bits of the
// text round trip (the value written with 15 significant digits and read back) and
// change nothing when applied again; FormatGeneral must write what printf's %.15G
// writes (but "0" for both zeros), and a finite rounded value must read back from it.
// The tests check the same over fixed families; the fuzzer explores the bits near
// rounding boundaries that no family foresaw.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "model/numtext.h"

namespace {

bool SameBits(double a, double b) {
  return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b) ||
         (std::isnan(a) && std::isnan(b));
}

void Check(double v) {
  using namespace quorvant;
  const double rounded = Round15(v);
  if (!SameBits(rounded, Round15ByText(v))) std::abort();
  if (std::isfinite(rounded) && !SameBits(Round15(rounded), rounded)) std::abort();
  if (!std::isfinite(v)) return;
  char expected[64];
  std::snprintf(expected, sizeof expected, "%.15G", v);
  const std::string written = FormatGeneral(v);
  if (written != (v == 0 ? std::string("0") : std::string(expected))) std::abort();
  double back = 0;
  if (std::isfinite(rounded) && (!ParseNumericText(written, back) || back != rounded)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (size_t at = 0; at + 8 <= size; at += 8) {
    uint64_t bits;
    std::memcpy(&bits, data + at, 8);
    Check(std::bit_cast<double>(bits));
  }
  return 0;
}
