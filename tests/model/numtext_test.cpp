#include "model/numtext.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "model/numtext_internal.h"

namespace quorvant {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The C library's %.15G, which FormatGeneral follows (in the "C" locale).
std::string PrintfGeneral(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  return buf;
}

std::string Hex(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%a", value);
  return buf;
}

// Reads a decimal text the way a correctly rounding reader does (reference for tests).
double FromText(const std::string& text) {
  double value = 0;
  const auto result =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  EXPECT_EQ(result.ec, std::errc()) << text;
  return value;
}

// ---------------------------------------------------------------------------------
// FormatGeneral

struct FormatCase {
  double value;
  const char* text;
};

TEST(FormatGeneralTest, WritesKnownValues) {
  const FormatCase cases[] = {
      {0.5, "0.5"},
      {2, "2"},
      {-0.25, "-0.25"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {0.0001, "0.0001"},
      {0.00001, "1E-05"},
      {1e-10, "1E-10"},
      {1e15, "1E+15"},
      {999999999999999, "999999999999999"},
      {123456789012345678.0, "1.23456789012346E+17"},
      {0.1 + 0.2, "0.3"},
      {919.9999999999999, "920"},
      {-1e-5, "-1E-05"},
      {1e100, "1E+100"},
      {5e-324, "4.94065645841247E-324"},
      {0, "0"},
      {-0.0, "0"},
      {100, "100"},
      {-1234.5, "-1234.5"},
      {1.5e-7, "1.5E-07"},
      {DBL_MAX, "1.79769313486232E+308"},
      {-DBL_MAX, "-1.79769313486232E+308"},
      {kInf, "inf"},
      {-kInf, "-inf"},
      {kNaN, "nan"},
      {-kNaN, "nan"},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(FormatGeneral(c.value), c.text) << Hex(c.value);
  }
}

TEST(FormatGeneralTest, AppendGeneralAddsToTheEnd) {
  std::string text = "x=";
  AppendGeneral(text, 0.125);
  text += ';';
  AppendGeneral(text, -1e20);
  EXPECT_EQ(text, "x=0.125;-1E+20");
}

// Random values of mixed magnitudes: uniform in log scale, random bit patterns (all
// exponents, subnormals included), whole numbers and short decimals.
std::vector<double> MixedValues(std::size_t count, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> decades(-30, 30);
  std::uniform_int_distribution<int> kind(0, 3);
  std::vector<double> values;
  values.reserve(count);
  while (values.size() < count) {
    double v = 0;
    switch (kind(rng)) {
      case 0:
        v = std::pow(10.0, decades(rng));
        break;
      case 1:
        v = std::bit_cast<double>(rng());
        if (!std::isfinite(v)) continue;
        break;
      case 2:
        v = static_cast<double>(rng() >> (rng() % 64));
        break;
      case 3:
        v = static_cast<double>(rng() % 100000) / std::pow(10.0, static_cast<int>(rng() % 12));
        break;
    }
    values.push_back((rng() & 1) ? -v : v);
  }
  return values;
}

TEST(FormatGeneralTest, MatchesPrintfOnRandomValues) {
  // printf follows LC_NUMERIC; the reference needs the "C" decimal point.
  ASSERT_STREQ(std::localeconv()->decimal_point, ".");
  int mismatches = 0;
  for (const double v : MixedValues(30000, 1)) {
    const std::string expected = v == 0 ? "0" : PrintfGeneral(v);  // printf writes "-0"
    const std::string actual = FormatGeneral(v);
    if (actual != expected && ++mismatches <= 10) {
      ADD_FAILURE() << Hex(v) << ": " << actual << " vs printf " << expected;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// ---------------------------------------------------------------------------------
// Round15

struct RoundCase {
  double value;
  double rounded;
};

TEST(Round15Test, RoundsKnownValues) {
  const RoundCase cases[] = {
      {0.1 + 0.2, 0.3},
      {919.9999999999999, 920},
      {1.0 / 3, 0.333333333333333},
      {-2.0 / 3, -0.666666666666667},
      {0.5, 0.5},
      {123456789012345678.0, 1.23456789012346e17},
      {1e-20 / 3, 3.33333333333333e-21},
      {1e30 / 7, 1.42857142857143e29},
      {4503599627370497.0, 4.5035996273705e15},
      {1e-300 / 3, 3.33333333333333e-301},
      {5e-324, 4.94065645841247e-324},
  };
  for (const RoundCase& c : cases) {
    EXPECT_EQ(Round15(c.value), c.rounded) << Hex(c.value);
    EXPECT_EQ(Round15ByText(c.value), c.rounded) << Hex(c.value);
  }
}

TEST(Round15Test, ZeroAndNonFiniteValues) {
  EXPECT_EQ(Round15(0.0), 0.0);
  EXPECT_FALSE(std::signbit(Round15(0.0)));
  EXPECT_FALSE(std::signbit(Round15(-0.0)));
  EXPECT_FALSE(std::signbit(Round15ByText(-0.0)));
  EXPECT_EQ(Round15(kInf), kInf);
  EXPECT_EQ(Round15(-kInf), -kInf);
  EXPECT_TRUE(std::isnan(Round15(kNaN)));
  EXPECT_EQ(Round15ByText(-kInf), -kInf);
  EXPECT_TRUE(std::isnan(Round15ByText(kNaN)));
}

// The 15-digit text of the largest doubles, 1.79769313486232E+308, lies beyond the
// double range: rounding them gives infinity of their sign, never 0. The last double
// whose text is still in range rounds down to 1.79769313486231E+308.
TEST(Round15Test, LargestDoublesRoundBeyondTheRange) {
  const double lastInRange = 1.797693134862315e308;
  for (const double v :
       {DBL_MAX, std::nextafter(DBL_MAX, 0.0), std::nextafter(lastInRange, kInf)}) {
    SCOPED_TRACE(v);
    EXPECT_EQ(FormatGeneral(v), "1.79769313486232E+308");
    EXPECT_EQ(Round15(v), kInf);
    EXPECT_EQ(Round15(-v), -kInf);
    EXPECT_EQ(Round15ByText(v), kInf);
    EXPECT_EQ(Round15ByText(-v), -kInf);
  }
  EXPECT_EQ(FormatGeneral(lastInRange), "1.79769313486231E+308");
  EXPECT_EQ(Round15(lastInRange), 1.79769313486231e308);
  EXPECT_EQ(Round15(-lastInRange), -1.79769313486231e308);
}

TEST(Round15Test, SaysWhenTheTextRoundTripDecides) {
  double rounded = 0;
  EXPECT_TRUE(numtext_detail::Round15Arithmetic(0.1 + 0.2, rounded));
  EXPECT_EQ(rounded, 0.3);
  EXPECT_FALSE(numtext_detail::Round15Arithmetic(1e-300 / 3, rounded));
  EXPECT_EQ(Round15(1e-300 / 3), 3.33333333333333e-301);
}

// Compares Round15 with the text round trip over a family of values and reports how
// often the text path was needed.
class Round15Check {
 public:
  explicit Round15Check(const char* family) : family_(family) {}

  void Check(double v) {
    ++checked_;
    double unused;
    const bool fell_back = !numtext_detail::Round15Arithmetic(v, unused);
    const double fast = Round15(v);
    const double a = std::fabs(v);
    if (a >= 1e-32 && a < 1e37) {
      ++in_fast_range_;
      in_range_fallbacks_ += fell_back;
    } else if (v != 0 && std::isfinite(v)) {
      ++beyond_fast_range_;
      beyond_range_fallbacks_ += fell_back;
    }
    const double text = Round15ByText(v);
    const bool same = std::bit_cast<std::uint64_t>(fast) == std::bit_cast<std::uint64_t>(text) ||
                      (std::isnan(fast) && std::isnan(text));
    if (!same && ++mismatches_ <= 10) {
      ADD_FAILURE() << family_ << ": Round15(" << Hex(v) << ") = " << Hex(fast)
                    << ", text round trip gives " << Hex(text);
    }
    // Rounding an already rounded value changes nothing.
    if (same && std::isfinite(v) && Round15(fast) != fast && ++mismatches_ <= 10) {
      ADD_FAILURE() << family_ << ": Round15 not idempotent at " << Hex(v);
    }
  }

  // Checks v and its neighbours up to `steps` doubles away on either side.
  void CheckAround(double v, int steps) {
    Check(v);
    double up = v;
    double down = v;
    for (int i = 0; i < steps; ++i) {
      up = std::nextafter(up, kInf);
      down = std::nextafter(down, -kInf);
      Check(up);
      Check(down);
    }
  }

  ~Round15Check() {
    EXPECT_EQ(mismatches_, 0) << family_;
    // Every finite non-zero value beyond the fast range takes the text path; inside it,
    // only products within a hair of a rounding boundary may.
    EXPECT_EQ(beyond_range_fallbacks_, beyond_fast_range_) << family_;
    EXPECT_LE(in_range_fallbacks_, in_fast_range_ / 100000) << family_;
    std::cout << "  [" << family_ << "] " << checked_
              << " values; text fallbacks: " << in_range_fallbacks_ << " of " << in_fast_range_
              << " in [1e-32, 1e37), " << beyond_range_fallbacks_ << " of " << beyond_fast_range_
              << " beyond\n";
  }

 private:
  const char* family_;
  std::uint64_t checked_ = 0;
  std::uint64_t in_fast_range_ = 0;
  std::uint64_t beyond_fast_range_ = 0;
  std::uint64_t in_range_fallbacks_ = 0;
  std::uint64_t beyond_range_fallbacks_ = 0;
  int mismatches_ = 0;
};

std::string RandomDigits(std::mt19937_64& rng, int count) {
  std::string digits;
  for (int i = 0; i < count; ++i) digits.push_back(static_cast<char>('0' + rng() % 10));
  return digits;
}

double RandomSign(std::mt19937_64& rng, double v) {
  return (rng() & 1) ? -v : v;
}

TEST(Round15Test, MatchesTextOnLogUniformValues) {
  Round15Check check("log-uniform 1e-30..1e30");
  std::mt19937_64 rng(2);
  std::uniform_real_distribution<double> decades(-30, 30);
  for (int i = 0; i < 50000; ++i) check.Check(RandomSign(rng, std::pow(10.0, decades(rng))));
}

TEST(Round15Test, MatchesTextOnRandomBitPatterns) {
  Round15Check check("random bit patterns");
  std::mt19937_64 rng(3);
  for (int i = 0; i < 20000; ++i) check.Check(std::bit_cast<double>(rng()));
  // Random significands with exponents in the range where the fast path works.
  std::uniform_int_distribution<std::uint64_t> exponent(1023 - 110, 1023 + 125);
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t bits = (rng() & 0x800fffffffffffffu) | (exponent(rng) << 52);
    check.Check(std::bit_cast<double>(bits));
  }
}

TEST(Round15Test, MatchesTextOnWholeNumbers) {
  Round15Check check("whole numbers");
  std::mt19937_64 rng(4);
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t n = rng() >> (rng() % 64);
    check.Check(RandomSign(rng, static_cast<double>(n)));
  }
}

TEST(Round15Test, MatchesTextOnShortDecimals) {
  Round15Check check("short decimals");
  std::mt19937_64 rng(5);
  for (int i = 0; i < 20000; ++i) {
    // Up to 8 digits at any decimal scale, e.g. 1234/1000, 7e-25.
    const int digits = 1 + static_cast<int>(rng() % 8);
    const int scale = static_cast<int>(rng() % 81) - 40;
    const std::string text = RandomDigits(rng, digits) + "e" + std::to_string(scale);
    check.Check(RandomSign(rng, FromText(text)));
  }
  for (int n = 1; n <= 20000; ++n) check.Check(n / 1000.0);
}

TEST(Round15Test, MatchesTextNearDecimalTies) {
  Round15Check check("near decimal ties");
  std::mt19937_64 rng(6);
  for (int i = 0; i < 80000; ++i) {
    // 16 significant digits ending in 5: exactly halfway between two 15-digit values;
    // the double nearest to it lies a little to either side.
    const std::string digits = std::to_string(1 + rng() % 9) + RandomDigits(rng, 14) + "5";
    const int scale = static_cast<int>(rng() % 91) - 60;
    check.CheckAround(RandomSign(rng, FromText(digits + "e" + std::to_string(scale))), 3);
  }
  // Values whose 16th digit is an exact binary tie: odd multiples of powers of two.
  for (int i = 0; i < 100000; ++i) {
    const double odd = static_cast<double>((rng() % (std::uint64_t{1} << 50)) | 1);
    const int shift = static_cast<int>(rng() % 120) - 70;
    check.Check(RandomSign(rng, std::ldexp(odd, shift)));
  }
  for (int j = 1; j <= 60; ++j) {
    for (int odd = 1; odd < 2000; odd += 2) check.Check(std::ldexp(odd, -j));
  }
}

TEST(Round15Test, MatchesTextJustBelowPowersOfTen) {
  Round15Check check("just below powers of ten");
  std::mt19937_64 rng(7);
  for (int j = -40; j <= 40; ++j) {
    const double power = FromText("1e" + std::to_string(j));
    check.CheckAround(power, 40);
    check.CheckAround(-power, 5);
    for (int i = 0; i < 1000; ++i) {
      // 9.99999999999999xyz...: rounds up to the next power of ten or stays below.
      const std::string text = "9.99999999999999" +
                               RandomDigits(rng, 1 + static_cast<int>(rng() % 5)) + "e" +
                               std::to_string(j);
      check.CheckAround(RandomSign(rng, FromText(text)), 2);
    }
  }
  // 9.999999999999995e5 and friends: the tie right under a power of ten.
  for (int j = -45; j <= 45; ++j) {
    check.CheckAround(FromText("9.999999999999995e" + std::to_string(j)), 4);
    check.CheckAround(FromText("1.000000000000005e" + std::to_string(j)), 4);
  }
}

TEST(Round15Test, MatchesTextAtRangeEdges) {
  Round15Check check("range edges");
  const double edges[] = {1e-32, 1e-31, 1e37,    1e36,    1e-8,   1e-9,   1e22,  1e23,  1e14,
                          1e15,  1e-16, DBL_MIN, DBL_MAX, 5e-324, 1e-310, 1e300, 1e-300};
  for (const double edge : edges) {
    check.CheckAround(edge, 20);
    check.CheckAround(-edge, 20);
  }
  std::mt19937_64 rng(8);
  for (int i = 0; i < 20000; ++i) {
    check.Check(std::bit_cast<double>(rng() & 0x800fffffffffffffu));  // subnormals
  }
}

// ---------------------------------------------------------------------------------
// ReadLeadingNumber

struct ReadCase {
  const char* text;
  double value;
};

TEST(ReadLeadingNumberTest, ReadsKnownTexts) {
  const ReadCase cases[] = {
      {"1 2 3", 123},
      {" -1.5e3x", -1500},
      {"1D2", 100},
      {"1d-2", 0.01},
      {"2e", 2},
      {"2e+", 2},
      {"2E-x", 2},
      {"&H10", 16},
      {"&h1f", 31},
      {"&O10", 8},
      {"&o777", 511},
      {"&HFFFF", -1},
      {"&H8000", -32768},
      {"&H7FFF", 32767},
      {"&HFFFFFFFF", -1},
      {"&H10000", 65536},
      {"&H100000010", 16},
      {"&HFFFF&", 65535},
      {"&O177777", -1},
      {"&O200000", 65536},
      {" & H 1 0", 16},
      {"&HG", 0},
      {"&", 0},
      {"&X10", 0},
      {"-&H10", 0},
      {"abc", 0},
      {"", 0},
      {".", 0},
      {"-", 0},
      {"+", 0},
      {".5", 0.5},
      {"-.5", -0.5},
      {"5.", 5},
      {"+7", 7},
      {"--7", 0},
      {"1.2.3", 1.2},
      {"- 1 . 5 E 1", -15},
      {"\t\r\n42\n", 42},
      {"12abc", 12},
      {"1,5", 1},
      {"0.1", 0.1},
      {"1e400", 0},
      {"-1e400", 0},
      {"1e-400", 0},
      {"4.9406564584124654e-324", 5e-324},
      {"1e99999999999999999999", 0},
      {"0e99999999999999999999", 0},
      {"00000000000000000000000000123", 123},
      {"123456789012345678901234567890", 123456789012345678901234567890.0},
  };
  for (const ReadCase& c : cases) {
    EXPECT_EQ(ReadLeadingNumber(c.text), c.value) << '"' << c.text << '"';
  }
  EXPECT_FALSE(std::signbit(ReadLeadingNumber("-0")));
}

TEST(ReadLeadingNumberTest, RoundsLongTextsCorrectly) {
  // Long mantissas with blanks scattered through them read like the same text
  // without blanks through a correctly rounding reader.
  std::mt19937_64 rng(9);
  int mismatches = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string plain = (rng() & 1) ? "-" : "";
    plain += RandomDigits(rng, 1 + static_cast<int>(rng() % 30));
    plain += '.';
    plain += RandomDigits(rng, static_cast<int>(rng() % 30));
    plain += 'e' + std::to_string(static_cast<int>(rng() % 501) - 250);
    std::string spaced;
    for (const char c : plain) {
      if (rng() % 4 == 0) spaced += ' ';
      spaced += c;
    }
    const double expected = FromText(plain);
    const double actual = ReadLeadingNumber(spaced + "x");
    if (actual != expected && ++mismatches <= 10) {
      ADD_FAILURE() << '"' << spaced << "\" read as " << Hex(actual) << ", expected "
                    << Hex(expected);
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// ---------------------------------------------------------------------------------
// RoundHalfEven

TEST(RoundHalfEvenTest, RoundsKnownValues) {
  const RoundCase cases[] = {
      {0.5, 0},
      {1.5, 2},
      {2.5, 2},
      {3.5, 4},
      {-0.5, 0},
      {-1.5, -2},
      {-2.5, -2},
      {0.49999999999999994, 0},
      {3.4999999999999996, 3},
      {2.5000000000000004, 3},
      {-7.6, -8},
      {1e300, 1e300},
      {4503599627370497.0, 4503599627370497.0},
      {4503599627370495.5, 4503599627370496.0},
      {4503599627370494.5, 4503599627370494.0},
      {kInf, kInf},
      {-kInf, -kInf},
  };
  for (const RoundCase& c : cases) {
    EXPECT_EQ(RoundHalfEven(c.value), c.rounded) << Hex(c.value);
  }
  EXPECT_TRUE(std::isnan(RoundHalfEven(kNaN)));
}

TEST(RoundHalfEvenTest, AgreesWithNearbyIntOnRandomValues) {
  // The default rounding mode of nearbyint is to nearest, ties to even.
  std::mt19937_64 rng(10);
  std::uniform_real_distribution<double> spread(-1e6, 1e6);
  int mismatches = 0;
  for (int i = 0; i < 100000; ++i) {
    const double v = (i % 2) ? spread(rng) : std::round(spread(rng) * 2) / 2;
    if (RoundHalfEven(v) != std::nearbyint(v) && ++mismatches <= 10) {
      ADD_FAILURE() << Hex(v);
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// ---------------------------------------------------------------------------------
// ParseNumericText

struct ParseCase {
  const char* text;
  bool ok;
  double value;  // when ok
};

TEST(ParseNumericTextTest, ParsesKnownTexts) {
  const ParseCase cases[] = {
      {"12", true, 12},       {" 12 ", true, 12},       {"\t12\t", true, 12},
      {"1.5E+3", true, 1500}, {"1.5e3", true, 1500},    {"1.5e-3", true, 0.0015},
      {"-0.5", true, -0.5},   {"+0.5", true, 0.5},      {".5", true, 0.5},
      {"5.", true, 5},        {"&H10", true, 16},       {"&h10", true, 16},
      {"&O10", true, 8},      {"&HFFFF", true, -1},     {"&HFFFF&", true, 65535},
      {" &H10& ", true, 16},  {"&HFFFFFFFF", true, -1}, {"1e-400", true, 0},
      {"0", true, 0},         {"1e400", false, 0},      {"-1e400", false, 0},
      {"", false, 0},         {"   ", false, 0},        {"abc", false, 0},
      {"12abc", false, 0},    {"1,5", false, 0},        {"1,000", false, 0},
      {"TRUE", false, 0},     {".", false, 0},          {"-", false, 0},
      {"+", false, 0},        {"1e", false, 0},         {"1e+", false, 0},
      {"1D2", false, 0},      {"1 2", false, 0},        {"- 1", false, 0},
      {"1.2.3", false, 0},    {"--1", false, 0},        {"+-1", false, 0},
      {"&H", false, 0},       {"&H&", false, 0},        {"&HG", false, 0},
      {"&O8", false, 0},      {"&H10&&", false, 0},     {"& H10", false, 0},
      {"-&H10", false, 0},    {"\n12", false, 0},
  };
  for (const ParseCase& c : cases) {
    double value = -12345;
    EXPECT_EQ(ParseNumericText(c.text, value), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    }
  }
  double zero = -1;
  ASSERT_TRUE(ParseNumericText("-0", zero));
  EXPECT_FALSE(std::signbit(zero));
}

TEST(ParseNumericTextTest, ReadsBackGeneralText) {
  // Whatever FormatGeneral writes reads back as the 15-digit rounding of the value.
  int mismatches = 0;
  for (const double v : MixedValues(100000, 11)) {
    const std::string text = FormatGeneral(v);
    double value = 0;
    const bool ok = ParseNumericText(text, value);
    if ((!ok || value != Round15ByText(v)) && ++mismatches <= 10) {
      ADD_FAILURE() << text << " -> " << (ok ? Hex(value) : "rejected");
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace quorvant
