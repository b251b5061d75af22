// The language's operators on Variants, and the numeric kernels they share with the
// double-only machine. Floating-point results are formed by exactly one IEEE
// operation or one C library call in the order written; a result beyond the Double
// range is the language's Overflow (6), never an infinity.
#pragma once

#include <cmath>
#include <cstdint>

#include "model/script/bytecode.h"
#include "model/script/script_error.h"
#include "model/script/variant.h"

namespace quorvant::script {

namespace kernel {

inline int32_t Finite(double r) {
  return std::isfinite(r) ? 0 : kOverflow;
}
inline int32_t Add(double a, double b, double& r) {
  r = a + b;
  return Finite(r);
}
inline int32_t Sub(double a, double b, double& r) {
  r = a - b;
  return Finite(r);
}
inline int32_t Mul(double a, double b, double& r) {
  r = a * b;
  return Finite(r);
}
// 0/0 is an Overflow, any other division by zero a Division by zero.
inline int32_t Div(double a, double b, double& r) {
  if (b == 0) return a == 0 ? 6 : 11;
  r = a / b;
  return Finite(r);
}
// The library's exp, log and square root with the language's errors: a result
// beyond the Double range is 6, a logarithm of x <= 0 or a root of x < 0 is 5.
inline int32_t Exp(double x, double& r) {
  r = std::exp(x);
  return Finite(r);
}
inline int32_t Log(double x, double& r) {
  if (x <= 0) return kInvalidCall;
  r = std::log(x);
  return 0;
}
inline int32_t Sqr(double x, double& r) {
  if (x < 0) return kInvalidCall;
  r = std::sqrt(x);
  return 0;
}
// a ^ b through the C library's pow. A negative base needs a whole exponent (5);
// zero to a negative power is a division by zero (11).
int32_t Pow(double a, double b, double& r);
// Pow(a, 2) and Pow(a, 3) through the library's pow itself.
int32_t PowSlow(double a, int exponent, double& r);

// Exact product: a * b == p + e (Dekker's algorithm; needs no overflow or underflow
// in the partial products, which the callers make sure of by range).
inline void TwoProduct(double a, double b, double& p, double& e) {
  constexpr double kSplit = 134217729.0;  // 2^27 + 1
  p = a * b;
  const double ca = kSplit * a, cb = kSplit * b;
  const double ah = ca - (ca - a), al = a - ah;
  const double bh = cb - (cb - b), bl = b - bh;
  e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
}

// True when `hi` is what pow returns for an exact value hi + lo. The library's pow
// is within 0.54 ulp of the exact power, so when the exact value lies within 0.46
// ulp of hi (at least 0.54 ulp from every other double) pow must return hi. The test
// hi + 1.1 * lo == hi says that with a margin, and it also holds at a power of two, where
// the neighbour below is only half an ulp away. Outside a safe range the caller asks
// pow.
inline bool RoundsLikePow(double hi, double lo) {
  return hi + lo * 1.1 == hi;
}
inline bool InSafeRange(double x) {
  const double m = std::fabs(x);
  return m > 0x1p-900 && m < 0x1p900;
}

// a ^ 2 and a ^ 3, bit-identical to Pow(a, 2) and Pow(a, 3): the product is
// correctly rounded, and pow agrees with it unless the exact value lies close to a
// rounding boundary; only then is pow called.
inline int32_t Square(double a, double& r) {
  double p, e;
  if (InSafeRange(a * a)) {
    TwoProduct(a, a, p, e);
    if (RoundsLikePow(p, e)) {
      r = p;
      return 0;
    }
  }
  return PowSlow(a, 2, r);
}

inline int32_t Cube(double a, double& r) {
  if (InSafeRange(a * a) && InSafeRange(a * a * a)) {
    double p2, e2, p3, e3;
    TwoProduct(a, a, p2, e2);   // a^2 = p2 + e2
    TwoProduct(p2, a, p3, e3);  // p2*a = p3 + e3
    // a^3 = p3 + e3 + e2*a; the last product is rounded, but it is about 2^-53 of
    // p3, so its error lies near 2^-106 relative, far inside the test's margin.
    const double tail = e3 + e2 * a;
    const double q = p3 + tail;
    const double rest = (p3 - q) + tail;  // exact, since |p3| >= |tail|
    if (RoundsLikePow(q, rest)) {
      r = q;
      return 0;
    }
  }
  return PowSlow(a, 3, r);
}

}  // namespace kernel

// Bits of a comparison instruction's argc: the operand was written as a literal
// (a number or a text as it stands in the source). A text meets a number by
// different rules depending on which of the two is a literal.
inline constexpr uint8_t kLeftLiteral = 1;
inline constexpr uint8_t kRightLiteral = 2;

// Binary operator `op` on a and b into r; `literals` (comparisons only) says which
// operands were literals. Returns 0 or the error number.
int32_t BinaryOp(Op op, const Variant& a, const Variant& b, Variant& r, uint8_t literals = 0);
// Unary operators Neg, Pos and Not.
int32_t UnaryOp(Op op, const Variant& a, Variant& r);

// Whole number of a value for \, Mod and the logical operators: rounded half to
// even, and within the Long range (else 6).
int32_t ToLong(const Variant& v, int32_t& out);

}  // namespace quorvant::script
