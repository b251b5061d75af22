// What the program around the runner brings: Stop by a signal (the listing so far, the
// counts, a message, exit status 1, nothing saved unless asked), the progress of a run
// on a terminal, parts of any size, searchers of its own, and its name in messages.
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_test_util.h"
#include "engine/part_searcher.h"
#include "engine/search_engine.h"
#include "model/function_evaluator.h"

namespace quorvant::testing {
namespace {

const std::filesystem::path kData = QUORVANT_TEST_DATA;

std::string File(const char* name) {
  return (kData / "files" / name).string();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

// The counts caption the listing `lines` (caption excluded) calls for.
std::string CaptionFor(const std::vector<std::string>& lines) {
  int maxima = 0, minima = 0;
  for (const std::string& l : lines) {
    maxima += l == "MAXIMUM AT:";
    minima += l == "MINIMUM AT:";
  }
  return std::to_string(maxima) + " max. " + std::to_string(minima) + " min. ";
}

// Asks the run to stop with `signal` at poll number `after` + 1.
std::function<int()> StopAfter(long after, int signal) {
  auto polls = std::make_shared<long>(0);
  return [polls, after, signal] { return ++*polls > after ? signal : 0; };
}

struct StopCase {
  const char* name;
  std::vector<std::string> args;
  long polls;  // polls of Stop before it is asked
  int signal;
  bool random = false;
};

void PrintTo(const StopCase& c, std::ostream* os) {
  *os << c.name << " (stop after " << c.polls << " polls)";
}

class Stop : public ::testing::TestWithParam<StopCase> {};

// A stopped run also leaves its checkpoint (written after every part here): resumed,
// with another number of threads, it lists what the whole run lists.
TEST_P(Stop, ListsWhatWasFoundAndSaysSo) {
  const StopCase& c = GetParam();
  CliHost host;
  host.stopSignal = StopAfter(c.polls, c.signal);
  const std::string checkpoint = (TempDir() / "run.checkpoint").string();
  std::vector<std::string> checkpointed = {"--checkpoint", checkpoint, "--checkpoint-every", "0"};
  checkpointed.insert(checkpointed.end(), c.args.begin(), c.args.end());
  const CliResult r = RunCaptured(checkpointed, host);
  std::vector<std::string> resumeArgs = c.args;
  resumeArgs.insert(resumeArgs.begin(), {"--resume", checkpoint, "--threads", "2"});
  const CliResult resumed = RunCaptured(resumeArgs);
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_EQ(r.status, kExitStopped);
  const std::string name = c.signal == SIGINT ? "SIGINT" : "SIGTERM";
  EXPECT_EQ(r.err, "quorvant-cli: the run was stopped by " + name +
                       ": the listing holds what was found before it.\n");
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_FALSE(lines.empty());
  const std::string caption = lines.back();
  lines.pop_back();
  EXPECT_EQ(caption, CaptionFor(lines));
  if (c.random) {
    // Trial headers in order, fewer than asked for.
    int trials = 0;
    for (const std::string& l : lines)
      if (l.rfind("TRIAL", 0) == 0) {
        EXPECT_EQ(l, "TRIAL" + std::to_string(++trials) + ":");
      }
    EXPECT_LT(trials, 1000);
    // Resumed: every trial, in order, once.
    trials = 0;
    for (const std::string& l : Lines(resumed.out))
      if (l.rfind("TRIAL", 0) == 0) {
        EXPECT_EQ(l, "TRIAL" + std::to_string(++trials) + ":");
      }
    EXPECT_EQ(trials, 1000);
    return;
  }
  // What was listed is the beginning of what the whole run lists.
  std::vector<std::string> args = c.args;
  const CliResult whole = RunCaptured(args);
  ASSERT_EQ(whole.status, 0) << whole.err;
  std::vector<std::string> all = Lines(whole.out);
  ASSERT_LE(lines.size(), all.size());
  EXPECT_TRUE(std::equal(lines.begin(), lines.end(), all.begin()));
  EXPECT_EQ(resumed.out, whole.out);
  // Stopped at more moments, resumed on one thread: the same listing every time.
  for (long k = 1; k <= 5; ++k) {
    host.stopSignal = StopAfter(c.polls * k / 3, c.signal);
    std::filesystem::remove(checkpoint);
    RunCaptured(checkpointed, host);
    resumeArgs[3] = "1";
    EXPECT_EQ(RunCaptured(resumeArgs).out, whole.out) << "stopped after " << c.polls * k / 3;
  }
}

// A checkpoint that is damaged, cut, of another run or no checkpoint at all is refused
// with the reason, and nothing is run.
TEST(Resume, RefusesWhatCannotBeResumed) {
  const std::string problem = File("himmelblau.zvx");
  const std::string checkpoint = (TempDir() / "run.checkpoint").string();
  CliHost host;
  host.stopSignal = StopAfter(30, SIGTERM);
  RunCaptured({"--explore", "--part-size", "9", "--checkpoint", checkpoint, "--checkpoint-every",
               "0", problem},
              host);
  const std::string good = ReadFile(checkpoint);
  ASSERT_EQ(good.rfind("Quorvant checkpoint 1\n", 0), 0u) << good;
  struct Refusal {
    std::string text;
    std::vector<std::string> options;
    const char* says;
  };
  std::string flipped = good;
  flipped[good.find("committed ") + 10] ^= 1;
  const Refusal refusals[] = {
      {flipped, {"--explore"}, "its check sum does not match"},
      {good.substr(0, good.size() / 2), {"--explore"}, "cannot be resumed:"},
      {good, {"--explore", "--info"}, "it belongs to another run"},
      {good, {"--random", "5"}, "it belongs to another run"},
      {"Zorvex\r\n", {"--explore"}, "it is not a checkpoint of this program"},
      {good.substr(0, good.find("lines ")) + "lines 1\n4 \x1b[2J\nend 0\n",
       {"--explore"},
       "a line of its listing holds a control character"},
  };
  for (const Refusal& f : refusals) {
    SCOPED_TRACE(f.says);
    std::ofstream(checkpoint, std::ios::binary) << f.text;
    std::vector<std::string> args = f.options;
    args.insert(args.end(), {"--resume", checkpoint, problem});
    const CliResult r = RunCaptured(args);
    EXPECT_EQ(r.status, kExitUsage);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(f.says), std::string::npos) << r.err;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Stop,
    ::testing::Values(StopCase{"BeforeTheRun", {"--explore", File("himmelblau.zvx")}, 0, SIGINT},
                      StopCase{"ExploreOneThread",
                               {"--explore", "--info", "--threads", "1", "--part-size", "9",
                                File("himmelblau.zvx")},
                               60,
                               SIGINT},
                      StopCase{"ExploreThreeThreads",
                               {"--explore", "--info", "--threads", "3", "--part-size", "7",
                                File("himmelblau.zvx")},
                               5,
                               SIGTERM},
                      // Its problems section and the working values a failure leaves
                      // must come through a checkpoint.
                      StopCase{"ExploreIterationCapOne",
                               {"--explore", "--info", "--threads", "1", "--part-size", "5",
                                File("quad2_cap1.zvx")},
                               40,
                               SIGTERM},
                      StopCase{"ExploreToleratedFailures",
                               {"--explore", "--info", "--threads", "1", "--part-size", "11",
                                (kData / "problems" / "tolerated_failures.zvx").string()},
                               150,
                               SIGTERM},
                      StopCase{"RandomOneThread",
                               {"--random", "1000", "--threads", "1", File("himmelblau.zvx")},
                               200,
                               SIGTERM,
                               true},
                      StopCase{"RandomTwoThreads",
                               {"--random", "1000", "--threads", "2", File("himmelblau.zvx")},
                               3,
                               SIGINT,
                               true}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

TEST(StopAndSave, ASaveOfAStoppedRunNeedsSavePartial) {
  const auto copy = CopyToTemp(kData / "files" / "himmelblau.saved.zvx");
  const std::string before = ReadFile(copy);
  CliHost host;
  host.stopSignal = StopAfter(0, SIGTERM);
  CliResult r = RunCaptured({"--explore", "--save", copy.string()}, host);
  EXPECT_EQ(r.status, kExitStopped);
  EXPECT_NE(r.err.find("was not saved: the search did not complete"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(copy), before);

  host.stopSignal = StopAfter(0, SIGTERM);
  r = RunCaptured({"--explore", "--save-partial", copy.string()}, host);
  EXPECT_EQ(r.status, kExitStopped);
  EXPECT_NE(ReadFile(copy), before);
  // Stopped before the first point: the file holds no extrema any more.
  EXPECT_EQ(RunCaptured({copy.string()}).out, "0 max. 0 min. \n");
}

struct ProgressLineCase {
  const char* name;
  bool explore;
  int64_t done, total, starts;
  double elapsed;
  const char* line;
};

void PrintTo(const ProgressLineCase& c, std::ostream* os) {
  *os << c.name;
}

class ProgressLines : public ::testing::TestWithParam<ProgressLineCase> {};

TEST_P(ProgressLines, SayWhereTheRunIs) {
  const ProgressLineCase& c = GetParam();
  EXPECT_EQ(ProgressLine(c.explore, c.done, c.total, c.starts, c.elapsed), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ProgressLines,
    ::testing::Values(ProgressLineCase{"NothingDone", true, 0, 100, 0, 5,
                                       "0 of 100 points (0%), 0 starts, time left unknown"},
                      ProgressLineCase{"Seconds", true, 25, 100, 1, 10,
                                       "25 of 100 points (25%), 1 start, about 30 s left"},
                      ProgressLineCase{"Minutes", false, 50, 200, 50, 120,
                                       "50 of 200 trials (25%), 50 starts, about 6 min 0 s left"},
                      ProgressLineCase{"Hours", true, 1, 1000, 3, 10,
                                       "1 of 1000 points (0%), 3 starts, about 2 h 46 min left"},
                      ProgressLineCase{"AllDone", true, 7, 7, 2, 1,
                                       "7 of 7 points (100%), 2 starts, time left unknown"}),
    [](const ::testing::TestParamInfo<ProgressLineCase>& info) {
      return std::string(info.param.name);
    });

bool IsNumber(const std::string& t) {
  return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
}

// "N of T points (P%), S starts, about ... left" (or "time left unknown"), padded with
// blanks.
bool IsProgressLine(std::string line) {
  line.erase(line.find_last_not_of(' ') + 1);
  std::istringstream in(line);
  std::string done, of, total, what, percent, count, startWord, rest;
  in >> done >> of >> total >> what >> percent >> count >> startWord;
  std::getline(in, rest);
  const bool unknown = rest == " time left unknown";
  const bool estimate =
      rest.size() > 12 && rest.rfind(" about ", 0) == 0 &&
      rest.substr(rest.size() - 5) == " left" &&
      rest.substr(7, rest.size() - 12).find_first_not_of("0123456789 hmins") == std::string::npos;
  return IsNumber(done) && of == "of" && IsNumber(total) &&
         (what == "points" || what == "trials") && percent.size() >= 5 && percent.front() == '(' &&
         percent.substr(percent.size() - 3) == "%)," &&
         IsNumber(percent.substr(1, percent.size() - 4)) && IsNumber(count) &&
         (startWord == "start," || startWord == "starts,") && (unknown || estimate);
}

TEST(ProgressLineCheck, RecognisesWhatTheRunnerWrites) {
  EXPECT_TRUE(IsProgressLine("25 of 100 points (25%), 1 start, about 30 s left   "));
  EXPECT_TRUE(IsProgressLine("0 of 100 trials (0%), 0 starts, time left unknown"));
  EXPECT_TRUE(IsProgressLine("1 of 1000 points (0%), 3 starts, about 2 h 46 min left"));
  EXPECT_FALSE(IsProgressLine("25 of 100 points (25%), 1 start, about 30 s"));
  EXPECT_FALSE(IsProgressLine("25 of points (25%), 1 start, about 30 s left"));
  EXPECT_FALSE(IsProgressLine("MINIMUM AT:"));
}

struct ProgressCase {
  const char* name;
  std::vector<std::string> args;
  double tick;          // seconds the clock moves at each reading
  bool shared = false;  // the results go to the same terminal
};

void PrintTo(const ProgressCase& c, std::ostream* os) {
  *os << c.name << " (" << c.tick << " s a reading)";
}

class Progress : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(Progress, ShowsAtMostOnceASecondAndLeavesNothingBehind) {
  const ProgressCase& c = GetParam();
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* progress = open_memstream(&buffer, &size);
  CliHost host;
  host.progress = progress;
  host.resultsShareTerminal = c.shared;
  auto now = std::make_shared<double>(0);
  auto readings = std::make_shared<int>(0);
  host.clock = [now, readings, tick = c.tick] {
    ++*readings;
    return *now += tick;
  };
  const CliResult r = RunCaptured(c.args, host);
  std::fclose(progress);
  const std::string shown(buffer, size);
  std::free(buffer);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;
  // The results are what a run without progress lists (random starts differ from run
  // to run).
  if (c.args[0] == "--explore") {
    EXPECT_EQ(r.out, RunCaptured(c.args).out);
  }

  // Every update begins with a carriage return; the last one erases the line.
  std::vector<std::string> updates;
  for (size_t at = 0; at < shown.size();) {
    ASSERT_EQ(shown[at], '\r') << shown;
    const size_t next = shown.find('\r', at + 1);
    updates.push_back(
        shown.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1));
    at = next == std::string::npos ? shown.size() : next;
  }
  const double seconds = *readings * c.tick;
  if (c.tick < 1.0 && seconds < 1.0) {
    EXPECT_TRUE(shown.empty()) << shown;
    return;
  }
  ASSERT_FALSE(updates.empty());

  size_t lines = 0, erasures = 0;
  for (const std::string& u : updates) {
    if (u.empty()) continue;  // the carriage return that closes an erasure
    if (u.find_first_not_of(' ') == std::string::npos) {
      ++erasures;
      continue;
    }
    EXPECT_TRUE(IsProgressLine(u)) << u;
    ++lines;
  }
  // Results that go elsewhere leave the line alone until the end; results on the same
  // terminal erase it before they are written (this run lists some).
  if (c.shared) {
    EXPECT_GT(erasures, 1u) << shown;
  } else {
    EXPECT_EQ(erasures, 1u) << shown;
  }
  EXPECT_GT(lines, 0u);
  EXPECT_LE(static_cast<double>(lines), seconds / 1.0);
  // The run ends with the line erased.
  ASSERT_GE(updates.size(), 2u);
  EXPECT_TRUE(updates.back().empty()) << shown;
  const std::string& erasure = updates[updates.size() - 2];
  EXPECT_FALSE(erasure.empty()) << shown;
  EXPECT_EQ(erasure.find_first_not_of(' '), std::string::npos) << shown;
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Progress,
    ::testing::Values(
        ProgressCase{"ExploreSlowClock",
                     {"--explore", "--threads", "1", "--part-size", "5", File("himmelblau.zvx")},
                     0.3},
        ProgressCase{"ExploreFastClock",
                     {"--explore", "--threads", "2", "--part-size", "5", File("himmelblau.zvx")},
                     1.7},
        ProgressCase{"ExploreResultsOnTheSameTerminal",
                     {"--explore", "--threads", "1", "--part-size", "5", File("himmelblau.zvx")},
                     1.1,
                     true},
        ProgressCase{
            "RandomFastClock", {"--random", "300", "--threads", "1", File("himmelblau.zvx")}, 2.5},
        ProgressCase{"NeverASecond",
                     {"--explore", "--threads", "1", "--part-size", "5", File("himmelblau.zvx")},
                     1e-9}),
    [](const ::testing::TestParamInfo<ProgressCase>& info) {
      return std::string(info.param.name);
    });

struct PartSizeCase {
  const char* name;
  int threads;
  int partSize;
};

void PrintTo(const PartSizeCase& c, std::ostream* os) {
  *os << c.threads << " threads, parts of " << c.partSize;
}

class PartSizes : public ::testing::TestWithParam<PartSizeCase> {};

TEST_P(PartSizes, ListWhatTheGoldenRunLists) {
  const PartSizeCase& c = GetParam();
  for (const char* problem : {"himmelblau", "quad3_negdef", "saddle_start"}) {
    SCOPED_TRACE(problem);
    const CliResult r =
        RunCaptured({"--explore", "--info", "--threads", std::to_string(c.threads), "--part-size",
                     std::to_string(c.partSize), File((std::string(problem) + ".zvx").c_str())});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, ReadFile(kData / "golden" / (std::string(problem) + ".explore-info.out")));
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, PartSizes,
                         ::testing::Values(PartSizeCase{"OneThreadOnePoint", 1, 1},
                                           PartSizeCase{"ThreeThreadsOnePoint", 3, 1},
                                           PartSizeCase{"TwoThreadsSeven", 2, 7},
                                           PartSizeCase{"TwoThreadsHuge", 2, 1000000}),
                         [](const ::testing::TestParamInfo<PartSizeCase>& info) {
                           return std::string(info.param.name);
                         });

// Searches with threads of this process, and counts what it was asked.
struct CountingSearcher final : PartSearcher {
  CountingSearcher(int threads, FunctionFactory factory, int& begun)
      : inner(MakeThreadSearcher(threads, std::move(factory))), begun(begun) {}
  void Begin(const RunPlan& plan, int64_t ahead) override {
    ++begun;
    inner->Begin(plan, ahead);
  }
  std::optional<PartOutcome> Take(int64_t index, const std::function<bool()>& stop) override {
    return inner->Take(index, stop);
  }
  void Committed(int64_t index) override { inner->Committed(index); }
  void End() override { inner->End(); }
  int width() const override { return inner->width(); }
  std::unique_ptr<PartSearcher> inner;
  int& begun;
};

struct SearcherCase {
  const char* name;
  std::vector<std::string> args;
  int status;
  int begun;             // runs handed to the searcher
  const char* expected;  // golden output, or a text the error holds
};

void PrintTo(const SearcherCase& c, std::ostream* os) {
  *os << c.name;
}

class HostSearcher : public ::testing::TestWithParam<SearcherCase> {};

TEST_P(HostSearcher, SearchesTheRunOrIsNeverAsked) {
  const SearcherCase& c = GetParam();
  int made = 0, begun = 0, threadsAsked = -1;
  CliHost host;
  host.searcher = [&](const FunctionEvaluator& evaluator, int threads) {
    ++made;
    threadsAsked = threads;
    return std::unique_ptr<PartSearcher>(
        std::make_unique<CountingSearcher>(3, evaluator.Copies(), begun));
  };
  const CliResult r = RunCaptured(c.args, host);
  EXPECT_EQ(r.status, c.status) << r.err;
  EXPECT_EQ(begun, c.begun);
  if (c.status == 0) {
    // Only a search makes one.
    EXPECT_EQ(made, c.begun);
    if (made > 0) {
      EXPECT_EQ(threadsAsked, 2);
    }
    EXPECT_EQ(r.out, ReadFile(kData / "golden" / c.expected));
  } else {
    EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, HostSearcher,
    ::testing::Values(
        SearcherCase{"Explore",
                     {"--explore", "--threads", "2", "--part-size", "6", File("himmelblau.zvx")},
                     0,
                     1,
                     "himmelblau.explore.out"},
        SearcherCase{"BadUsage",
                     {"--explore", "--threads", "0", File("himmelblau.zvx")},
                     2,
                     0,
                     "--threads needs"},
        SearcherCase{"MissingFile", {"--explore", "/nonexistent/x.zvx"}, 2, 0, "Cannot open"},
        SearcherCase{"ListingOnly", {File("himmelblau.saved.zvx")}, 0, 0, "himmelblau.open.out"}),
    [](const ::testing::TestParamInfo<SearcherCase>& info) {
      return std::string(info.param.name);
    });

TEST(ProgramName, BeginsEveryMessageAndTheUsage) {
  CliHost host;
  host.program = "quorvant-mpi";
  const CliResult r = RunCaptured({"--frobnicate"}, host);
  EXPECT_EQ(r.status, kExitUsage);
  EXPECT_EQ(r.err.rfind("quorvant-mpi: unknown option --frobnicate (try quorvant-mpi "
                        "--help)\nusage: quorvant-mpi ",
                        0),
            0u)
      << r.err;
  EXPECT_NE(r.err.find("\n       quorvant-mpi --eval EXPR [FILE]\n"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("quorvant-cli"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace quorvant::testing
