// Hostile problem files and command lines: each is refused or reported with a clear
// message and its exit status, and the problem file is left byte for byte as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "cli_test_util.h"

namespace quorvant::testing {
namespace {

namespace fs = std::filesystem;

// A two-variable problem with a minimum at (b, -2), to be spoiled one piece at a time.
std::string Bowl(const std::string& line2Tail, const std::string& constants,
                 const std::string& stored = "") {
  return "Zorvex\r\n2,0,0," + line2Tail + "\r\n\"x\",-5,5,4\r\n\"y\",-5,5,4\r\n" + constants +
         stored;
}
const std::string kBowl = "0.01,8,\"(x-b)^2+(y+2)^2\"";

struct HostileCase {
  const char* name;
  std::string file;               // the problem file's bytes
  std::vector<std::string> args;  // before the file name
  int status;
  const char* message;  // a part of stderr
};

void PrintTo(const HostileCase& c, std::ostream* os) {
  *os << c.name;
}

std::vector<HostileCase> HostileCases() {
  return {
      // A constant that fails, silently or not, would leave the later ones unset.
      {"ConstantLogOfZero",
       Bowl(kBowl, " 2 \r\na=Log(0)\r\nb=2\r\n"),
       {"--explore", "--save"},
       2,
       "The user constant \"a=Log(0)\" (number 1) cannot be executed: error 5"},
      {"ConstantSqrOfMinusOne",
       Bowl(kBowl, " 2 \r\nb=2\r\na=Sqr(-1)\r\n"),
       {"--explore"},
       2,
       "\"a=Sqr(-1)\" (number 2) cannot be executed: error 5"},
      {"ConstantDivisionByZero",
       Bowl(kBowl, " 1 \r\nb=1/0\r\n"),
       {"--random", "3"},
       2,
       "cannot be executed: error 11"},
      {"ConstantSyntaxError",
       Bowl(kBowl, " 1 \r\nb=)\r\n"),
       {"--explore"},
       2,
       "cannot be executed: error 1023"},
      {"ConstantFailsForEval",
       Bowl(kBowl, " 2 \r\na=Log(0)\r\nb=2\r\n"),
       {"--eval", "b"},
       2,
       "cannot be executed: error 5"},
      {"ConstantFailsForTheListing",
       Bowl(kBowl, " 1 \r\na=Log(0)\r\n"),
       {},
       2,
       "cannot be executed: error 5"},
      // What the window's fields refuse.
      {"NegativeErrorBoundEndlessCap",
       Bowl("-1,2147483647,\"x*y\"", " 0 \r\n"),
       {"--explore"},
       2,
       "Line 2: the error bound must be greater than 0, not -1."},
      {"EndlessCap",
       Bowl("0.01,2147483647,\"x*y\"", " 0 \r\n"),
       {"--explore"},
       2,
       "Line 2: the iteration cap must be from 1 to 32767, not 2147483647."},
      {"NoSubintervals",
       "Zorvex\r\n1,0,0,0.01,8,\"x\"\r\n\"x\",-1,1,0\r\n 0 \r\n",
       {"--explore"},
       2,
       "Line 3: the number of subintervals must be from 1 to 2147483647, not 0."},
      // Texts that could not be written back, or that would reach the terminal.
      {"ConstantEndingInCrCrLf",
       Bowl(kBowl, " 1 \r\nb=2\r\r\n"),
       {"--explore", "--save"},
       2,
       "Line 6: constant 1 contains the control character \\x0D at position 4."},
      {"QuoteInUnquotedName",
       "Zorvex\r\n1,0,0,0.01,8,\"x\"\r\nx\"y,-1,1,4\r\n 0 \r\n",
       {"--save"},
       2,
       "Line 3: a field that does not begin with a double quote contains one."},
      {"EscapeSequenceInName",
       "Zorvex\r\n1,0,0,0.01,8,\"x\"\r\n\"x\x1b]0;owned\x07\",-1,1,4\r\n 0 \r\n",
       {},
       2,
       "Line 3: the name of variable 1 contains the control character \\x1B at position 2."},
      {"EscapeSequenceInFormula",
       "Zorvex\r\n1,0,0,0.01,8,\"x\x1b[2J\"\r\n\"x\",-1,1,4\r\n 0 \r\n",
       {"--explore"},
       2,
       "Line 2: the formula contains the control character \\x1B"},
      // The largest doubles: readable, but their 15-digit form is not.
      {"LargestDoubleAsLimit",
       "Zorvex\r\n1,0,0,0.01,8,\"x\"\r\n\"x\",-1,1.7976931348623157E+308,4\r\n 0 \r\n",
       {"--explore", "--save"},
       2,
       "Line 3: the upper limit is too large"},
      // A value the formula cannot turn into a number ends the run with a message.
      {"FunctionValueIsNull",
       "Zorvex\r\n1,0,0,0.01,8,\"Null\"\r\n\"x\",-1,1,4\r\n 0 \r\n",
       {"--explore", "--save"},
       3,
       "The search ended at x=-0.5: the function's value is Null, not a number (error 94"},
      {"FunctionValueIsText",
       "Zorvex\r\n1,0,0,0.01,8,\"\"abc\"\"\r\n\"x\",-1,1,4\r\n 0 \r\n",
       {"--explore"},
       3,
       "The search ended at x=-0.5: the function's value is not a number"},
      {"GridThatCannotBeWalked",
       "Zorvex\r\n1,0,0,0.01,8,\"x\"\r\n\"x\",1000,1001,10000000\r\n 0 \r\n",
       {"--explore"},
       2,
       "the rounding errors of adding its step 1E-07 again and again build up"},
      // Command lines.
      {"RandomBeyondTheIntRange",
       Bowl(kBowl, " 1 \r\nb=2\r\n"),
       {"--random", "3000000000"},
       2,
       "--random needs a whole number of trials from 1 to 2147483647"},
      {"RandomBelowTheIntRange",
       Bowl(kBowl, " 1 \r\nb=2\r\n"),
       {"--random", "-3e9"},
       2,
       "--random needs a whole number of trials from 1 to 2147483647"},
      {"OptionWithEscape",
       Bowl(kBowl, " 1 \r\nb=2\r\n"),
       {"--\x1b[2J"},
       2,
       "unknown option --\\x1B[2J"},
  };
}

class HostileFile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileFile, IsRefusedOrReportedAndTheFileStaysAsItWas) {
  const HostileCase& c = GetParam();
  const fs::path path = CopyToTemp(fs::path(QUORVANT_TEST_DATA) / "files" / "quad2_bowl.zvx");
  { std::ofstream(path, std::ios::binary | std::ios::trunc) << c.file; }
  std::vector<std::string> args = c.args;
  args.push_back(path.string());
  const CliResult r = RunCaptured(args);
  EXPECT_EQ(r.status, c.status) << r.err;
  EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  for (char ch : r.err + r.out)
    EXPECT_TRUE(ch != '\x1b' && ch != '\x07' && ch != '\r') << "a raw control character reached "
                                                               "the terminal: "
                                                            << Printable(r.err);
  EXPECT_EQ(ReadFile(path), c.file);
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileFile, ::testing::ValuesIn(HostileCases()),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                           return std::string(info.param.name);
                         });

