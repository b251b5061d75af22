#include "model/script/variant.h"

#include <charconv>
#include <cmath>

#include "model/numtext.h"
#include "model/script/script_error.h"

namespace quorvant::script {

namespace {

// A Single is written with the 7 significant digits it holds, in the general
// format's shape (exponent form from 1E+7 up and below 1E-4, two exponent digits
// at least): 0.1, 3242.4, 1.234568E+08.
std::string FormatSingle(float value) {
  if (value == 0) return "0";  // also -0
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                 std::chars_format::general, 7)
                       .ptr;
  std::string text(buffer, end);
  for (char& c : text)
    if (c == 'e') c = 'E';
  return text;
}

// A Currency is written exactly: the whole part, then up to four decimals without
// trailing zeros (1.5, -0.0001, 922337203685477.5807).
std::string FormatCurrency(int64_t scaled) {
  const bool negative = scaled < 0;
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  std::string text = negative ? "-" : "";
  text += std::to_string(magnitude / kCurrencyScale);
  uint64_t fraction = magnitude % kCurrencyScale;
  if (fraction != 0) {
    char digits[5] = {'0', '0', '0', '0', '\0'};
    for (int k = 3; k >= 0; --k) {
      digits[k] = static_cast<char>('0' + fraction % 10);
      fraction /= 10;
    }
    int length = 4;
    while (digits[length - 1] == '0') --length;
    text += '.';
    text.append(digits, static_cast<size_t>(length));
  }
  return text;
}

}  // namespace

Variant Variant::WholeNumber(int64_t value) {
  if (value >= INT16_MIN && value <= INT16_MAX) return Int(static_cast<int16_t>(value));
  if (value >= INT32_MIN && value <= INT32_MAX) return Long(static_cast<int32_t>(value));
  return Dbl(static_cast<double>(value));
}

int32_t ToDouble(const Variant& v, double& out) {
  switch (v.type) {
    case VType::Null:
      return kInvalidUseOfNull;
    case VType::String:
      return ParseNumericText(v.s, out) ? 0 : kTypeMismatch;
    case VType::Object:
      return kTypeMismatch;
    default:
      out = v.Number();
      return 0;
  }
}

int32_t CurrencyFromDouble(double x, int64_t& out) {
  // Exactly: x = m * 2^k with a 53-bit whole m, so x * 10000 = m * 10000 * 2^k, which
  // is shifted (k >= 0) or divided with the remainder rounded half to even (k < 0).
  // A double product would round first: 922337203685477 * 10000 is no double.
  if (!std::isfinite(x) || std::fabs(x) >= 0x1p63) return kOverflow;
  if (x == 0) {
    out = 0;
    return 0;
  }
  __extension__ using Int128 = __int128;
  int exponent;
  const double fraction = std::frexp(x, &exponent);  // x = fraction * 2^exponent
  const Int128 whole = static_cast<int64_t>(std::ldexp(fraction, 53));
  const int shift = exponent - 53;
  Int128 scaled = whole * kCurrencyScale;
  if (shift >= 0) {
    if (shift > 40) return kOverflow;
    scaled <<= shift;
  } else if (shift > -120) {
    const Int128 divisor = static_cast<Int128>(1) << -shift;
    Int128 quotient = scaled / divisor;
    const Int128 rest = scaled % divisor;  // the sign of x
    const Int128 twice = rest < 0 ? -2 * rest : 2 * rest;
    if (twice > divisor || (twice == divisor && (quotient & 1) != 0)) quotient += x < 0 ? -1 : 1;
    scaled = quotient;
  } else {
    scaled = 0;  // far below half a ten-thousandth
  }
  if (scaled < INT64_MIN || scaled > INT64_MAX) return kOverflow;
  out = static_cast<int64_t>(scaled);
  return 0;
}

double CurrencyToDouble(int64_t scaled) {
  // Up to 2^53 the count converts exactly and one division rounds once. Beyond, the
  // whole part is exact and the ten-thousandths are far from the midpoints between
  // neighbouring doubles there, so the sum still rounds to the nearest double.
  if (scaled >= -(int64_t{1} << 53) && scaled <= (int64_t{1} << 53))
    return static_cast<double>(scaled) / kCurrencyScale;
  const int64_t whole = scaled / kCurrencyScale;
  const int64_t rest = scaled % kCurrencyScale;
  return static_cast<double>(whole) + static_cast<double>(rest) / kCurrencyScale;
}

int32_t ToCurrency(const Variant& v, int64_t& out) {
  switch (v.type) {
    case VType::Empty:
      out = 0;
      return 0;
    case VType::Boolean:
      out = v.b ? -kCurrencyScale : 0;
      return 0;
    case VType::Byte:
      out = v.by * kCurrencyScale;
      return 0;
    case VType::Integer:
      out = v.i * kCurrencyScale;
      return 0;
    case VType::Long:
      out = int64_t{v.l} * kCurrencyScale;
      return 0;
    case VType::Currency:
      out = v.cy;
      return 0;
    default:
      break;
  }
  double x;
  if (int32_t e = ToDouble(v, x)) return e;
  return CurrencyFromDouble(x, out);
}

int32_t ToText(const Variant& v, std::string& out) {
  switch (v.type) {
    case VType::Empty:
    case VType::Null:
      out.clear();
      return 0;
    case VType::Boolean:
      out = v.b ? "True" : "False";
      return 0;
    case VType::String:
      out = v.s;
      return 0;
    case VType::Object:
      return kTypeMismatch;
    case VType::Single:
      out = FormatSingle(v.f);
      return 0;
    case VType::Currency:
      out = FormatCurrency(v.cy);
      return 0;
    default:
      out = FormatGeneral(v.Number());
      return 0;
  }
}

std::string_view TypeName(VType type) {
  switch (type) {
    case VType::Empty:
      return "Empty";
    case VType::Null:
      return "Null";
    case VType::Boolean:
      return "Boolean";
    case VType::Byte:
      return "Byte";
    case VType::Integer:
      return "Integer";
    case VType::Long:
      return "Long";
    case VType::Single:
      return "Single";
    case VType::Double:
      return "Double";
    case VType::Currency:
      return "Currency";
    case VType::String:
      return "String";
    case VType::Object:
      return "Object";
  }
  return "Unknown";
}

int16_t VarTypeNumber(VType type) {
  switch (type) {
    case VType::Empty:
      return 0;
    case VType::Null:
      return 1;
    case VType::Integer:
      return 2;
    case VType::Long:
      return 3;
    case VType::Single:
      return 4;
    case VType::Double:
      return 5;
    case VType::Currency:
      return 6;
    case VType::String:
      return 8;
    case VType::Object:
      return 9;
    case VType::Boolean:
      return 11;
    case VType::Byte:
      return 17;
  }
  return 0;
}

std::string DisplayText(const Variant& v) {
  switch (v.type) {
    case VType::Empty:
      return "Empty";
    case VType::Null:
      return "Null";
    case VType::Object:
      return "Object";
    default: {
      std::string text;
      ToText(v, text);
      return text;
    }
  }
}

}  // namespace quorvant::script
