#include "model/numtext.h"

#include <array>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <system_error>

#include "model/numtext_internal.h"

// The exactness arguments below assume that every double operation is rounded once to
// double precision, to nearest, ties to even (no x87 excess precision, no contraction
// into fused multiply-adds behind our back, default rounding mode).
static_assert(FLT_EVAL_METHOD == 0, "number text needs plain double-precision arithmetic");
static_assert(DBL_MANT_DIG == 53, "number text needs IEEE binary64 doubles");

namespace quorvant {
namespace {

// ---------------------------------------------------------------------------------
// Writing

// Longest general text: "-1.23456789012346E-308" is 22 characters.
constexpr std::size_t kGeneralBufferSize = 32;

// Writes the general form of `value` into `buf` and returns its length. std::to_chars
// with a precision behaves like printf's %.*g in the "C" locale (exact binary value
// rounded, ties to even, trailing zeros removed, two-digit minimum exponent), whatever
// the process locale is; only the exponent letter differs from %G.
std::size_t WriteGeneral(double value, char* buf) {
  if (value == 0) {  // also negative zero, which to_chars would write "-0"
    buf[0] = '0';
    return 1;
  }
  if (std::isnan(value)) {  // to_chars may write "-nan"
    buf[0] = 'n';
    buf[1] = 'a';
    buf[2] = 'n';
    return 3;
  }
  const auto result =
      std::to_chars(buf, buf + kGeneralBufferSize, value, std::chars_format::general, 15);
  for (char* p = buf; p != result.ptr; ++p) {
    if (*p == 'e') *p = 'E';
  }
  return static_cast<std::size_t>(result.ptr - buf);
}

// ---------------------------------------------------------------------------------
// Rounding to 15 significant digits without text
//
// For a finite a > 0 with decimal exponent e (10^e <= a < 10^(e+1)) and k = 14 - e, the
// general text of a is the integer N nearest to the exact product a*10^k (ties to even),
// scaled back by 10^-k; reading it back gives N*10^-k correctly rounded. So Round15 has
// two jobs: find N exactly, and round N*10^-k correctly.
//
// Finding N. Let P = a*10^k, so 10^14 <= P < 10^15 < 2^50, and let m be P rounded to a
// double. Every double in that range is a multiple of its ulp, which is at most 1/8, and
// P lies within half an ulp of m. Round m to a whole number n (ties to even). Unless m
// is exactly half-way between two whole numbers, the half-way points are at least an
// ulp from m, so P is on the same side of them as m and N = n. When m is half-way, the
// residual P - m decides, and it is exact:
//   * 0 <= k <= 22: 10^k is a double, m = a*10^k rounded, and fma(a, 10^k, -m) is the
//     exact rounding error of the product (always representable);
//   * -22 <= k < 0: m = a/10^-k rounded, and fma(-m, 10^-k, a) = a - m*10^-k is the
//     exact remainder of the division (always representable); it has the sign of P - m.
//   A zero residual is an exact tie, for which n already is the even neighbour. So for
//   these scales N is decided with no uncertainty at all, exact ties included.
//   * 23 <= k <= 46: 10^k is not a double but is exactly hi + lo with two doubles (5^k
//     has at most 107 significant bits). With m = a*hi rounded, P - n is the sum of
//     m - n (exact), fma(a, hi, -m) (exact, at most 1/16) and a*lo (under 1/8), known
//     to better than 2^-53; N is n plus that sum rounded to a whole number. An exact tie
//     cannot occur here (it would need 5^k to divide an odd number below 2*10^15), so
//     only a sum within 2^-44 of +-1/2, which random data hits with probability around
//     2^-43, is left undecided and goes the text way.
//
// Rounding N*10^-k. For |k| <= 22 both N (< 2^53) and 10^|k| are exact doubles, so one
// IEEE division or multiplication is the correctly rounded result, exactly what the
// text reader computes. For 23 <= k <= 46 the quotient N/(hi + lo) is formed with an
// fma-exact remainder and a correction term accurate to about 2^-48 ulp; it is accepted
// only when it is more than 2^-40 ulp away from every midpoint between doubles (again
// no exact midpoint is possible because 5^k does not divide N).
//
// Everything else (values below 1e-32 or from 1e37 up, and the rare undecided cases)
// takes the text round trip.

// Exact powers of ten.
constexpr int kMaxExactPow10 = 22;
constexpr double kPow10[kMaxExactPow10 + 1] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22,
};

// Powers of ten beyond 10^22 as hi + lo, both doubles, hi = 10^k rounded to nearest,
// lo = 10^k - hi exactly.
__extension__ typedef unsigned __int128 UInt128;

struct SplitPow10 {
  double hi;
  double lo;
  double inv_hi;  // 1/hi rounded; only used for a correction term
};

constexpr int kMinSplitPow10 = kMaxExactPow10 + 1;
constexpr int kMaxSplitPow10 = 46;

constexpr UInt128 PowerOfFive(int k) {
  UInt128 f = 1;
  for (int i = 0; i < k; ++i) f *= 5;
  return f;
}

constexpr double PowerOfTwo(int k) {
  double p = 1;
  for (int i = 0; i < k; ++i) p *= 2;
  return p;
}

// 10^k = 5^k * 2^k: split the integer 5^k, then scale both halves by 2^k (exact).
constexpr SplitPow10 MakeSplitPow10(int k) {
  const UInt128 f = PowerOfFive(k);
  const double hi = static_cast<double>(f);
  const UInt128 hi_int = static_cast<UInt128>(hi);
  const double lo =
      f >= hi_int ? static_cast<double>(f - hi_int) : -static_cast<double>(hi_int - f);
  const double scale = PowerOfTwo(k);
  return {hi * scale, lo * scale, 1.0 / (hi * scale)};
}

// True when hi + lo is exactly 5^k (before scaling) and |lo| is at most half an ulp of hi.
constexpr bool SplitIsExact(int k) {
  const UInt128 f = PowerOfFive(k);
  const double hi = static_cast<double>(f);
  const UInt128 hi_int = static_cast<UInt128>(hi);
  const UInt128 diff = f >= hi_int ? f - hi_int : hi_int - f;
  const double lo_magnitude = static_cast<double>(diff);
  return static_cast<UInt128>(lo_magnitude) == diff && lo_magnitude <= hi * 0x1p-53;
}

constexpr auto MakeSplitTable() {
  std::array<SplitPow10, kMaxSplitPow10 - kMinSplitPow10 + 1> table{};
  for (int k = kMinSplitPow10; k <= kMaxSplitPow10; ++k) {
    table[k - kMinSplitPow10] = MakeSplitPow10(k);
  }
  return table;
}

constexpr bool AllSplitsExact() {
  for (int k = kMinSplitPow10; k <= kMaxSplitPow10; ++k) {
    if (!SplitIsExact(k)) return false;
  }
  return true;
}

static_assert(AllSplitsExact(), "10^k must be exactly hi + lo over the whole table");
static_assert(MakeSplitPow10(23).hi == 1e23 && MakeSplitPow10(46).hi == 1e46);

constexpr auto kSplitPow10 = MakeSplitTable();

// Magnitudes the arithmetic path accepts: decimal exponents -32 to 36, that is scales
// k = 14 - e from 46 (the last split power) down to -22 (the last exact power).
constexpr double kFastMin = 1e-32;
constexpr double kFastMax = 1e37;

// 10^e rounded, for e in [-32, 37]: where the decimal exponent steps up. Being rounded,
// they can misplace a value lying within half an ulp of a power of ten (harmless, see
// Round15Fast).
constexpr int kFirstDecade = -32;
constexpr double kDecadeStart[] = {
    1e-32, 1e-31, 1e-30, 1e-29, 1e-28, 1e-27, 1e-26, 1e-25, 1e-24, 1e-23, 1e-22, 1e-21,
    1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9,
    1e-8,  1e-7,  1e-6,  1e-5,  1e-4,  1e-3,  1e-2,  1e-1,  1e0,   1e1,   1e2,   1e3,
    1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,  1e12,  1e13,  1e14,  1e15,
    1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22,  1e23,  1e24,  1e25,  1e26,  1e27,
    1e28,  1e29,  1e30,  1e31,  1e32,  1e33,  1e34,  1e35,  1e36,  1e37,
};

// Decimal exponent of a in [kFastMin, kFastMax): floor(log10 a), except right at a power
// of ten (see kDecadeStart), and always in [-32, 36]. floor(binary exponent * log10 2),
// computed with 1292913986 / 2^32 (exact floor for every binary exponent of a double), is
// floor(log10 a) or one less; the table decides which.
inline int DecimalExponent(double a) {
  const int binary = static_cast<int>(std::bit_cast<std::uint64_t>(a) >> 52) - 1023;
  int e = static_cast<int>((static_cast<std::int64_t>(binary) * 1292913986) >> 32);
  if (a >= kDecadeStart[e + 1 - kFirstDecade]) ++e;
  return e;
}

// a*10^k held as its rounded value m and the means to place the exact value around m.
struct Scaled {
  enum Kind { kMultiply, kDivide, kMultiplySplit };
  Kind kind;
  double a;
  double p;   // 10^|k| (exact), or hi for the split path
  double lo;  // split path only
  double m;   // a*10^k rounded; for the split path a*hi rounded
};

inline Scaled Scale(double a, int k) {
  if (k >= 0 && k <= kMaxExactPow10) {
    return {Scaled::kMultiply, a, kPow10[k], 0, a * kPow10[k]};
  }
  if (k < 0) return {Scaled::kDivide, a, kPow10[-k], 0, a / kPow10[-k]};
  const SplitPow10& s = kSplitPow10[k - kMinSplitPow10];
  return {Scaled::kMultiplySplit, a, s.hi, s.lo, a * s.hi};
}

// Whole number nearest to x, ties to even, for |x| < 2^51: from 1.5*2^52 upwards the
// spacing of doubles is exactly 1, so the addition does the rounding.
inline double RoundToWhole(double x) {
  constexpr double kShift = 0x1.8p52;
  return (x + kShift) - kShift;
}

// ulp of a positive normal double (the gap to the next double up).
inline double UlpOf(double r) {
  const std::uint64_t exponent_bits = std::bit_cast<std::uint64_t>(r) & 0x7ff0000000000000u;
  return std::bit_cast<double>(exponent_bits - (std::uint64_t{52} << 52));
}

// n / 10^k correctly rounded for 23 <= k <= 46; false when too close to call.
inline bool DivideBySplitPow10(double n, const SplitPow10& p, double& out) {
  const double q = n / p.hi;
  const double remainder = std::fma(-q, p.hi, n);               // n - q*hi, exact
  const double correction = (remainder - q * p.lo) * p.inv_hi;  // ~ n/10^k - q
  const double r = q + correction;
  const double distance = (q - r) + correction;  // ~ n/10^k - r; q - r is exact
  const double ulp = UlpOf(r);
  // Below a power of two the next double down is only half an ulp away.
  const bool power_of_two = (std::bit_cast<std::uint64_t>(r) & 0x000fffffffffffffu) == 0;
  const double gap_below = power_of_two ? ulp / 2 : ulp;
  const double margin = ulp * 0x1p-40;
  if (distance < ulp / 2 - margin && distance > -gap_below / 2 + margin) {
    out = r;
    return true;
  }
  return false;
}

// The arithmetic path for a in [kFastMin, kFastMax); false sends a to the text path.
inline bool Round15Fast(double a, double& out) {
  // When DecimalExponent misjudges a value within half an ulp of a power of ten 10^j,
  // the product lands within 2^-53 (relative) of 10^14 or 10^15 on the far side, N comes
  // out as exactly 10^14 or 10^15, and N*10^-k is 10^j rounded either way: the same as
  // the value's own 15-digit rounding. So no second pass is needed.
  const int k = 14 - DecimalExponent(a);  // in [-22, 46] for this range
  const Scaled x = Scale(a, k);
  const double nearest = RoundToWhole(x.m);
  const double diff = x.m - nearest;  // exact, in [-1/2, 1/2]
  // Whether N rounds up is a coin toss for real data, so that is decided without a
  // branch; the half-way test below is rarely true.
  double n = nearest;
  if (x.kind != Scaled::kMultiplySplit) {
    if (std::fabs(diff) == 0.5) {
      const double residual =
          x.kind == Scaled::kMultiply ? std::fma(x.a, x.p, -x.m) : std::fma(-x.m, x.p, x.a);
      if (residual > 0) n = x.m + 0.5;
      if (residual < 0) n = x.m - 0.5;
    }
  } else {
    const double offset = (diff + std::fma(x.a, x.p, -x.m)) + x.a * x.lo;  // ~ P - nearest
    if (std::fabs(std::fabs(offset) - 0.5) < 0x1p-44) return false;
    n += RoundToWhole(offset);
  }
  if (k >= 0 && k <= kMaxExactPow10) {
    out = n / kPow10[k];
    return true;
  }
  if (k < 0) {
    out = n * kPow10[-k];
    return true;
  }
  return DivideBySplitPow10(n, kSplitPow10[k - kMinSplitPow10], out);
}

// ---------------------------------------------------------------------------------
// Reading

bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

char ToUpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// Digits of a "&H" / "&O" whole number. A value that fits in 16 bits is read as a
// signed 16-bit integer (&HFFFF is -1); a larger one, or one written with the "&" long
// suffix, as a signed 32-bit integer, wrapping beyond 32 bits (&HFFFFFFFF is -1,
// &H10000 is 65536, &HFFFF& is 65535).
class RadixNumber {
 public:
  explicit RadixNumber(unsigned base) : base_(base) {}

