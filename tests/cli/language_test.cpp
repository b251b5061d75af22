// The formula language as `quorvant-cli --eval` shows it, one table per kind of
// construct. Each row is an expression and the exact "value (Subtype)" the runner
// prints, or "error N" for a failure. The rows come from the language's documented
// behaviour and its public conformance tests (which were run against the original
// engine); every row is also run on both machines of the interpreter, which must
// agree to the bit.
#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <ostream>
#include <string>

#include "cli_test_util.h"
#include "model/function_evaluator.h"
#include "model/message_sink.h"

namespace quorvant::testing {
namespace {

struct Row {
  const char* expression;
  const char* expected;  // "value (Subtype)" or "error N"
};

// Test names show the expression.
void PrintTo(const Row& row, std::ostream* os) {
  *os << row.expression;
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) {
  std::string name = "r" + std::to_string(info.index) + "_";
  for (const char* p = info.param.expression; *p && name.size() < 48; ++p)
    if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
  return name;
}

class QuietSink : public MessageSink {
 public:
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
};

class Language : public ::testing::TestWithParam<Row> {};

TEST_P(Language, EvalPrintsIt) {
  const Row& row = GetParam();
  const CliResult r = RunCaptured({"--eval", row.expression});
  const std::string expected = row.expected;
  if (expected.rfind("error ", 0) == 0) {
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out.substr(0, expected.size() + 1), expected + ":") << r.out;
  } else {
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected + "\n");
  }
}

// The double-only machine gives what the Variant machine gives: the same number to
// the bit or the same error (a value that is no number fails the same way on both).
TEST_P(Language, BothMachinesAgree) {
  QuietSink sink;
  FunctionEvaluator fast(sink), plain(sink);
  fast.Prepare();
  plain.Prepare();
  double a = 0, b = 0;
  const int32_t ea = fast.engine().EvalNumber(GetParam().expression, a, true);
  const int32_t eb = plain.engine().EvalNumber(GetParam().expression, b, false);
  ASSERT_EQ(ea, eb);
  if (ea == 0) {
    EXPECT_EQ(std::bit_cast<uint64_t>(a), std::bit_cast<uint64_t>(b));
  }
}

