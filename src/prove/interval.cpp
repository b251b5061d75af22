#include "prove/interval.h"

#include <arb.h>
#include <flint/flint.h>

#include <algorithm>

namespace quorvant::prove {

namespace {

// Working precision of Arb's evaluations: well beyond a double's 53 bits, so the
// balls it returns round outward to doubles at most one unit wide.
constexpr slong kPrecision = 96;

// Arb's variables for one thread, made once; Arb's own per-thread caches (its
// constants) are freed with them when the thread ends.
struct ArbScratch {
  arb_t x, y, r, s;
  arf_t bound;
  ArbScratch() {
    arb_init(x);
    arb_init(y);
    arb_init(r);
    arb_init(s);
    arf_init(bound);
  }
  ~ArbScratch() {
    arb_clear(x);
    arb_clear(y);
    arb_clear(r);
    arb_clear(s);
    arf_clear(bound);
    flint_cleanup();
  }
};

ArbScratch& Scratch() {
  thread_local ArbScratch scratch;
  return scratch;
}

constexpr double kInf = std::numeric_limits<double>::infinity();

// A bound rounded to a double upward (`up`) or downward. Numbers below the smallest
// normal double (2^-1022) go to it or to 0, whichever lies on the safe side; too large
// ones go to an infinity (an overflow for the caller).
double ToDouble(const arf_t x, bool up) {
  if (arf_is_zero(x)) return 0;
  const bool negative = arf_sgn(x) < 0;
  if (arf_cmpabs_2exp_si(x, 1023) >= 0) return negative ? -kInf : kInf;
  if (arf_cmpabs_2exp_si(x, -1022) < 0) {
    const double smallest = std::numeric_limits<double>::min();
    if (up) return negative ? 0.0 : smallest;
    return negative ? -smallest : 0.0;
  }
  return arf_get_d(x, up ? ARF_RND_CEIL : ARF_RND_FLOOR);
}

// The bounds of an Arb ball as doubles rounded outward; infinite when the ball is not
// finite.
Interval Bounds(const arb_t ball) {
  ArbScratch& a = Scratch();
  if (!arb_is_finite(ball)) return {-kInf, kInf};
  arb_get_lbound_arf(a.bound, ball, kPrecision);
  const double lo = ToDouble(a.bound, false);
  arb_get_ubound_arf(a.bound, ball, kPrecision);
  const double hi = ToDouble(a.bound, true);
  return {lo, hi};
}

using ArbFunction = void (*)(arb_t, const arb_t, slong);

// f at the point x, enclosed.
Interval AtPoint(ArbFunction f, double x) {
  ArbScratch& a = Scratch();
  arb_set_d(a.x, x);
  f(a.r, a.x, kPrecision);
  return Bounds(a.r);
}

// An increasing f over [lo, hi]: its values at the ends.
Interval Increasing(ArbFunction f, Interval v) {
  if (v.IsPoint()) return AtPoint(f, v.lo);
  return {AtPoint(f, v.lo).lo, AtPoint(f, v.hi).hi};
}

// Whether [a, b] may contain (c + k * step) * pi for some whole k (true when
// unsure). The quotients by pi are computed in doubles: their relative error is a
// few units in the last place, far inside the margin.
bool MayContainMultiple(Interval v, double c, double step) {
  const double qa = v.lo / M_PI - c;
  const double qb = v.hi / M_PI - c;
  if (!(std::fabs(qa) < 1e12 && std::fabs(qb) < 1e12)) return true;
  const double margin = 1e-12 * (1 + std::fabs(qa) + std::fabs(qb));
  const double first = std::ceil((qa - margin) / step) * step;
  return first <= qb + margin;
}

// Sine and cosine at both ends in one Arb call each.
void SinCosEnds(Interval v, Interval sinEnds[2], Interval cosEnds[2]) {
  ArbScratch& a = Scratch();
  for (int k = 0; k < 2; ++k) {
    if (k == 1 && v.IsPoint()) {
      sinEnds[1] = sinEnds[0];
      cosEnds[1] = cosEnds[0];
      break;
    }
    arb_set_d(a.x, k == 0 ? v.lo : v.hi);
    arb_sin_cos(a.r, a.s, a.x, kPrecision);
    sinEnds[k] = Bounds(a.r);
    cosEnds[k] = Bounds(a.s);
  }
}

// A function with maxima at (cMax + 2k) pi and minima at (cMin + 2k) pi, from its
// enclosed values at the ends.
Interval Periodic(Interval v, const Interval ends[2], double cMax, double cMin) {
  if (!(v.Width() < 6)) return {-1, 1};
  Interval out = Hull(ends[0], ends[1]);
  if (MayContainMultiple(v, cMax, 2)) out.hi = 1;
  if (MayContainMultiple(v, cMin, 2)) out.lo = -1;
  out.lo = std::max(out.lo, -1.0);
  out.hi = std::min(out.hi, 1.0);
  return out;
}

// Up or down rounded powers of x >= 0, by repeated squaring: each product of bounds
// bounds the product.
double PowerBound(double x, long long n, bool up) {
  double result = 1, base = x;
  while (n > 0) {
    if (n & 1) result = up ? MulUp(result, base) : std::max(0.0, MulDown(result, base));
    n >>= 1;
    if (n > 0) base = up ? MulUp(base, base) : std::max(0.0, MulDown(base, base));
  }
  return result;
}

}  // namespace

Interval operator*(Interval a, Interval b) {
  // The ends of the exact product by the signs of the factors; each product is then
  // rounded outward on its own side (a product that underflows to zero still moves
  // unless a factor is 0).
  auto from = [](double lo1, double lo2, double hi1, double hi2) {
    return Interval{MulDown(lo1, lo2), MulUp(hi1, hi2)};
  };
  if (a.lo >= 0) {
    if (b.lo >= 0) return from(a.lo, b.lo, a.hi, b.hi);
    if (b.hi <= 0) return from(a.hi, b.lo, a.lo, b.hi);
    return from(a.hi, b.lo, a.hi, b.hi);
  }
  if (a.hi <= 0) {
    if (b.lo >= 0) return from(a.lo, b.hi, a.hi, b.lo);
    if (b.hi <= 0) return from(a.hi, b.hi, a.lo, b.lo);
    return from(a.lo, b.hi, a.lo, b.lo);
  }
  if (b.lo >= 0) return from(a.lo, b.hi, a.hi, b.hi);
  if (b.hi <= 0) return from(a.hi, b.lo, a.lo, b.lo);
  return {std::min(MulDown(a.lo, b.hi), MulDown(a.hi, b.lo)),
          std::max(MulUp(a.lo, b.lo), MulUp(a.hi, b.hi))};
}

Interval Scale(double k, Interval a) {
  return k >= 0 ? Interval{MulDown(k, a.lo), MulUp(k, a.hi)}
                : Interval{MulDown(k, a.hi), MulUp(k, a.lo)};
}

Interval operator/(Interval a, Interval b) {
  // As for products: only a zero numerator makes a quotient exactly 0.
  const double fa[4] = {a.lo, a.lo, a.hi, a.hi};
  const double fb[4] = {b.lo, b.hi, b.lo, b.hi};
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (int k = 0; k < 4; ++k) {
    const double q = fa[k] / fb[k];
    lo = std::min(lo, fa[k] == 0 ? 0.0 : Down(q));
    hi = std::max(hi, fa[k] == 0 ? 0.0 : Up(q));
  }
  return {lo, hi};
}

Interval Square(Interval a) {
  const double mig = a.Mignitude(), mag = a.Magnitude();
  return {MulDown(mig, mig), MulUp(mag, mag)};
}

Interval WholePower(Interval a, long long n) {
  if (n == 0) return {1, 1};
  if (n == 1) return a;
  if (n % 2 == 0) return {PowerBound(a.Mignitude(), n, false), PowerBound(a.Magnitude(), n, true)};
  const double lo = a.lo >= 0 ? PowerBound(a.lo, n, false) : -PowerBound(-a.lo, n, true);
  const double hi = a.hi >= 0 ? PowerBound(a.hi, n, true) : -PowerBound(-a.hi, n, false);
  return {lo, hi};
}

Interval Reciprocal(Interval a) {
  return Interval{1, 1} / a;
}

Interval Hull(Interval a, Interval b) {
  return {std::min(a.lo, b.lo), std::max(a.hi, b.hi)};
}

bool Intersect(Interval a, Interval b, Interval& out) {
  const double lo = std::max(a.lo, b.lo), hi = std::min(a.hi, b.hi);
  if (lo > hi) return false;
  out = {lo, hi};
  return true;
}

Interval Exp(Interval a) {
  Interval out = Increasing(arb_exp, a);
  out.lo = std::max(out.lo, 0.0);
  return out;
}

Interval Log(Interval a) {
  return Increasing(arb_log, a);
}

Interval Sqr(Interval a) {
  // The square root is correctly rounded in IEEE arithmetic.
  return {std::max(0.0, Down(std::sqrt(a.lo))), Up(std::sqrt(a.hi))};
}

Interval Sin(Interval a) {
  Interval s[2], c[2];
  SinCosEnds(a, s, c);
  return Periodic(a, s, 0.5, -0.5);
}

Interval Cos(Interval a) {
  Interval s[2], c[2];
  SinCosEnds(a, s, c);
  return Periodic(a, c, 0, 1);
}

bool TanMayReachPole(Interval a) {
  return !(a.Width() < 3) || MayContainMultiple(a, 0.5, 1);
}

Interval Tan(Interval a) {
  return Increasing(arb_tan, a);
}

Interval Atn(Interval a) {
  return Increasing(arb_atan, a);
}

Interval RealPower(Interval a, Interval p) {
  ArbScratch& s = Scratch();
  // Arb's power of balls: the base's and the exponent's, each from its bounds.
  auto ball = [](arb_t out, Interval v) {
    arb_t hi;
    arb_init(hi);
    arb_set_d(out, v.lo);
    arb_set_d(hi, v.hi);
    arb_union(out, out, hi, kPrecision);
    arb_clear(hi);
  };
  if (p.lo > 0 || p.hi < 0) {
    // Monotone in the base for an exponent of one sign: the ends suffice.
    ball(s.y, p);
    Interval out;
    const double ends[2] = {a.lo, a.hi};
    Interval values[2];
    for (int k = 0; k < 2; ++k) {
      arb_set_d(s.x, ends[k]);
      arb_pow(s.r, s.x, s.y, kPrecision);
      values[k] = Bounds(s.r);
    }
    out = Hull(values[0], values[1]);
    out.lo = std::max(out.lo, 0.0);
    return out;
  }
  ball(s.x, a);
  ball(s.y, p);
  arb_pow(s.r, s.x, s.y, kPrecision);
  Interval out = Bounds(s.r);
  out.lo = std::max(out.lo, 0.0);
  return out;
}

}  // namespace quorvant::prove
