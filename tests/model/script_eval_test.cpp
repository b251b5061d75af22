// What expressions evaluate to, subtype included: literals, operators with their
// precedence, coercions, built-in functions, Eval and ExecuteStatement.
#include <gtest/gtest.h>

#include <ostream>

#include "script_test_util.h"

namespace quorvant::testing {
namespace {

struct Case {
  const char* expression;
  const char* expected;  // "value (Subtype)" or "error N"
};

// Test names show the text under test.
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.expression;
}

std::string CaseNameOf(const ::testing::TestParamInfo<Case>& info) {
  return CaseName(info.param.expression, info.index);
}

class EvalTable : public ::testing::TestWithParam<Case> {};

TEST_P(EvalTable, GivesValueAndSubtype) {
  PreparedEngine p;
  EXPECT_EQ(p.Eval(GetParam().expression), GetParam().expected) << GetParam().expression;
}

const Case kLiterals[] = {
    {"13", "13 (Integer)"},
    {"010", "10 (Integer)"},
    {"32767", "32767 (Integer)"},
    {"32768", "32768 (Long)"},
    {"2147483647", "2147483647 (Long)"},
    {"2147483648", "2147483648 (Double)"},
    {"1.5E+3", "1500 (Double)"},
    {"1e2", "100 (Double)"},
    {"34e5", "3400000 (Double)"},
    {"56.789e-2", "0.56789 (Double)"},
    {".5", "0.5 (Double)"},
    {"10.", "10 (Double)"},
    {"1e-94938484", "0 (Double)"},
    {"&HFF", "255 (Integer)"},
    {"&HFFFF", "-1 (Integer)"},
    {"&HFFFE", "-2 (Integer)"},
    {"&HFFFF&", "65535 (Long)"},
    {"&HFFFFFFFF&", "-1 (Integer)"},
    {"&H10000", "65536 (Long)"},
    {"&h01or&h02", "3 (Integer)"},
    {"&O10", "8 (Integer)"},
    {"\"a\"\"b\"", "a\"b (String)"},
    {"True", "True (Boolean)"},
    {"Empty", "Empty (Empty)"},
    {"Null", "Null (Null)"},
    {"", "Empty (Empty)"},
    {"   7   ", "7 (Integer)"},
    {"[my var]", "Empty (Empty)"},
    {"zz*2", "0 (Integer)"},
};
INSTANTIATE_TEST_SUITE_P(Literals, EvalTable, ::testing::ValuesIn(kLiterals), CaseNameOf);

const Case kPrecedence[] = {
    {"-2^2", "4 (Double)"},
    {"-3^2", "9 (Double)"},
    {"0-2^2", "-4 (Double)"},
    {"2*3^2", "18 (Double)"},
    {"2^3^2", "64 (Double)"},
    {"2^-1", "0.5 (Double)"},
    {"2^-3^2", "0.015625 (Double)"},
    {"--1", "1 (Integer)"},
    {"+--+-+1", "-1 (Integer)"},
    {"2+3\\4", "2 (Integer)"},
    {"5\\4/2", "2 (Long)"},
    {"12/3\\2", "2 (Long)"},
    {"7 Mod 4+2", "5 (Integer)"},
    {"8 Mod 5 \\ 2", "0 (Integer)"},
    {"1 + 2 & 3", "33 (String)"},
    {"1 & 2 + 3", "15 (String)"},
    {"1<2<3", "True (Boolean)"},
    {"3>2>1", "False (Boolean)"},
    {"1=1<0", "True (Boolean)"},
    {"Not 1 = 2", "True (Boolean)"},
    {"(1 + 7) * 2 - 3", "13 (Integer)"},
    {"2 => 1", "True (Boolean)"},
    {"2 >< 1", "True (Boolean)"},
    {"2 =< 1", "False (Boolean)"},
};
INSTANTIATE_TEST_SUITE_P(Precedence, EvalTable, ::testing::ValuesIn(kPrecedence), CaseNameOf);

const Case kArithmetic[] = {
    {"(-8)^3", "-512 (Double)"},
    {"(-5)^2.0", "25 (Double)"},
    {"0^0", "1 (Double)"},
    {"2^2", "4 (Double)"},
    {"-2^0.5", "error 5"},
    {"(-8)^(1/3)", "error 5"},
    {"0^-1", "error 11"},
    {"10^309", "error 6"},
    {"1E308*10", "error 6"},
    {"3/2", "1.5 (Double)"},
    {"4/2", "2 (Double)"},
    {"1/0", "error 11"},
    {"1\\0", "error 11"},
    {"1 Mod 0", "error 11"},
    {"0/0", "error 6"},
    {"5\\2", "2 (Integer)"},
    {"-5\\2", "-2 (Integer)"},
    {"5.5\\2", "3 (Long)"},
    {"4.5\\2", "2 (Long)"},
    {"4.6\\1.5", "2 (Long)"},
    {"4.6\\1.49", "5 (Long)"},
    {"5\\0.4", "error 11"},
    {"5 Mod 0.5", "error 11"},
    {"7 Mod 2.5", "1 (Long)"},
    {"11.6 Mod 5.5", "0 (Long)"},
    {"-7 Mod 3", "-1 (Integer)"},
    {"7 Mod -3", "1 (Integer)"},
    {"3000000000 \\ 2", "error 6"},
    {"2^31 Mod 2", "error 6"},
    {"32767+1", "32768 (Long)"},
    {"200*200", "40000 (Long)"},
    {"2147483647+1", "2147483648 (Double)"},
    {"-32768", "-32768 (Long)"},
    {"-32767", "-32767 (Integer)"},
    {"True+True", "-2 (Integer)"},
    {"False+6+True", "5 (Integer)"},
    {"3+5-True", "9 (Integer)"},
    {"True = -1", "True (Boolean)"},
    {"False = 0", "True (Boolean)"},
    {"0 > True", "True (Boolean)"},
    {"0.1+0.2", "0.3 (Double)"},
    {"0.1+0.2 = 0.3", "False (Boolean)"},
    {"1/3", "0.333333333333333 (Double)"},
    {"Atn(1)*4", "3.14159265358979 (Double)"},
};
INSTANTIATE_TEST_SUITE_P(Arithmetic, EvalTable, ::testing::ValuesIn(kArithmetic), CaseNameOf);

const Case kLogic[] = {
    {"Not 0", "-1 (Integer)"},
    {"Not 5", "-6 (Integer)"},
    {"Not True", "False (Boolean)"},
    {"5 And 3", "1 (Integer)"},
    {"5 Or 3", "7 (Integer)"},
    {"5 Xor 3", "6 (Integer)"},
    {"5 Eqv 3", "-7 (Integer)"},
    {"5 Imp 3", "-5 (Integer)"},
    {"2.5 And 3", "2 (Long)"},
    {"3000000000 Or 0", "error 6"},
    {"Null And False", "False (Boolean)"},
    {"Null Or True", "True (Boolean)"},
    {"False Imp Null", "True (Boolean)"},
    {"False Eqv Null", "Null (Null)"},
    {"Not Null", "Null (Null)"},
};
INSTANTIATE_TEST_SUITE_P(Logic, EvalTable, ::testing::ValuesIn(kLogic), CaseNameOf);

const Case kCoercion[] = {
    {"1 & 100000", "1100000 (String)"},
    {"\"ab \" & Null", "ab  (String)"},
    {"Null & Null", "Null (Null)"},
    {"\"2\"+3", "5 (Double)"},
    {"\"2\"*\"3\"", "6 (Double)"},
    {"\"2\"+\"3\"", "23 (String)"},
    {"\"a\"+1", "error 13"},
    {"Empty+2", "2 (Integer)"},
    {"Empty+Empty", "0 (Integer)"},
    {"-Empty", "0 (Integer)"},
    {"Null+1", "Null (Null)"},
    {"Null=Null", "Null (Null)"},
    {"0<Null", "Null (Null)"},
    {"Empty = \"\"", "True (Boolean)"},
    {"\" 12 \" + 0", "12 (Double)"},
    {"\"&H10\" + 0", "16 (Double)"},
    {"\"1,5\" + 0", "error 13"},
    {"\"x\" Is Nothing", "error 424"},
    {"42 Is 42", "error 424"},
    {"sh Is sh", "True (Boolean)"},
    {"\"abc\" < \"abd\"", "True (Boolean)"},
    {"1 & True", "1True (String)"},
    {"1E15 & \"\"", "1E+15 (String)"},
    // A Single beside a Double compares in single precision.
    {"CSng(0.001 * 0.001) = 0.000001", "True (Boolean)"},
    {"0.000001 < CSng(0.001 * 0.001)", "False (Boolean)"},
    {"CSng(0.1) = CDbl(CSng(0.1)) + 1E-12", "True (Boolean)"},
    {"CSng(1) < 1E300", "True (Boolean)"},
    {"CDbl(CSng(0.1)) = 0.1", "False (Boolean)"},
};
INSTANTIATE_TEST_SUITE_P(Coercion, EvalTable, ::testing::ValuesIn(kCoercion), CaseNameOf);

const Case kBuiltins[] = {
    {"Abs(-32769)", "32769 (Long)"},
    {"Abs(True)", "1 (Integer)"},
    {"Abs(\"-1\")", "1 (Double)"},
    {"Abs(Null)", "Null (Null)"},
    {"Abs(\"x\")", "error 13"},
    {"Abs(-32768)", "32768 (Long)"},
    {"Atn(True)", "-0.785398163397448 (Double)"},
    {"Tan(Atn(1)*2)", "1.63312393531954E+16 (Double)"},
    {"Exp(710)", "error 6"},
    {"Exp(True)", "0.367879441171442 (Double)"},
    {"Log(0)", "error 5"},
    {"Log(-2)", "error 5"},
    {"Log(True)", "error 5"},
    {"Sqr(-2)", "error 5"},
    {"Sqr(True)", "error 5"},
    {"Sqr(36100)", "190 (Double)"},
    {"Sgn(-3.5)", "-1 (Integer)"},
    {"Sgn(Null)", "error 94"},
    {"Int(-1.99)", "-2 (Double)"},
    {"Fix(-1.99)", "-1 (Double)"},
    {"Int(7)", "7 (Integer)"},
    {"Fix(Null)", "Null (Null)"},
    {"Round(2.5)", "2 (Double)"},
    {"Round(3.5)", "4 (Double)"},
    {"Round(-3.5)", "-4 (Double)"},
    {"Round(3.25,1)", "3.2 (Double)"},
    {"Round(3,-1)", "error 5"},
    {"Round(7)", "7 (Integer)"},
    {"CInt(0.5)", "0 (Integer)"},
    {"CInt(1.5)", "2 (Integer)"},
    {"CInt(-36.5)", "-36 (Integer)"},
    {"CInt(-36.75)", "-37 (Integer)"},
    {"CInt(32767.5)", "error 6"},
    {"CInt(-32768.5)", "-32768 (Integer)"},
    {"CLng(0.5)", "0 (Long)"},
    {"CLng(2147483648)", "error 6"},
    {"CDbl(\"1.5E+3\")", "1500 (Double)"},
    {"CDbl(\"\")", "error 13"},
    {"CDbl(\"abc\")", "error 13"},
    {"CDbl(\"12abc\")", "error 13"},
    {"CDbl(\"TRUE\")", "error 13"},
    {"CDbl(Null)", "error 94"},
    {"CBool(0)", "False (Boolean)"},
    {"CBool(-2)", "True (Boolean)"},
    {"CBool(\"true\")", "True (Boolean)"},
    {"CBool(\"FALSE\")", "False (Boolean)"},
    {"CBool(\"\")", "error 13"},
    {"Hex(-1)", "FFFF (String)"},
    {"Hex(-32768)", "FFFF8000 (String)"},
    {"Hex(228.5)", "E4 (String)"},
    {"Oct(-1)", "177777 (String)"},
    {"Oct(9.5)", "12 (String)"},
    {"IsNumeric(\"44\")", "True (Boolean)"},
    {"IsNumeric(\"rwrf\")", "False (Boolean)"},
    {"IsNumeric(Null)", "False (Boolean)"},
    {"TypeName(1.5)", "Double (String)"},
    {"Sqr()", "error 450"},
    {"Sqr(1,2)", "error 450"},
    {"Sqr", "error 450"},
    {"IIf(1,2,3)", "error 13"},
    {"Max(1,2)", "error 13"},
    {"pi", "3.14159265358979 (Double)"},
    {"halfpi", "1.5707963267949 (Double)"},
    {"e", "2.71828182845905 (Double)"},
    {"sh.pi", "3.14159265358979 (Double)"},
    {"sh.Asin(1) = halfpi", "True (Boolean)"},
    {"sh.nosuch", "error 438"},
    {"Asin", "error 450"},
    {"Asin(1, 2)", "error 450"},
    {"ierr", "0 (Long)"},
};
INSTANTIATE_TEST_SUITE_P(Builtins, EvalTable, ::testing::ValuesIn(kBuiltins), CaseNameOf);

TEST(ExecuteStatement, AssignsAndEvalCompares) {
  PreparedEngine p;
  auto& engine = p.engine();
  ASSERT_EQ(engine.ExecuteStatement("a=2"), 0);
  ASSERT_EQ(engine.ExecuteStatement("B = a * 3"), 0);
  EXPECT_EQ(p.Eval("b"), "6 (Integer)");
  EXPECT_EQ(p.Eval("a=b"), "False (Boolean)");
  ASSERT_EQ(engine.ExecuteStatement("c = a = 2"), 0);
  EXPECT_EQ(p.Eval("c"), "True (Boolean)");
  ASSERT_EQ(engine.ExecuteStatement(" y=1"), 0);  // a statement may start with blanks
  EXPECT_EQ(p.Eval("y"), "1 (Integer)");
  ASSERT_EQ(engine.ExecuteStatement("p = 1 : q = 2 ' comment"), 0);
  EXPECT_EQ(p.Eval("p + q"), "3 (Integer)");
  ASSERT_EQ(engine.ExecuteStatement("r = 1 + _\n 2"), 0);
  EXPECT_EQ(p.Eval("r"), "3 (Integer)");
  ASSERT_EQ(engine.ExecuteStatement("s = 5\nt = s * 2"), 0);
  EXPECT_EQ(p.Eval("t"), "10 (Integer)");
  ASSERT_EQ(engine.ExecuteStatement("u = \"text\""), 0);
  EXPECT_EQ(p.Eval("u"), "text (String)");
  ASSERT_EQ(engine.ExecuteStatement(""), 0);
}

TEST(ExecuteStatement, HostMembersAreGlobalNames) {
  PreparedEngine p;
  auto& engine = p.engine();
  ASSERT_EQ(engine.ExecuteStatement("x = 1.5"), 0);
  EXPECT_EQ(p.evaluator.extraFunctions().x, 1.5);
  EXPECT_EQ(p.Eval("sh.x"), "1.5 (Double)");
  ASSERT_EQ(engine.ExecuteStatement("sh.x = 4"), 0);
  EXPECT_EQ(p.Eval("x"), "4 (Double)");
  // The Long member takes whole numbers, rounded half to even.
  ASSERT_EQ(engine.ExecuteStatement("ierr = 2.5"), 0);
  EXPECT_EQ(p.evaluator.extraFunctions().ierr, 2);
  // A failed assignment leaves the member unchanged.
  EXPECT_EQ(engine.ExecuteStatement("ierr = 1E+20"), 6);
  EXPECT_EQ(p.evaluator.extraFunctions().ierr, 2);
  EXPECT_EQ(engine.ExecuteStatement("x = \"abc\""), 13);
  EXPECT_EQ(p.evaluator.extraFunctions().x, 4);
  // Names are not case-sensitive.
  ASSERT_EQ(engine.ExecuteStatement("PI = 3"), 0);
  EXPECT_EQ(p.evaluator.extraFunctions().pi, 3);
}

TEST(ExecuteStatement, RefusesWhatIsNotAStatement) {
  PreparedEngine p;
  auto& engine = p.engine();
  EXPECT_EQ(engine.ExecuteStatement("1+1"), 1024);
  EXPECT_EQ(engine.ExecuteStatement("Sin = 3"), 501);
  EXPECT_EQ(engine.ExecuteStatement("Asin = 3"), 501);
  EXPECT_EQ(engine.ExecuteStatement("sh = 3"), 501);
  EXPECT_EQ(engine.ExecuteStatement("a = 1 2"), 1025);
  EXPECT_EQ(engine.ExecuteStatement("Dim a"), 1024);
}

TEST(Eval, RefusesStatementSeparators) {
  PreparedEngine p;
  EXPECT_EQ(p.Eval("x : "), "error 1025");
  EXPECT_EQ(p.Eval("1\n3"), "error 1025");
}

TEST(Namespace, NeverForgetsANameAndIsShared) {
  PreparedEngine p;
  EXPECT_EQ(p.Eval("newname"), "Empty (Empty)");
  ASSERT_EQ(p.engine().ExecuteStatement("NEWNAME = 7"), 0);
  EXPECT_EQ(p.Eval("newName + 1"), "8 (Integer)");
}

}  // namespace
}  // namespace quorvant::testing
