#include "engine/random_source.h"

#include <chrono>

namespace quorvant {

namespace {

uint64_t SteadyNanoseconds() {
  return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

uint64_t SplitMix(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

ClockRandomSource::ClockRandomSource(std::function<uint64_t()> clock)
    : clock_(clock ? std::move(clock) : SteadyNanoseconds) {
  state_ = clock_();
}

void ClockRandomSource::Reseed() {
  uint64_t mixed = clock_();
  state_ ^= SplitMix(mixed);
}

double ClockRandomSource::Next() {
  // The top 53 bits as a fraction: every value a multiple of 2^-53 in [0, 1).
  return static_cast<double>(SplitMix(state_) >> 11) * 0x1p-53;
}

}  // namespace quorvant