fs::path Himmelblau() {
  return CopyToTemp(fs::path(QUORVANT_TEST_DATA) / "files" / "himmelblau.saved.zvx");
}

TEST(Save, AfterAFailedRunNothingIsSavedUnlessAskedFor) {
  // The formula fails untolerated in part of the box, after the run found extrema.
  const fs::path path = Himmelblau();
  std::string text = ReadFile(path);
  const std::string formula = "(x*x+y-11)*(x*x+y-11)+(x+y*y-7)*(x+y*y-7)";
  // Hex(10) is "A", which CDbl cannot read: a type mismatch, only where x > 2 and y > 2.
  text.replace(text.find(formula), formula.size(), formula + "+0*CDbl(Hex(-10*(x>2 And y>2)))");
  { std::ofstream(path, std::ios::binary | std::ios::trunc) << text; }
  CliResult r = RunCaptured({"--explore", "--save", path.string()});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("was not saved: the search did not complete"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--save-partial"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(path), text);

  r = RunCaptured({"--explore", "--save-partial", path.string()});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(ReadFile(path), text);
  const CliResult listed = RunCaptured({path.string()});
  EXPECT_EQ(listed.status, 0) << listed.err;
  // The caption of the run and of the re-listing agree.
  EXPECT_EQ(r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1),
            listed.out.substr(listed.out.rfind('\n', listed.out.size() - 2) + 1));
}