// --- Byte, Single and Currency --------------------------------------------------
// Conversions round halves to even and fail with 6 outside the subtype's range;
// arithmetic picks the result subtype as the original engine does (a Byte sum that
// leaves 0..255 grows to an Integer, a Single beside a Long gives a Double, + and -
// keep a Currency beside a Double while * gives the Double).
// clang-format off
const Row kByte[] = {
    {"CByte(255)", "255 (Byte)"},
    {"CByte(255.49)", "255 (Byte)"},
    {"CByte(255.5)", "error 6"},
    {"CByte(-1)", "error 6"},
    {"CByte(256)", "error 6"},
    {"CByte(-0.5)", "0 (Byte)"},
    {"CByte(\"-0.5\")", "0 (Byte)"},
    {"CByte(0.5)", "0 (Byte)"},
    {"CByte(1.5)", "2 (Byte)"},
    {"CByte(2.5)", "2 (Byte)"},
    {"CByte(True)", "255 (Byte)"},
    {"CByte(False)", "0 (Byte)"},
    {"CByte(Empty)", "0 (Byte)"},
    {"CByte(\"\")", "error 13"},
    {"CByte(\"258\")", "error 6"},
    {"CByte(\"TRUE\")", "error 13"},
    {"CByte(Null)", "error 94"},
    {"CByte()", "error 450"},
    {"CByte(200) + CByte(50)", "250 (Byte)"},
    {"CByte(200) + CByte(100)", "300 (Integer)"},
    {"CByte(255) * CByte(255)", "65025 (Long)"},
    {"CByte(3) - CByte(5)", "-2 (Integer)"},
    {"CByte(3) + Empty", "3 (Byte)"},
    {"CByte(3) + True", "2 (Integer)"},
    {"CByte(3) + 1", "4 (Integer)"},
    {"CByte(3) + 100000", "100003 (Long)"},
    {"CByte(3) + 1.5", "4.5 (Double)"},
    {"CByte(7) / CByte(2)", "3.5 (Double)"},
    {"CByte(7) \\ CByte(2)", "3 (Byte)"},
    {"CByte(7) Mod CByte(4)", "3 (Byte)"},
    {"CByte(7) Mod 4", "3 (Integer)"},
    {"CByte(7) \\ 2.5", "3 (Long)"},
    {"CByte(2) ^ 3", "8 (Double)"},
    {"-CByte(5)", "-5 (Integer)"},
    {"CByte(12) And CByte(10)", "8 (Byte)"},
    {"CByte(255) And -1", "255 (Integer)"},
    {"CByte(12) Or True", "-1 (Integer)"},
    {"Not CByte(5)", "250 (Byte)"},
    {"CByte(5) = 5", "True (Boolean)"},
    {"CByte(5) < 5.5", "True (Boolean)"},
    {"Abs(CByte(1))", "1 (Byte)"},
    {"Int(CByte(7))", "7 (Byte)"},
    {"Fix(CByte(7))", "7 (Byte)"},
    {"Round(CByte(7))", "7 (Byte)"},
    {"Sgn(CByte(1))", "1 (Integer)"},
    {"Sqr(CByte(225))", "15 (Double)"},
    {"Exp(CByte(0))", "1 (Double)"},
    {"Hex(CByte(255))", "FF (String)"},
    {"CByte(200) & \"\"", "200 (String)"},
    {"CInt(CByte(0))", "0 (Integer)"},
    {"CDbl(CByte(9))", "9 (Double)"},
    {"IsNumeric(CByte(32))", "True (Boolean)"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Byte, Language, ::testing::ValuesIn(kByte), RowName);

// clang-format off
const Row kSingle[] = {
    {"CSng(0.5)", "0.5 (Single)"},
    {"CSng(0.1)", "0.1 (Single)"},
    {"CSng(1/3)", "0.3333333 (Single)"},
    {"CSng(123456789)", "1.234568E+08 (Single)"},
    {"CSng(0.001 * 0.001)", "1E-06 (Single)"},
    {"CSng(16777216)", "1.677722E+07 (Single)"},
    {"CSng(16777217) = 16777216", "True (Boolean)"},
    {"CSng(16777219) = 16777220", "True (Boolean)"},
    {"CDbl(CSng(16777217))", "16777216 (Double)"},
    {"CSng(3.4E+38)", "3.4E+38 (Single)"},
    {"CSng(3.5E+38)", "error 6"},
    {"CSng(-3.5E+38)", "error 6"},
    {"CSng(1E-50)", "0 (Single)"},
    {"CSng(\"-0.5\")", "-0.5 (Single)"},
    {"CSng(\"\")", "error 13"},
    {"CSng(\"#TRue#\")", "error 13"},
    {"CSng(True)", "-1 (Single)"},
    {"CSng(Empty)", "0 (Single)"},
    {"CSng(Null)", "error 94"},
    {"CSng(0.01) + 0.01", "0.0199999997764826 (Double)"},
    {"CSng(0.1) + CSng(0.2)", "0.3 (Single)"},
    {"CSng(2) + 1", "3 (Single)"},
    {"CSng(2) + CByte(1)", "3 (Single)"},
    {"CSng(2) + 100000", "100002 (Double)"},
    {"CSng(2) + CCur(3)", "5 (Currency)"},
    {"CSng(2) * CCur(3)", "6 (Double)"},
    {"CSng(1) / 3", "0.3333333 (Single)"},
    {"CSng(1) / 3.0", "0.333333333333333 (Double)"},
    {"CSng(1) / 0", "error 11"},
    {"CSng(3.4E+38) + CSng(3.4E+38)", "6.79999990428873E+38 (Double)"},
    {"CSng(2) ^ 2", "4 (Double)"},
    {"-CSng(1.5)", "-1.5 (Single)"},
    {"Abs(CSng(-0.5))", "0.5 (Single)"},
    {"Sgn(CSng(-0.5))", "-1 (Integer)"},
    {"Sqr(CSng(121))", "11 (Double)"},
    {"Int(CSng(-1.5))", "-2 (Single)"},
    {"Fix(CSng(-1.5))", "-1 (Single)"},
    {"Round(CSng(2.5))", "2 (Single)"},
    {"Round(CSng(1.25), 1)", "1.2 (Single)"},
    {"CSng(0.1) = 0.1", "True (Boolean)"},
    {"CSng(16777216) = 16777217", "True (Boolean)"},
    {"CSng(0.5) = 0.5", "True (Boolean)"},
    {"CSng(2.5) \\ 1", "2 (Long)"},
    {"CSng(1.5) And 3", "2 (Long)"},
    {"CSng(0.1) & \"\"", "0.1 (String)"},
    {"CDbl(CSng(0.1))", "0.100000001490116 (Double)"},
    {"CInt(CSng(2.5))", "2 (Integer)"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Single, Language, ::testing::ValuesIn(kSingle), RowName);

// clang-format off
const Row kCurrency[] = {
    {"CCur(0.000149)", "0.0001 (Currency)"},
    {"CCur(0.03125)", "0.0312 (Currency)"},
    {"CCur(0.09375)", "0.0938 (Currency)"},
    {"CCur(-32768)", "-32768 (Currency)"},
    {"CCur(32768)", "32768 (Currency)"},
    {"CCur(2147483647.99)", "2147483647.99 (Currency)"},
    {"CCur(922337203685477)", "922337203685477 (Currency)"},
    {"CCur(-922337203685477.5)", "-922337203685477.5 (Currency)"},
    {"CCur(922337203685477.5807)", "error 6"},
    {"CDbl(CCur(922337203685477))", "922337203685477 (Double)"},
    {"CCur(1E+15)", "error 6"},
    {"CCur(\"-1\")", "-1 (Currency)"},
    {"CCur(\"-0.5\")", "-0.5 (Currency)"},
    {"CCur(\"\")", "error 13"},
    {"CCur(True)", "-1 (Currency)"},
    {"CCur(Empty)", "0 (Currency)"},
    {"CCur(Null)", "error 94"},
    {"CCur(1.5) + 0.123456", "1.6235 (Currency)"},
    {"CCur(1.5) - 0.123456", "1.3765 (Currency)"},
    {"CCur(1.5) + CCur(2.25)", "3.75 (Currency)"},
    {"CCur(1.5) * 3", "4.5 (Currency)"},
    {"CCur(1.5) * 0.1", "0.15 (Double)"},
    {"CCur(0.0003) * CCur(0.5)", "0.0002 (Currency)"},
    {"CCur(0.0001) * CCur(0.5)", "0 (Currency)"},
    {"CCur(1) / CCur(1)", "1 (Double)"},
    {"CCur(1) / 4", "0.25 (Double)"},
    {"CCur(7.5) \\ 2", "4 (Long)"},
    {"CCur(7) Mod 4", "3 (Long)"},
    {"CCur(2) ^ 2", "4 (Double)"},
    {"-CCur(1.5)", "-1.5 (Currency)"},
    {"CCur(922337203685477) + CCur(922337203685477)", "error 6"},
    {"CCur(922337203685477) * 100", "error 6"},
    {"Abs(CCur(-1))", "1 (Currency)"},
    {"Sgn(CCur(-1))", "-1 (Integer)"},
    {"Sqr(CCur(0.0625))", "0.25 (Double)"},
    {"Log(CCur(0.5))", "-0.693147180559945 (Double)"},
    {"Int(CCur(-0.99))", "-1 (Currency)"},
    {"Fix(CCur(-0.99))", "0 (Currency)"},
    {"Round(CCur(2.5))", "2 (Currency)"},
    {"Round(CCur(1.2345), 2)", "1.23 (Currency)"},
    {"Round(CCur(0.125), 2)", "0.12 (Currency)"},
    {"CCur(0.1) = 0.1", "True (Boolean)"},
    {"CCur(1) < CCur(1.0001)", "True (Boolean)"},
    {"CCur(1) And 3", "1 (Long)"},
    {"CCur(1.5) & \"\"", "1.5 (String)"},
    {"Empty + CCur(12.34)", "12.34 (Currency)"},
    {"CDbl(CCur(0))", "0 (Double)"},
    {"CLng(CCur(2.5))", "2 (Long)"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Currency, Language, ::testing::ValuesIn(kCurrency), RowName);

// --- VarType and TypeName for every subtype ---------------------------------------
// clang-format off
const Row kVarType[] = {
    {"VarType(Empty)", "0 (Integer)"},
    {"VarType(zz)", "0 (Integer)"},
    {"VarType(Null)", "1 (Integer)"},
    {"VarType(255)", "2 (Integer)"},
    {"VarType(32768)", "3 (Integer)"},
    {"VarType(CSng(0.5))", "4 (Integer)"},
    {"VarType(-0.5)", "5 (Integer)"},
    {"VarType(2 ^ 2)", "5 (Integer)"},
    {"VarType(CCur(0.5))", "6 (Integer)"},
    {"VarType(CStr(0.5))", "8 (Integer)"},
    {"VarType(Nothing)", "9 (Integer)"},
    {"VarType(sh)", "9 (Integer)"},
    {"VarType(CBool(0.5))", "11 (Integer)"},
    {"VarType(CByte(255))", "17 (Integer)"},
    {"VarType()", "error 450"},
    {"VarType(1, 2)", "error 450"},
    {"TypeName(CByte(255))", "Byte (String)"},
    {"TypeName(CSng(0.5))", "Single (String)"},
    {"TypeName(CCur(0.5))", "Currency (String)"},
    {"TypeName(32768)", "Long (String)"},
    {"TypeName(Nothing)", "Nothing (String)"},
    {"TypeName(Null)", "Null (String)"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(VarType, Language, ::testing::ValuesIn(kVarType), RowName);

// --- Literals ----------------------------------------------------------------------
// "&O" and a digit, or "&" and a digit, start an octal literal; an 8 or 9 in it is
// a syntax error. A radix literal without the "&" suffix is a signed 16-bit number
// when it fits 16 bits; -32768 comes out as a Long.
// clang-format off
const Row kLiterals[] = {
    {"&O17", "15 (Integer)"},
    {"&o10", "8 (Integer)"},
    {"&17", "15 (Integer)"},
    {"&0", "0 (Integer)"},
    {"&O177777", "-1 (Integer)"},
    {"&O100000", "-32768 (Long)"},
    {"&O77777", "32767 (Integer)"},
    {"&O177777&", "65535 (Long)"},
    {"&O37777777777", "-1 (Integer)"},
    {"&O40000000000", "error 1031"},
    {"&O8", "error 1002"},
    {"&O19", "error 1002"},
    {"&18", "error 1002"},
    {"&9", "error 1002"},
    {"&O17a", "error 1025"},
    {"1 &2", "error 1025"},
    {"&H8000", "-32768 (Long)"},
    {"&H8001", "-32767 (Integer)"},
    {"&H7FFF", "32767 (Integer)"},
    {"&HFFFF", "-1 (Integer)"},
    {"&H8000&", "32768 (Long)"},
    {"&HFFFF8000&", "-32768 (Long)"},
    {"&HffFF&", "65535 (Long)"},
    {"&H10000", "65536 (Long)"},
    {"&H0FFFFFFFF", "-1 (Integer)"},
    {"&H00000000000000FF", "255 (Integer)"},
    {"&H007FFFFFFF", "2147483647 (Long)"},
    {"-&H8000", "32768 (Long)"},
    {"\"x\" &hi", "x (String)"},
    {"&h01or&h02", "3 (Integer)"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Literals, Language, ::testing::ValuesIn(kLiterals), RowName);

// --- Not as the right operand of a comparison ----------------------------------------
// It takes the rest of the comparison chain: a <> Not b = c is a <> Not (b = c).
// clang-format off
const Row kNotOperand[] = {
    {"True <> Not True", "True (Boolean)"},
    {"False <> Not False", "True (Boolean)"},
    {"True = Not False", "True (Boolean)"},
    {"Not False = True", "True (Boolean)"},
    {"Not True <> True", "True (Boolean)"},
    {"Not 1 > 2", "True (Boolean)"},
    {"1 <> Not 0 = 0", "True (Boolean)"},
    {"0 = Not 1 = 1", "True (Boolean)"},
    {"1 > Not 5 > 3", "True (Boolean)"},
    {"Not False And False = False", "True (Boolean)"},
    {"-6 = Not 5", "True (Boolean)"},
    {"1 = Not Not 1 = 1", "False (Boolean)"},
    {"zz = Not zz Or 1", "1 (Integer)"},
    {"1 < Not", "error 1002"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(NotOperand, Language, ::testing::ValuesIn(kNotOperand), RowName);

// --- A text compared with a number or a Boolean ---------------------------------------
// A number written as a literal reads the text as a number (13 when it is none); a
// computed number beside a literal text is compared as text; two computed values
// put the number first. A Boolean compares with "True"/"False" as text.
// clang-format off
const Row kTextAndNumber[] = {
    {"\"0\" > 30", "False (Boolean)"},
    {"\"0\" < 30", "True (Boolean)"},
    {"\"10\" > 9", "True (Boolean)"},
    {"\"10\" > 100", "False (Boolean)"},
    {"\"42\" = 42", "True (Boolean)"},
    {"\"42\" = 43", "False (Boolean)"},
    {"30 > \"0\"", "True (Boolean)"},
    {"9 < \"10\"", "True (Boolean)"},
    {"42 = \"42\"", "True (Boolean)"},
    {"\"10\" > \"9\"", "False (Boolean)"},
    {"\"+5\" = 5", "True (Boolean)"},
    {"\"-0\" = 0", "True (Boolean)"},
    {"\"05\" = 5", "True (Boolean)"},
    {"\" 5\" = 5", "True (Boolean)"},
    {"\"5 \" = 5", "True (Boolean)"},
    {"\"5e0\" = 5", "True (Boolean)"},
    {"\"1e2\" = 100", "True (Boolean)"},
    {"\"&hff\" = 255", "True (Boolean)"},
    {"\"&H1F\" = 31", "True (Boolean)"},
    {"\"abc\" = 5", "error 13"},
    {"\"\" = 5", "error 13"},
    {"\" \" = 0", "error 13"},
    {"\"abc\" <> 5", "error 13"},
    {"\"abc\" > 5", "error 13"},
    {"5 > \"abc\"", "error 13"},
    {"\"abc\" = 5.5", "error 13"},
    {"\"abc\" = 1e2", "error 13"},
    {"\"abc\" = &hff", "error 13"},
    {"\"abc\" = 100000", "error 13"},
    {"CStr(5) = 5", "True (Boolean)"},
    {"(\"1\" & \"0\") = 10", "True (Boolean)"},
    {"Chr(65) = 1", "error 13"},
    {"\"abc\" = (5+0)", "False (Boolean)"},
    {"\"010\" = (5+5)", "False (Boolean)"},
    {"\"010\" = (10*1)", "False (Boolean)"},
    {"\"abc\" = -5", "False (Boolean)"},
    {"\"010\" = CInt(10)", "False (Boolean)"},
    {"\"010\" = CLng(10)", "False (Boolean)"},
    {"\"010\" = CSng(10)", "False (Boolean)"},
    {"\"010\" = CDbl(10)", "False (Boolean)"},
    {"\"abc\" = CInt(5)", "False (Boolean)"},
    {"\"10\" > CDbl(5)", "False (Boolean)"},
    {"\"10\" > CSng(5)", "False (Boolean)"},
    {"\"9\" < CDbl(10)", "False (Boolean)"},
    {"\"5\" = CByte(5)", "True (Boolean)"},
    {"\"5\" = CInt(5)", "True (Boolean)"},
    {"\"5\" = CCur(5)", "True (Boolean)"},
    {"CByte(5) = \"5\"", "True (Boolean)"},
    {"CCur(5) = \"5\"", "True (Boolean)"},
    {"\"abc\" = CByte(5)", "False (Boolean)"},
    {"\"\" = CByte(0)", "False (Boolean)"},
    {"\"10\" > CByte(5)", "False (Boolean)"},
    {"\"5\" < CCur(10)", "False (Boolean)"},
    {"Len(\"ab\") > Space(3)", "False (Boolean)"},
    {"Len(\"ab\") < Space(3)", "True (Boolean)"},
    {"Len(\"ab\") = Space(3)", "False (Boolean)"},
    {"Len(\"ab\") < Chr(9)", "True (Boolean)"},
    {"Len(\"ab\") < Chr(0)", "True (Boolean)"},
    {"Len(\"ab\") < (Chr(0) & \"5\")", "True (Boolean)"},
    {"Len(\"ab\") > \"\"", "True (Boolean)"},
    {"CInt(5) = CStr(5)", "False (Boolean)"},
    {"CStr(5) > CInt(5)", "True (Boolean)"},
    {"\"True\" = True", "True (Boolean)"},
    {"\"False\" = False", "True (Boolean)"},
    {"\"True\" = False", "False (Boolean)"},
    {"\"true\" = True", "False (Boolean)"},
    {"\"TRUE\" = True", "False (Boolean)"},
    {"\"True \" = True", "False (Boolean)"},
    {"\"1\" = True", "False (Boolean)"},
    {"\"-1\" = True", "False (Boolean)"},
    {"\"0\" = False", "False (Boolean)"},
    {"\"True\" <> True", "False (Boolean)"},
    {"\"False\" <> True", "True (Boolean)"},
    {"\"abc\" = True", "False (Boolean)"},
    {"\"\" = True", "False (Boolean)"},
    {"True = \"True\"", "True (Boolean)"},
    {"\"True\" > False", "True (Boolean)"},
    {"\"True\" < False", "False (Boolean)"},
    {"\"False\" > True", "False (Boolean)"},
    {"\"abc\" > True", "True (Boolean)"},
    {"\"\" = True = False", "True (Boolean)"},
    {"\"x\" = Null", "Null (Null)"},
    {"Empty = \"\"", "True (Boolean)"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(TextAndNumber, Language, ::testing::ValuesIn(kTextAndNumber), RowName);

// --- Empty in the logical operators ---------------------------------------------------
// Empty takes part as a Long 0, so the result is a Long (arithmetic keeps treating
// Empty as an Integer 0). A Byte Imp Null is the Byte's complement.
// clang-format off
const Row kEmptyLogic[] = {
    {"Empty And Empty", "0 (Long)"},
    {"Empty And CInt(0)", "0 (Long)"},
    {"Empty And CInt(5)", "0 (Long)"},
    {"Empty And False", "0 (Long)"},
    {"Empty And Null", "0 (Long)"},
    {"Empty And CByte(5)", "0 (Long)"},
    {"Empty Or Empty", "0 (Long)"},
    {"Empty Or CInt(5)", "5 (Long)"},
    {"Empty Or False", "0 (Long)"},
    {"Empty Or Null", "Null (Null)"},
    {"Empty Xor Empty", "0 (Long)"},
    {"Empty Xor CInt(5)", "5 (Long)"},
    {"Empty Xor Null", "Null (Null)"},
    {"Empty Eqv Empty", "-1 (Long)"},
    {"Empty Eqv Null", "Null (Null)"},
    {"Empty Imp Empty", "-1 (Long)"},
    {"Empty Imp False", "-1 (Long)"},
    {"Empty Imp Null", "-1 (Long)"},
    {"Not Empty", "-1 (Long)"},
    {"CInt(5) And Empty", "0 (Long)"},
    {"CInt(5) Or Empty", "5 (Long)"},
    {"CInt(5) Xor Empty", "5 (Long)"},
    {"CInt(0) Imp Empty", "-1 (Long)"},
    {"CInt(5) Imp Empty", "-6 (Long)"},
    {"False Imp Empty", "-1 (Long)"},
    {"True Imp Empty", "0 (Long)"},
    {"Null Imp Empty", "Null (Null)"},
    {"False And Null", "False (Boolean)"},
    {"True And Null", "Null (Null)"},
    {"CInt(0) And Null", "0 (Integer)"},
    {"CInt(5) And Null", "Null (Null)"},
    {"True Or Null", "True (Boolean)"},
    {"False Or Null", "Null (Null)"},
    {"CInt(5) Xor Null", "Null (Null)"},
    {"CInt(5) Eqv Null", "Null (Null)"},
    {"Not CLng(0)", "-1 (Long)"},
    {"CByte(0) Imp Null", "255 (Byte)"},
    {"CByte(170) Imp Null", "85 (Byte)"},
    {"CByte(255) Imp Null", "0 (Byte)"},
    {"CByte(255) Or Null", "255 (Byte)"},
    {"Empty + Empty", "0 (Integer)"},
    {"Empty + CInt(5)", "5 (Integer)"},
    {"Empty + CLng(123456)", "123456 (Long)"},
    {"Empty + CDbl(1.5)", "1.5 (Double)"},
    {"Empty + False", "0 (Integer)"},
    {"Empty - CInt(5)", "-5 (Integer)"},
    {"Empty * CInt(5)", "0 (Integer)"},
    {"Empty \\ CInt(1)", "0 (Integer)"},
    {"Empty Mod CInt(3)", "0 (Integer)"},
    {"-Empty", "0 (Integer)"},
    {"+Empty", "Empty (Empty)"},
    {"Empty ^ CInt(2)", "0 (Double)"},
    {"CInt(2) ^ Empty", "1 (Double)"},
    {"CInt(1) / Empty", "error 11"},
    {"CInt(1) \\ Empty", "error 11"},
    {"CInt(3) Mod Empty", "error 11"},
    {"Empty & \"foo\"", "foo (String)"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(EmptyLogic, Language, ::testing::ValuesIn(kEmptyLogic), RowName);

// --- Syntax errors at the end of the text ---------------------------------------------
// Where an operand is due and the text ends, the error is a syntax error (1002);
// where another token stands there it is "Expected expression" (1023). Line breaks
// before and after an expression are blank lines.
// clang-format off
const Row kEndOfText[] = {
    {"1 +", "error 1002"},
    {"1 -", "error 1002"},
    {"2 *", "error 1002"},
    {"2 ^", "error 1002"},
    {"1 &", "error 1002"},
    {"1 =", "error 1002"},
    {"1 Mod", "error 1002"},
    {"1 And", "error 1002"},
    {"Not", "error 1002"},
    {"-", "error 1002"},
    {"(", "error 1002"},
    {"Sqr(", "error 1002"},
    {"Sqr(1,", "error 1002"},
    {"1 +\n", "error 1002"},
    {"1 + * 2", "error 1023"},
    {"1 + )", "error 1023"},
    {"(1 + 2", "error 1006"},
    {"1\n", "1 (Integer)"},
    {"\n\n1\n\n", "1 (Integer)"},
    {"\n", "Empty (Empty)"},
    {"1\n2", "error 1025"},
    {"1 :", "error 1025"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(EndOfText, Language, ::testing::ValuesIn(kEndOfText), RowName);

// --- Text functions --------------------------------------------------------------------
// clang-format off
const Row kTextFunctions[] = {
    {"Len(\"abc\")", "3 (Long)"},
    {"Len(\"\")", "0 (Long)"},
    {"Len(1)", "1 (Long)"},
    {"Len(1.5)", "3 (Long)"},
    {"Len(True)", "4 (Long)"},
    {"Len(Null)", "Null (Null)"},
    {"Len(Empty)", "0 (Long)"},
    {"Len()", "error 450"},
    {"Left(\"test\", 2)", "te (String)"},
    {"Left(\"test\", 5)", "test (String)"},
    {"Left(\"test\", 0)", " (String)"},
    {"Left(123, 2)", "12 (String)"},
    {"Left(\"123456\", 1.5)", "12 (String)"},
    {"Left(\"123456\", 2.5)", "12 (String)"},
    {"Left(\"test\", \"2\")", "te (String)"},
    {"Left(True, 2)", "Tr (String)"},
    {"Left(\"test\", -1)", "error 5"},
    {"Left(Null, 1)", "Null (Null)"},
    {"Right(\"test\", 2)", "st (String)"},
    {"Right(\"test\", 5)", "test (String)"},
    {"Right(123, \"2\")", "23 (String)"},
    {"Right(Empty, 1)", " (String)"},
    {"Right(\"test\", Empty)", " (String)"},
    {"Right(True, 2)", "ue (String)"},
    {"Right(Null, 0)", "Null (Null)"},
    {"Right(\"test\", -1)", "error 5"},
    {"Right(Null, -1)", "error 5"},
    {"Right(\"test\", Null)", "error 94"},
    {"Mid(\"test\", 2, 2)", "es (String)"},
    {"Mid(\"test\", 2, 4)", "est (String)"},
    {"Mid(\"test\", 1, 0)", " (String)"},
    {"Mid(\"test\", 5, 2)", " (String)"},
    {"Mid(1234, 1, 2)", "12 (String)"},
    {"Mid(\"test\", 2)", "est (String)"},
    {"Mid(\"test\", 4)", "t (String)"},
    {"Mid(Null, 1, 1)", "Null (Null)"},
    {"Mid(\"test\", \"a\", 1)", "error 13"},
    {"Mid(\"test\", \"a\", Null)", "error 94"},
    {"Mid(\"test\", \"a\", Empty)", "error 13"},
    {"Mid(\"test\", 0, -1)", "error 5"},
    {"Mid(Null, -1, -1)", "error 5"},
    {"Mid(\"test\", 0, Null)", "error 94"},
    {"Mid(\"test\", Null, -1)", "error 94"},
    {"Mid(\"test\", Empty, 1)", "error 5"},
    {"Mid(\"test\", 1, -1)", "error 5"},
    {"Mid(\"test\")", "error 450"},
    {"InStr(1, \"abcd\", \"bc\")", "2 (Long)"},
    {"InStr(\"abcd\", \"bc\")", "2 (Long)"},
    {"InStr(\"abcbc\", \"bc\")", "2 (Long)"},
    {"InStr(3, \"abcd\", \"bc\")", "0 (Long)"},
    {"InStr(5, \"abcd\", \"bc\")", "0 (Long)"},
    {"InStr(1.3, \"abcd\", \"bc\")", "2 (Long)"},
    {"InStr(2.6, \"abcd\", \"bc\")", "0 (Long)"},
    {"InStr(3, \"abcdefgh\", \"FG\", 0)", "0 (Long)"},
    {"InStr(3, \"abcdefgh\", \"FG\", 1)", "6 (Long)"},
    {"InStr(3, \"abcdefgh\", \"FG\", 1.4)", "6 (Long)"},
    {"InStr(3, \"abcdefgh\", \"FG\", -0.3)", "0 (Long)"},
    {"InStr(2, \"abcABC\", \"aB\", 1)", "4 (Long)"},
    {"InStr(1, 23456, 45, 0)", "3 (Long)"},
    {"InStr(2, \"\", \"abcd\", 0)", "0 (Long)"},
    {"InStr(4, \"abcdef\", \"\", 0)", "4 (Long)"},
    {"InStr(20, \"abcdef\", \"\", 0)", "0 (Long)"},
    {"InStr(4, \"\", \"\", 0)", "0 (Long)"},
    {"InStr(\"abcd\", Null)", "Null (Null)"},
    {"InStr(Null, \"abcd\")", "Null (Null)"},
    {"InStr(2, Null, \"abcd\")", "Null (Null)"},
    {"InStr(Null, \"abcd\", \"abcd\", 0)", "error 94"},
    {"InStr(2, \"abcd\", \"abcd\", Null)", "error 94"},
    {"InStr(-20, \"abcd\", \"abcd\", 1)", "error 5"},
    {"InStr(2, \"abcd\", \"abcd\", 10)", "error 5"},
    {"InStrRev(\"bcabcd\", \"bc\")", "4 (Long)"},
    {"InStrRev(\"bcabcd\", \"bc\", 6)", "4 (Long)"},
    {"InStrRev(\"abcd\", \"bc\", 3)", "2 (Long)"},
    {"InStrRev(\"abcd\", \"bc\", 2)", "0 (Long)"},
    {"InStrRev(\"abcd\", \"b\", 2)", "2 (Long)"},
    {"InStrRev(\"abcd\", \"bc\", 5)", "0 (Long)"},
    {"InStrRev(\"abcd\", \"bc\", 2.3)", "0 (Long)"},
    {"InStrRev(\"abcd\", \"bc\", 2.6)", "2 (Long)"},
    {"InStrRev(1234, 34)", "3 (Long)"},
    {"InStrRev(\"abcd\", \"A\", 1, 1)", "1 (Long)"},
    {"InStrRev(\"abcd\", \"Ab\", -1, 1)", "1 (Long)"},
    {"InStrRev(\"abcd\", \"cd\", 4, 1)", "3 (Long)"},
    {"InStrRev(\"\", \"hi\", 1, 0)", "0 (Long)"},
    {"InStrRev(\"abcd\", \"\", 3, 1)", "3 (Long)"},
    {"InStrRev(\"\", \"\", 3, 0)", "0 (Long)"},
    {"InStrRev(\"abcd\", Null, 2, 0)", "error 94"},
    {"InStrRev(Null, \"abcd\", 2, 0)", "error 94"},
    {"InStrRev(\"abcd\", \"abcd\", -20, 1)", "error 5"},
    {"InStrRev(\"abcd\", \"abcd\", 2, 10)", "error 5"},
    {"UCase(\"123aBC?\")", "123ABC? (String)"},
    {"UCase(1)", "1 (String)"},
    {"UCase(True)", "TRUE (String)"},
    {"UCase(Empty)", " (String)"},
    {"UCase(Null)", "Null (Null)"},
    {"LCase(\"123aBC?\")", "123abc? (String)"},
    {"LCase(True)", "true (String)"},
    {"LCase(Null)", "Null (Null)"},
    {"Trim(\"   test    \") & \"|\"", "test| (String)"},
    {"LTrim(\"   test    \") & \"|\"", "test    | (String)"},
    {"RTrim(\"   test    \") & \"|\"", "   test| (String)"},
    {"Trim(Chr(9) & \"a \") & \"|\"", "\ta| (String)"},
    {"Trim(123)", "123 (String)"},
    {"Trim(Null)", "Null (Null)"},
    {"Space(0) & \"|\"", "| (String)"},
    {"Space(False) & \"|\"", "| (String)"},
    {"Space(5) & \"|\"", "     | (String)"},
    {"Len(Space(5.5))", "6 (Long)"},
    {"Len(Space(4.5))", "4 (Long)"},
    {"Len(Space(\"1\"))", "1 (Long)"},
    {"Space(-1)", "error 5"},
    {"Space(\"-1\")", "error 5"},
    {"Space(Null)", "error 94"},
    {"Len(Space(2000000000))", "error 7"},
    {"String(3, \"x\")", "xxx (String)"},
    {"String(3, \"xy\")", "xxx (String)"},
    {"String(0, \"z\")", " (String)"},
    {"String(\"3\", \"xy\")", "xxx (String)"},
    {"String(2, 321)", "AA (String)"},
    {"String(Null, \"x\")", "Null (Null)"},
    {"String(2, Null)", "Null (Null)"},
    {"String(-2, \"x\")", "error 5"},
    {"String(3, \"\")", "error 5"},
    {"String(0, \"\")", "error 5"},
    {"StrComp(\"ABC\", \"abc\", 0)", "-1 (Integer)"},
    {"StrComp(\"abc\", \"ABC\", 0)", "1 (Integer)"},
    {"StrComp(\"ABC\", \"ABC\", 0)", "0 (Integer)"},
    {"StrComp(\"ABCD\", \"ABC\", 0)", "1 (Integer)"},
    {"StrComp(\"ABC\", \"abc\", 1)", "0 (Integer)"},
    {"StrComp(\"ABC\", \"ABCD\", 1)", "-1 (Integer)"},
    {"StrComp(\"ABC\", \"ABCD\", \"1\")", "-1 (Integer)"},
    {"StrComp(\"1\", 1, 1)", "0 (Integer)"},
    {"StrComp(Empty, \"\", 1)", "0 (Integer)"},
    {"StrComp(Empty, \"ABC\", 1)", "-1 (Integer)"},
    {"StrComp(\"ABC\", Empty, 1)", "1 (Integer)"},
    {"StrComp(Null, \"a\")", "Null (Null)"},
    {"StrComp(\"a\", \"a\", 2)", "error 5"},
    {"StrComp()", "error 450"},
    {"StrComp(\"a\", \"a\", 0, 1)", "error 450"},
    {"StrReverse(\"test\")", "tset (String)"},
    {"StrReverse(\"\")", " (String)"},
    {"StrReverse(123)", "321 (String)"},
    {"StrReverse(True)", "eurT (String)"},
    {"StrReverse(Null)", "error 94"},
    {"Replace(\"xx testxx(xx)\", \"xx\", \"!\")", "! test!(!) (String)"},
    {"Replace(\"\", \"x\", \"y\")", " (String)"},
    {"Replace(\"xxx\", \"\", \"y\")", "xxx (String)"},
    {"Replace(\"yxxy\", \"x\", \"\")", "yy (String)"},
    {"Replace(\"xxxxx\", \"xx\", \"y\")", "yyx (String)"},
    {"Replace(123, 2, 6)", "163 (String)"},
    {"Replace(\"xx testxx(xx)\", \"xx\", \"!\", 2)", "x test!(!) (String)"},
    {"Replace(\"xx testxx(xx)\", \"xx\", \"!\", 2000)", " (String)"},
    {"Replace(\"xxx\", \"\", \"y\", 2)", "xx (String)"},
    {"Replace(\"xx testxx(xx)\", \"xx\", \"!\", 1, 2)", "! test!(xx) (String)"},
    {"Replace(\"xx testxx(xx)\", \"xx\", \"!\", 2, 1)", "x test!(xx) (String)"},
    {"Replace(\"xx testxx(xx)\", \"xx\", \"!\", 1, 0)", "xx testxx(xx) (String)"},
    {"Replace(\"Aa testAAa(aa)\", \"aa\", \"!\", 1, 2, 1)", "! test!a(aa) (String)"},
    {"Replace(\"aa testAa(aa)\", \"aa\", \"!\", 2, 2, 0)", "a testAa(!) (String)"},
    {"Replace(\"aa testaa(aa)\", \"A\", \"!\", 1, -1, 1)", "!! test!!(!!) (String)"},
    {"Replace(\"xx\", \"x\", \"y\", -1)", "error 5"},
    {"Replace(\"xx\", \"x\", \"y\", 0)", "error 5"},
    {"Replace(\"xx\", \"x\", \"y\", 1, -2)", "error 5"},
    {"Replace(\"xx\", \"x\", \"y\", 1, 1, 8)", "error 5"},
    {"Replace(Null, \"x\", \"y\")", "error 94"},
    {"Replace(\"xx\", \"x\", Null)", "error 94"},
    {"Replace(\"xx\", \"x\", \"y\", 1, Null)", "error 94"},
    {"Len(Replace(String(5000, \"x\"), \"x\", String(5000, \"y\")))", "error 7"},
    {"Len(Space(10000000) & Space(10000000))", "error 7"},
    {"Len(Space(10000000) + Space(10000000))", "error 7"},
    {"Len(Space(10000000) & Space(6000000))", "16000000 (Long)"},
    {"Asc(\"T\")", "84 (Integer)"},
    {"Asc(\"test\")", "116 (Integer)"},
    {"Asc(3)", "51 (Integer)"},
    {"Asc(\"   \")", "32 (Integer)"},
    {"Asc(Chr(255))", "255 (Integer)"},
    {"Asc(Chr(0))", "0 (Integer)"},
    {"Asc(True)", "84 (Integer)"},
    {"Asc(Null)", "error 94"},
    {"Asc(Empty)", "error 5"},
    {"Asc(\"\")", "error 5"},
    {"Asc()", "error 450"},
    {"Chr(120)", "x (String)"},
    {"Chr(120.5)", "x (String)"},
    {"Chr(119.5)", "x (String)"},
    {"Chr(\"120\")", "x (String)"},
    {"Len(Chr(0))", "1 (Long)"},
    {"Chr(-1)", "error 5"},
    {"Chr(256)", "error 5"},
    {"Chr(65536)", "error 5"},
    {"Chr(Null)", "error 94"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(TextFunctions, Language, ::testing::ValuesIn(kTextFunctions), RowName);

}  // namespace
}  // namespace quorvant::testing
