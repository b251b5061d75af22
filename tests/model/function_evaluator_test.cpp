// Evaluating the user's function: the statements that hand over the coordinates,
// constants, the error event and its message.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "script_test_util.h"

namespace quorvant::testing {
namespace {

// A function prepared as the program prepares it; the tests read the engine's
// namespace after evaluating.
struct Function : PreparedEngine {
  Function(const std::vector<std::string>& names, std::string formula) {
    evaluator.SetFunction(names, std::move(formula));
  }
  int32_t At(const std::vector<double>& point, double& value) {
    return evaluator.EvaluateFunction(point, value);
  }
};

TEST(FunctionEvaluation, AssignmentStatements) {
  EXPECT_EQ(AssignmentText("x", 1.5), "x=1.5");
  EXPECT_EQ(AssignmentText("y", -0.00001), "y=-1E-05");
  EXPECT_EQ(AssignmentText(" y", 1.0 / 3), " y=0.333333333333333");
  EXPECT_EQ(AssignmentText("z", 1e15), "z=1E+15");
  EXPECT_EQ(AssignmentText("t", -0.0), "t=0");
}

TEST(FunctionEvaluation, HandsOverFifteenDigitCoordinates) {
  for (bool fast : {true, false}) {
    Function p({"x", "y"}, "x + y");
    p.evaluator.SetFastPath(fast);
    double value;
    ASSERT_EQ(p.At({1.5, -0.00001}, value), 0);
    EXPECT_EQ(p.Eval("x"), "1.5 (Double)");  // x is the member of the extra functions
    EXPECT_EQ(p.Eval("y"), "-1E-05 (Double)");
    EXPECT_EQ(p.Eval("TypeName(y) & \" \" & CStr(y * 1)"), "Double -1E-05 (String)");
    ASSERT_EQ(p.At({1.0 / 3, 2}, value), 0);
    EXPECT_EQ(value, 0.333333333333333 + 2);
    EXPECT_EQ(p.Eval("y"), "2 (Integer)");
    ASSERT_EQ(p.At({0.1 + 0.2, 40000}, value), 0);
    EXPECT_EQ(p.Eval("y"), "40000 (Long)");
    EXPECT_EQ(value, 0.3 + 40000);
    ASSERT_EQ(p.At({-32768, 1e15}, value), 0);
    EXPECT_EQ(p.Eval("TypeName(x) & TypeName(y)"), "DoubleDouble (String)");
    // Coordinates handed over with their 15-digit values, then the earlier ones again.
    const std::vector<double> given{0.1 + 0.2, 2};
    ASSERT_EQ(p.evaluator.EvaluateRounded(given, std::vector<double>{0.3, 2}, value), 0);
    EXPECT_EQ(value, 0.3 + 2);
    ASSERT_EQ(p.At({-32768, 1e15}, value), 0);
    EXPECT_EQ(value, -32768 + 1e15);
  }
}

TEST(FunctionEvaluation, NameWithLeadingBlankIsAccepted) {
  Function p({"x", " y"}, "x * 10 + y");
  double value;
  ASSERT_EQ(p.At({1, 2}, value), 0);
  EXPECT_EQ(value, 12);
}

TEST(FunctionEvaluation, VariableNamedIerrReadsZero) {
  Function p({"ierr", "y"}, "ierr + y");
  double value;
  ASSERT_EQ(p.At({7, 2}, value), 0);
  EXPECT_EQ(value, 2);
}

TEST(FunctionEvaluation, VariableNamedPiReplacesTheConstant) {
  Function p({"pi", "y"}, "pi + y");
  double value;
  ASSERT_EQ(p.At({1, 2}, value), 0);
  EXPECT_EQ(value, 3);
  EXPECT_EQ(p.evaluator.extraFunctions().pi, 1);
}

TEST(FunctionEvaluation, ExtraFunctionFailureIsRaisedAfterTheFormula) {
  Function p({"x"}, "Asin(x) + 1");
  double value = 42;
  EXPECT_EQ(p.At({2}, value), 5);
  EXPECT_EQ(value, 42);  // the value of the formula is discarded
  EXPECT_TRUE(p.sink.messages.empty());
  ASSERT_EQ(p.At({0.5}, value), 0);  // ierr was reset before the formula
}

TEST(FunctionEvaluation, SilentEngineFailureSetsIerr) {
  Function p({"x"}, "Sqr(x)");
  double value;
  EXPECT_EQ(p.At({-1}, value), 5);
  EXPECT_EQ(p.evaluator.ierr(), 5);
  EXPECT_TRUE(p.sink.messages.empty());
}

TEST(FunctionEvaluation, SyntaxErrorShowsTheMessage) {
  Function p({"x", "y"}, "x+*y");
  double value;
  EXPECT_EQ(p.At({1, 2}, value), 1023);
  EXPECT_EQ(p.evaluator.ierr(), 1023);
  ASSERT_EQ(p.sink.messages.size(), 1u);
  const auto& m = p.sink.messages[0];
  EXPECT_EQ(m.title, "Error in Script Control");
  EXPECT_EQ(m.icon, MessageIcon::Critical);
  EXPECT_EQ(m.text, std::string(script::kCompileSource) +
                        " 1023\rExpected expression\r\rAt line 1, col 2: [x+*y]");
}

TEST(FunctionEvaluation, ValueThatIsNoNumber) {
  Function p({"x"}, "Null");
  double value;
  EXPECT_EQ(p.At({1}, value), 94);
  Function q({"x"}, "\"abc\"");
  EXPECT_EQ(q.At({1}, value), 13);
  Function r({"x"}, "\"1.5\" & x");
  ASSERT_EQ(r.At({2}, value), 0);
  EXPECT_EQ(value, 1.52);
  Function s({"x"}, "x > 0");
  ASSERT_EQ(s.At({2}, value), 0);
  EXPECT_EQ(value, -1);
}

// A coordinate that cannot be written as a 15-digit number within the double range is
// an overflow on both paths, with no message and no statement run for it: the largest
// doubles round up to 1.79769313486232E+308, beyond the range.
TEST(FunctionEvaluation, CoordinateBeyondTheFifteenDigitRangeIsAnOverflow) {
  const double kMax = std::numeric_limits<double>::max();
  const double kLastWritable = 1.797693134862315e308;  // rounds down to ...231E+308
  for (bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "fast path" : "statement path");
    Function p({"x", "y"}, "x + y");
    p.evaluator.SetFastPath(fast);
    double value = 42;
    const double kInf = std::numeric_limits<double>::infinity();
    for (double bad : {kInf, -kInf, std::nan(""), kMax, -kMax, std::nextafter(kMax, 0.0)}) {
      SCOPED_TRACE(bad);
      ASSERT_EQ(p.At({1, 2}, value), 0);
      EXPECT_EQ(p.At({bad, 1}, value), 6);
      EXPECT_EQ(p.At({1, bad}, value), 6);
      EXPECT_EQ(p.evaluator.ierr(), 6);
      EXPECT_EQ(p.Eval("y"), "2 (Integer)") << "a failed hand-over assigns nothing after it";
    }
    ASSERT_EQ(p.At({kLastWritable, -kLastWritable}, value), 0);
    EXPECT_EQ(p.Eval("x"), "1.79769313486231E+308 (Double)");
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(p.sink.messages.empty());
  }
}

TEST(Constants, RegisteredInOrderLaterEntryDecides) {
  Function p({"x"}, "a * x");
  const std::vector<std::string> constants = {"A=1", "a=2"};
  ASSERT_FALSE(p.evaluator.RegisterConstants(constants));
  double value;
  ASSERT_EQ(p.At({3}, value), 0);
  EXPECT_EQ(value, 6);
}

// The first failing statement stops the list, silent failures included: the caller
// must know, or it would run with the later constants unset.
TEST(Constants, FailureStopsAndSaysWhichOne) {
  struct Case {
    const char* failing;
    int32_t number;
    size_t messages;  // the interpreter's message box: not for the silent numbers
  };
  for (const Case& c : {Case{"b=)", 1023, 1}, Case{"b=Log(0)", 5, 0}, Case{"b=Sqr(-1)", 5, 0},
                        Case{"b=1/0", 11, 0}, Case{"b=2^2000", 6, 0}}) {
    SCOPED_TRACE(c.failing);
    Function p({"x"}, "x");
    const std::vector<std::string> constants = {"a=1", c.failing, "c=3"};
    const ConstantFailure failure = p.evaluator.RegisterConstants(constants);
    EXPECT_TRUE(failure);
    EXPECT_EQ(failure.errorNumber, c.number);
    EXPECT_EQ(failure.index, 1);
    EXPECT_EQ(failure.statement, c.failing);
    EXPECT_EQ(p.sink.messages.size(), c.messages);
    EXPECT_EQ(p.Eval("a"), "1 (Integer)");
    EXPECT_EQ(p.Eval("c"), "Empty (Empty)");
    const std::string message = ConstantFailureMessage(failure);
    EXPECT_NE(message.find(std::string("\"") + c.failing + "\" (number 2)"), std::string::npos)
        << message;
    EXPECT_NE(message.find("error " + std::to_string(c.number)), std::string::npos) << message;
  }
}

// The window and the command line register the constants, then set the function: a
// constant may use the start-up constants, and the formula sees every constant.
TEST(Constants, RegisteredBeforeTheFunctionIsSet) {
  PreparedEngine p;
  const std::vector<std::string> constants = {"k=2.5", "w=k*pi"};
  ASSERT_FALSE(p.evaluator.RegisterConstants(constants));
  p.evaluator.SetFunction(std::vector<std::string>{"x"}, "k * x + w");
  double value;
  ASSERT_EQ(p.evaluator.EvaluateFunction(std::vector<double>{2}, value), 0);
  EXPECT_EQ(value, 2.5 * 2 + 2.5 * (std::atan(1.0) * 4));
}

// The function can change between evaluations: new names take the coordinates, a new
// formula is compiled afresh.
TEST(SetFunction, NewNamesAndFormulaTakeEffect) {
  for (bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "fast path" : "statement path");
    Function p({"x", "y"}, "x - y");
    p.evaluator.SetFastPath(fast);
    double value;
    ASSERT_EQ(p.At({5, 2}, value), 0);
    EXPECT_EQ(value, 3);
    p.evaluator.SetFunction(std::vector<std::string>{"y", "x"}, "x - y");
    ASSERT_EQ(p.At({5, 2}, value), 0);
    EXPECT_EQ(value, -3);
    p.evaluator.SetFunction(std::vector<std::string>{"y", "x"}, "x * y + 1");
    ASSERT_EQ(p.At({5, 2}, value), 0);
    EXPECT_EQ(value, 11);
    p.evaluator.SetFunction(std::vector<std::string>{"u"}, "u / 4");
    ASSERT_EQ(p.At({6}, value), 0);
    EXPECT_EQ(value, 1.5);
    EXPECT_EQ(p.Eval("u"), "6 (Integer)");
  }
}