TEST(Save, KeepsLinksModeAndRefusesReadOnlyFiles) {
  const fs::path path = Himmelblau();
  const fs::path link = path.parent_path() / "link.zvx";
  const fs::path hard = path.parent_path() / "hard.zvx";
  fs::create_symlink(path.filename(), link);
  fs::create_hard_link(path, hard);
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  CliResult r = RunCaptured({"--explore", "--save", link.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::hard_link_count(path), 2u);
  EXPECT_EQ(ReadFile(hard), ReadFile(path));
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  ASSERT_EQ(::chmod(path.c_str(), 0400), 0);
  const std::string before = ReadFile(path);
  r = RunCaptured({"--explore", "--save", path.string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("read-only"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(path), before);
}

TEST(Save, AFileChangedDuringTheRunIsNotOverwritten) {
  // The plot is drawn after the run and before the save: the test's renderer plays the
  // other program that changes the file meanwhile.
  const fs::path path = Himmelblau();
  const fs::path png = path.parent_path() / "plot.png";
  const std::string changed = ReadFile(path) + "\r\n";
  const CliResult r =
      RunCaptured({"--explore", "--save", "--plot", png.string(), path.string()},
                  [&](const Problem&, const std::vector<StationaryPoint>&, const std::string&) {
                    std::ofstream(path, std::ios::binary | std::ios::trunc) << changed;
                    return std::string();
                  });
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("was not saved: it was changed by another program"), std::string::npos)
      << r.err;
  EXPECT_EQ(ReadFile(path), changed);
}

TEST(Plot, ThePlotNeverReplacesTheProblemFile) {
  const fs::path path = Himmelblau();
  const fs::path link = path.parent_path() / "link.zvx";
  const fs::path hard = path.parent_path() / "hard.zvx";
  fs::create_symlink(path.filename(), link);
  fs::create_hard_link(path, hard);
  const std::string before = ReadFile(path);
  int drawn = 0;
  CliHost host;
  host.plot = [&](const Problem&, const std::vector<StationaryPoint>&, const std::string&) {
    ++drawn;
    return std::string();
  };
  for (const fs::path& target : {path, link, hard, path.parent_path() / "." / path.filename()}) {
    SCOPED_TRACE(target.string());
    const CliResult r = RunCaptured({"--plot", target.string(), path.string()}, host);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("the plot would replace the problem file"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_EQ(drawn, 0);
  EXPECT_EQ(ReadFile(path), before);
}

TEST(Output, AFailedWriteOfTheResultsIsAnError) {
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  char* errBuffer = nullptr;
  size_t errSize = 0;
  std::FILE* err = open_memstream(&errBuffer, &errSize);
  const fs::path path = Himmelblau();
  const std::string before = ReadFile(path);
  for (const std::vector<std::string>& args : {std::vector<std::string>{path.string()},
                                               {"--explore", "--save", path.string()},
                                               {"--report", path.string()},
                                               {"--eval", "1+1"}}) {
    EXPECT_EQ(RunCli(args, full, err), 2);
  }
  std::fclose(full);
  std::fclose(err);
  const std::string messages(errBuffer, errSize);
  std::free(errBuffer);
  EXPECT_NE(messages.find("cannot write the results to standard output: the disk is full"),
            std::string::npos)
      << messages;
  EXPECT_EQ(ReadFile(path), before) << "nothing is saved after results that could not be shown";
}

TEST(Output, APlotReceivesTheStationaryPointsOfTheRun) {
  const fs::path path = Himmelblau();
  size_t seen = 0;
  const fs::path png = path.parent_path() / "p.png";
  const CliResult r = RunCaptured(
      {"--random", "30", "--plot", png.string(), path.string()},
      [&](const Problem&, const std::vector<StationaryPoint>& points, const std::string&) {
        seen = points.size();
        return std::string();
      });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_GT(seen, 0u);
}

// The plot is of the problem as the run left it: its stored extrema are the run's, and
// every stored one is among the stationary points, marked stored.
TEST(Output, APlotReceivesTheProblemWithTheExtremaOfTheRun) {
  const fs::path path = Himmelblau();
  const fs::path png = path.parent_path() / "p.png";
  Problem drawn;
  std::vector<StationaryPoint> met;
  std::string target;
  const CliResult r =
      RunCaptured({"--explore", "--plot", png.string(), path.string()},
                  [&](const Problem& problem, const std::vector<StationaryPoint>& points,
                      const std::string& file) {
                    drawn = problem;
                    met = points;
                    target = file;
                    return std::string();
                  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(target, png.string());
  EXPECT_EQ(drawn.formula, "(x*x+y-11)*(x*x+y-11)+(x+y*y-7)*(x+y*y-7)");
  EXPECT_EQ(drawn.varNames, (std::vector<std::string>{"x", "y"}));
  // Himmelblau's function: one maximum and four minima in the box.
  EXPECT_EQ(drawn.maxCount(), 1);
  EXPECT_EQ(drawn.minCount(), 4);
  EXPECT_EQ(r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1), "1 max. 4 min. \n");
  size_t stored = 0;
  for (const StationaryPoint& p : met) {
    if (!p.stored) continue;
    ++stored;
    const auto& store = p.kind == PointKind::Maximum ? drawn.maxima : drawn.minima;
    bool found = false;
    for (const StoredPoint& s : store) found = found || (s[0] == p.point[0] && s[1] == p.point[1]);
    EXPECT_TRUE(found) << p.point[0] << ", " << p.point[1];
  }
  EXPECT_EQ(stored, 5u);
}

}  // namespace
}  // namespace quorvant::testing
