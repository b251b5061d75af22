// Closed intervals of doubles with outward rounding: every operation returns an
// interval that contains the exact real result for every pair of operands in its
// arguments. The arithmetic rounds to nearest and widens by one unit in the last
// place; the elementary functions take their bounds from Arb, whose results carry
// a proven error bound (the C library's functions carry none).
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace quorvant::prove {

// The next double above x (below it, for Down); infinities and NaN stay as they are,
// except that the largest double goes up to infinity.
inline double Up(double x) {
  if (!(x < std::numeric_limits<double>::infinity())) return x;
  if (x == 0) return std::numeric_limits<double>::denorm_min();
  const auto bits = std::bit_cast<uint64_t>(x);
  return std::bit_cast<double>(x > 0 ? bits + 1 : bits - 1);
}
inline double Down(double x) {
  return -Up(-x);
}

struct Interval {
  double lo = 0;
  double hi = 0;

  static Interval Point(double x) { return {x, x}; }
  bool Finite() const { return std::isfinite(lo) && std::isfinite(hi); }
  bool Contains(double x) const { return lo <= x && x <= hi; }
  bool ContainsZero() const { return lo <= 0 && 0 <= hi; }
  bool IsZero() const { return lo == 0 && hi == 0; }
  bool IsPoint() const { return lo == hi; }
  bool operator==(const Interval&) const = default;
  double Width() const { return hi - lo; }
  // The midpoint, a double inside the interval.
  double Mid() const {
    const double m = 0.5 * lo + 0.5 * hi;
    return m < lo ? lo : (m > hi ? hi : m);
  }
  // An upper bound of the largest distance from Mid() to an end.
  double Radius() const {
    const double m = Mid();
    return std::fmax(Up(m - lo), Up(hi - m));
  }
  double Magnitude() const { return std::fmax(std::fabs(lo), std::fabs(hi)); }
  double Mignitude() const { return ContainsZero() ? 0 : std::fmin(std::fabs(lo), std::fabs(hi)); }
};

// A sum rounded to nearest with its exact error (no overflow): the bound moves one
// unit in the last place only on the side the error lies, so constants and zeros
// do not widen at every step. A sum beyond the double range stays infinite.
inline double AddDown(double a, double b) {
  const double s = a + b;
  if (!std::isfinite(s)) return s;
  const double bb = s - a;
  const double e = (a - (s - bb)) + (b - bb);
  return e < 0 ? Down(s) : s;
}
inline double AddUp(double a, double b) {
  const double s = a + b;
  if (!std::isfinite(s)) return s;
  const double bb = s - a;
  const double e = (a - (s - bb)) + (b - bb);
  return e > 0 ? Up(s) : s;
}
inline double MulDown(double a, double b) {
  const double p = a * b;
  return (p == 0 && (a == 0 || b == 0)) ? 0.0 : Down(p);
}
inline double MulUp(double a, double b) {
  const double p = a * b;
  return (p == 0 && (a == 0 || b == 0)) ? 0.0 : Up(p);
}

inline Interval operator+(Interval a, Interval b) {
  return {AddDown(a.lo, b.lo), AddUp(a.hi, b.hi)};
}
inline Interval operator-(Interval a) {
  return {-a.hi, -a.lo};
}
inline Interval operator-(Interval a, Interval b) {
  return {AddDown(a.lo, -b.hi), AddUp(a.hi, -b.lo)};
}
Interval operator*(Interval a, Interval b);
// A point matrix entry times an interval.
Interval Scale(double k, Interval a);
// `b` must not contain 0.
Interval operator/(Interval a, Interval b);
Interval Square(Interval a);
// a^n for a whole n >= 0.
Interval WholePower(Interval a, long long n);
// 1/a; `a` must not contain 0.
Interval Reciprocal(Interval a);
Interval Hull(Interval a, Interval b);
// False when they do not meet; `out` is then unchanged.
bool Intersect(Interval a, Interval b, Interval& out);

// The elementary functions over an interval. The caller keeps each to its domain:
// Log and the real powers to a positive interval, Sqr to a non-negative one, Tan to
// one free of poles (TanMayReachPole).
Interval Exp(Interval a);
Interval Log(Interval a);
Interval Sqr(Interval a);
Interval Sin(Interval a);
Interval Cos(Interval a);
Interval Tan(Interval a);
Interval Atn(Interval a);
// a^p for a > 0 and a real exponent p given as an interval.
Interval RealPower(Interval a, Interval p);
bool TanMayReachPole(Interval a);

}  // namespace quorvant::prove
