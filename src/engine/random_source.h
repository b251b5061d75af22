// Uniform random numbers for the starting points of a Random run, re-seeded from the
// clock before every coordinate.
#pragma once

#include <cstdint>
#include <functional>

namespace quorvant {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // Mixes the clock into the current state. The state is not replaced, so two draws
  // in the same clock tick still differ.
  virtual void Reseed() = 0;
  // A number drawn uniformly from [0, 1).
  virtual double Next() = 0;
};

// splitmix64 over a 64-bit state; the clock reading (nanoseconds of the steady
// clock, or what `clock` returns in tests) is added to the state at each re-seed.
class ClockRandomSource final : public RandomSource {
 public:
  explicit ClockRandomSource(std::function<uint64_t()> clock = {});
  void Reseed() override;
  double Next() override;

 private:
  uint64_t state_;
  std::function<uint64_t()> clock_;
};

}  // namespace quorvant
