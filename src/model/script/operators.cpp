#include "model/script/operators.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

#include "model/numtext.h"
#include "model/script/script_error.h"

namespace quorvant::script {

namespace kernel {

int32_t Pow(double a, double b, double& r) {
  if (a < 0 && b != std::trunc(b)) return kInvalidCall;
  if (a == 0 && b < 0) return kDivisionByZero;
  r = std::pow(a, b);
  return Finite(r);
}

namespace {
// The exponent goes through a volatile so that the compiler cannot turn pow(a, 2.0)
// into a * a: the point is to get what the library's pow returns.
volatile double kExponents[4] = {0.0, 1.0, 2.0, 3.0};
}  // namespace

int32_t PowSlow(double a, int exponent, double& r) {
  return Pow(a, kExponents[exponent], r);
}

}  // namespace kernel

namespace {

bool IsText(const Variant& v) {
  return v.type == VType::String;
}

// The whole-number subtypes, narrowest first, as arithmetic widens them.
enum class Whole { Byte, Integer, Long };

int64_t WholeValue(const Variant& v) {
  switch (v.type) {
    case VType::Byte:
      return v.by;
    case VType::Integer:
      return v.i;
    case VType::Long:
      return v.l;
    case VType::Boolean:
      return v.b ? -1 : 0;
    default:
      return 0;
  }
}

// Result of whole-number arithmetic in the subtype of its operands: a Byte that
// leaves 0..255 becomes an Integer, an Integer that overflows a Long, and a Long
// that overflows a Double.
Variant Promote(int64_t value, Whole kind) {
  if (kind == Whole::Byte && value >= 0 && value <= 255)
    return Variant::Byte(static_cast<uint8_t>(value));
  if (kind != Whole::Long && value >= INT16_MIN && value <= INT16_MAX)
    return Variant::Int(static_cast<int16_t>(value));
  if (value >= INT32_MIN && value <= INT32_MAX) return Variant::Long(static_cast<int32_t>(value));
  return Variant::Dbl(static_cast<double>(value));
}

// The subtype of a sum, difference or product. A text counts as a Double; Empty
// with Empty as an Integer; Boolean as an Integer. The order follows the original
// engine: for + and - a Currency operand makes a Currency even beside a Double, for
// * a Double wins; a Single beside a Long (or, for *, a Currency) makes a Double.
VType ArithmeticType(Op op, VType a, VType b) {
  auto either = [&](VType t) { return a == t || b == t; };
  if (op != Op::Mul && either(VType::Currency)) return VType::Currency;
  if (either(VType::Double) || either(VType::String)) return VType::Double;
  if (either(VType::Single)) {
    if (either(VType::Long) || either(VType::Currency)) return VType::Double;
    return VType::Single;
  }
  if (either(VType::Currency)) return VType::Currency;
  if (either(VType::Long)) return VType::Long;
  if (either(VType::Integer) || either(VType::Boolean) || (a == VType::Empty && b == VType::Empty))
    return VType::Integer;
  return VType::Byte;  // a Byte with a Byte or with Empty
}

int32_t DoubleOperation(Op op, double x, double y, double& r) {
  switch (op) {
    case Op::Add:
      return kernel::Add(x, y, r);
    case Op::Sub:
      return kernel::Sub(x, y, r);
    case Op::Mul:
      return kernel::Mul(x, y, r);
    default:
      return kernel::Div(x, y, r);
  }
}

// Currency arithmetic on ten-thousandths: sums exactly, products rounded half to
// even to the scale; a result beyond the Currency range is an Overflow.
int32_t CurrencyOperation(Op op, int64_t x, int64_t y, int64_t& r) {
  if (op == Op::Add) return __builtin_add_overflow(x, y, &r) ? kOverflow : 0;
  if (op == Op::Sub) return __builtin_sub_overflow(x, y, &r) ? kOverflow : 0;
  __extension__ using Int128 = __int128;
  const Int128 product = static_cast<Int128>(x) * y;
  Int128 quotient = product / kCurrencyScale;
  const Int128 remainder = product % kCurrencyScale;  // same sign as the product
  const Int128 twice = remainder < 0 ? -2 * remainder : 2 * remainder;
  if (twice > kCurrencyScale || (twice == kCurrencyScale && (quotient & 1) != 0))
    quotient += product < 0 ? -1 : 1;
  if (quotient < INT64_MIN || quotient > INT64_MAX) return kOverflow;
  r = static_cast<int64_t>(quotient);
  return 0;
}

// A Single result: formed in double precision from the operands' exact values (one
// rounding to double, then one to single, which for +, -, *, / is the single
// operation's own rounding); one that leaves the Single range is kept as a Double.
Variant SingleOrDouble(double r) {
  const float narrow = static_cast<float>(r);
  if (std::isinf(narrow)) return Variant::Dbl(r);
  return Variant::Sng(narrow);
}

int32_t Arithmetic(Op op, const Variant& a, const Variant& b, Variant& r) {
  if (a.type == VType::Object || b.type == VType::Object) return kTypeMismatch;
  const VType type = ArithmeticType(op, a.type, b.type);
  switch (type) {
    case VType::Byte:
    case VType::Integer:
    case VType::Long: {
      const Whole kind = type == VType::Byte      ? Whole::Byte
                         : type == VType::Integer ? Whole::Integer
                                                  : Whole::Long;
      const int64_t x = WholeValue(a), y = WholeValue(b);
      const int64_t z = op == Op::Add ? x + y : op == Op::Sub ? x - y : x * y;
      if (kind == Whole::Long && (z < INT32_MIN || z > INT32_MAX)) {
        // A Long result out of range is computed again as a Double operation.
        double d;
        if (int32_t e = DoubleOperation(op, static_cast<double>(x), static_cast<double>(y), d))
          return e;
        r = Variant::Dbl(d);
        return 0;
      }
      r = Promote(z, kind);
      return 0;
    }
    case VType::Currency: {
      int64_t x, y, z;
      if (int32_t e = ToCurrency(a, x)) return e;
      if (int32_t e = ToCurrency(b, y)) return e;
      if (int32_t e = CurrencyOperation(op, x, y, z)) return e;
      r = Variant::Cur(z);
      return 0;
    }
    default: {
      double x, y, d;
      if (int32_t e = ToDouble(a, x)) return e;
      if (int32_t e = ToDouble(b, y)) return e;
      if (int32_t e = DoubleOperation(op, x, y, d)) return e;
      r = type == VType::Single ? SingleOrDouble(d) : Variant::Dbl(d);
      return 0;
    }
  }
}

// "/" gives a Double, or a Single when a Single meets only a Single, a Byte, an
// Integer, a Boolean or Empty.
int32_t Divide(const Variant& a, const Variant& b, Variant& r) {
  auto narrow = [](VType t) {
    return t == VType::Single || t == VType::Byte || t == VType::Integer || t == VType::Boolean ||
           t == VType::Empty;
  };
  double x, y, d;
  if (int32_t e = ToDouble(a, x)) return e;
  if (int32_t e = ToDouble(b, y)) return e;
  if (int32_t e = kernel::Div(x, y, d)) return e;
  const bool single =
      (a.type == VType::Single || b.type == VType::Single) && narrow(a.type) && narrow(b.type);
  r = single ? SingleOrDouble(d) : Variant::Dbl(d);
  return 0;
}

// Exact comparison of the subtypes that hold whole numbers of ten-thousandths.
bool ExactKind(VType t) {
  switch (t) {
    case VType::Empty:
    case VType::Boolean:
    case VType::Byte:
    case VType::Integer:
    case VType::Long:
    case VType::Currency:
      return true;
    default:
      return false;
  }
}

int NumericOrder(const Variant& a, const Variant& b) {
  if ((a.type == VType::Currency || b.type == VType::Currency) && ExactKind(a.type) &&
      ExactKind(b.type)) {
    int64_t x = 0, y = 0;
    ToCurrency(a, x);
    ToCurrency(b, y);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  const double x = a.Number(), y = b.Number();
  // A Single beside another number compares in single precision, as the original
  // engine does: the other operand is rounded to a Single first, so
  // CSng(0.001 * 0.001) = 0.000001 and CSng(16777216) = 16777217 are True. A value
  // beyond the Single range compares as it is (its order against any Single is the same).
  if ((a.type == VType::Single || b.type == VType::Single) && std::fabs(x) <= FLT_MAX &&
      std::fabs(y) <= FLT_MAX) {
    const float fx = static_cast<float>(x), fy = static_cast<float>(y);
    return fx < fy ? -1 : (fx > fy ? 1 : 0);
  }
  return x < y ? -1 : (x > y ? 1 : 0);
}

int TextOrder(const std::string& s, const std::string& t) {
  const int c = s.compare(t);  // byte by byte, as unsigned
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// Comparison. Texts compare byte by byte; Empty beside a text is "". A text beside
// a Boolean is compared with "True" or "False". A text beside a number follows the
// original engine, which looks at how each operand was written:
//  - the number written as a literal: the text is read as a number (a text that is
//    no number is a type mismatch) and the two compare as numbers;
//  - the number computed, the text a literal: the number's text is compared with it;
//  - both computed: the number is the smaller.
int32_t Compare(Op op, const Variant& a, const Variant& b, uint8_t literals, Variant& r) {
  if (a.type == VType::Null || b.type == VType::Null) {
    r = Variant::Null();
    return 0;
  }
  if (a.type == VType::Object || b.type == VType::Object) return kTypeMismatch;
  int order;  // -1, 0, 1
  const bool aText = IsText(a), bText = IsText(b);
  if (aText && bText) {
    order = TextOrder(a.s, b.s);
  } else if (aText || bText) {
    const Variant& text = aText ? a : b;
    const Variant& other = aText ? b : a;
    const bool textLiteral = (literals & (aText ? kLeftLiteral : kRightLiteral)) != 0;
    const bool otherLiteral = (literals & (aText ? kRightLiteral : kLeftLiteral)) != 0;
    int textVersusOther;  // order of the text against the other operand
    if (other.type == VType::Empty) {
      textVersusOther = TextOrder(text.s, std::string());
    } else if (other.type == VType::Boolean) {
      textVersusOther = TextOrder(text.s, other.b ? "True" : "False");
    } else if (otherLiteral) {
      double parsed;
      if (!ParseNumericText(text.s, parsed)) return kTypeMismatch;
      const double number = other.Number();
      textVersusOther = parsed < number ? -1 : (parsed > number ? 1 : 0);
    } else if (textLiteral) {
      std::string written;
      ToText(other, written);
      textVersusOther = TextOrder(text.s, written);
    } else {
      textVersusOther = 1;
    }
    order = aText ? textVersusOther : -textVersusOther;
  } else {
    order = NumericOrder(a, b);
  }
  bool result = false;
  switch (op) {
    case Op::Eq:
      result = order == 0;
      break;
    case Op::Ne:
      result = order != 0;
      break;
    case Op::Lt:
      result = order < 0;
      break;
    case Op::Gt:
      result = order > 0;
      break;
    case Op::Le:
      result = order <= 0;
      break;
    case Op::Ge:
      result = order >= 0;
      break;
    default:
      break;
  }
  r = Variant::Bool(result);
  return 0;
}

// \ and Mod work on whole numbers (operands rounded half to even into the Long
// range). Two Bytes give a Byte; Bytes, Integers, Booleans and Empty an Integer;
// anything else a Long.
int32_t IntegerDivision(Op op, const Variant& a, const Variant& b, Variant& r) {
  if (a.type == VType::Null || b.type == VType::Null) {
    r = Variant::Null();
    return 0;
  }
  int32_t x, y;
  if (int32_t e = ToLong(a, x)) return e;
  if (int32_t e = ToLong(b, y)) return e;
  if (y == 0) return kDivisionByZero;
  const int64_t z = op == Op::IntDiv ? static_cast<int64_t>(x) / y : static_cast<int64_t>(x) % y;
  if (z < INT32_MIN || z > INT32_MAX) return kOverflow;
  auto small = [](VType t) {
    return t == VType::Byte || t == VType::Integer || t == VType::Boolean || t == VType::Empty;
  };
  Whole kind = Whole::Long;
  if (a.type == VType::Byte && b.type == VType::Byte)
    kind = Whole::Byte;
  else if (small(a.type) && small(b.type))
    kind = Whole::Integer;
  r = Promote(z, kind);
  return 0;
}

// The subtype a logical operator works in for one operand. Empty takes part as a
// Long 0, as in the original engine; Single, Double, Currency and texts are rounded
// into a Long.
VType LogicalKind(const Variant& v) {
  switch (v.type) {
    case VType::Null:
    case VType::Boolean:
    case VType::Byte:
    case VType::Integer:
      return v.type;
    default:
      return VType::Long;
  }
}

// The subtype of a logical operation on two operands of the given kinds (Null
// takes the other's): two Booleans a Boolean, two Bytes a Byte, Bytes, Integers
// and Booleans an Integer, and anything with a Long a Long.
VType LogicalResultType(VType a, VType b) {
  if (a == VType::Null) return b;
  if (b == VType::Null) return a;
  if (a == b) return a;
  if (a == VType::Long || b == VType::Long) return VType::Long;
  return VType::Integer;
}

Variant LogicalValue(VType type, int32_t bits) {
  switch (type) {
    case VType::Boolean:
      return Variant::Bool(bits != 0);
    case VType::Byte:
      return Variant::Byte(static_cast<uint8_t>(bits));
    case VType::Integer:
      return Variant::Int(static_cast<int16_t>(bits));
    default:
      return Variant::Long(bits);
  }
}

// All bits set in the given subtype: True, 255, -1.
int32_t AllOnes(VType type) {
  return type == VType::Byte ? 0xFF : -1;
}

// Logical operators work bitwise on whole numbers; two Booleans give a Boolean.
// Null takes part as "unknown": the result is Null unless the other operand alone
// decides it (Null And 0 is 0, Null Or True is True, False Imp Null is True). A
// Byte Imp Null is the Byte's complement, as the original engine gives it.
int32_t Logical(Op op, const Variant& a, const Variant& b, Variant& r) {
  const VType aKind = LogicalKind(a), bKind = LogicalKind(b);
  const VType type = LogicalResultType(aKind, bKind);
  if (aKind == VType::Null && bKind == VType::Null) {
    r = Variant::Null();
    return 0;
  }
  if (aKind == VType::Null || bKind == VType::Null) {
    const bool aNull = aKind == VType::Null;
    int32_t other;
    if (int32_t e = ToLong(aNull ? b : a, other)) return e;
    const int32_t ones = AllOnes(type);
    switch (op) {
      case Op::And:
        r = other == 0 ? LogicalValue(type, 0) : Variant::Null();
        break;
      case Op::Or:
        r = other == ones ? LogicalValue(type, ones) : Variant::Null();
        break;
      case Op::Imp:
        if (aNull)
          r = other == ones ? LogicalValue(type, ones) : Variant::Null();
        else if (other == 0 || type == VType::Byte)
          r = LogicalValue(type, ~other & ones);
        else
          r = Variant::Null();
        break;
      default:
        r = Variant::Null();
        break;
    }
    return 0;
  }
  int32_t x, y;
  if (int32_t e = ToLong(a, x)) return e;
  if (int32_t e = ToLong(b, y)) return e;
  int32_t z = 0;
  switch (op) {
    case Op::And:
      z = x & y;
      break;
    case Op::Or:
      z = x | y;
      break;
    case Op::Xor:
      z = x ^ y;
      break;
    case Op::Eqv:
      z = ~(x ^ y);
      break;
    case Op::Imp:
      z = ~x | y;
      break;
    default:
      break;
  }
  r = LogicalValue(type, z);
  return 0;
}

Variant NegatedCurrency(int64_t cy, int32_t& error) {
  if (cy == INT64_MIN) {
    error = kOverflow;
    return Variant();
  }
  error = 0;
  return Variant::Cur(-cy);
}

}  // namespace

int32_t ToLong(const Variant& v, int32_t& out) {
  switch (v.type) {
    case VType::Byte:
      out = v.by;
      return 0;
    case VType::Integer:
      out = v.i;
      return 0;
    case VType::Long:
      out = v.l;
      return 0;
    case VType::Boolean:
      out = v.b ? -1 : 0;
      return 0;
    case VType::Empty:
      out = 0;
      return 0;
    default:
      break;
  }
  double d;
  if (int32_t e = ToDouble(v, d)) return e;
  d = RoundHalfEven(d);
  if (!(d >= -2147483648.0 && d <= 2147483647.0)) return kOverflow;
  out = static_cast<int32_t>(d);
  return 0;
}

int32_t BinaryOp(Op op, const Variant& a, const Variant& b, Variant& r, uint8_t literals) {
  switch (op) {
    case Op::Add:
      if (a.type == VType::Null || b.type == VType::Null) {
        r = Variant::Null();
        return 0;
      }
      // "+" joins two texts; a text and Empty give the text.
      if (a.type == VType::String && (b.type == VType::String || b.type == VType::Empty)) {
        if (a.s.size() + b.s.size() > kMaxTextLength) return kOutOfMemory;
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
      if (a.type == VType::Null || b.type == VType::Null) {
        r = Variant::Null();
        return 0;
      }
      return Divide(a, b, r);
    case Op::Pow: {
      if (a.type == VType::Null || b.type == VType::Null) {
        r = Variant::Null();
        return 0;
      }
      double x, y, d;
      if (int32_t e = ToDouble(a, x)) return e;
      if (int32_t e = ToDouble(b, y)) return e;
      if (int32_t e = kernel::Pow(x, y, d)) return e;
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
      if (x.size() + y.size() > kMaxTextLength) return kOutOfMemory;
      r = Variant::Str(x + y);
      return 0;
    }
    case Op::Eq:
    case Op::Ne:
    case Op::Lt:
    case Op::Gt:
    case Op::Le:
    case Op::Ge:
      return Compare(op, a, b, literals, r);
    case Op::Is:
      if (a.type != VType::Object || b.type != VType::Object) return kObjectRequired;
      r = Variant::Bool(a.obj == b.obj);
      return 0;
    case Op::And:
    case Op::Or:
    case Op::Xor:
    case Op::Eqv:
    case Op::Imp:
      return Logical(op, a, b, r);
    default:
      return kTypeMismatch;
  }
}

int32_t UnaryOp(Op op, const Variant& a, Variant& r) {
  if (a.type == VType::Null) {
    r = Variant::Null();
    return 0;
  }
  if (a.type == VType::Object) return kTypeMismatch;
  if (op == Op::Pos) {
    r = a;
    return 0;
  }
  if (op == Op::Not) {
    const VType kind = LogicalKind(a);
    int32_t x;
    if (int32_t e = ToLong(a, x)) return e;
    r = LogicalValue(kind, ~x);
    return 0;
  }
  // Negation: whole numbers stay whole (a Byte becomes an Integer; an Integer or
  // Long that cannot hold the result grows to the next subtype), a Single stays a
  // Single, a Currency a Currency, texts become Doubles.
  switch (a.type) {
    case VType::Empty:
      r = Variant::Int(0);
      return 0;
    case VType::Boolean:
      r = Variant::Int(a.b ? 1 : 0);
      return 0;
    case VType::Byte:
      r = Variant::Int(static_cast<int16_t>(-a.by));
      return 0;
    case VType::Integer:
      r = Promote(-static_cast<int64_t>(a.i), Whole::Integer);
      return 0;
    case VType::Long:
      r = Promote(-static_cast<int64_t>(a.l), Whole::Long);
      return 0;
    case VType::Single:
      r = Variant::Sng(-a.f);
      return 0;
    case VType::Double:
      r = Variant::Dbl(-a.d);
      return 0;
    case VType::Currency: {
      int32_t e;
      r = NegatedCurrency(a.cy, e);
      return e;
    }
    default: {
      double d;
      if (int32_t e = ToDouble(a, d)) return e;
      r = Variant::Dbl(-d);
      return 0;
    }
  }
}

}  // namespace quorvant::script
