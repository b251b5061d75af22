// Fuzzes the soundness of Prove's enclosures: the input makes a random smooth program
// of one to three variables, a box and a point in it. Arb evaluates the value, the
// gradient and the Hessian at the point to 320 bits; each must lie in the enclosure
// over the box (and over the point alone). A disagreement, crash or sanitizer report is
// a finding.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "enclosure_check.h"
#include "prove/enclosure.h"

using quorvant::prove::Interval;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quorvant::testing::ByteSource bytes(std::span<const uint8_t>(data, size));
  const int n = 1 + bytes.Next() % 3;
  std::vector<Interval> box;
  std::vector<double> point;
  for (int i = 0; i < n; ++i) {
    const double a = bytes.Number(), b = bytes.Number();
    const Interval side{std::min(a, b), std::max(a, b)};
    box.push_back(side);
    point.push_back(side.lo + (side.hi - side.lo) * (bytes.Next() / 255.0));
    if (point.back() > side.hi) point.back() = side.hi;
  }
  auto program = std::make_shared<quorvant::prove::EnclosureProgram>(
      quorvant::testing::ProgramFrom(bytes, n, 40));
  quorvant::testing::ArbReference reference(n);
  if (!reference.Evaluate(*program, point)) return 0;
  quorvant::prove::Enclosure enclosure(program);
  std::vector<Interval> at;
  for (double x : point) at.push_back(Interval::Point(x));
  for (const auto* over : {&box, &at}) {
    quorvant::prove::Taylor t;
    if (enclosure.Evaluate(*over, 2, t) != quorvant::prove::Failure::None) continue;
    const std::string outside = reference.Outside(t, 2);
    if (!outside.empty()) {
      std::fprintf(stderr, "%s of %s lies outside its enclosure\n", outside.c_str(),
                   quorvant::testing::Describe(*program).c_str());
      std::abort();
    }
  }
  return 0;
}
