#include "model/script/builtins.h"

#include <cmath>
#include <limits>
#include <string>

#include "model/numtext.h"
#include "model/script/operators.h"
#include "model/script/script_error.h"
#include "model/script/text_functions.h"
#include "model/script/text_util.h"

namespace quorvant::script {

namespace {

// --- numeric kernels (also run by the double-only machine) -------------------------

int32_t KAbs(double x, double& r) {
  r = std::fabs(x);
  return 0;
}
int32_t KAtn(double x, double& r) {
  r = std::atan(x);
  return 0;
}
int32_t KCos(double x, double& r) {
  r = std::cos(x);
  return kernel::Finite(r);
}
int32_t KSin(double x, double& r) {
  r = std::sin(x);
  return kernel::Finite(r);
}
int32_t KTan(double x, double& r) {
  r = std::tan(x);
  return kernel::Finite(r);
}
int32_t KExp(double x, double& r) {
  return kernel::Exp(x, r);
}
int32_t KLog(double x, double& r) {
  return kernel::Log(x, r);
}
int32_t KSqr(double x, double& r) {
  return kernel::Sqr(x, r);
}
int32_t KFix(double x, double& r) {
  r = std::trunc(x);
  return 0;
}
int32_t KInt(double x, double& r) {
  r = std::floor(x);
  return 0;
}
int32_t KSgn(double x, double& r) {
  r = x > 0 ? 1.0 : (x < 0 ? -1.0 : 0.0);
  return 0;
}
int32_t KCDbl(double x, double& r) {
  r = x;
  return 0;
}
int32_t KRound(double x, double& r) {
  r = RoundHalfEven(x);
  return 0;
}
int32_t KCInt(double x, double& r) {
  const double v = RoundHalfEven(x);
  if (!(v >= -32768.0 && v <= 32767.0)) return kOverflow;
  r = v + 0.0;  // a whole-number subtype has no -0
  return 0;
}
int32_t KCLng(double x, double& r) {
  const double v = RoundHalfEven(x);
  if (!(v >= -2147483648.0 && v <= 2147483647.0)) return kOverflow;
  r = v + 0.0;
  return 0;
}

// --- Variant forms -----------------------------------------------------------------

// A function of a number whose result is a Double; Null is an invalid use.
template <NumberKernel K>
int32_t DoubleOf(std::span<const Variant> args, Variant& result) {
  double x, r;
  if (int32_t e = ToDouble(args[0], x)) return e;
  if (int32_t e = K(x, r)) return e;
  result = Variant::Dbl(r);
  return 0;
}

// Currency forms of Abs, Fix and Int, on ten-thousandths.
int32_t CurrencyAbs(int64_t x, int64_t& r) {
  if (x == INT64_MIN) return kOverflow;
  r = x < 0 ? -x : x;
  return 0;
}
int32_t CurrencyFix(int64_t x, int64_t& r) {
  r = x - x % kCurrencyScale;
  return 0;
}
int32_t CurrencyInt(int64_t x, int64_t& r) {
  int64_t whole = x / kCurrencyScale;
  if (x % kCurrencyScale < 0) --whole;
  r = whole * kCurrencyScale;
  return 0;
}

using CurrencyKernel = int32_t (*)(int64_t x, int64_t& result);

// Abs, Fix and Int keep the subtype: whole numbers stay whole (an Integer or Long
// that cannot hold the result grows; a Boolean becomes an Integer), a Byte stays a
// Byte, a Single a Single, a Currency a Currency; Null gives Null; texts become
// Doubles.
template <NumberKernel K, CurrencyKernel C>
int32_t SameKindOf(std::span<const Variant> args, Variant& result) {
  const Variant& a = args[0];
  switch (a.type) {
    case VType::Null:
      result = Variant::Null();
      return 0;
    case VType::Empty:
      result = Variant::Int(0);
      return 0;
    case VType::Byte: {
      double r;
      K(a.Number(), r);
      result = Variant::Byte(static_cast<uint8_t>(r));
      return 0;
    }
    case VType::Boolean:
    case VType::Integer:
    case VType::Long: {
      double r;
      K(a.Number(), r);
      const bool wasLong = a.type == VType::Long;
      if (!wasLong && r >= -32768 && r <= 32767)
        result = Variant::Int(static_cast<int16_t>(r));
      else if (r >= -2147483648.0 && r <= 2147483647.0)
        result = Variant::Long(static_cast<int32_t>(r));
      else
        result = Variant::Dbl(r);
      return 0;
    }
    case VType::Single: {
      double r;
      K(a.f, r);  // exact: the value of a float, made whole or positive, is a float
      result = Variant::Sng(static_cast<float>(r));
      return 0;
    }
    case VType::Currency: {
      int64_t r;
      if (int32_t e = C(a.cy, r)) return e;
      result = Variant::Cur(r);
      return 0;
    }
    default:
      return DoubleOf<K>(args, result);
  }
}

int32_t CallSgn(std::span<const Variant> args, Variant& result) {
  double x, r;
  if (int32_t e = ToDouble(args[0], x)) return e;
  KSgn(x, r);
  result = Variant::Int(static_cast<int16_t>(r));
  return 0;
}

// Round(x, places) of a double: scale by an exact power of ten, round half to
// even, scale back. Beyond the exact powers, or when scaling overflows, x is kept.
double RoundToPlaces(double x, int32_t places) {
  if (places == 0) return RoundHalfEven(x);
  if (places > 22) return x;
  const double scale = std::pow(10.0, places);
  const double scaled = x * scale;
  return std::isfinite(scaled) ? RoundHalfEven(scaled) / scale : x;
}

// Round(x, places) of a Currency, exactly on ten-thousandths.
int32_t RoundCurrency(int64_t x, int32_t places, int64_t& r) {
  if (places >= 4) {
    r = x;
    return 0;
  }
  int64_t unit = 1;
  for (int32_t k = places; k < 4; ++k) unit *= 10;
  int64_t whole = x / unit;
  const int64_t rest = x % unit;  // the sign of x
  const int64_t twice = rest < 0 ? -2 * rest : 2 * rest;
  if (twice > unit || (twice == unit && whole % 2 != 0)) whole += x < 0 ? -1 : 1;
  __extension__ using Int128 = __int128;
  const Int128 rounded = static_cast<Int128>(whole) * unit;
  if (rounded < INT64_MIN || rounded > INT64_MAX) return kOverflow;
  r = static_cast<int64_t>(rounded);
  return 0;
}

int32_t CallRound(std::span<const Variant> args, Variant& result) {
  const Variant& a = args[0];
  int32_t places = 0;
  if (args.size() > 1) {
    double p;
    if (int32_t e = ToDouble(args[1], p)) return e;
    if (!(p >= 0)) return kInvalidCall;  // also NaN, which no integer conversion may see
    p = RoundHalfEven(p);
    places = p > 400 ? 400 : static_cast<int32_t>(p);
  }
  switch (a.type) {
    case VType::Null:
      result = Variant::Null();
      return 0;
    case VType::Empty:
      result = Variant::Int(0);
      return 0;
    case VType::Boolean:
    case VType::Byte:
    case VType::Integer:
    case VType::Long:
      result = a;
      return 0;
    case VType::Single:
      result = Variant::Sng(static_cast<float>(RoundToPlaces(a.f, places)));
      return 0;
    case VType::Currency: {
      int64_t r;
      if (int32_t e = RoundCurrency(a.cy, places, r)) return e;
      result = Variant::Cur(r);
      return 0;
    }
    default:
      break;
  }
  double x;
  if (int32_t e = ToDouble(a, x)) return e;
  result = Variant::Dbl(RoundToPlaces(x, places));
  return 0;
}

template <NumberKernel K, VType Kind>
int32_t ConvertTo(std::span<const Variant> args, Variant& result) {
  double x, r;
  if (int32_t e = ToDouble(args[0], x)) return e;
  if (int32_t e = K(x, r)) return e;
  if (Kind == VType::Integer)
    result = Variant::Int(static_cast<int16_t>(r));
  else if (Kind == VType::Long)
    result = Variant::Long(static_cast<int32_t>(r));
  else
    result = Variant::Dbl(r);
  return 0;
}

int32_t CallCBool(std::span<const Variant> args, Variant& result) {
  const Variant& a = args[0];
  if (a.type == VType::String) {
    std::string lower;
    for (char c : a.s)
      lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    if (lower == "true" || lower == "#true#") {
      result = Variant::Bool(true);
      return 0;
    }
    if (lower == "false" || lower == "#false#") {
      result = Variant::Bool(false);
      return 0;
    }
  }
  double x;
  if (int32_t e = ToDouble(a, x)) return e;
  result = Variant::Bool(x != 0);
  return 0;
}

// CByte: rounded half to even into 0..255 (else 6); True is 255, as the original
// engine converts it.
int32_t CallCByte(std::span<const Variant> args, Variant& result) {
  const Variant& a = args[0];
  if (a.type == VType::Boolean) {
    result = Variant::Byte(a.b ? 255 : 0);
    return 0;
  }
  double x;
  if (int32_t e = ToDouble(a, x)) return e;
  x = RoundHalfEven(x);
  if (!(x >= 0 && x <= 255)) return kOverflow;
  result = Variant::Byte(static_cast<uint8_t>(x));
  return 0;
}

// CSng: the nearest Single (halves to even); beyond the Single range is 6.
int32_t CallCSng(std::span<const Variant> args, Variant& result) {
  double x;
  if (int32_t e = ToDouble(args[0], x)) return e;
  if (!(std::fabs(x) <= std::numeric_limits<float>::max())) return kOverflow;
  result = Variant::Sng(static_cast<float>(x));
  return 0;
}

// CCur: to ten-thousandths, halves to even; beyond the Currency range is 6.
int32_t CallCCur(std::span<const Variant> args, Variant& result) {
  int64_t scaled;
  if (int32_t e = ToCurrency(args[0], scaled)) return e;
  result = Variant::Cur(scaled);
  return 0;
}

int32_t CallCStr(std::span<const Variant> args, Variant& result) {
  if (args[0].type == VType::Null) return kInvalidUseOfNull;
  std::string text;
  if (int32_t e = ToText(args[0], text)) return e;
  result = Variant::Str(std::move(text));
  return 0;
}

int32_t CallIsNumeric(std::span<const Variant> args, Variant& result) {
  const Variant& a = args[0];
  double unused;
  bool numeric;
  switch (a.type) {
    case VType::Null:
    case VType::Object:
      numeric = false;
      break;
    case VType::String:
      numeric = ParseNumericText(a.s, unused);
      break;
    default:
      numeric = true;
      break;
  }
  result = Variant::Bool(numeric);
  return 0;
}

int32_t CallIsEmpty(std::span<const Variant> args, Variant& result) {
  result = Variant::Bool(args[0].type == VType::Empty);
  return 0;
}

int32_t CallIsNull(std::span<const Variant> args, Variant& result) {
  result = Variant::Bool(args[0].type == VType::Null);
  return 0;
}

int32_t CallTypeName(std::span<const Variant> args, Variant& result) {
  const Variant& a = args[0];
  if (a.type == VType::Object && a.obj == nullptr) {
    result = Variant::Str("Nothing");
    return 0;
  }
  result = Variant::Str(std::string(TypeName(a.type)));
  return 0;
}

int32_t CallVarType(std::span<const Variant> args, Variant& result) {
  result = Variant::Int(VarTypeNumber(args[0].type));
  return 0;
}

// Hex and Oct: an Integer (or a value that fits one, unless it is a Long) is written
// in 16 bits, anything else in 32 bits.
template <int Radix>
int32_t InRadix(std::span<const Variant> args, Variant& result) {
  const Variant& a = args[0];
  if (a.type == VType::Null) {
    result = Variant::Null();
    return 0;
  }
  int32_t v;
  if (int32_t e = ToLong(a, v)) return e;
  uint32_t bits = static_cast<uint32_t>(v);
  if (a.type != VType::Long && v >= -32768 && v <= 32767) bits &= 0xFFFFu;
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[bits % Radix]);
    bits /= Radix;
  } while (bits != 0);
  result = Variant::Str(std::move(text));
  return 0;
}

