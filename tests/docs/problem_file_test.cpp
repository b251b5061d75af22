#include "docs/problem_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "model/numtext.h"

namespace quorvant {
namespace {

namespace fs = std::filesystem;

const fs::path kFiles = fs::path(QUORVANT_TEST_DATA) / "files";

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  ASSERT_TRUE(out) << path;
}

// Splits a CR LF text into its lines; fails the test on a bare LF or a missing final CR LF.
std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find("\r\n", pos);
    EXPECT_NE(end, std::string::npos) << "last line not ended by CR LF";
    if (end == std::string::npos) break;
    lines.push_back(text.substr(pos, end - pos));
    EXPECT_EQ(lines.back().find('\n'), std::string::npos) << "bare LF in " << lines.back();
    pos = end + 2;
  }
  return lines;
}

std::string WriteOrFail(const ProblemDocument& doc) {
  std::string text, error;
  EXPECT_TRUE(WriteProblemText(doc, text, error)) << error;
  return text;
}

ProblemDocument ReadOrFail(const std::string& text) {
  ProblemDocument doc;
  std::string error;
  EXPECT_TRUE(ReadProblemText(text, doc, error)) << error << "\n" << text;
  return doc;
}

// A two-variable problem with constants and stored extrema, used as the starting
// content of documents that a failed read must leave alone.
ProblemDocument SampleDocument() {
  ProblemDocument doc;
  doc.varCount = 2;
  doc.errorBound = 0.001;
  doc.maxCycles = 25;
  doc.formula = "a*x*x+y";
  doc.varNames = {"x", "y"};
  doc.lowerLimit = {-1, -2};
  doc.upperLimit = {1, 2};
  doc.subintervals = {4, 6};
  doc.constants = {"a = 3"};
  doc.maxima = {{0.5, -0.25, 2}};
  doc.minima = {{1, 1, 3}, {-1, 2, 4}};
  return doc;
}

// ---------------------------------------------------------------------------------
// Real files

class GoldenFileTest : public testing::TestWithParam<const char*> {};

TEST_P(GoldenFileTest, ReadsAndWritesBackByteForByte) {
  const fs::path path = kFiles / GetParam();
  const std::string bytes = ReadBytes(path);
  ASSERT_FALSE(bytes.empty());
  ProblemDocument doc;
  std::string error;
  ASSERT_TRUE(LoadProblemFile(path.string(), doc, error)) << error;
  EXPECT_EQ(WriteOrFail(doc), bytes);
}

INSTANTIATE_TEST_SUITE_P(Files, GoldenFileTest,
                         testing::Values("himmelblau.zvx", "himmelblau.saved.zvx",
                                         "poly1_quartic.zvx", "poly1_quartic.saved.zvx",
                                         "quad2_bowl.zvx", "quad2_bowl.saved.zvx", "quad2_cap1.zvx",
                                         "quad2_cap1.saved.zvx", "quad3_negdef.zvx",
                                         "quad3_negdef.saved.zvx", "saddle_start.zvx",
                                         "saddle_start.saved.zvx"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (c == '.') c = '_';
                           return name;
                         });

