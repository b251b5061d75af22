// The error object: number, source, description, position and text, and the
// synchronous callback raised inside the failing call.
#include <gtest/gtest.h>

#include <ostream>

#include "model/script/script_error.h"
#include "script_test_util.h"

namespace quorvant::testing {
namespace {

struct ErrorCase {
  const char* text;
  bool statement;
  int32_t number;
  int32_t line;
  int32_t column;
};

// Test names show the text under test.
void PrintTo(const ErrorCase& c, std::ostream* os) {
  *os << c.text;
}

class ErrorTable : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorTable, ReportsNumberAndPosition) {
  const ErrorCase& c = GetParam();
  script::ScriptEngine engine;
  int callbacks = 0;
  script::ScriptError seen;
  engine.SetErrorCallback([&](const script::ScriptError& e) {
    ++callbacks;
    seen = e;
  });
  script::Variant v;
  const int32_t number = c.statement ? engine.ExecuteStatement(c.text) : engine.Eval(c.text, v);
  EXPECT_EQ(number, c.number) << c.text;
  EXPECT_EQ(callbacks, 1) << c.text;
  EXPECT_EQ(seen.number, c.number);
  EXPECT_EQ(seen.line, c.line) << c.text;
  EXPECT_EQ(seen.column, c.column) << c.text;
  EXPECT_EQ(engine.Error().number, c.number);
  EXPECT_FALSE(seen.description.empty());
  EXPECT_EQ(seen.source,
            script::IsCompileError(c.number) ? script::kCompileSource : script::kRuntimeSource);
}

const ErrorCase kErrors[] = {
    {"1 +", false, 1002, 1, 3},
    {"1 + *", false, 1023, 1, 4},
    {"a = 1 +\nb = 2", true, 1002, 1, 7},
    {"(1+2", false, 1006, 1, 4},
    {"1 2", false, 1025, 1, 2},
    {"2x", false, 1025, 1, 1},
    {"\"abc", false, 1033, 1, 0},
    {"1 $ 2", false, 1032, 1, 2},
    {"x+*y", false, 1023, 1, 2},
    {"1D5", false, 1025, 1, 1},
    {".1e310", false, 1031, 1, 0},
    {"1 + If", false, 1002, 1, 4},
    {"[abc", false, 1007, 1, 0},
    {"sh.", false, 1010, 1, 3},
    {"1/0", false, 11, 1, 0},
    {"   y = 1/0", true, 11, 1, 3},
    {"a = 1\n  b = 1/0", true, 11, 2, 2},
    {"a = 1 _\n + $", true, 1032, 2, 3},
    {"Sqr(-1)", false, 5, 1, 0},
    {"\"a\" + 1", false, 13, 1, 0},
    {"CDbl(Null)", false, 94, 1, 0},
    {"Sqr(1, 2)", false, 450, 1, 0},
};
INSTANTIATE_TEST_SUITE_P(Errors, ErrorTable, ::testing::ValuesIn(kErrors),
                         [](const ::testing::TestParamInfo<ErrorCase>& info) {
                           return CaseName(info.param.text, info.index);
                         });

TEST(ErrorObject, CarriesDescriptionAndText) {
  script::ScriptEngine engine;
  script::Variant v;
  ASSERT_EQ(engine.Eval("x+*y", v), 1023);
  EXPECT_EQ(engine.Error().description, "Expected expression");
  EXPECT_EQ(engine.Error().text, "x+*y");
  ASSERT_EQ(engine.Eval("IIf(1, 2, 3)", v), 13);
  EXPECT_EQ(engine.Error().description, "Type mismatch: 'IIf'");
  ASSERT_EQ(engine.ExecuteStatement("a = 1\nb = 1/0"), 11);
  EXPECT_EQ(engine.Error().description, "Division by zero");
  EXPECT_EQ(engine.Error().text, "b = 1/0");
}

TEST(ErrorObject, EveryNumberHasADescription) {
  for (int32_t number : {5,    6,    7,    11,   13,   28,   94,   424,  438,  450,  501,
                         1002, 1006, 1007, 1010, 1023, 1024, 1025, 1030, 1031, 1032, 1033})
    EXPECT_FALSE(script::ErrorDescription(number).empty()) << number;
}

TEST(ErrorObject, StatementsBeforeTheFailureStay) {
  script::ScriptEngine engine;
  EXPECT_EQ(engine.ExecuteStatement("a = 5 : b = 1/0 : c = 7"), 11);
  script::Variant v;
  ASSERT_EQ(engine.Eval("a", v), 0);
  EXPECT_EQ(v.Number(), 5);
  ASSERT_EQ(engine.Eval("c", v), 0);
  EXPECT_EQ(v.type, script::VType::Empty);
}

}  // namespace
}  // namespace quorvant::testing