  // Adds one digit; false (and nothing added) when c is not a digit of the base.
  bool Add(char c) {
    unsigned digit;
    const char u = ToUpperAscii(c);
    if (IsAsciiDigit(u)) {
      digit = static_cast<unsigned>(u - '0');
    } else if (u >= 'A' && u <= 'F') {
      digit = static_cast<unsigned>(u - 'A' + 10);
    } else {
      return false;
    }
    if (digit >= base_) return false;
    bits_ = bits_ * base_ + digit;  // wraps modulo 2^32
    if (bits_ > 0xffffu) wide_ = true;
    any_digit_ = true;
    return true;
  }

  bool has_digits() const { return any_digit_; }

  double Value(bool long_suffix) const {
    if (wide_ || long_suffix) return static_cast<std::int32_t>(bits_);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(bits_));
  }

 private:
  unsigned base_;
  std::uint32_t bits_ = 0;
  bool wide_ = false;
  bool any_digit_ = false;
};

// Base of the radix prefix letter after "&", or 0.
unsigned RadixOf(char letter) {
  switch (ToUpperAscii(letter)) {
    case 'H':
      return 16;
    case 'O':
      return 8;
    default:
      return 0;
  }
}

// Converts a decimal number text of the form [-]digits[.digits][e[+-]digits], with at
// least one mantissa digit, correctly rounded. Returns false when its magnitude is beyond
// the double range (`out` is then infinity of its sign); a magnitude below the smallest
// subnormal reads as zero. Zero is
// always +0.
bool ConvertDecimal(std::string_view text, double& out) {
  double value = 0;
  const auto result =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // Out of range both ways; which way follows from the position of the first
    // non-zero digit relative to the point, plus the exponent. Nothing that fails here
    // is anywhere near 1 in magnitude, so the sign of that figure is enough.
    std::int64_t digits_before_point = 0;
    std::int64_t first_nonzero = -1;  // index among all mantissa digits
    std::int64_t digit_index = 0;
    bool after_point = false;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '.') {
        after_point = true;
      } else if (IsAsciiDigit(c)) {
        if (first_nonzero < 0 && c != '0') first_nonzero = digit_index;
        ++digit_index;
        if (!after_point) ++digits_before_point;
      } else if (c == 'e' || c == 'E') {
        break;
      }
    }
    std::int64_t exponent = 0;
    bool negative_exponent = false;
    for (++i; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '-') {
        negative_exponent = true;
      } else if (IsAsciiDigit(c) && exponent < 1'000'000'000'000) {
        exponent = exponent * 10 + (c - '0');
      }
    }
    if (negative_exponent) exponent = -exponent;
    if (digits_before_point - first_nonzero + exponent > 0) {
      out = text.front() == '-' ? -HUGE_VAL : HUGE_VAL;
      return false;
    }
    value = 0;
  }
  out = value == 0 ? 0.0 : value;
  return true;
}