const Builtin kBuiltins[] = {
    {"Abs", 1, 1, SameKindOf<KAbs, CurrencyAbs>, KAbs},
    {"Atn", 1, 1, DoubleOf<KAtn>, KAtn},
    {"Cos", 1, 1, DoubleOf<KCos>, KCos},
    {"Exp", 1, 1, DoubleOf<KExp>, KExp},
    {"Fix", 1, 1, SameKindOf<KFix, CurrencyFix>, KFix},
    {"Int", 1, 1, SameKindOf<KInt, CurrencyInt>, KInt},
    {"Log", 1, 1, DoubleOf<KLog>, KLog},
    {"Round", 1, 2, CallRound, KRound},
    {"Sgn", 1, 1, CallSgn, KSgn},
    {"Sin", 1, 1, DoubleOf<KSin>, KSin},
    {"Sqr", 1, 1, DoubleOf<KSqr>, KSqr},
    {"Tan", 1, 1, DoubleOf<KTan>, KTan},
    {"CDbl", 1, 1, ConvertTo<KCDbl, VType::Double>, KCDbl},
    {"CInt", 1, 1, ConvertTo<KCInt, VType::Integer>, KCInt},
    {"CLng", 1, 1, ConvertTo<KCLng, VType::Long>, KCLng},
    {"CBool", 1, 1, CallCBool, nullptr},
    // Byte, Single and Currency results keep their subtype in later arithmetic
    // (and CByte(True) is 255), so these run on the Variant machine only.
    {"CByte", 1, 1, CallCByte, nullptr},
    {"CSng", 1, 1, CallCSng, nullptr},
    {"CCur", 1, 1, CallCCur, nullptr},
    {"CStr", 1, 1, CallCStr, nullptr},
    {"IsNumeric", 1, 1, CallIsNumeric, nullptr},
    {"IsEmpty", 1, 1, CallIsEmpty, nullptr},
    {"IsNull", 1, 1, CallIsNull, nullptr},
    {"TypeName", 1, 1, CallTypeName, nullptr},
    {"VarType", 1, 1, CallVarType, nullptr},
    {"Hex", 1, 1, InRadix<16>, nullptr},
    {"Oct", 1, 1, InRadix<8>, nullptr},
    // Text functions (text_functions.cpp).
    {"Len", 1, 1, CallLen, nullptr},
    {"Left", 2, 2, CallLeft, nullptr},
    {"Right", 2, 2, CallRight, nullptr},
    {"Mid", 2, 3, CallMid, nullptr},
    {"InStr", 2, 4, CallInStr, nullptr},
    {"InStrRev", 2, 4, CallInStrRev, nullptr},
    {"UCase", 1, 1, CallUCase, nullptr},
    {"LCase", 1, 1, CallLCase, nullptr},
    {"Trim", 1, 1, CallTrim, nullptr},
    {"LTrim", 1, 1, CallLTrim, nullptr},
    {"RTrim", 1, 1, CallRTrim, nullptr},
    {"Space", 1, 1, CallSpace, nullptr},
    {"String", 2, 2, CallString, nullptr},
    {"StrComp", 2, 3, CallStrComp, nullptr},
    {"StrReverse", 1, 1, CallStrReverse, nullptr},
    {"Replace", 3, 6, CallReplace, nullptr},
    {"Asc", 1, 1, CallAsc, nullptr},
    {"Chr", 1, 1, CallChr, nullptr},
};

}  // namespace

int BuiltinId(std::string_view name) {
  for (size_t k = 0; k < std::size(kBuiltins); ++k)
    if (EqualsNoCase(kBuiltins[k].name, name)) return static_cast<int>(k);
  return -1;
}

const Builtin& BuiltinAt(int id) {
  return kBuiltins[id];
}

}  // namespace quorvant::script
