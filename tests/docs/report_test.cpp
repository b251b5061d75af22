// The report laid out in character columns.
#include <gtest/gtest.h>

#include <sstream>

#include "docs/report.h"
#include "model/message_sink.h"

namespace quorvant {
namespace {

class NullSink : public MessageSink {
 public:
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
};

struct Report {
  Dimension dim;
  NullSink sink;
  FunctionEvaluator evaluator{dim, sink};
  std::vector<std::string> constants;
  Report() {
    evaluator.Prepare();
    dim.Resize(2);
    dim.varNames = {"x", "y"};
    dim.formula = "x*y + k";
    dim.errorBound = 0.01;
    dim.maxCycles = 8;
  }
  void AddConstant(const std::string& statement) {
    constants.push_back(statement);
    dim.constants[dim.constCount++] = statement;
    evaluator.RegisterConstants(constants);
  }
  void Store(bool maximum, std::vector<double> column) {
    Matrix& m = maximum ? dim.maxima : dim.minima;
    int32_t& count = maximum ? dim.maxCount : dim.minCount;
    ++count;
    for (size_t r = 0; r < column.size(); ++r) m(static_cast<int>(r), count) = column[r];
  }
  std::vector<std::string> Lines() {
    TextReportPrinter printer;
    printer.SetFontFace("Arial");
    PrintReport(printer, dim, evaluator, dim.formula, constants);
    EXPECT_EQ(printer.FontFace(), "Arial");  // put back
    std::vector<std::string> lines;
    std::stringstream in(printer.text());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

TEST(Report, NoExtrema) {
  Report r;
  EXPECT_EQ(r.Lines(), (std::vector<std::string>{"    ORDER: 2 ", "VARIABLES: x,y", "FUNCTION:",
                                                  "x*y + k", "", "MAXIMUM ERROR: 0.01 ",
                                                  "MAXIMUM # OF CYCLES: 8 ", ""}));
}

TEST(Report, ConstantsAndMinimaOnlyWithANegativeCoordinate) {
  Report r;
  r.AddConstant("k=1.5");
  r.Store(false, {2, -3, 0.25});
  EXPECT_EQ(r.Lines(),
            (std::vector<std::string>{"    ORDER: 2 ", "VARIABLES: x,y", "FUNCTION:", "x*y + k", "",
                                      "CONSTANTS:", "k=1.5", "", "MAXIMUM ERROR: 0.01 ",
                                      "MAXIMUM # OF CYCLES: 8 ", "", "SOLUTIONS FOUND:", "",
                                      "MINIMA:  SET # 1 :  x=  2 ",
                                      "                    y= -3 ",
                                      "                    FUNCTION= -4.5 ",
                                      "                    SMALLEST (OVERALL) PIVOT (ABS. VAL.)=  0.25 ",
                                      ""}));
  EXPECT_EQ(r.dim.point, (std::vector<double>{2, -3}));
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
    EXPECT_EQ(at, 9u) << line;                 // column 10
    EXPECT_EQ(line.substr(20, 2), "x=") << line;  // column 21
  }
  EXPECT_EQ(sets, 100);
}

TEST(Report, ValueThatCannotBeEvaluated) {
  Report r;
  r.dim.formula = "Log(x)";
  r.Store(true, {-1, 0, 1});
  const auto lines = r.Lines();
  bool found = false;
  for (const auto& line : lines) found |= line == "                    FUNCTION= NOT EVALUATED (ERROR 5)";
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace quorvant
