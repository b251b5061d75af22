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
#include "model/dimension.h"
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
  Dimension dimFast, dimPlain;
  FunctionEvaluator fast(dimFast, sink), plain(dimPlain, sink);
  fast.Prepare();
  plain.Prepare();
  double a = 0, b = 0;
  const int32_t ea = fast.engine().EvalNumber(GetParam().expression, a, true);
  const int32_t eb = plain.engine().EvalNumber(GetParam().expression, b, false);
  ASSERT_EQ(ea, eb);
  if (ea == 0) EXPECT_EQ(std::bit_cast<uint64_t>(a), std::bit_cast<uint64_t>(b));
}

// --- Literals ----------------------------------------------------------------------
// "&O" and a digit, or "&" and a digit, start an octal literal; an 8 or 9 in it is
// a syntax error. A radix literal without the "&" suffix is a signed 16-bit number
// when it fits 16 bits; -32768 comes out as a Long.
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
INSTANTIATE_TEST_SUITE_P(Literals, Language, ::testing::ValuesIn(kLiterals), RowName);

// --- Not as the right operand of a comparison ----------------------------------------
// It takes the rest of the comparison chain: a <> Not b = c is a <> Not (b = c).
const Row kNotOperand[] = {
    {"True <> Not True", "True (Boolean)"}, {"False <> Not False", "True (Boolean)"},
    {"True = Not False", "True (Boolean)"}, {"Not False = True", "True (Boolean)"},
    {"Not True <> True", "True (Boolean)"}, {"Not 1 > 2", "True (Boolean)"},
    {"1 <> Not 0 = 0", "True (Boolean)"},   {"0 = Not 1 = 1", "True (Boolean)"},
    {"1 > Not 5 > 3", "True (Boolean)"},    {"Not False And False = False", "True (Boolean)"},
    {"-6 = Not 5", "True (Boolean)"},       {"1 = Not Not 1 = 1", "False (Boolean)"},
    {"zz = Not zz Or 1", "1 (Integer)"},    {"1 < Not", "error 1002"},
};
INSTANTIATE_TEST_SUITE_P(NotOperand, Language, ::testing::ValuesIn(kNotOperand), RowName);

// --- Syntax errors at the end of the text ---------------------------------------------
// Where an operand is due and the text ends, the error is a syntax error (1002);
// where another token stands there it is "Expected expression" (1023). Line breaks
// before and after an expression are blank lines.
const Row kEndOfText[] = {
    {"1 +", "error 1002"},        {"1 -", "error 1002"},    {"2 *", "error 1002"},
    {"2 ^", "error 1002"},        {"1 &", "error 1002"},    {"1 =", "error 1002"},
    {"1 Mod", "error 1002"},      {"1 And", "error 1002"},  {"Not", "error 1002"},
    {"-", "error 1002"},          {"(", "error 1002"},      {"Sqr(", "error 1002"},
    {"Sqr(1,", "error 1002"},     {"1 +\n", "error 1002"},  {"1 + * 2", "error 1023"},
    {"1 + )", "error 1023"},      {"(1 + 2", "error 1006"}, {"1\n", "1 (Integer)"},
    {"\n\n1\n\n", "1 (Integer)"}, {"\n", "Empty (Empty)"},  {"1\n2", "error 1025"},
    {"1 :", "error 1025"},
};
INSTANTIATE_TEST_SUITE_P(EndOfText, Language, ::testing::ValuesIn(kEndOfText), RowName);

}  // namespace
}  // namespace quorvant::testing