TEST(ProblemFileRead, GoldenFileGivesItsValues) {
  ProblemDocument doc;
  std::string error;
  ASSERT_TRUE(LoadProblemFile((kFiles / "himmelblau.saved.zvx").string(), doc, error)) << error;
  EXPECT_EQ(doc.varCount, 2);
  EXPECT_EQ(doc.errorBound, 0.0001);
  EXPECT_EQ(doc.maxCycles, 20);
  EXPECT_EQ(doc.formula, "(x*x+y-11)*(x*x+y-11)+(x+y*y-7)*(x+y*y-7)");
  EXPECT_EQ(doc.varNames, (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(doc.lowerLimit, (std::vector<double>{-5, -5}));
  EXPECT_EQ(doc.upperLimit, (std::vector<double>{5, 5}));
  EXPECT_EQ(doc.subintervals, (std::vector<double>{10, 10}));
  EXPECT_TRUE(doc.constants.empty());
  ASSERT_EQ(doc.maxima.size(), 1u);
  EXPECT_EQ(doc.maxima[0],
            (std::vector<double>{-0.270844590671085, -0.923038556471062, 16.3504495174622}));
  ASSERT_EQ(doc.minima.size(), 4u);
  EXPECT_EQ(doc.minima[0],
            (std::vector<double>{-3.77931025337886, -3.28318599128903, 81.3703500696219}));
  EXPECT_EQ(doc.minima[2], (std::vector<double>{3, 2, 28.5945945946601}));
  EXPECT_EQ(doc.minima[3],
            (std::vector<double>{3.58442834033165, -1.84812652696706, 28.864241186265}));
}

// ---------------------------------------------------------------------------------
// Writing, then reading back

struct RoundTripCase {
  const char* name;
  ProblemDocument doc;
};

std::vector<RoundTripCase> RoundTripCases() {
  std::vector<RoundTripCase> cases;

  ProblemDocument none = SampleDocument();
  none.constants.clear();
  none.maxima.clear();
  none.minima.clear();
  cases.push_back({"NoExtrema", none});

  ProblemDocument one = SampleDocument();
  one.minima.clear();
  cases.push_back({"OneMaximum", one});

  ProblemDocument several;
  several.varCount = 3;
  several.errorBound = 1E-20;
  several.maxCycles = 2147483647;
  several.formula = "Atn2(x, y) + b*z";
  several.varNames = {"x", "y", "z"};
  several.lowerLimit = {-1.5E+300, -0.001, -7};
  several.upperLimit = {1.5E+300, 0.001, -6.5};
  several.subintervals = {1, 1000, 3};
  several.constants = {"b = 2", "c = Max(1, 2)", "d=-1E-20"};
  several.maxima = {{-2, 0, 1E-20, -1.5E+300}, {123456789012345, -0.1, 0.3, 1E+15}};
  several.minima = {{1, 2, 3, 4},
                    {-1E-300, 4.94065645841247E-324, 1.79769313486231E+308, 5},
                    {0.999999999999999, -0.000123456789012345, 99, 1e-5}};
  cases.push_back({"SeveralExtremaTinyAndHugeValues", several});

  ProblemDocument full;
  full.varCount = 10;
  full.errorBound = 0.5;
  full.maxCycles = 0;
  full.formula = "x0";
  for (int i = 0; i < 10; ++i) {
    full.varNames.push_back("x" + std::to_string(i));
    full.lowerLimit.push_back(-i);
    full.upperLimit.push_back(i * 0.25);
    full.subintervals.push_back(i);
  }
  for (int j = 0; j < 101; ++j)
    full.constants.push_back("k" + std::to_string(j) + " = " + std::to_string(j));
  for (int k = 0; k < 100; ++k) {
    full.maxima.push_back(std::vector<double>(11, k * 0.125));
    full.minima.push_back(std::vector<double>(11, -k * 1.75));
  }
  cases.push_back({"LargestDocument", full});
  return cases;
}

// Test names show the case's name.
void PrintTo(const RoundTripCase& c, std::ostream* os) {
  *os << c.name;
}

class RoundTripTest : public testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTripTest, ReadsBackTheSameDocument) {
  const ProblemDocument& doc = GetParam().doc;
  const std::string text = WriteOrFail(doc);
  EXPECT_EQ(ReadOrFail(text), doc);
  // Written once more, the text is the same.
  EXPECT_EQ(WriteOrFail(ReadOrFail(text)), text);
}

INSTANTIATE_TEST_SUITE_P(Documents, RoundTripTest, testing::ValuesIn(RoundTripCases()),
                         [](const testing::TestParamInfo<RoundTripCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(ProblemFileWrite, ValuesWithMoreDigitsComeBackTo15SignificantDigits) {
  std::mt19937_64 random(12345);
  std::uniform_real_distribution<double> mantissa(-10, 10);
  std::uniform_int_distribution<int> exponent(-30, 30);
  ProblemDocument doc = SampleDocument();
  for (int trial = 0; trial < 200; ++trial) {
    const double value = mantissa(random) * std::pow(10.0, exponent(random));
    doc.errorBound = value;
    doc.lowerLimit[1] = -value;
    doc.minima[1][2] = value;
    const ProblemDocument back = ReadOrFail(WriteOrFail(doc));
    EXPECT_EQ(back.errorBound, Round15(value)) << value;
    EXPECT_EQ(back.lowerLimit[1], Round15(-value)) << value;
    EXPECT_EQ(back.minima[1][2], Round15(value)) << value;
  }
}

TEST(ProblemFileWrite, NoConstantsNoResultsGivesNPlusThreeLines) {
  for (int n = 1; n <= 10; ++n) {
    ProblemDocument doc;
    doc.varCount = n;
    doc.errorBound = 0.01;
    doc.maxCycles = 8;
    doc.formula = "x";
    doc.varNames.assign(n, "v");
    doc.lowerLimit.assign(n, -10);
    doc.upperLimit.assign(n, 10);
    doc.subintervals.assign(n, 4);
    const std::vector<std::string> lines = CrLfLines(WriteOrFail(doc));
    ASSERT_EQ(lines.size(), static_cast<size_t>(n + 3));
    EXPECT_EQ(lines.front(), "Zorvex");
    EXPECT_EQ(lines[1], std::to_string(n) + ",0,0,0.01,8,\"x\"");
    EXPECT_EQ(lines[2], "\"v\",-10,10,4");
    EXPECT_EQ(lines.back(), " 0 ");
  }
}

TEST(ProblemFileWrite, TwoVariablesOneMaximumTwoMinimaGiveNineNumberLines) {
  ProblemDocument doc = SampleDocument();
  doc.constants = {"a = 3", "b = 4"};
  const std::vector<std::string> lines = CrLfLines(WriteOrFail(doc));
  // Identification, line 2, two variable lines, the count, two constants, then numbers.
  ASSERT_EQ(lines.size(), 1u + 1 + 2 + 1 + 2 + 9);
  EXPECT_EQ(lines[4], " 2 ");
  EXPECT_EQ(lines[5], "a = 3");
  EXPECT_EQ(lines[6], "b = 4");
  const std::vector<std::string> numbers(lines.begin() + 7, lines.end());
  EXPECT_EQ(numbers, (std::vector<std::string>{" 0.5 ", "-0.25 ", " 2 ", " 1 ", " 1 ", " 3 ", "-1 ",
                                               " 2 ", " 4 "}));
}

TEST(ProblemFileWrite, NumberForms) {
  ProblemDocument doc;
  doc.varCount = 1;
  doc.errorBound = 0.01;
  doc.maxCycles = 100;
  doc.formula = "x";
  doc.varNames = {"x"};
  doc.lowerLimit = {-0.5};
  doc.upperLimit = {1.5E+300};
  doc.subintervals = {12};
  doc.maxima = {{-0.0, 1E-20}};
  doc.minima = {{-2, 1.0 / 3}};
  EXPECT_EQ(WriteOrFail(doc),
            "Zorvex\r\n"
            "1,1,1,0.01,100,\"x\"\r\n"
            "\"x\",-0.5,1.5E+300,12\r\n"
            " 0 \r\n"
            " 0 \r\n"
            " 1E-20 \r\n"
            "-2 \r\n"
            " 0.333333333333333 \r\n");
}

TEST(ProblemFileWrite, CommasInFormulaAndConstantSurvive) {
  ProblemDocument doc = SampleDocument();
  doc.formula = "Max(x, y) + f(1,2,3)";
  doc.varNames = {"x, first", "y"};
  doc.constants = {"c = Max(1, 2)", "  d = 1  "};
  const std::string text = WriteOrFail(doc);
  EXPECT_NE(text.find(",\"Max(x, y) + f(1,2,3)\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nc = Max(1, 2)\r\n"), std::string::npos);
  const ProblemDocument back = ReadOrFail(text);
  EXPECT_EQ(back.formula, doc.formula);
  EXPECT_EQ(back.varNames, doc.varNames);
  // Constants are written as they are and read back without the blanks at their ends.
  EXPECT_EQ(back.constants, (std::vector<std::string>{"c = Max(1, 2)", "d = 1"}));
}

struct RefusalCase {
  const char* name;
  void (*change)(ProblemDocument&);
  const char* mentions;  // a word the reason must contain
};

TEST(ProblemFileWrite, RefusesWhatCannotBeReadBack) {
  const RefusalCase cases[] = {
      {"quote in formula", [](ProblemDocument& d) { d.formula = "x+\"a\""; }, "double quote"},
      {"quote in name", [](ProblemDocument& d) { d.varNames[1] = "y\""; }, "double quote"},
      {"line break in formula", [](ProblemDocument& d) { d.formula = "x\ny"; }, "line break"},
      {"line break in name", [](ProblemDocument& d) { d.varNames[0] = "x\r"; }, "line break"},
      {"LF in constant", [](ProblemDocument& d) { d.constants[0] = "a = 1\nb = 2"; }, "line break"},
      {"CR in constant", [](ProblemDocument& d) { d.constants[0] = "a = 1\r"; }, "line break"},
      {"no variables", [](ProblemDocument& d) { d.varCount = 0; }, "variables"},
      {"eleven variables", [](ProblemDocument& d) { d.varCount = 11; }, "variables"},
      {"missing limits", [](ProblemDocument& d) { d.upperLimit.pop_back(); }, "limits"},
      {"102 constants", [](ProblemDocument& d) { d.constants.resize(102); }, "constants"},
      {"101 maxima",
       [](ProblemDocument& d) {
         d.maxima.resize(101, {1, 2, 3});
       },
       "maxima"},
      {"101 minima",
       [](ProblemDocument& d) {
         d.minima.resize(101, {1, 2, 3});
       },
       "minima"},
      {"short extremum", [](ProblemDocument& d) { d.minima[1].pop_back(); }, "n + 1"},
      {"infinite bound",
       [](ProblemDocument& d) { d.errorBound = std::numeric_limits<double>::infinity(); },
       "error bound"},
      {"NaN limit",
       [](ProblemDocument& d) { d.lowerLimit[0] = std::numeric_limits<double>::quiet_NaN(); },
       "limit"},
      {"NaN pivot",
       [](ProblemDocument& d) { d.maxima[0][2] = std::numeric_limits<double>::quiet_NaN(); },
       "maxima"},
      {"huge iteration cap", [](ProblemDocument& d) { d.maxCycles = 3e9; }, "iteration cap"},
      {"huge subintervals", [](ProblemDocument& d) { d.subintervals[0] = -3e9; }, "subintervals"},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    ProblemDocument doc = SampleDocument();
    c.change(doc);
    std::string text = "untouched", error;
    EXPECT_FALSE(WriteProblemText(doc, text, error));
    EXPECT_EQ(text, "untouched");
    EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
  }
}

// ---------------------------------------------------------------------------------
// Reading what others wrote

TEST(ProblemFileRead, AcceptsTheOriginalForms) {
  // LF line ends, no leading zeros, blanks around unquoted fields and around quoted
  // ones, fractional counts rounded half to even, blank lines at the end.
  const std::string text =
      "Zorvex\n"
      "  2.5 , 1 ,  0.5 , .01 , 7.5 ,  \"x, y\"  \n"
      "\"a b\"  , -.5,  4 , 4.5\r\n"
      "  q  ,-1E-20,1.5E+300, 5.5\n"
      "   2   \n"
      "   k = 1   \n"
      "\tm = Max(1, 2)\n"
      " .25 \n"
      "-.75\n"
      "  1E+15\n"
      "\n"
      "  \r\n";
  const ProblemDocument doc = ReadOrFail(text);
  EXPECT_EQ(doc.varCount, 2);
  EXPECT_EQ(doc.maxima.size(), 1u);
  EXPECT_TRUE(doc.minima.empty());
  EXPECT_EQ(doc.errorBound, 0.01);
  EXPECT_EQ(doc.maxCycles, 8);
  EXPECT_EQ(doc.formula, "x, y");
  EXPECT_EQ(doc.varNames, (std::vector<std::string>{"a b", "q"}));
  EXPECT_EQ(doc.lowerLimit, (std::vector<double>{-0.5, -1E-20}));
  EXPECT_EQ(doc.upperLimit, (std::vector<double>{4, 1.5E+300}));
  EXPECT_EQ(doc.subintervals, (std::vector<double>{4, 6}));
  EXPECT_EQ(doc.constants, (std::vector<std::string>{"k = 1", "m = Max(1, 2)"}));
  ASSERT_EQ(doc.maxima.size(), 1u);
  EXPECT_EQ(doc.maxima[0], (std::vector<double>{0.25, -0.75, 1E+15}));
}

TEST(ProblemFileRead, FirstFieldOfLineOneIdentifiesTheFile) {
  const std::string rest =
      "1,0,0,0.01,8,\"x\"\r\n"
      "\"x\",-3,3,12\r\n"
      " 0 \r\n";
  for (const char* first : {"Zorvex", " Zorvex ", "Zorvex,anything"}) {
    SCOPED_TRACE(first);
    EXPECT_EQ(ReadOrFail(first + std::string("\r\n") + rest).formula, "x");
  }
  for (const char* first : {"zorvex", "ZORVEX", "Zorvex2", "Zorve", "", "\"Zorvex\"", "Zor vex"}) {
    SCOPED_TRACE(first);
    ProblemDocument doc = SampleDocument();
    const ProblemDocument before = doc;
    std::string error;
    EXPECT_FALSE(ReadProblemText(first + std::string("\r\n") + rest, doc, error));
    EXPECT_EQ(error, kIncompatibleFile);
    EXPECT_EQ(doc, before);
  }
  ProblemDocument doc;
  std::string error;
  EXPECT_FALSE(ReadProblemText("", doc, error));
  EXPECT_EQ(error, kIncompatibleFile);
}

struct MalformedCase {
  const char* name;
  const char* text;
  const char* error;  // the whole message
};

// A valid file with one variable, one constant, one maximum and one minimum, to be
// broken one line at a time:
//   1 Zorvex
//   2 1,1,1,0.01,8,"x*x"
//   3 "x",-3,3,12
//   4  1
//   5 a = 2
//   6  0.5      maximum 1
//   7  2
//   8 -0.5      minimum 1
//   9  3
const MalformedCase kMalformed[] = {
    {"only the first line", "Zorvex\r\n",
     "Line 2: the file ends before the line with the number of variables and the formula."},
    {"no variable line", "Zorvex\r\n1,0,0,0.01,8,\"x\"\r\n",
     "Line 3: the file ends before the line of variable 1."},
    {"no constant count", "Zorvex\r\n1,0,0,0.01,8,\"x\"\r\n\"x\",-3,3,12\r\n",
     "Line 4: the file ends before the number of constants."},
    {"missing constant", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",-3,3,12\n 2 \na = 1\n",
     "Line 6: the file ends before constant 2."},
    {"missing maximum value", "Zorvex\n1,1,1,0.01,8,\"x*x\"\n\"x\",-3,3,12\n 1 \na = 2\n 0.5 \n",
     "Line 7: the file ends before the value of maximum 1."},
    {"missing minimum value",
     "Zorvex\n1,1,1,0.01,8,\"x*x\"\n\"x\",-3,3,12\n 1 \na = 2\n 0.5 \n 2 \n-0.5 \n",
     "Line 9: the file ends before the value of minimum 1."},
    {"error bound not a number", "Zorvex\n1,0,0,abc,8,\"x\"\n\"x\",-3,3,12\n 0 \n",
     "Line 2: the error bound \"abc\" is not a number."},
    {"iteration cap not a number", "Zorvex\n1,0,0,0.01,8x,\"x\"\n\"x\",-3,3,12\n 0 \n",
     "Line 2: the iteration cap \"8x\" is not a number."},
    {"empty count", "Zorvex\n1,,0,0.01,8,\"x\"\n\"x\",-3,3,12\n 0 \n",
     "Line 2: the number of maxima \"\" is not a number."},
    {"lower limit not a number", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",abc,3,12\n 0 \n",
     "Line 3: the lower limit \"abc\" is not a number."},
    {"upper limit with a comma decimal", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",-3,\"3,5\",12\n 0 \n",
     "Line 3: the upper limit \"3,5\" is not a number."},
    {"subintervals not a number", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",-3,3,1 2\n 0 \n",
     "Line 3: the number of subintervals \"1 2\" is not a number."},
    {"subintervals beyond 32 bits", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",-3,3,3e9\n 0 \n",
     "Line 3: the number of subintervals \"3e9\" is beyond the range of whole numbers."},
    {"iteration cap beyond 32 bits", "Zorvex\n1,0,0,0.01,-2147483649,\"x\"\n\"x\",-3,3,4\n 0 \n",
     "Line 2: the iteration cap \"-2147483649\" is beyond the range of whole numbers."},
    {"constant count not a number", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",-3,3,12\n none \n",
     "Line 4: the number of constants \"none\" is not a number."},
    {"stored value not a number", "Zorvex\n1,1,0,0.01,8,\"x\"\n\"x\",-3,3,12\n 0 \n 1 \n 2 3 \n",
     "Line 6: the value of maximum 1 \"2 3\" is not a number."},
    {"no variables", "Zorvex\n0,0,0,0.01,8,\"x\"\n 0 \n",
     "Line 2: the number of variables must be from 1 to 10, not 0."},
    {"eleven variables", "Zorvex\n11,0,0,0.01,8,\"x\"\n",
     "Line 2: the number of variables must be from 1 to 10, not 11."},
    {"negative variables", "Zorvex\n-1,0,0,0.01,8,\"x\"\n",
     "Line 2: the number of variables must be from 1 to 10, not -1."},
    {"101 maxima", "Zorvex\n1,101,0,0.01,8,\"x\"\n",
     "Line 2: the number of maxima must be from 0 to 100, not 101."},
    {"negative maxima", "Zorvex\n1,-1,0,0.01,8,\"x\"\n",
     "Line 2: the number of maxima must be from 0 to 100, not -1."},
    {"101 minima", "Zorvex\n1,0,101,0.01,8,\"x\"\n",
     "Line 2: the number of minima must be from 0 to 100, not 101."},
    {"negative minima rounded", "Zorvex\n1,0,-0.6,0.01,8,\"x\"\n",
     "Line 2: the number of minima must be from 0 to 100, not -1."},
    {"102 constants", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",-3,3,12\n 102 \n",
     "Line 4: the number of constants must be from 0 to 101, not 102."},
    {"negative constants", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",-3,3,12\n-1 \n",
     "Line 4: the number of constants must be from 0 to 101, not -1."},
    {"five fields on line 2", "Zorvex\n1,0,0,0.01,\"x\"\n",
     "Line 2: expected 6 comma-separated fields, found 5."},
    {"unquoted formula with a comma", "Zorvex\n1,0,0,0.01,8,Max(x, 1)\n",
     "Line 2: expected 6 comma-separated fields, found 7."},
    {"empty line 2", "Zorvex\n\n", "Line 2: expected 6 comma-separated fields, found 1."},
    {"three fields on a variable line", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",-3,3\n 0 \n",
     "Line 3: expected 4 comma-separated fields, found 3."},
    {"five fields on a variable line", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",-3,3,4,5\n 0 \n",
     "Line 3: expected 4 comma-separated fields, found 5."},
    {"formula without closing quote", "Zorvex\n1,0,0,0.01,8,\"x*x\n\"x\",-3,3,12\n 0 \n",
     "Line 2: a quoted field has no closing quote."},
    {"name without closing quote", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x,-3,3,12\n 0 \n",
     "Line 3: a quoted field has no closing quote."},
    {"text after a closing quote", "Zorvex\n1,0,0,0.01,8,\"x\" y\n\"x\",-3,3,12\n 0 \n",
     "Line 2: there is text after the closing quote of a field."},
    {"a line after the constant count", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",-3,3,12\n 0 \n 1 \n",
     "Line 5: there is unexpected text after the end of the problem."},
    {"a value after the last minimum",
     "Zorvex\r\n1,1,1,0.01,8,\"x*x\"\r\n\"x\",-3,3,12\r\n 1 \r\na = 2\r\n 0.5 \r\n 2 \r\n"
     "-0.5 \r\n 3 \r\n\r\n 4 \r\n",
     "Line 11: there is unexpected text after the end of the problem."},
    {"a second variable line too many",
     "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",-3,3,12\n\"y\",-3,3,12\n 0 \n",
     "Line 4: the number of constants \"\"y\",-3,3,12\" is not a number."},
};

TEST(ProblemFileRead, RejectsMalformedTextNamingTheLine) {
  for (const MalformedCase& c : kMalformed) {
    SCOPED_TRACE(c.name);
    ProblemDocument doc = SampleDocument();
    const ProblemDocument before = doc;
    std::string error;
    EXPECT_FALSE(ReadProblemText(c.text, doc, error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(doc, before);
  }
}

TEST(ProblemFileRead, TheUnbrokenFileOfTheMalformedTableReads) {
  // Guards the table above: each of its texts fails for the one reason it names.
  const ProblemDocument doc = ReadOrFail(
      "Zorvex\n1,1,1,0.01,8,\"x*x\"\n\"x\",-3,3,12\n 1 \na = 2\n 0.5 \n 2 \n-0.5 \n 3 \n");
  EXPECT_EQ(doc.constants, (std::vector<std::string>{"a = 2"}));
  EXPECT_EQ(doc.maxima, (std::vector<std::vector<double>>{{0.5, 2}}));
  EXPECT_EQ(doc.minima, (std::vector<std::vector<double>>{{-0.5, 3}}));
}

TEST(ProblemFileRead, WholeNumbersRoundHalfToEven) {
  const struct {
    const char* text;
    double value;
  } cases[] = {{"4.5", 4},
               {"5.5", 6},
               {"-2.5", -2},
               {"7.49", 7},
               {"2147483647.4", 2147483647},
               {"-2147483648", -2147483648.0},
               {"1E+3", 1000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string text =
        std::string("Zorvex\n1,0,0,0.01,") + c.text + ",\"x\"\n\"x\",-3,3," + c.text + "\n 0 \n";
    const ProblemDocument doc = ReadOrFail(text);
    EXPECT_EQ(doc.maxCycles, c.value);
    EXPECT_EQ(doc.subintervals, std::vector<double>{c.value});
  }
}

// ---------------------------------------------------------------------------------
// Files on disk

class ProblemFileDiskTest : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("quorvant_docs_" + std::string(info->name()) + "_" +
                                        std::to_string(std::random_device()()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

TEST_F(ProblemFileDiskTest, SaveCreatesThenReplacesTheFile) {
  const fs::path path = dir_ / "problem.zvx";
  ProblemDocument doc = SampleDocument();
  std::string error;
  ASSERT_TRUE(SaveProblemFile(path.string(), doc, error)) << error;
  EXPECT_EQ(ReadBytes(path), WriteOrFail(doc));

  doc.formula = "y";
  doc.maxima.clear();
  ASSERT_TRUE(SaveProblemFile(path.string(), doc, error)) << error;
  EXPECT_EQ(ReadBytes(path), WriteOrFail(doc));
  EXPECT_EQ(Listing(), std::vector<std::string>{"problem.zvx"});

  ProblemDocument loaded;
  ASSERT_TRUE(LoadProblemFile(path.string(), loaded, error)) << error;
  EXPECT_EQ(loaded, doc);
}

TEST_F(ProblemFileDiskTest, SaveRenamesANewFileOverTheOldOne) {
  // A second name for the old file keeps the old contents: the save put a new file in
  // place instead of writing into the old one.
  const fs::path path = dir_ / "problem.zvx";
  const fs::path otherName = dir_ / "link.zvx";
  WriteBytes(path, "previous contents");
  fs::create_hard_link(path, otherName);
  std::string error;
  ASSERT_TRUE(SaveProblemFile(path.string(), SampleDocument(), error)) << error;
  EXPECT_EQ(ReadBytes(path), WriteOrFail(SampleDocument()));
  EXPECT_EQ(ReadBytes(otherName), "previous contents");
  EXPECT_EQ(Listing(), (std::vector<std::string>{"link.zvx", "problem.zvx"}));
}

TEST_F(ProblemFileDiskTest, SaveIntoMissingFolderFailsAndLeavesNothing) {
  const fs::path path = dir_ / "missing" / "problem.zvx";
  std::string error;
  EXPECT_FALSE(SaveProblemFile(path.string(), SampleDocument(), error));
  EXPECT_NE(error.find(path.string()), std::string::npos) << error;
  EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
  EXPECT_TRUE(Listing().empty());
}

TEST_F(ProblemFileDiskTest, FailedSaveKeepsThePreviousFile) {
  const fs::path path = dir_ / "problem.zvx";
  WriteBytes(path, "previous contents");

  // The document cannot be written.
  ProblemDocument doc = SampleDocument();
  doc.formula = "\"";
  std::string error;
  EXPECT_FALSE(SaveProblemFile(path.string(), doc, error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadBytes(path), "previous contents");

  // The final rename fails: the target is a folder that is not empty.
  const fs::path folder = dir_ / "folder";
  fs::create_directories(folder / "inside");
  error.clear();
  EXPECT_FALSE(SaveProblemFile(folder.string(), SampleDocument(), error));
  EXPECT_NE(error.find(folder.string()), std::string::npos) << error;
  EXPECT_TRUE(fs::is_directory(folder / "inside"));
  EXPECT_EQ(Listing(), (std::vector<std::string>{"folder", "problem.zvx"}));
}

TEST_F(ProblemFileDiskTest, LoadFailuresLeaveTheDocumentAlone) {
  ProblemDocument doc = SampleDocument();
  const ProblemDocument before = doc;
  std::string error;

  const fs::path missing = dir_ / "nothing.zvx";
  EXPECT_FALSE(LoadProblemFile(missing.string(), doc, error));
  EXPECT_NE(error.find(missing.string()), std::string::npos) << error;
  EXPECT_EQ(doc, before);

  EXPECT_FALSE(LoadProblemFile(dir_.string(), doc, error));
  EXPECT_NE(error.find("folder"), std::string::npos) << error;
  EXPECT_EQ(doc, before);

  const fs::path other = dir_ / "other.txt";
  WriteBytes(other, "zorvex\r\n");
  EXPECT_FALSE(LoadProblemFile(other.string(), doc, error));
  EXPECT_EQ(error, kIncompatibleFile);
  EXPECT_EQ(doc, before);

  const fs::path cut = dir_ / "cut.zvx";
  WriteBytes(cut, "Zorvex\r\n1,1,0,0.01,8,\"x\"\r\n\"x\",-3,3,12\r\n 0 \r\n 1 \r\n");
  EXPECT_FALSE(LoadProblemFile(cut.string(), doc, error));
  EXPECT_EQ(error, "Line 6: the file ends before the value of maximum 1.");
  EXPECT_EQ(doc, before);
}

// ---------------------------------------------------------------------------------
// The problem state

TEST(ProblemDocumentState, ApplyFillsTheProblemState) {
  ProblemDocument doc;
  doc.varCount = 3;
  doc.errorBound = 0.002;
  doc.maxCycles = 7.5;
  doc.formula = "x+y+z";
  doc.varNames = {"x", "y", "z"};
  doc.lowerLimit = {-1, -2, -3};
  doc.upperLimit = {1, 2, 3};
  doc.subintervals = {4.5, 5.5, 6};
  doc.constants = {"a = 1", "b = 2"};
  doc.maxima = {{1, 2, 3, -0.5}, {4, 5, 6, -0.25}};
  doc.minima = {{7, 8, 9, 0.75}};

  Dimension dim;
  dim.Resize(5);
  for (int j = 0; j < 5; ++j) dim.constants[j] = "old = " + std::to_string(j);
  dim.constCount = 5;
  dim.maxCount = 7;
  dim.minCount = 9;
  ApplyDocument(doc, dim);

  EXPECT_EQ(dim.varCount, 3);
  EXPECT_EQ(dim.lastVar, 2);
  EXPECT_EQ(dim.errorBound, 0.002);
  EXPECT_EQ(dim.maxCycles, 8);
  EXPECT_EQ(dim.formula, "x+y+z");
  EXPECT_EQ(dim.varNames, doc.varNames);
  EXPECT_EQ(dim.lowerLimit, doc.lowerLimit);
  EXPECT_EQ(dim.upperLimit, doc.upperLimit);
  EXPECT_EQ(dim.subintervals, (std::vector<int32_t>{4, 6, 6}));
  EXPECT_EQ(dim.constCount, 2);
  EXPECT_EQ(dim.constants[0], "a = 1");
  EXPECT_EQ(dim.constants[1], "b = 2");
  for (int j = 2; j < kConstantSlots; ++j) EXPECT_EQ(dim.constants[j], "") << j;
  ASSERT_EQ(dim.maxima.rows(), 4);
  EXPECT_EQ(dim.maxCount, 2);
  EXPECT_EQ(dim.minCount, 1);
  for (int k = 1; k <= 2; ++k)
    for (int r = 0; r <= 3; ++r) EXPECT_EQ(dim.maxima(r, k), doc.maxima[k - 1][r]) << r << "," << k;
  for (int r = 0; r <= 3; ++r) EXPECT_EQ(dim.minima(r, 1), doc.minima[0][r]);
  // Row n holds the smallest pivot; column 0 and the columns past the counts stay 0.
  EXPECT_EQ(dim.maxima(3, 2), -0.25);
  for (int r = 0; r <= 3; ++r) {
    EXPECT_EQ(dim.maxima(r, 0), 0);
    EXPECT_EQ(dim.maxima(r, 3), 0);
    EXPECT_EQ(dim.minima(r, 2), 0);
  }

  ProblemDocument back = DocumentFromProblem(dim);
  doc.maxCycles = 8;
  doc.subintervals = {4, 6, 6};
  EXPECT_EQ(back, doc);
}

TEST(ProblemDocumentState, ProblemStateThroughFileAndBack) {
  Dimension dim;
  dim.Resize(2);
  dim.varNames = {"u", "v"};
  dim.formula = "u*v";
  dim.errorBound = 1E-05;
  dim.maxCycles = 30;
  dim.lowerLimit = {-4, -0.125};
  dim.upperLimit = {4, 0.125};
  dim.subintervals = {8, 3};
  dim.constants[0] = "w = 9";
  dim.constCount = 1;
  for (int k = 1; k <= 100; ++k)
    for (int r = 0; r <= 2; ++r) {
      dim.maxima(r, k) = k + r * 0.5;
      dim.minima(r, k) = -k - r * 0.25;
    }
  dim.maxCount = 100;
  dim.minCount = 3;

  std::string error;
  const ProblemDocument doc = DocumentFromProblem(dim);
  ASSERT_EQ(doc.maxima.size(), 100u);
  ASSERT_EQ(doc.minima.size(), 3u);
  EXPECT_EQ(doc.maxima[99], (std::vector<double>{100, 100.5, 101}));
  EXPECT_EQ(doc.minima[2], (std::vector<double>{-3, -3.25, -3.5}));

  Dimension loaded;
  ApplyDocument(ReadOrFail(WriteOrFail(doc)), loaded);
  EXPECT_EQ(DocumentFromProblem(loaded), doc);
  for (int k = 1; k <= 100; ++k)
    for (int r = 0; r <= 2; ++r) ASSERT_EQ(loaded.maxima(r, k), dim.maxima(r, k));
  for (int k = 1; k <= 3; ++k)
    for (int r = 0; r <= 2; ++r) ASSERT_EQ(loaded.minima(r, k), dim.minima(r, k));
  EXPECT_EQ(loaded.minima(0, 4), 0);
}

}  // namespace
}  // namespace quorvant