// Cursor over a text that passes over blanks (space, tab, CR, LF) wherever they stand.
class BlankSkippingCursor {
 public:
  explicit BlankSkippingCursor(std::string_view text) : text_(text) {}

  // The next non-blank character, or '\0' at the end.
  char Peek() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
    return pos_ < text_.size() ? text_[pos_] : '\0';
  }
  void Advance() { ++pos_; }

 private:
  static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

  std::string_view text_;
  std::size_t pos_ = 0;
};

bool IsSpaceOrTab(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

// ---------------------------------------------------------------------------------

std::string FormatGeneral(double value) {
  char buf[kGeneralBufferSize];
  return std::string(buf, WriteGeneral(value, buf));
}

void AppendGeneral(std::string& out, double value) {
  char buf[kGeneralBufferSize];
  out.append(buf, WriteGeneral(value, buf));
}

double Round15ByText(double value) {
  if (!std::isfinite(value)) return value;
  char buf[kGeneralBufferSize];
  const std::size_t length = WriteGeneral(value, buf);
  double result = 0;
  // 15 digits of a subnormal round to at least half the smallest subnormal, so the
  // text never falls below the range. It can lie above it: the largest doubles (from
  // about 1.797693134862315E+308) round up to 1.79769313486232E+308, which no double
  // reaches, and read back as an overflow.
  const auto read = std::from_chars(buf, buf + length, result, std::chars_format::general);
  if (read.ec == std::errc::result_out_of_range)
    return std::copysign(std::numeric_limits<double>::infinity(), value);
  return result;
}

namespace numtext_detail {

bool Round15Arithmetic(double value, double& rounded) {
  const double a = std::fabs(value);
  if (a >= kFastMin && a < kFastMax) {
    if (!Round15Fast(a, rounded)) return false;
    rounded = std::copysign(rounded, value);
    return true;
  }
  if (value == 0) {
    rounded = 0.0;
    return true;
  }
  if (!std::isfinite(value)) {
    rounded = value;
    return true;
  }
  return false;
}

}  // namespace numtext_detail

double Round15(double value) {
  double rounded;
  if (numtext_detail::Round15Arithmetic(value, rounded)) return rounded;
  return Round15ByText(value);
}

double ReadLeadingNumber(std::string_view text) {
  BlankSkippingCursor in(text);

  if (in.Peek() == '&') {
    in.Advance();
    const unsigned base = RadixOf(in.Peek());
    if (base == 0) return 0;
    in.Advance();
    RadixNumber number(base);
    while (number.Add(in.Peek())) in.Advance();
    if (!number.has_digits()) return 0;
    return number.Value(in.Peek() == '&');
  }

  // Gather the number without its blanks, in the shape ConvertDecimal accepts.
  std::string digits;
  char c = in.Peek();
  if (c == '+' || c == '-') {
    if (c == '-') digits.push_back('-');
    in.Advance();
  }
  bool any_digit = false;
  for (; IsAsciiDigit(c = in.Peek()); in.Advance()) {
    digits.push_back(c);
    any_digit = true;
  }
  if (c == '.') {
    digits.push_back('.');
    in.Advance();
    for (; IsAsciiDigit(c = in.Peek()); in.Advance()) {
      digits.push_back(c);
      any_digit = true;
    }
  }
  if (!any_digit) return 0;

  const char marker = ToUpperAscii(in.Peek());
  if (marker == 'E' || marker == 'D') {
    in.Advance();
    std::string exponent = "e";
    c = in.Peek();
    if (c == '+' || c == '-') {
      if (c == '-') exponent.push_back('-');
      in.Advance();
    }
    bool any_exponent_digit = false;
    for (; IsAsciiDigit(c = in.Peek()); in.Advance()) {
      exponent.push_back(c);
      any_exponent_digit = true;
    }
    // "2e" and "2e+" are just 2.
    if (any_exponent_digit) digits += exponent;
  }

  double value;
  return ConvertDecimal(digits, value) ? value : 0.0;
}

double RoundHalfEven(double value) {
  // From 2^52 up every double is a whole number; NaN fails the test and comes back too.
  if (!(std::fabs(value) < 0x1p52)) return value;
  const double whole = std::trunc(value);
  const double fraction = std::fabs(value - whole);  // exact
  if (fraction < 0.5) return whole;
  const double away = whole + (value < 0 ? -1.0 : 1.0);
  if (fraction > 0.5) return away;
  return std::fmod(whole, 2.0) == 0 ? whole : away;
}

bool ParseNumericText(std::string_view text, double& out) {
  while (!text.empty() && IsSpaceOrTab(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpaceOrTab(text.back())) text.remove_suffix(1);
  if (text.empty()) return false;

  if (text.front() == '&') {
    if (text.size() < 3) return false;
    const unsigned base = RadixOf(text[1]);
    if (base == 0) return false;
    std::string_view body = text.substr(2);
    const bool long_suffix = body.back() == '&';
    if (long_suffix) body.remove_suffix(1);
    RadixNumber number(base);
    for (const char c : body) {
      if (!number.Add(c)) return false;
    }
    if (!number.has_digits()) return false;
    out = number.Value(long_suffix);
    return true;
  }

  std::size_t i = 0;
  const auto digits_from = [&](std::size_t start) {
    std::size_t j = start;
    while (j < text.size() && IsAsciiDigit(text[j])) ++j;
    return j;
  };
  // from_chars takes no leading "+".
  if (text[i] == '+') {
    text.remove_prefix(1);
  } else if (text[i] == '-') {
    ++i;
  }
  std::size_t end = digits_from(i);
  bool any_digit = end > i;
  i = end;
  if (i < text.size() && text[i] == '.') {
    end = digits_from(i + 1);
    any_digit = any_digit || end > i + 1;
    i = end;
  }
  if (!any_digit) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    end = digits_from(i);
    if (end == i) return false;
    i = end;
  }
  if (i != text.size()) return false;
  return ConvertDecimal(text, out);
}

std::string PrintedNumber(double value) {
  const std::string plain = FormatGeneral(value);
  std::string out;
  out.reserve(plain.size() + 2);
  if (plain.front() != '-') out += ' ';
  out += plain;
  out += ' ';
  return out;
}

}  // namespace quorvant
