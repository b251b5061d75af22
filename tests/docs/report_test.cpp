// The report laid out in character columns.
#include "docs/report.h"

#include <gtest/gtest.h>

#include <sstream>

#include "model/function_evaluator.h"
#include "model/message_sink.h"

namespace quorvant {
namespace {

class NullSink : public MessageSink {
 public:
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
};

struct Report {
  Problem problem = Problem::WithVariables(2);
  NullSink sink;
  FunctionEvaluator evaluator{sink};
  Report() {
    evaluator.Prepare();
    problem.varNames = {"x", "y"};
    problem.formula = "x*y + k";
    problem.errorBound = 0.01;
    problem.maxCycles = 8;
  }
  void AddConstant(const std::string& statement) {
    problem.constants.push_back(statement);
    evaluator.RegisterConstants(problem.constants);
  }
  void Store(bool maximum, StoredPoint stored) {
    (maximum ? problem.maxima : problem.minima).push_back(std::move(stored));
  }
  std::vector<std::string> Lines() { return Lines(evaluator); }
  std::vector<std::string> Lines(PointFunction& function) {
    evaluator.SetFunction(problem.varNames, problem.formula);
    TextReportPrinter printer;
    printer.SetFontFace("Arial");
    PrintReport(printer, problem, function);
    EXPECT_EQ(printer.FontFace(), "Arial");  // put back
    std::vector<std::string> lines;
    std::stringstream in(printer.text());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

TEST(Report, NoExtrema) {
  Report r;
  EXPECT_EQ(r.Lines(),
            (std::vector<std::string>{"    ORDER: 2 ", "VARIABLES: x,y", "FUNCTION:", "x*y + k", "",
                                      "MAXIMUM ERROR: 0.01 ", "MAXIMUM # OF CYCLES: 8 ", ""}));
}

TEST(Report, ConstantsAndMinimaOnlyWithANegativeCoordinate) {
  Report r;
  r.AddConstant("k=1.5");
  r.Store(false, {2, -3, 0.25});
  EXPECT_EQ(r.Lines(),
            (std::vector<std::string>{
                "    ORDER: 2 ", "VARIABLES: x,y", "FUNCTION:", "x*y + k", "",
                "CONSTANTS:", "k=1.5", "", "MAXIMUM ERROR: 0.01 ", "MAXIMUM # OF CYCLES: 8 ", "",
                "SOLUTIONS FOUND:", "", "MINIMA:  SET # 1 :  x=  2 ", "                    y= -3 ",
                "                    FUNCTION= -4.5 ",
                "                    SMALLEST (OVERALL) PIVOT (ABS. VAL.)=  0.25 ", ""}));
}

// The function is evaluated at each stored extremum in turn, maxima first, with the
// stored coordinates and nothing else.
TEST(Report, EvaluatesAtEachStoredPoint) {
  class Recording final : public PointFunction {
   public:
    int32_t EvaluateFunction(std::span<const double> x, double& value) override {
      points.emplace_back(x.begin(), x.end());
      value = 0.5;
      return 0;
    }
    std::vector<std::vector<double>> points;
  } function;
  Report r;
  r.Store(false, {2, -3, 0.25});
  r.Store(true, {4, 5, 1});
  r.Store(true, {6, 7, 1});
  const auto lines = r.Lines(function);
  EXPECT_EQ(function.points, (std::vector<std::vector<double>>{{4, 5}, {6, 7}, {2, -3}}));
  int values = 0;
  for (const auto& line : lines) values += line == "                    FUNCTION=  0.5 ";
  EXPECT_EQ(values, 3);
}

TEST(Report, SetNumbersOfTwoAndThreeDigitsKeepColumn21) {
  Report r;
  for (int k = 0; k < 100; ++k) r.Store(true, {static_cast<double>(k), 1, 1});
  const auto lines = r.Lines();
  int sets = 0;
  for (const std::string& line : lines) {
    const auto at = line.find("SET #");
    if (at == std::string::npos) continue;
    ++sets;
    EXPECT_EQ(at, 9u) << line;                    // column 10
    EXPECT_EQ(line.substr(20, 2), "x=") << line;  // column 21
  }
  EXPECT_EQ(sets, 100);
}

TEST(Report, ValueThatCannotBeEvaluated) {
  Report r;
  r.problem.formula = "Log(x)";
  r.Store(true, {-1, 0, 1});
  const auto lines = r.Lines();
  bool found = false;
  for (const auto& line : lines)
    found |= line == "                    FUNCTION= NOT EVALUATED (ERROR 5)";
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace quorvant