// A formula that does not compile fails at each evaluation, not when it is set, and a
// corrected formula set afterwards evaluates.
TEST(SetFunction, SyntaxErrorIsAFailureOfEveryEvaluationUntilReplaced) {
  Function p({"x"}, "x +* 2");
  EXPECT_TRUE(p.sink.messages.empty());
  double value = 42;
  EXPECT_EQ(p.At({1}, value), 1023);
  EXPECT_EQ(p.At({2}, value), 1023);
  EXPECT_EQ(value, 42);
  EXPECT_EQ(p.sink.messages.size(), 2u);
  p.evaluator.SetFunction(std::vector<std::string>{"x"}, "x + 1");
  ASSERT_EQ(p.At({2}, value), 0);
  EXPECT_EQ(value, 3);
  EXPECT_EQ(p.sink.messages.size(), 2u);
}

TEST(Preparation, StartUpConstants) {
  PreparedEngine p;
  EXPECT_EQ(p.evaluator.extraFunctions().halfpi, std::atan(1.0) * 2);
  EXPECT_EQ(p.evaluator.extraFunctions().pi, std::atan(1.0) * 4);
  EXPECT_EQ(p.evaluator.extraFunctions().e, std::exp(1.0));
  script::Variant v;
  ASSERT_EQ(p.engine().Eval("halfpi * 2 = pi And e = Exp(1)", v), 0);
  EXPECT_EQ(script::DisplayText(v), "True");
}

}  // namespace
}  // namespace quorvant::testing

