#include "model/script/operators.h"

#include <cstring>
#include <string>

#include "model/numtext.h"

namespace quorvant::script {

namespace kernel {

int32_t Pow(double a, double b, double& r) {
  if (a < 0 && b != std::trunc(b)) return 5;
  if (a == 0 && b < 0) return 11;
  r = std::pow(a, b);
  return Finite(r);
}

namespace {
// The exponent goes through a volatile so that the compiler cannot turn pow(a, 2.0)
// into a * a: the point is to get what the library's pow returns.
volatile double kExponents[4] = {0.0, 1.0, 2.0, 3.0};
}  // namespace

int32_t PowSlow(double a, int exponent, double& r) { return Pow(a, kExponents[exponent], r); }

}  // namespace kernel

namespace {

// Rank of an arithmetic operand: 0 Integer (Empty, Boolean, Integer), 1 Long,
// 2 Double (Double, or a text read as a number).
int Rank(const Variant& v) {
  switch (v.type) {
    case VType::Long: return 1;
    case VType::Double:
    case VType::String: return 2;
    default: return 0;
  }
}

int64_t WholeValue(const Variant& v) {
  switch (v.type) {
    case VType::Integer: return v.i;
    case VType::Long: return v.l;
    case VType::Boolean: return v.b ? -1 : 0;
    default: return 0;
  }
}

// Result of whole-number arithmetic in the rank of its operands: an Integer that
// overflows becomes a Long, a Long that overflows becomes a Double.
Variant Promote(int64_t value, int rank) {
  if (rank == 0 && value >= INT16_MIN && value <= INT16_MAX)
    return Variant::Int(static_cast<int16_t>(value));
  if (value >= INT32_MIN && value <= INT32_MAX) return Variant::Long(static_cast<int32_t>(value));
  return Variant::Dbl(static_cast<double>(value));
}

int32_t Arithmetic(Op op, const Variant& a, const Variant& b, Variant& r) {
  if (a.type == VType::Object || b.type == VType::Object) return 13;
  const int rank = std::max(Rank(a), Rank(b));
  if (rank < 2) {
    const int64_t x = WholeValue(a), y = WholeValue(b);
    int64_t z;
    if (op == Op::Add) z = x + y;
    else if (op == Op::Sub) z = x - y;
    else z = x * y;
    if (rank == 1 && (z < INT32_MIN || z > INT32_MAX)) {
      // A Long result out of range is computed again as a Double operation.
      double d;
      const double dx = static_cast<double>(x), dy = static_cast<double>(y);
      const int32_t e = op == Op::Add   ? kernel::Add(dx, dy, d)
                        : op == Op::Sub ? kernel::Sub(dx, dy, d)
                                        : kernel::Mul(dx, dy, d);
      if (e) return e;
      r = Variant::Dbl(d);
      return 0;
    }
    r = Promote(z, rank);
    return 0;
  }
  double x, y, d;
  if (int32_t e = ToDouble(a, x)) return e;
  if (int32_t e = ToDouble(b, y)) return e;
  const int32_t e = op == Op::Add   ? kernel::Add(x, y, d)
                    : op == Op::Sub ? kernel::Sub(x, y, d)
                                    : kernel::Mul(x, y, d);
  if (e) return e;
  r = Variant::Dbl(d);
  return 0;
}

int32_t Compare(Op op, const Variant& a, const Variant& b, Variant& r) {
  if (a.type == VType::Null || b.type == VType::Null) {
    r = Variant::Null();
    return 0;
  }
  if (a.type == VType::Object || b.type == VType::Object) return 13;
  int order;  // -1, 0, 1
  const bool aText = a.type == VType::String, bText = b.type == VType::String;
  double x = 0, y = 0;
  if ((aText || a.type == VType::Empty) && (bText || b.type == VType::Empty) && (aText || bText)) {
    const std::string& s = aText ? a.s : std::string();
    const std::string& t = bText ? b.s : std::string();
    const int c = s.compare(t);
    order = c < 0 ? -1 : (c > 0 ? 1 : 0);
  } else if (aText != bText) {
    // A number against a text: when the text reads as a number the two are compared
    // as numbers, otherwise the number is the smaller.
    const std::string& text = aText ? a.s : b.s;
    double parsed;
    if (!ParseNumericText(text, parsed)) {
      order = aText ? 1 : -1;
    } else {
      x = aText ? parsed : a.Number();
      y = bText ? parsed : b.Number();
      order = x < y ? -1 : (x > y ? 1 : 0);
    }
  } else {
    x = a.Number();
    y = b.Number();
    order = x < y ? -1 : (x > y ? 1 : 0);
  }
  bool result = false;
  switch (op) {
    case Op::Eq: result = order == 0; break;
    case Op::Ne: result = order != 0; break;
    case Op::Lt: result = order < 0; break;
    case Op::Gt: result = order > 0; break;
    case Op::Le: result = order <= 0; break;
    case Op::Ge: result = order >= 0; break;
    default: break;
  }
  r = Variant::Bool(result);
  return 0;
}

// Whole-number operands of \ and Mod.
int32_t IntegerDivision(Op op, const Variant& a, const Variant& b, Variant& r) {
  if (a.type == VType::Null || b.type == VType::Null) {
    r = Variant::Null();
    return 0;
  }
  int32_t x, y;
  if (int32_t e = ToLong(a, x)) return e;
  if (int32_t e = ToLong(b, y)) return e;
  if (y == 0) return 11;
  int64_t z = op == Op::IntDiv ? static_cast<int64_t>(x) / y : static_cast<int64_t>(x) % y;
  const int rank = (Rank(a) == 0 && Rank(b) == 0) ? 0 : 1;
  if (z < INT32_MIN || z > INT32_MAX) return 6;
  r = Promote(z, rank);
  return 0;
}

// Logical operators work bitwise on whole numbers; two Booleans give a Boolean.
// Null takes part as "unknown": the result is Null unless the other operand alone
// decides it (Null And 0 is 0, Null Or True is True, False Imp Null is True).
int32_t Logical(Op op, const Variant& a, const Variant& b, Variant& r) {
  const bool aNull = a.type == VType::Null, bNull = b.type == VType::Null;
  const bool booleans = (a.type == VType::Boolean || aNull) && (b.type == VType::Boolean || bNull);
  const bool small = (Rank(a) == 0 || aNull) && (Rank(b) == 0 || bNull) &&
                     a.type != VType::String && b.type != VType::String;
  auto make = [&](int64_t value) {
    if (booleans) return Variant::Bool(value != 0);
    if (small) return Variant::Int(static_cast<int16_t>(value));
    return Variant::Long(static_cast<int32_t>(value));
  };
  if (aNull && bNull) {
    r = Variant::Null();
    return 0;
  }
  if (aNull || bNull) {
    int32_t other;
    if (int32_t e = ToLong(aNull ? b : a, other)) return e;
    switch (op) {
      case Op::And: r = other == 0 ? make(0) : Variant::Null(); break;
      case Op::Or: r = other == -1 ? make(-1) : Variant::Null(); break;
      case Op::Imp:
        if (aNull) r = other == -1 ? make(-1) : Variant::Null();
        else r = other == 0 ? make(-1) : Variant::Null();
        break;
      default: r = Variant::Null(); break;
    }
    return 0;
  }
  int32_t x, y;
  if (int32_t e = ToLong(a, x)) return e;
  if (int32_t e = ToLong(b, y)) return e;
  int32_t z = 0;
  switch (op) {
    case Op::And: z = x & y; break;
    case Op::Or: z = x | y; break;
    case Op::Xor: z = x ^ y; break;
    case Op::Eqv: z = ~(x ^ y); break;
    case Op::Imp: z = ~x | y; break;
    default: break;
  }
  r = make(z);
  return 0;
}

}  // namespace

int32_t ToLong(const Variant& v, int32_t& out) {
  switch (v.type) {
    case VType::Integer: out = v.i; return 0;
    case VType::Long: out = v.l; return 0;
    case VType::Boolean: out = v.b ? -1 : 0; return 0;
    case VType::Empty: out = 0; return 0;
    default: break;
  }
  double d;
  if (int32_t e = ToDouble(v, d)) return e;
  d = RoundHalfEven(d);
  if (!(d >= -2147483648.0 && d <= 2147483647.0)) return 6;
  out = static_cast<int32_t>(d);
  return 0;
}

int32_t BinaryOp(Op op, const Variant& a, const Variant& b, Variant& r) {
  switch (op) {
    case Op::Add:
      if (a.type == VType::Null || b.type == VType::Null) {
        r = Variant::Null();
        return 0;
      }
      // "+" joins two texts; a text and Empty give the text.
      if (a.type == VType::String && (b.type == VType::String || b.type == VType::Empty)) {
        r = Variant::Str(a.s + b.s);
        return 0;
      }
      if (b.type == VType::String && a.type == VType::Empty) {
        r = b;
        return 0;
      }
      return Arithmetic(op, a, b, r);
    case Op::Sub:
    case Op::Mul:
      if (a.type == VType::Null || b.type == VType::Null) {
        r = Variant::Null();
        return 0;
      }
      return Arithmetic(op, a, b, r);
    case Op::Div:
    case Op::Pow: {
      if (a.type == VType::Null || b.type == VType::Null) {
        r = Variant::Null();
        return 0;
      }
      double x, y, d;
      if (int32_t e = ToDouble(a, x)) return e;
      if (int32_t e = ToDouble(b, y)) return e;
      const int32_t e = op == Op::Div ? kernel::Div(x, y, d) : kernel::Pow(x, y, d);
      if (e) return e;
      r = Variant::Dbl(d);
      return 0;
    }
    case Op::IntDiv:
    case Op::Mod:
      return IntegerDivision(op, a, b, r);
    case Op::Concat: {
      if (a.type == VType::Null && b.type == VType::Null) {
        r = Variant::Null();
        return 0;
      }
      std::string x, y;
      if (int32_t e = ToText(a, x)) return e;
      if (int32_t e = ToText(b, y)) return e;
      r = Variant::Str(x + y);
      return 0;
    }
    case Op::Eq: case Op::Ne: case Op::Lt: case Op::Gt: case Op::Le: case Op::Ge:
      return Compare(op, a, b, r);
    case Op::Is:
      if (a.type != VType::Object || b.type != VType::Object) return 424;
      r = Variant::Bool(a.obj == b.obj);
      return 0;
    case Op::And: case Op::Or: case Op::Xor: case Op::Eqv: case Op::Imp:
      return Logical(op, a, b, r);
    default:
      return 13;
  }
}

int32_t UnaryOp(Op op, const Variant& a, Variant& r) {
  if (a.type == VType::Null) {
    r = Variant::Null();
    return 0;
  }
  if (a.type == VType::Object) return 13;
  if (op == Op::Pos) {
    r = a;
    return 0;
  }
  if (op == Op::Not) {
    if (a.type == VType::Boolean) {
      r = Variant::Bool(!a.b);
      return 0;
    }
    int32_t x;
    if (int32_t e = ToLong(a, x)) return e;
    r = Rank(a) == 0 && a.type != VType::String ? Variant::Int(static_cast<int16_t>(~x))
                                                : Variant::Long(~x);
    return 0;
  }
  // Negation: whole numbers stay whole (an Integer or Long that cannot hold the
  // result grows to the next subtype), texts become Doubles.
  switch (a.type) {
    case VType::Empty: r = Variant::Int(0); return 0;
    case VType::Boolean: r = Variant::Int(a.b ? 1 : 0); return 0;
    case VType::Integer: r = Promote(-static_cast<int64_t>(a.i), 0); return 0;
    case VType::Long: r = Promote(-static_cast<int64_t>(a.l), 1); return 0;
    case VType::Double: r = Variant::Dbl(-a.d); return 0;
    default: {
      double d;
      if (int32_t e = ToDouble(a, d)) return e;
      r = Variant::Dbl(-d);
      return 0;
    }
  }
}

}  // namespace quorvant::script
