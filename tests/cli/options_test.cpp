// The runner's options, its exit statuses, its messages, and the examples.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <ostream>
#include <string>

#include "cli/prove_command.h"
#include "cli_test_util.h"
#include "docs/problem_file.h"

namespace quorvant::testing {
namespace {

const std::filesystem::path kData = QUORVANT_TEST_DATA;
const std::filesystem::path kExamples = QUORVANT_EXAMPLES;

std::filesystem::path WriteTemp(const std::string& name, const std::string& text) {
  const auto path = CopyToTemp(kData / "files" / "quad2_bowl.zvx").parent_path() / name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

struct UsageCase {
  const char* name;
  std::vector<std::string> args;
  const char* message;
};

void PrintTo(const UsageCase& c, std::ostream* os) {
  *os << c.name;
}

class BadUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(BadUsage, ExitsWithTwoAndSaysWhy) {
  const CliResult r = RunCaptured(GetParam().args);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("usage:"), std::string::npos);
  EXPECT_TRUE(r.out.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, BadUsage,
    ::testing::Values(
        UsageCase{"NoFile", {}, "name a problem file"},
        UsageCase{"ExploreAndRandom", {"--explore", "--random", "3", "f"}, "cannot be combined"},
        UsageCase{"ProveAndExplore", {"--prove", "--explore", "f"}, "--prove takes --threads"},
        UsageCase{"RandomNotANumber", {"--random", "x", "f"}, "whole number of trials"},
        UsageCase{"RandomZero", {"--random", "0", "f"}, "whole number of trials"},
        UsageCase{"RandomWithoutTrials", {"--random"}, "needs the number of trials"},
        UsageCase{"UnknownOption", {"--frobnicate", "f"}, "unknown option --frobnicate"},
        UsageCase{"TwoFiles", {"a", "b"}, "only one problem file"},
        UsageCase{"SaveAndSavePartial", {"--save", "--save-partial", "f"}, "are alternatives"},
        UsageCase{"EvalWithExplore", {"--eval", "1", "--explore"}, "--eval takes"},
        UsageCase{"PartSizeZero", {"--part-size", "0", "f"}, "--part-size needs a whole number"},
        UsageCase{"PartSizeFraction", {"--part-size", "2.5", "f"}, "--part-size needs a whole"},
        UsageCase{"PartSizeWithoutNumber", {"f", "--part-size"}, "--part-size needs the number"},
        UsageCase{"ProveMaxBoxesZero",
                  {"--prove", "--prove-max-boxes", "0", "f"},
                  "--prove-max-boxes needs a whole number"},
        UsageCase{"ProveMaxBoxesFraction",
                  {"--prove", "--prove-max-boxes", "1.5", "f"},
                  "--prove-max-boxes needs a whole number"},
        UsageCase{"ProveSecondsZero",
                  {"--prove", "--prove-seconds", "0", "f"},
                  "--prove-seconds needs a number of seconds above 0"},
        UsageCase{"ProveSecondsText",
                  {"--prove", "--prove-seconds", "soon", "f"},
                  "--prove-seconds needs a number of seconds above 0"},
        UsageCase{"ProveMinWidthAboveOne",
                  {"--prove", "--prove-min-width", "2", "f"},
                  "--prove-min-width needs a share of the box"},
        UsageCase{"ProveMinWidthWithoutNumber", {"--prove", "--prove-min-width"}, "needs a share"},
        UsageCase{"ProveBudgetWithoutProve",
                  {"--explore", "--prove-seconds", "1", "f"},
                  "go with --prove"}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.name); });

TEST(Files, UnreadableAndIncompatibleFiles) {
  CliResult r = RunCaptured({"/nonexistent/problem.zvx"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("/nonexistent/problem.zvx"), std::string::npos) << r.err;
  r = RunCaptured({WriteTemp("other.zvx", "zorvex\r\n").string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Incompatible file"), std::string::npos) << r.err;
}

TEST(Runs, RandomListsOneHeaderPerTrial) {
  const CliResult r =
      RunCaptured({"--random", "4", (kData / "files" / "saddle_start.zvx").string()});
  EXPECT_EQ(r.status, 0) << r.err;
  // Every start converges on the saddle at (0, 0), which is not listed: only the trial
  // headers, then the counts.
  EXPECT_EQ(r.out, "\nTRIAL1:\n\nTRIAL2:\n\nTRIAL3:\n\nTRIAL4:\n0 max. 0 min. \n");
}

TEST(Runs, RefusedProblemExitsWithTwo) {
  // A step of about 1 is lost in the rounding of values near 1E+17 (their spacing is 16).
  const auto path = WriteTemp(
      "lost.zvx",
      "Zorvex\r\n1,0,0,0.01,8,\"x^2\"\r\n\"x\",1E+17,1.00000000000001E+17,1000\r\n 0 \r\n");
  const CliResult r = RunCaptured({"--explore", path.string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("The grid of x from 1E+17 to 1.00000000000001E+17 in 1000 subintervals "
                       "cannot be walked: its step 0.992 is lost in the rounding"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(r.out.empty());
}

TEST(Runs, ScriptErrorExitsWithThreeAfterTheListingSoFar) {
  const auto path =
      WriteTemp("bad.zvx", "Zorvex\r\n1,0,0,0.01,8,\"x+*2\"\r\n\"x\",-1,1,4\r\n 0 \r\n");
  const CliResult r = RunCaptured({"--explore", path.string()});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "0 max. 0 min. \n");
  EXPECT_EQ(r.err.rfind("Error in Script Control: ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("At line 1, col 2: [x+*2]"), std::string::npos) << r.err;
}

struct EvalCase {
  const char* name;
  std::vector<std::string> args;
  const char* out;
  int status;
};

void PrintTo(const EvalCase& c, std::ostream* os) {
  *os << c.name;
}

class Eval : public ::testing::TestWithParam<EvalCase> {};

TEST_P(Eval, PrintsValueAndSubtype) {
  const CliResult r = RunCaptured(GetParam().args);
  EXPECT_EQ(r.status, GetParam().status) << r.err;
  EXPECT_EQ(r.out, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Expressions, Eval,
    ::testing::Values(
        EvalCase{"Integer", {"--eval", "2+2"}, "4 (Integer)\n", 0},
        EvalCase{"Power", {"--eval", "2^2"}, "4 (Double)\n", 0},
        EvalCase{"Comparison", {"--eval", "1 < 2"}, "True (Boolean)\n", 0},
        EvalCase{"Concatenation", {"--eval", "\"a\" & 1"}, "a1 (String)\n", 0},
        EvalCase{"Null", {"--eval", "Null"}, "Null (Null)\n", 0},
        EvalCase{"UnknownName", {"--eval", "nothing_here"}, "Empty (Empty)\n", 0},
        EvalCase{"StartUpConstant", {"--eval", "Asin(1) = halfpi"}, "True (Boolean)\n", 0},
        EvalCase{"DivisionByZero", {"--eval", "1/0"}, "error 11: Division by zero\n", 3},
        EvalCase{"OperandMissingAtTheEnd", {"--eval", "1 +"}, "error 1002: Syntax error\n", 3},
        // The extra functions' own failures count, as in a search.
        EvalCase{"ExtraFunctionInvalidArgument",
                 {"--eval", "Asin(2) + 1"},
                 "error 5: Invalid procedure call or argument\n",
                 3},
        EvalCase{"ExtraFunctionDivisionByZero",
                 {"--eval", "Atanh(1)"},
                 "error 11: Division by zero\n",
                 3}),
    [](const ::testing::TestParamInfo<EvalCase>& info) { return std::string(info.param.name); });

TEST(Eval, UsesTheConstantsOfTheFile) {
  const CliResult r = RunCaptured({"--eval", "a * w", (kExamples / "constants.zvx").string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "3 (Double)\n");
}

struct ExampleCase {
  const char* file;
  const char* caption;
  const char* option = "--explore";
};

void PrintTo(const ExampleCase& c, std::ostream* os) {
  *os << c.file;
}

class Examples : public ::testing::TestWithParam<ExampleCase> {};

TEST_P(Examples, RunAndFindTheirExtrema) {
  if (GetParam().option == std::string("--prove") && !ProveAvailable())
    GTEST_SKIP() << "built without Arb";
  const CliResult r = RunCaptured({GetParam().option, (kExamples / GetParam().file).string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;
  const auto last = r.out.rfind('\n', r.out.size() - 2);
  EXPECT_EQ(r.out.substr(last + 1), std::string(GetParam().caption) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Files, Examples,
                         ::testing::Values(ExampleCase{"quartic.zvx", "1 max. 2 min. "},
                                           ExampleCase{"himmelblau.zvx", "1 max. 4 min. "},
                                           ExampleCase{"saddle.zvx", "0 max. 2 min. "},
                                           ExampleCase{"constants.zvx", "3 max. 2 min. "}),
                         [](const ::testing::TestParamInfo<ExampleCase>& info) {
                           const std::string file = info.param.file;
                           return file.substr(0, file.find('.'));
                         });

// --prove on the examples: the verdict line closes the listing (the constants example's
// other extrema found by a search lie outside the box).
INSTANTIATE_TEST_SUITE_P(
    Prove, Examples,
    ::testing::Values(
        ExampleCase{"quartic.zvx",
                    "All 3 stationary points of the box are listed: 1 maximum, 2 minima, 0 "
                    "saddles (proven).",
                    "--prove"},
        ExampleCase{"saddle.zvx",
                    "All 3 stationary points of the box are listed: 0 maxima, 2 minima, 1 saddle "
                    "(proven).",
                    "--prove"},
        ExampleCase{"constants.zvx",
                    "All 4 stationary points of the box are listed: 1 maximum, 1 minimum, 2 "
                    "saddles (proven).",
                    "--prove"}),
    [](const ::testing::TestParamInfo<ExampleCase>& info) {
      const std::string file = info.param.file;
      return file.substr(0, file.find('.'));
    });

TEST(Prove, SavesTheProvenExtremaAndRefusesWhatIsNotSmooth) {
  if (!ProveAvailable()) GTEST_SKIP() << "built without Arb";
  const auto path = CopyToTemp(kExamples / "himmelblau.zvx");
  CliResult r = RunCaptured({"--prove", "--save", "--threads", "2", path.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\nMINIMUM AT:\nx=3\ny=2\nRADIUS="), std::string::npos) << r.out;
  Problem saved;
  std::string error;
  ASSERT_TRUE(LoadProblemFile(path.string(), saved, error)) << error;
  EXPECT_EQ(saved.maxCount(), 1);
  EXPECT_EQ(saved.minCount(), 4);
  // A count budget ends the proof with the rest listed, and is no failure.
  r = RunCaptured({"--prove", "--prove-max-boxes", "3", "--prove-min-width", "1E-06",
                   "--prove-seconds", "100", path.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("UNDECIDED: the budget of 3 sub-boxes was spent"), std::string::npos)
      << r.out;
  CliHost stopped;
  stopped.stopSignal = [] { return SIGINT; };
  r = RunCaptured({"--prove", "--save", path.string()}, stopped);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("the proof was stopped by SIGINT"), std::string::npos) << r.err;
  r = RunCaptured(
      {"--prove",
       WriteTemp("int.zvx", "Zorvex\r\n1,0,0,0.01,8,\"Int(x)\"\r\n\"x\",-1,1,4\r\n 0 \r\n")
           .string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Int is not differentiable: Prove needs a smooth formula"),
            std::string::npos)
      << r.err;
}

TEST(Prove, ComparesTheStoredExtremaWithTheProof) {
  if (!ProveAvailable()) GTEST_SKIP() << "built without Arb";
  CliResult r = RunCaptured({"--prove", (kData / "files" / "himmelblau.saved.zvx").string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("proven).\nEvery stored extremum is proven, and every proven extremum is "
                       "stored.\n"),
            std::string::npos)
      << r.out;
  // A stored "minimum" at the origin, which is no stationary point.
  r = RunCaptured({"--prove", WriteTemp("wrong.zvx",
                                        "Zorvex\r\n2,0,1,0.0001,20,\"(x*x+y-11)*(x*x+y-11)+(x+y*y-"
                                        "7)*(x+y*y-7)\"\r\n\"x\",-5,5,10\r\n\"y\",-5,5,10\r\n "
                                        "0 \r\n 0 \r\n 0 \r\n 1 \r\n")
                                  .string()});
  EXPECT_NE(r.out.find("The stored minimum at x=0, y=0 is not a proven minimum of the box.\n"
                       "The stored results miss 4 minima: (x="),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("The stored results miss 1 maximum: (x="), std::string::npos) << r.out;
}

}  // namespace
}  // namespace quorvant::testing