namespace quorvant::testing {
namespace {

struct RecipeCase {
  const char* name;
  std::vector<std::string> constants;
  std::vector<std::string> executed;  // statements run after the constants
  std::vector<std::string> names;
  std::string formula;
  bool fast;
  bool compiled = true;  // machine code, where the build has it
};

void PrintTo(const RecipeCase& c, std::ostream* os) {
  *os << c.name << ": " << c.formula;
}

class Recipes : public ::testing::TestWithParam<RecipeCase> {};

// An evaluator made from a recipe (in another process, say) evaluates to the bit what
// the evaluator the recipe was taken from evaluates, failures included.
TEST_P(Recipes, PrepareEvaluatorsLikeTheOriginal) {
  const RecipeCase& c = GetParam();
  PreparedEngine p;
  ASSERT_FALSE(p.evaluator.RegisterConstants(c.constants));
  for (const std::string& s : c.executed) p.evaluator.Execute(s);
  p.evaluator.SetFunction(c.names, c.formula);
  p.evaluator.SetFastPath(c.fast);
  p.evaluator.SetCompiledCode(c.compiled);
  const EvaluatorRecipe recipe = p.evaluator.Recipe();
  std::vector<std::string> statements = c.constants;
  statements.insert(statements.end(), c.executed.begin(), c.executed.end());
  EXPECT_EQ(recipe.statements, statements);
  EXPECT_EQ(recipe.names, c.names);
  EXPECT_EQ(recipe.formula, c.formula);
  EXPECT_EQ(recipe.fastPath, c.fast);
  EXPECT_EQ(recipe.compiledCode, c.compiled);

  const auto copy = FunctionEvaluator::CopiesOf(recipe)();
  for (double x : {-2.0, -0.5, 0.0, 0.1, 1.0 / 3, 2.5, 1e300}) {
    std::vector<double> point(c.names.size(), x);
    double mine = 0, theirs = 0;
    const int32_t e = p.evaluator.EvaluateFunction(point, mine);
    EXPECT_EQ(copy->EvaluateFunction(point, theirs), e) << x;
    if (e == 0) {
      EXPECT_EQ(std::bit_cast<uint64_t>(theirs), std::bit_cast<uint64_t>(mine)) << x;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Evaluators, Recipes,
    ::testing::Values(RecipeCase{"Plain", {}, {}, {"x"}, "x*x - 2", true},
                      RecipeCase{
                          "Constants", {"k=2.5", "w=k*pi"}, {}, {"x", "y"}, "k*x + w*y", true},
                      RecipeCase{"ConstantChangedLater", {"k=2"}, {"k=0"}, {"x"}, "k + x", true},
                      RecipeCase{"PlainPath", {"a=1/3"}, {}, {"x"}, "Log(x) + a", false},
                      RecipeCase{"Failures", {}, {}, {"x"}, "1 / x + Sqr(x)", true},
                      RecipeCase{"Interpreted", {"a=2"}, {}, {"x"}, "x ^ a + Sin(x)", true, false}),
    [](const ::testing::TestParamInfo<RecipeCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvant::testing
