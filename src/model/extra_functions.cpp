#include "model/extra_functions.h"

#include <cmath>
#include <limits>

#include "model/script/operators.h"
#include "model/script/script_error.h"

namespace quorvant {

namespace {

using MemberKind = script::HostObject::MemberKind;
namespace kernel = script::kernel;

// Truth values take part in the arithmetic as the formula language has them: -1 for
// true, 0 for false.
double Truth(bool b) {
  return b ? -1.0 : 0.0;
}

// Rounds an extended-precision intermediate to Double once; beyond the Double range
// it is an overflow.
int32_t ToDouble(long double v, double& r) {
  r = static_cast<double>(v);
  return kernel::Finite(r);
}

}  // namespace

ExtraFunctions::ExtraFunctions(int32_t* windowIerr) : windowIerr_(windowIerr) {
  members_ = {{
      {"pi", MemberKind::DoubleProperty, 0, &pi, nullptr},
      {"halfpi", MemberKind::DoubleProperty, 0, &halfpi, nullptr},
      {"e", MemberKind::DoubleProperty, 0, &e, nullptr},
      {"x", MemberKind::DoubleProperty, 0, &x, nullptr},
      {"ierr", MemberKind::LongProperty, 0, nullptr, &ierr},
      {"Asin", MemberKind::Method, 1},
      {"Acos", MemberKind::Method, 1},
      {"Sinh", MemberKind::Method, 1},
      {"Cosh", MemberKind::Method, 1},
      {"Tanh", MemberKind::Method, 1},
      {"Asinh", MemberKind::Method, 1},
      {"Acosh", MemberKind::Method, 1},
      {"Atanh", MemberKind::Method, 1},
  }};
}

double ExtraFunctions::Record(int32_t number) {
  ierr = number;
  if (windowIerr_) *windowIerr_ = number;
  return 0;
}

// Each function below is computed in the order written, step by step, so that its
// result is the same to the last bit wherever it runs. A failed step records its
// error number and the function returns 0.
#define STEP(expr)                                  \
  do {                                              \
    if (int32_t err_ = (expr)) return Record(err_); \
  } while (0)

// A = Atn(x / Sqr(s*x*x + 1)), the term Asin and Acos share, with s = (|x| <> 1).
// At |x| = 1 the square root is of 1 and A is multiplied by 0 afterwards, so the
// constant terms give the exact end values. Returns 0 or the error number.
int32_t ExtraFunctions::ArcTerm(double v, double s, double& a) {
  double q;
  if (int32_t e = kernel::Mul(s, v, q)) return e;
  if (int32_t e = kernel::Mul(q, v, q)) return e;
  if (int32_t e = kernel::Add(q, 1, q)) return e;
  if (int32_t e = kernel::Sqr(q, q)) return e;
  if (int32_t e = kernel::Div(v, q, q)) return e;
  a = std::atan(q);
  return 0;
}

// Asin: A * (-s) - halfpi * (t1 - t2), where t1 = (x = 1), t2 = (x = -1).
double ExtraFunctions::Asin(double v) {
  const double s = Truth(std::fabs(v) != 1), t1 = Truth(v == 1), t2 = Truth(v == -1);
  double atn, term1, term2, r;
  STEP(ArcTerm(v, s, atn));
  // -s of a false truth value is a whole-number 0, not -0.
  STEP(kernel::Mul(atn, -s + 0.0, term1));
  STEP(kernel::Mul(halfpi, t1 - t2, term2));
  STEP(kernel::Sub(term1, term2, r));
  return r;
}

// Acos: halfpi + (halfpi * (t1 - t2) + A * s).
double ExtraFunctions::Acos(double v) {
  const double s = Truth(std::fabs(v) != 1), t1 = Truth(v == 1), t2 = Truth(v == -1);
  double atn, term1, term2, inner, r;
  STEP(ArcTerm(v, s, atn));
  STEP(kernel::Mul(halfpi, t1 - t2, term1));
  STEP(kernel::Mul(atn, s, term2));
  STEP(kernel::Add(term1, term2, inner));
  STEP(kernel::Add(halfpi, inner, r));
  return r;
}

// Sinh, Cosh and Tanh round their exponentials to Double, then carry the sum,
// difference, product and quotient in the x87 80-bit format and round once at the
// end. That is why Tanh(-709.5) is exactly -1: -2 * Exp(709.5) lies beyond the Double
// range but not beyond the extended one.
double ExtraFunctions::Sinh(double v) {
  double m, p, r;
  STEP(kernel::Exp(-v, m));
  STEP(kernel::Exp(v, p));
  STEP(ToDouble((static_cast<long double>(p) - m) * 0.5L, r));
  return r;
}

double ExtraFunctions::Cosh(double v) {
  double m, p, r;
  STEP(kernel::Exp(-v, m));
  STEP(kernel::Exp(v, p));
  STEP(ToDouble((static_cast<long double>(p) + m) * 0.5L, r));
  return r;
}

// Tanh: (-2 * Exp(-x)) / (m + p) + 1, with Exp(-x) evaluated a second time for the
// numerator.
double ExtraFunctions::Tanh(double v) {
  double p, m, again, r;
  STEP(kernel::Exp(v, p));
  STEP(kernel::Exp(-v, m));
  STEP(kernel::Exp(-v, again));
  const long double numerator = -2.0L * again;
  const long double denominator = static_cast<long double>(m) + p;
  STEP(ToDouble(numerator / denominator + 1.0L, r));
  return r;
}

// Log(x + Sqr(x*x + c)), literally, for Asinh (c = 1) and Acosh (c = -1; adding -1
// is the same IEEE operation as subtracting 1). For Asinh(-1E+08) the sum is
// exactly 0 and the logarithm fails.
int32_t ExtraFunctions::LogOfRootSum(double v, double c, double& r) {
  double q;
  if (int32_t e = kernel::Mul(v, v, q)) return e;
  if (int32_t e = kernel::Add(q, c, q)) return e;
  if (int32_t e = kernel::Sqr(q, q)) return e;
  if (int32_t e = kernel::Add(v, q, q)) return e;
  return kernel::Log(q, r);
}

double ExtraFunctions::Asinh(double v) {
  double r;
  STEP(LogOfRootSum(v, 1, r));
  return r;
}

double ExtraFunctions::Acosh(double v) {
  double r;
  STEP(LogOfRootSum(v, -1, r));
  return r;
}

// Atanh: Log((x + 1) / (1 - x)) * 0.5.
double ExtraFunctions::Atanh(double v) {
  double num, den, q, lg, r;
  STEP(kernel::Add(v, 1, num));
  STEP(kernel::Sub(1, v, den));
  STEP(kernel::Div(num, den, q));
  STEP(kernel::Log(q, lg));
  STEP(kernel::Mul(lg, 0.5, r));
  return r;
}

#undef STEP

int32_t ExtraFunctions::CallNumber(int index, double arg, double& result) {
  switch (index) {
    case 5:
      result = Asin(arg);
      break;
    case 6:
      result = Acos(arg);
      break;
    case 7:
      result = Sinh(arg);
      break;
    case 8:
      result = Cosh(arg);
      break;
    case 9:
      result = Tanh(arg);
      break;
    case 10:
      result = Asinh(arg);
      break;
    case 11:
      result = Acosh(arg);
      break;
    case 12:
      result = Atanh(arg);
      break;
    default:
      return script::kNoSuchMember;
  }
  return 0;
}

int32_t ExtraFunctions::Call(int index, std::span<const script::Variant> args,
                             script::Variant& result) {
  // The argument is used as a number; one that cannot be (a text, Null) is this
  // function's own failure, caught like the others.
  double arg;
  double value;
  if (int32_t e = script::ToDouble(args[0], arg)) {
    value = Record(e);
  } else if (int32_t e = CallNumber(index, arg, value)) {
    return e;
  }
  result = script::Variant::Dbl(value);
  return 0;
}

}  // namespace quorvant
