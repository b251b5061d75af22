#include "docs/problem_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "model/numtext.h"

namespace quorvant {

// Failure output shows a document as its file text (or why it has none).
void PrintTo(const Problem& doc, std::ostream* os) {
  std::string text, error;
  *os << (WriteProblemText(doc, text, error) ? text : "(cannot be written: " + error + ")");
}

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

std::string WriteOrFail(const Problem& doc) {
  std::string text, error;
  EXPECT_TRUE(WriteProblemText(doc, text, error)) << error;
  return text;
}

Problem ReadOrFail(const std::string& text) {
  Problem doc;
  std::string error;
  EXPECT_TRUE(ReadProblemText(text, doc, error)) << error << "\n" << text;
  return doc;
}

// A two-variable problem with constants and stored extrema, used as the starting
// content of documents that a failed read must leave alone.
Problem SampleDocument() {
  Problem doc;
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
  Problem doc;
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
  Problem doc;
  std::string error;
  ASSERT_TRUE(LoadProblemFile((kFiles / "himmelblau.saved.zvx").string(), doc, error)) << error;
  EXPECT_EQ(doc.varCount(), 2);
  EXPECT_EQ(doc.errorBound, 0.0001);
  EXPECT_EQ(doc.maxCycles, 20);
  EXPECT_EQ(doc.formula, "(x*x+y-11)*(x*x+y-11)+(x+y*y-7)*(x+y*y-7)");
  EXPECT_EQ(doc.varNames, (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(doc.lowerLimit, (std::vector<double>{-5, -5}));
  EXPECT_EQ(doc.upperLimit, (std::vector<double>{5, 5}));
  EXPECT_EQ(doc.subintervals, (std::vector<int32_t>{10, 10}));
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
  Problem doc;
};

std::vector<RoundTripCase> RoundTripCases() {
  std::vector<RoundTripCase> cases;

  Problem none = SampleDocument();
  none.constants.clear();
  none.maxima.clear();
  none.minima.clear();
  cases.push_back({"NoExtrema", none});

  Problem one = SampleDocument();
  one.minima.clear();
  cases.push_back({"OneMaximum", one});

  Problem several;
  several.errorBound = 1E-20;
  several.maxCycles = 32767;
  several.formula = "Atn2(x, y) + b*z";
  several.varNames = {"x", "y", "z"};
  several.lowerLimit = {-1.5E+300, -0.001, -7};
  several.upperLimit = {1.5E+300, 0.001, -6.5};
  several.subintervals = {1, 2147483647, 3};
  several.constants = {"b = 2", "c = Max(1, 2)", "d=-1E-20"};
  several.maxima = {{-2, 0, 1E-20, -1.5E+300}, {123456789012345, -0.1, 0.3, 1E+15}};
  several.minima = {{1, 2, 3, 4},
                    {-1E-300, 4.94065645841247E-324, 1.79769313486231E+308, 5},
                    {0.999999999999999, -0.000123456789012345, 99, 1e-5}};
  cases.push_back({"SeveralExtremaTinyAndHugeValues", several});

  Problem full;
  full.errorBound = 0.5;
  full.maxCycles = 1;
  full.formula = "x0";
  for (int i = 0; i < 10; ++i) {
    full.varNames.push_back("x" + std::to_string(i));
    full.lowerLimit.push_back(-i);
    full.upperLimit.push_back(i * 0.25);
    full.subintervals.push_back(i + 1);
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
  const Problem& doc = GetParam().doc;
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
  Problem doc = SampleDocument();
  for (int trial = 0; trial < 200; ++trial) {
    const double value = mantissa(random) * std::pow(10.0, exponent(random));
    doc.errorBound = std::fabs(value);
    doc.lowerLimit[1] = -value;
    doc.minima[1][2] = value;
    const Problem back = ReadOrFail(WriteOrFail(doc));
    EXPECT_EQ(back.errorBound, Round15(std::fabs(value))) << value;
    EXPECT_EQ(back.lowerLimit[1], Round15(-value)) << value;
    EXPECT_EQ(back.minima[1][2], Round15(value)) << value;
  }
}

TEST(ProblemFileWrite, NoConstantsNoResultsGivesNPlusThreeLines) {
  for (int n = 1; n <= 10; ++n) {
    Problem doc;
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
  Problem doc = SampleDocument();
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
  Problem doc;
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

TEST(ProblemFileWrite, CommasAndQuotesInFormulaAndConstantSurvive) {
  Problem doc = SampleDocument();
  doc.formula = "Max(x, y) + f(1,2,3) + Len(\"a,\"\"b\") + \"\"";
  doc.varNames = {"x first", "y"};
  doc.constants = {"c = Max(1, 2)", "  d = 1  ", "s = \"a, b\""};
  const std::string text = WriteOrFail(doc);
  EXPECT_NE(text.find(",\"Max(x, y) + f(1,2,3) + Len(\"a,\"\"b\") + \"\"\"\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\r\nc = Max(1, 2)\r\n"), std::string::npos);
  const Problem back = ReadOrFail(text);
  EXPECT_EQ(back.formula, doc.formula);
  EXPECT_EQ(back.varNames, doc.varNames);
  // Constants are written as they are and read back without the blanks at their ends.
  EXPECT_EQ(back.constants, (std::vector<std::string>{"c = Max(1, 2)", "d = 1", "s = \"a, b\""}));
}

struct RefusalCase {
  const char* name;
  void (*change)(Problem&);
  const char* mentions;  // a word the reason must contain
};

TEST(ProblemFileWrite, RefusesWhatCannotBeReadBack) {
  const RefusalCase cases[] = {
      {"quote in name", [](Problem& d) { d.varNames[1] = "y\""; }, "double quote"},
      {"comma in name", [](Problem& d) { d.varNames[1] = "y,z"; }, "comma"},
      {"empty name", [](Problem& d) { d.varNames[1] = ""; }, "is empty"},
      {"long name", [](Problem& d) { d.varNames[1] = std::string(256, 'y'); }, "longer"},
      {"empty formula", [](Problem& d) { d.formula = ""; }, "formula is empty"},
      {"long formula", [](Problem& d) { d.formula = std::string(kMaxFormulaLength + 1, 'x'); },
       "longer"},
      {"long constant",
       [](Problem& d) { d.constants[0] = "a=" + std::string(kMaxConstantLength, '1'); }, "longer"},
      {"line break in formula", [](Problem& d) { d.formula = "x\ny"; }, "\\x0A"},
      {"escape in formula", [](Problem& d) { d.formula = "x\x1b[2J"; }, "\\x1B"},
      {"C1 control in formula", [](Problem& d) { d.formula = "x\xc2\x9b"; }, "U+009B"},
      {"line break in name", [](Problem& d) { d.varNames[0] = "x\r"; }, "\\x0D"},
      {"LF in constant", [](Problem& d) { d.constants[0] = "a = 1\nb = 2"; }, "\\x0A"},
      {"CR in constant", [](Problem& d) { d.constants[0] = "a = 1\r"; }, "\\x0D"},
      {"zero error bound", [](Problem& d) { d.errorBound = 0; }, "greater than 0"},
      {"negative error bound", [](Problem& d) { d.errorBound = -1; }, "greater than 0"},
      {"no cycles", [](Problem& d) { d.maxCycles = 0; }, "from 1 to 32767"},
      {"too many cycles", [](Problem& d) { d.maxCycles = 32768; }, "from 1 to 32767"},
      {"no subintervals", [](Problem& d) { d.subintervals[1] = 0; }, "subintervals"},
      {"largest double as limit",
       [](Problem& d) { d.upperLimit[0] = std::numeric_limits<double>::max(); }, "too large"},
      {"largest double as a stored value",
       [](Problem& d) { d.minima[0][0] = -std::numeric_limits<double>::max(); }, "too large"},
      {"no variables", [](Problem& d) { d.varNames.clear(); }, "variables"},
      {"eleven variables", [](Problem& d) { d.varNames.resize(11, "v"); }, "variables"},
      {"a variable without a name", [](Problem& d) { d.varNames.pop_back(); }, "name"},
      {"missing limits", [](Problem& d) { d.upperLimit.pop_back(); }, "limits"},
      {"102 constants", [](Problem& d) { d.constants.resize(102); }, "constants"},
      {"101 maxima",
       [](Problem& d) {
         d.maxima.resize(101, {1, 2, 3});
       },
       "maxima"},
      {"101 minima",
       [](Problem& d) {
         d.minima.resize(101, {1, 2, 3});
       },
       "minima"},
      {"short extremum", [](Problem& d) { d.minima[1].pop_back(); }, "n + 1"},
      {"infinite bound", [](Problem& d) { d.errorBound = std::numeric_limits<double>::infinity(); },
       "error bound"},
      {"NaN limit", [](Problem& d) { d.lowerLimit[0] = std::numeric_limits<double>::quiet_NaN(); },
       "limit"},
      {"NaN pivot", [](Problem& d) { d.maxima[0][2] = std::numeric_limits<double>::quiet_NaN(); },
       "maxima"},
      {"lowest iteration cap",
       [](Problem& d) { d.maxCycles = std::numeric_limits<int32_t>::min(); }, "iteration cap"},
      {"lowest subintervals",
       [](Problem& d) { d.subintervals[0] = std::numeric_limits<int32_t>::min(); }, "subintervals"},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    Problem doc = SampleDocument();
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
  const Problem doc = ReadOrFail(text);
  EXPECT_EQ(doc.varCount(), 2);
  EXPECT_EQ(doc.maxima.size(), 1u);
  EXPECT_TRUE(doc.minima.empty());
  EXPECT_EQ(doc.errorBound, 0.01);
  EXPECT_EQ(doc.maxCycles, 8);
  EXPECT_EQ(doc.formula, "x, y");
  EXPECT_EQ(doc.varNames, (std::vector<std::string>{"a b", "q"}));
  EXPECT_EQ(doc.lowerLimit, (std::vector<double>{-0.5, -1E-20}));
  EXPECT_EQ(doc.upperLimit, (std::vector<double>{4, 1.5E+300}));
  EXPECT_EQ(doc.subintervals, (std::vector<int32_t>{4, 6}));
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
    Problem doc = SampleDocument();
    const Problem before = doc;
    std::string error;
    EXPECT_FALSE(ReadProblemText(first + std::string("\r\n") + rest, doc, error));
    EXPECT_EQ(error, kIncompatibleFile);
    EXPECT_EQ(doc, before);
  }
  Problem doc;
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
    {"stored value beyond the double range",
     "Zorvex\n1,1,0,0.01,8,\"x\"\n\"x\",-3,3,12\n 0 \n 1 \n-1.79769313486232E+308\n",
     "Line 6: the value of maximum 1 \"-1.79769313486232E+308\" is beyond the double range."},
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
    // What the window's fields refuse, the reader refuses too.
    {"zero error bound", "Zorvex\n1,0,0,0,8,\"x\"\n\"x\",-3,3,12\n 0 \n",
     "Line 2: the error bound must be greater than 0, not 0."},
    {"negative error bound", "Zorvex\n1,0,0,-1,8,\"x\"\n\"x\",-3,3,12\n 0 \n",
     "Line 2: the error bound must be greater than 0, not -1."},
    {"no cycles", "Zorvex\n1,0,0,0.01,0.4,\"x\"\n\"x\",-3,3,12\n 0 \n",
     "Line 2: the iteration cap must be from 1 to 32767, not 0."},
    {"endless cycles", "Zorvex\n1,0,0,0.01,2147483647,\"x\"\n\"x\",-3,3,12\n 0 \n",
     "Line 2: the iteration cap must be from 1 to 32767, not 2147483647."},
    {"no subintervals", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",-3,3,0\n 0 \n",
     "Line 3: the number of subintervals must be from 1 to 2147483647, not 0."},
    {"negative subintervals", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",-3,3,-4\n 0 \n",
     "Line 3: the number of subintervals must be from 1 to 2147483647, not -4."},
    {"empty formula", "Zorvex\n1,0,0,0.01,8,\"\"\n\"x\",-3,3,12\n 0 \n",
     "Line 2: the formula is empty."},
    {"empty name", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"\",-3,3,12\n 0 \n",
     "Line 3: the name of variable 1 is empty."},
    {"comma in a name", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x,y\",-3,3,12\n 0 \n",
     "Line 3: the name of variable 1 contains a comma, which separates the names."},
    {"quote in an unquoted name", "Zorvex\n1,0,0,0.01,8,\"x\"\nx\"y,-3,3,12\n 0 \n",
     "Line 3: a field that does not begin with a double quote contains one."},
    // Control characters would reach the terminal or the window: refused, and never
    // echoed raw.
    {"escape sequence in the formula",
     "Zorvex\n1,0,0,0.01,8,\"x\x1b]0;owned\x07\"\n\"x\",-3,3,12\n 0 \n",
     "Line 2: the formula contains the control character \\x1B at position 2."},
    {"escape sequence in a name", "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\x1b[2J\",-3,3,12\n 0 \n",
     "Line 3: the name of variable 1 contains the control character \\x1B at position 2."},
    {"C1 control in a name",
     "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\xc2\x9b"
     "2J\",-3,3,12\n 0 \n",
     "Line 3: the name of variable 1 contains the control character U+009B at position 2."},
    {"constant ending in CR CR LF",
     "Zorvex\r\n1,0,0,0.01,8,\"x\"\r\n\"x\",-3,3,12\r\n 1 \r\na=1\r\r\n",
     "Line 5: constant 1 contains the control character \\x0D at position 4."},
    {"escape in a number", "Zorvex\n1,0,0,\x1b[2J,8,\"x\"\n\"x\",-3,3,12\n 0 \n",
     "Line 2: the error bound \"\\x1B[2J\" is not a number."},
    {"long name",
     "Zorvex\n1,0,0,0.01,8,"
     "\"x\"\n\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
     "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
     "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\",-3,3,12\n "
     "0 \n",
     "Line 3: the name of variable 1 is longer than 255 characters."},
    // Numbers that read, but whose 15-digit form does not.
    {"largest double as a limit",
     "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",-3,1.7976931348623157E+308,12\n 0 \n",
     "Line 3: the upper limit is too large: written with 15 significant digits "
     "(1.79769313486232E+308) it lies beyond the largest number."},
    {"largest double as a stored value",
     "Zorvex\n1,1,0,0.01,8,\"x\"\n\"x\",-3,3,12\n 0 \n-1.7976931348623157E+308\n 1 \n",
     "Line 5: the value of maximum 1 is too large: written with 15 significant digits "
     "(-1.79769313486232E+308) it lies beyond the largest number."},
    {"a second variable line too many",
     "Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",-3,3,12\n\"y\",-3,3,12\n 0 \n",
     "Line 4: the number of constants \"\"y\",-3,3,12\" is not a number."},
};

TEST(ProblemFileRead, RejectsMalformedTextNamingTheLine) {
  for (const MalformedCase& c : kMalformed) {
    SCOPED_TRACE(c.name);
    Problem doc = SampleDocument();
    const Problem before = doc;
    std::string error;
    EXPECT_FALSE(ReadProblemText(c.text, doc, error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(doc, before);
  }
}

TEST(ProblemFileRead, TheUnbrokenFileOfTheMalformedTableReads) {
  // Guards the table above: each of its texts fails for the one reason it names.
  const Problem doc = ReadOrFail(
      "Zorvex\n1,1,1,0.01,8,\"x*x\"\n\"x\",-3,3,12\n 1 \na = 2\n 0.5 \n 2 \n-0.5 \n 3 \n");
  EXPECT_EQ(doc.constants, (std::vector<std::string>{"a = 2"}));
  EXPECT_EQ(doc.maxima, (std::vector<std::vector<double>>{{0.5, 2}}));
  EXPECT_EQ(doc.minima, (std::vector<std::vector<double>>{{-0.5, 3}}));
}

TEST(ProblemFileRead, WholeNumbersRoundHalfToEven) {
  const struct {
    const char* text;
    int32_t value;
  } cycles[] = {{"4.5", 4},     {"5.5", 6},         {"7.49", 7},
                {"1E+3", 1000}, {"32767.4", 32767}, {"0.6", 1}},
    subintervals[] = {{"4.5", 4}, {"2.5", 2}, {"2147483647.4", 2147483647}, {"1E+3", 1000}};
  for (const auto& c : cycles) {
    SCOPED_TRACE(c.text);
    const Problem doc =
        ReadOrFail(std::string("Zorvex\n1,0,0,0.01,") + c.text + ",\"x\"\n\"x\",-3,3,4\n 0 \n");
    EXPECT_EQ(doc.maxCycles, c.value);
  }
  for (const auto& c : subintervals) {
    SCOPED_TRACE(c.text);
    const Problem doc =
        ReadOrFail(std::string("Zorvex\n1,0,0,0.01,8,\"x\"\n\"x\",-3,3,") + c.text + "\n 0 \n");
    EXPECT_EQ(doc.subintervals, std::vector<int32_t>{c.value});
  }
}

// A hand-written file may give more digits than a saved one holds: the values are
// taken to 15 significant digits, as the window's fields show them, so the file reads
// the same after a save.
TEST(ProblemFileRead, NumbersAreTakenToFifteenSignificantDigits) {
  const Problem doc = ReadOrFail(
      "Zorvex\n1,1,0,0.012345678901234567,8,\"x\"\n\"x\",-3.14159265358979323846,"
      "2.718281828459045235,4\n 0 \n 0.1000000000000000055511151231257827 \n"
      " 1.23456789012345678E-300 \n");
  EXPECT_EQ(doc.errorBound, 0.0123456789012346);
  EXPECT_EQ(doc.lowerLimit[0], -3.14159265358979);
  EXPECT_EQ(doc.upperLimit[0], 2.71828182845905);
  EXPECT_EQ(doc.maxima[0], (std::vector<double>{0.1, 1.23456789012346E-300}));
  EXPECT_EQ(ReadOrFail(WriteOrFail(doc)), doc);
}

// Every value the writer can produce reads back as the value rounded to 15 significant
// digits, and is written again as the same text: over the whole range of doubles, the
// largest that can be written, subnormals, and both zeros.
TEST(ProblemFileRoundTrip, WriterAndReaderAgreeOnEveryWritableValue) {
  std::mt19937_64 random(20261208);
  std::vector<double> values = {0.0,
                                -0.0,
                                std::numeric_limits<double>::denorm_min(),
                                -std::numeric_limits<double>::denorm_min(),
                                std::numeric_limits<double>::min(),
                                std::nextafter(std::numeric_limits<double>::min(), 0.0),
                                1.797693134862315e308,
                                -1.797693134862315e308,
                                std::nextafter(1.797693134862315e308, 0.0),
                                1e-320,
                                2.2250738585072014e-308};
  for (int k = 0; k < 20000; ++k) {
    uint64_t bits = random();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    values.push_back(v);  // any bit pattern: NaNs and infinities are refused below
    values.push_back(std::ldexp(static_cast<double>(bits >> 11), -1074 + static_cast<int>(k % 40)));
  }
  Problem doc = SampleDocument();
  int written = 0;
  for (double v : values) {
    doc.lowerLimit[0] = v;
    doc.minima[1][2] = -v;
    std::string text, error;
    const bool writable = std::isfinite(v) && std::isfinite(Round15(v));
    ASSERT_EQ(WriteProblemText(doc, text, error), writable) << v << " " << error;
    if (!writable) {
      EXPECT_NE(error.find(std::isfinite(v) ? "too large" : "not a finite number"),
                std::string::npos)
          << error;
      continue;
    }
    ++written;
    const Problem back = ReadOrFail(text);
    EXPECT_EQ(back.lowerLimit[0], Round15(v)) << v;
    EXPECT_EQ(back.minima[1][2], Round15(-v)) << v;
    EXPECT_EQ(WriteOrFail(back), text) << v;
  }
  EXPECT_GT(written, 30000);
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
  Problem doc = SampleDocument();
  SaveResult saved = SaveProblemFile(path.string(), doc);
  ASSERT_TRUE(saved.ok()) << saved.reason;
  EXPECT_EQ(ReadBytes(path), WriteOrFail(doc));
  EXPECT_EQ(saved.stamp, StampOf(path.string()));

  doc.formula = "y";
  doc.maxima.clear();
  saved = SaveProblemFile(path.string(), doc, saved.stamp);
  ASSERT_TRUE(saved.ok()) << saved.reason;
  EXPECT_EQ(ReadBytes(path), WriteOrFail(doc));
  EXPECT_EQ(Listing(), std::vector<std::string>{"problem.zvx"});

  Problem loaded;
  std::string error;
  FileStamp stamp;
  ASSERT_TRUE(LoadProblemFile(path.string(), loaded, error, &stamp)) << error;
  EXPECT_EQ(loaded, doc);
  EXPECT_EQ(stamp, saved.stamp);
}

TEST_F(ProblemFileDiskTest, SaveWritesIntoEveryNameOfAFileWithSeveralLinks) {
  // A file with a second name (a hard link) stays one file: it is rewritten in place,
  // after a copy of its old contents was made beside it (and removed again).
  const fs::path path = dir_ / "problem.zvx";
  const fs::path otherName = dir_ / "link.zvx";
  WriteBytes(path, "previous contents");
  fs::create_hard_link(path, otherName);
  const SaveResult saved = SaveProblemFile(path.string(), SampleDocument());
  ASSERT_TRUE(saved.ok()) << saved.reason;
  EXPECT_EQ(ReadBytes(path), WriteOrFail(SampleDocument()));
  EXPECT_EQ(ReadBytes(otherName), WriteOrFail(SampleDocument()));
  EXPECT_EQ(fs::hard_link_count(path), 2u);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"link.zvx", "problem.zvx"}));
}

// A save interrupted before each of its steps, by a failure or by the death of the
// process, for each kind of file: the file's name holds its old or its new text, or the
// next load completes it; either way every name of the file shows the same text and
// nothing is left beside it.
TEST_F(ProblemFileDiskTest, AnInterruptedSaveLeavesTheOldOrTheNewText) {
  Problem newer = SampleDocument();
  newer.formula = "(x - 1)^2 + Sin(y) * 2";
  const std::string oldText = WriteOrFail(SampleDocument()), newText = WriteOrFail(newer);
  enum class Kind { New, Plain, HardLinked, SymLinked };
  const SaveStep kSteps[] = {
      SaveStep::CreateCopy,      SaveStep::WriteCopy, SaveStep::SyncCopy,
      SaveStep::Rename,          SaveStep::Truncate,  SaveStep::WriteFirstHalf,
      SaveStep::WriteSecondHalf, SaveStep::SyncFile,  SaveStep::RemoveCopy};
  for (const Kind kind : {Kind::New, Kind::Plain, Kind::HardLinked, Kind::SymLinked}) {
    const bool inPlace = kind == Kind::HardLinked;
    for (const SaveStep step : kSteps) {
      const bool visited = step == SaveStep::CreateCopy || step == SaveStep::WriteCopy ||
                           step == SaveStep::SyncCopy ||
                           (inPlace ? step != SaveStep::Rename : step == SaveStep::Rename);
      for (const bool kill : {false, true}) {
        SCOPED_TRACE("kind " + std::to_string(static_cast<int>(kind)) + ", step " +
                     std::to_string(static_cast<int>(step)) + (kill ? ", killed" : ", failed"));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "real");
        const fs::path real = dir_ / "real" / "problem.zvx", path = dir_ / "problem.zvx";
        if (kind != Kind::New) WriteBytes(kind == Kind::SymLinked ? real : path, oldText);
        if (kind == Kind::HardLinked) fs::create_hard_link(path, dir_ / "other.zvx");
        if (kind == Kind::SymLinked) fs::create_symlink("real/problem.zvx", path);
        const std::string before = kind == Kind::New ? "" : oldText;

        SaveResult saved;
        if (kill) {
          const pid_t child = ::fork();
          ASSERT_GE(child, 0);
          if (child == 0) {
            ReplaceFileContents(path.string(), newText, {}, [&](SaveStep s) {
              if (s == step) ::raise(SIGKILL);
              return 0;
            });
            ::_exit(0);
          }
          int status = 0;
          ASSERT_EQ(::waitpid(child, &status, 0), child);
          ASSERT_EQ(visited, WIFSIGNALED(status));
          // Without a load in between, the name shows the old or the new text, or (in
          // place) a beginning of the new one with its journal beside it.
          const std::string now = fs::exists(path) ? ReadBytes(path) : "";
          if (now != before && now != newText) {
            EXPECT_TRUE(inPlace && newText.compare(0, now.size(), now) == 0);
          }
        } else {
          saved = ReplaceFileContents(path.string(), newText, {},
                                      [&](SaveStep s) { return s == step ? EIO : 0; });
          const bool fails = visited && step != SaveStep::RemoveCopy;
          EXPECT_EQ(saved.ok(), !fails) << saved.reason;
          EXPECT_EQ(fs::exists(path) ? ReadBytes(path) : "", fails ? before : newText);
        }
        Problem loaded;
        std::string error, notice;
        if (kind == Kind::New && !fs::exists(path)) {
          EXPECT_FALSE(LoadProblemFile(path.string(), loaded, error, nullptr, &notice));
        } else {
          ASSERT_TRUE(LoadProblemFile(path.string(), loaded, error, nullptr, &notice)) << error;
          EXPECT_TRUE(loaded == SampleDocument() || loaded == newer);
          if (kind == Kind::HardLinked) {
            EXPECT_EQ(ReadBytes(dir_ / "other.zvx"), ReadBytes(path));
          }
        }
        // Nothing beside the file any longer, only its names; except a complete copy of
        // a file that did not exist before, which is offered by the failed load.
        std::vector<std::string> names = Listing();
        for (const auto& entry : fs::directory_iterator(dir_ / "real"))
          names.push_back(entry.path().filename().string());
        std::vector<std::string> expected = {"problem.zvx", "real"};
        if (kind == Kind::HardLinked) expected.insert(expected.begin(), "other.zvx");
        if (kind == Kind::SymLinked) expected.push_back("problem.zvx");
        if (!fs::exists(path)) {
          expected.erase(expected.begin());
          if (names.size() > 1 && names.front().find(".saving-") != std::string::npos) {
            EXPECT_EQ(ReadBytes(dir_ / names.front()), newText);
            EXPECT_NE(error.find(names.front()), std::string::npos) << error;
            names.erase(names.begin());
          }
        }
        EXPECT_EQ(names, expected);
      }
    }
  }
}

// What an earlier save left beside a file: a stale copy goes at the next load, a copy
// beside a file that is not whole is kept and named, a journal cut short goes, and a
// copy that a live save holds locked is left alone.
TEST_F(ProblemFileDiskTest, LeftoversOfEarlierSavesAreDealtWith) {
  const fs::path path = dir_ / "problem.zvx";
  const fs::path copy = dir_ / ".problem.zvx.saving-123", journal = dir_ / ".problem.zvx.journal-7";
  const std::string text = WriteOrFail(SampleDocument());
  Problem loaded;
  std::string error, notice;

  WriteBytes(path, text);
  WriteBytes(copy, text);
  WriteBytes(journal, "Quorvant save journal 1\n1 2 3 4 5 0123");
  WriteBytes(dir_ / ".problem.zvx.saving-notours", "x");
  WriteBytes(dir_ / ".problem.zvx.saving-9", "Zorvex\r\n");
  fs::resize_file(dir_ / ".problem.zvx.saving-9", 3'000'000'000);  // sparse: not read whole
  ASSERT_TRUE(LoadProblemFile(path.string(), loaded, error, nullptr, &notice)) << error;
  EXPECT_EQ(notice, "");
  EXPECT_EQ(Listing(), (std::vector<std::string>{".problem.zvx.saving-notours", "problem.zvx"}));

  WriteBytes(path, "");  // emptied by a save that was killed (an earlier version's)
  WriteBytes(copy, text);
  EXPECT_FALSE(LoadProblemFile(path.string(), loaded, error, nullptr, &notice));
  EXPECT_NE(error.find("An interrupted save left \"" + copy.string() + "\""), std::string::npos)
      << error;
  EXPECT_EQ(ReadBytes(copy), text);

  WriteBytes(path, text);
  {
    const int held = ::open(copy.c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ASSERT_TRUE(LoadProblemFile(path.string(), loaded, error)) << error;
    EXPECT_TRUE(fs::exists(copy));
    ::close(held);
  }
  // A save removes what earlier saves left once the file holds its new text.
  ASSERT_TRUE(SaveProblemFile(path.string(), SampleDocument()).ok());
  EXPECT_FALSE(fs::exists(copy));
}

TEST_F(ProblemFileDiskTest, SaveFollowsASymbolicLinkAndReplacesItsTarget) {
  fs::create_directories(dir_ / "real");
  const fs::path target = dir_ / "real" / "problem.zvx";
  const fs::path link = dir_ / "problem.zvx";
  WriteBytes(target, "previous contents");
  fs::create_symlink("real/problem.zvx", link);
  const SaveResult saved = SaveProblemFile(link.string(), SampleDocument());
  ASSERT_TRUE(saved.ok()) << saved.reason;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), "real/problem.zvx");
  EXPECT_EQ(ReadBytes(target), WriteOrFail(SampleDocument()));
  EXPECT_EQ(Listing(), (std::vector<std::string>{"problem.zvx", "real"}));
}

TEST_F(ProblemFileDiskTest, SaveKeepsTheModeAndTheOwner) {
  const fs::path path = dir_ / "problem.zvx";
  WriteBytes(path, "previous contents");
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(path.c_str(), 12345, 23456), 0);
  }
  const SaveResult saved = SaveProblemFile(path.string(), SampleDocument());
  ASSERT_TRUE(saved.ok()) << saved.reason;
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  if (root) {
    EXPECT_EQ(st.st_uid, 12345u);
    EXPECT_EQ(st.st_gid, 23456u);
  }
  EXPECT_EQ(ReadBytes(path), WriteOrFail(SampleDocument()));
}

TEST_F(ProblemFileDiskTest, AReadOnlyFileIsRefusedAndLeftAlone) {
  // Also for a process that could override the permissions (root, in CI).
  const fs::path path = dir_ / "problem.zvx";
  WriteBytes(path, "previous contents");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  const FileStamp before = StampOf(path.string());
  const SaveResult saved = SaveProblemFile(path.string(), SampleDocument());
  EXPECT_EQ(saved.outcome, SaveResult::Outcome::Failed);
  EXPECT_NE(saved.reason.find("read-only"), std::string::npos) << saved.reason;
  EXPECT_NE(saved.reason.find(path.string()), std::string::npos) << saved.reason;
  EXPECT_EQ(ReadBytes(path), "previous contents");
  EXPECT_EQ(StampOf(path.string()), before);
  EXPECT_EQ(Listing(), std::vector<std::string>{"problem.zvx"});
}

TEST_F(ProblemFileDiskTest, AFileChangedSinceItWasReadIsNotOverwritten) {
  const fs::path path = dir_ / "problem.zvx";
  ASSERT_TRUE(SaveProblemFile(path.string(), SampleDocument()).ok());
  Problem doc;
  std::string error;
  FileStamp stamp;
  ASSERT_TRUE(LoadProblemFile(path.string(), doc, error, &stamp)) << error;

  struct Change {
    const char* name;
    std::function<void()> apply;
    const char* reason;
  };
  const Change changes[] = {
      {"rewritten by another program", [&] { WriteBytes(path, "another program's text, longer"); },
       "changed by another program"},
      {"replaced by another file",
       [&] {
         WriteBytes(dir_ / "other", ReadBytes(path));
         fs::rename(dir_ / "other", path);
       },
       "changed by another program"},
      {"removed", [&] { fs::remove(path); }, "removed or renamed"},
  };
  for (const Change& c : changes) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(SaveProblemFile(path.string(), SampleDocument()).ok());
    ASSERT_TRUE(LoadProblemFile(path.string(), doc, error, &stamp)) << error;
    c.apply();
    const std::string after = fs::exists(path) ? ReadBytes(path) : "";
    doc.formula = "x + 1";
    const SaveResult saved = SaveProblemFile(path.string(), doc, stamp);
    EXPECT_EQ(saved.outcome, SaveResult::Outcome::ChangedOnDisk);
    EXPECT_NE(saved.reason.find(c.reason), std::string::npos) << saved.reason;
    EXPECT_EQ(fs::exists(path) ? ReadBytes(path) : "", after);
    // Saving without the stamp (the user said to overwrite) goes through.
    ASSERT_TRUE(SaveProblemFile(path.string(), doc).ok());
    EXPECT_EQ(ReadBytes(path), WriteOrFail(doc));
  }
}

TEST_F(ProblemFileDiskTest, SaveIntoMissingFolderFailsAndLeavesNothing) {
  const fs::path path = dir_ / "missing" / "problem.zvx";
  const SaveResult saved = SaveProblemFile(path.string(), SampleDocument());
  EXPECT_FALSE(saved.ok());
  EXPECT_NE(saved.reason.find(path.string()), std::string::npos) << saved.reason;
  EXPECT_NE(saved.reason.find("does not exist"), std::string::npos) << saved.reason;
  EXPECT_TRUE(Listing().empty());
}

TEST_F(ProblemFileDiskTest, FailedSaveKeepsThePreviousFile) {
  const fs::path path = dir_ / "problem.zvx";
  WriteBytes(path, "previous contents");

  // The document cannot be written.
  Problem doc = SampleDocument();
  doc.varNames[0] = "\"";
  SaveResult saved = SaveProblemFile(path.string(), doc);
  EXPECT_FALSE(saved.ok());
  EXPECT_FALSE(saved.reason.empty());
  EXPECT_EQ(ReadBytes(path), "previous contents");

  // The target is a folder.
  const fs::path folder = dir_ / "folder";
  fs::create_directories(folder / "inside");
  saved = SaveProblemFile(folder.string(), SampleDocument());
  EXPECT_FALSE(saved.ok());
  EXPECT_NE(saved.reason.find(folder.string()), std::string::npos) << saved.reason;
  EXPECT_NE(saved.reason.find("folder"), std::string::npos) << saved.reason;
  EXPECT_TRUE(fs::is_directory(folder / "inside"));
  EXPECT_EQ(Listing(), (std::vector<std::string>{"folder", "problem.zvx"}));
}

TEST_F(ProblemFileDiskTest, HugeAndEndlessFilesAreRefusedWithoutReadingThem) {
  Problem doc = SampleDocument();
  const Problem before = doc;
  std::string error;
  // An endless device that is no problem file: the first line decides at once.
  EXPECT_FALSE(LoadProblemFile("/dev/zero", doc, error));
  EXPECT_EQ(error, kIncompatibleFile);
  // A 3 GB file (sparse: it takes no room) that begins like a problem file.
  const fs::path huge = dir_ / "huge.zvx";
  WriteBytes(huge, "Zorvex\r\n");
  fs::resize_file(huge, 3'000'000'000);
  EXPECT_FALSE(LoadProblemFile(huge.string(), doc, error));
  EXPECT_NE(error.find("larger than any problem file can be"), std::string::npos) << error;
  // Just above the limit: refused; a file of the largest valid size would be read.
  fs::resize_file(huge, kMaxProblemFileBytes + 1);
  EXPECT_FALSE(LoadProblemFile(huge.string(), doc, error));
  EXPECT_NE(error.find("larger than any problem file can be"), std::string::npos) << error;
  EXPECT_EQ(doc, before);
}

TEST_F(ProblemFileDiskTest, LoadFailuresLeaveTheDocumentAlone) {
  Problem doc = SampleDocument();
  const Problem before = doc;
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
// Reading into a problem that held another

// A read replaces the whole problem: nothing of what it held before is left, however
// much more that was.
TEST(ProblemFileRead, ReplacesEverythingTheProblemHeld) {
  Problem doc = Problem::WithVariables(5);
  doc.varNames = {"a", "b", "c", "d", "e"};
  doc.formula = "a+b+c+d+e";
  for (int j = 0; j < 5; ++j)
    doc.constants.push_back("old" + std::to_string(j) + " = " + std::to_string(j));
  doc.maxima.assign(7, std::vector<double>(6, 1.5));
  doc.minima.assign(9, std::vector<double>(6, -1.5));
  const Problem read =
      ReadOrFail("Zorvex\n1,1,0,0.002,7.5,\"x\"\n\"x\",-1,1,4.5\n 1 \na = 1\n 0.25 \n 2 \n");
  std::string error;
  ASSERT_TRUE(ReadProblemText(WriteOrFail(read), doc, error)) << error;
  EXPECT_EQ(doc, read);
  EXPECT_EQ(doc.varCount(), 1);
  EXPECT_EQ(doc.maxCycles, 8);
  EXPECT_EQ(doc.subintervals, std::vector<int32_t>{4});
  EXPECT_EQ(doc.constants, std::vector<std::string>{"a = 1"});
  EXPECT_EQ(doc.maxima, (std::vector<StoredPoint>{{0.25, 2}}));
  EXPECT_TRUE(doc.minima.empty());
}

}  // namespace
}  // namespace quorvant
