// Number text: the one way this program writes a double as text and reads a number
// back from text. Every layer (listing, problem file, report, fields, and the
// statements that hand a coordinate to the formula interpreter) goes through here, so
// all of them agree digit for digit. Locale-independent: "." is the only decimal point.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvant {

// General format of a double: rounded to 15 significant digits (ties as the exact
// binary value decides, like printf), trailing zeros and a bare "." dropped, "0.5"
// not ".5", no grouping, negative zero written "0". Exponent form (mantissa, "E",
// sign, at least two exponent digits: 1E+15, 1.23456789012346E+17, 1E-05) from 1E+15
// up and below 1E-4, as the C library's %.15G does. Non-finite values are written
// "inf", "-inf", "nan" (they never reach a listing).
std::string FormatGeneral(double value);
void AppendGeneral(std::string& out, double value);

// The printed form of the problem file and the report: the general format with a
// blank before a value that is not negative (the minus sign takes its place
// otherwise) and one blank after: " 3 ", "-1.5 ".
std::string PrintedNumber(double value);

// The double that the general-format text of `value` reads back as: `value` rounded
// to 15 significant digits, correctly rounded. Bit-identical to
// strtod(FormatGeneral(value)) for every finite input, but computed without text in
// almost all cases (an exact power of ten, one IEEE multiply or divide, and an fma
// check that the decimal rounding was not ambiguous). Negative zero gives +0. The
// largest doubles, whose 15-digit text (1.79769313486232E+308) lies beyond the double
// range, give infinity of their sign: that text reads back as an overflow.
double Round15(double value);

// Slow reference for Round15: writes the text and reads it back.
double Round15ByText(double value);

// Reads the leading number of a text as the program's fields and files do: blanks
// (space, tab, CR, LF) are ignored wherever they stand, then an optional sign,
// digits with at most one ".", an optional exponent (E or D, optional sign, digits),
// or a "&H" hexadecimal / "&O" octal whole number. Reading stops at the first
// character that cannot continue the number; 0 when there is no number at all. The
// decimal value is correctly rounded; one beyond the double range (either way) reads as
// 0. A "&H"/"&O" value that fits in 16 bits is a signed 16-bit integer (&HFFFF is -1),
// a larger one, or one followed by the "&" long suffix, a signed 32-bit integer that
// wraps (&H10000 is 65536, &HFFFFFFFF is -1, &HFFFF& is 65535). Zero is always +0.
double ReadLeadingNumber(std::string_view text);

// Rounds to the nearest whole number, halves to the even one (2.5 -> 2, 3.5 -> 4,
// -2.5 -> -2). Non-finite values are returned unchanged.
double RoundHalfEven(double value);

// Reads a whole text as a number the way the formula language converts a string
// operand: optional blanks (space, tab) around, optional sign, digits with at most one
// ".", an optional exponent E, or "&H"/"&O" whole numbers (optionally with the "&"
// suffix, read as in ReadLeadingNumber); no blanks inside. Returns false when the text
// is not entirely such a number (empty text, "abc", "12abc", "1,5"), or when it lies
// beyond the double range (`out` is then infinity of its sign, which tells that case
// apart); a value too small for a double reads as 0.
bool ParseNumericText(std::string_view text, double& out);

}  // namespace quorvant
