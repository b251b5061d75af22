// quorvant-mpi under mpirun, 2 and 3 ranks on this machine, against quorvant-cli: the
// same listing, caption, saved file, exit status and messages, for the golden problems
// and for generated ones (1 to 6 variables, failures over part of the grid, a full
// store, random starts, refusals). Faults end the job instead of hanging it: a rank
// killed mid-run or at once, a worker or rank 0 that goes silent, SIGINT and SIGTERM to
// mpirun; whenever rank 0 is there to do so it lists whole blocks of what it had
// committed, their caption, and says what ended the run.
//
// Open MPI is run the way a container allows: local launch only, shared memory between
// the ranks, more ranks than cores allowed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace quorvant::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kData = QUORVANT_TEST_DATA;
const std::string kMpiexec = QUORVANT_MPIEXEC;
const std::string kMpiProgram = QUORVANT_MPI_PROGRAM;
const std::string kCliProgram = QUORVANT_CLI_PROGRAM;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

fs::path Scratch() {
  static int counter = 0;
  const fs::path dir =
      fs::temp_directory_path() /
      ("quorvant-mpi-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  // Emptied first: an earlier process with the same number may have left it behind.
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

fs::path WriteFile(const fs::path& dir, const std::string& name, const std::string& text) {
  const fs::path path = dir / name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// A process started in a process group of its own, its output in files.
struct Process {
  pid_t pid = -1;
  fs::path out, err;
};

struct Ended {
  bool finished = false;  // false: still running when the wait ran out (then killed)
  int status = -1;        // exit status, or 128 + the signal that ended it
  std::string out, err;
};

// `errAppends`: stderr goes to the end of what its file already holds.
Process Start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
              const std::string& errAppends = {}) {
  Process p;
  const fs::path dir = Scratch();
  p.out = dir / "stdout";
  p.err = dir / "stderr";
  if (!errAppends.empty()) WriteFile(dir, "stderr", errAppends);
  p.pid = fork();
  if (p.pid == 0) {
    setpgid(0, 0);
    const int out = open(p.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err =
        open(p.err.c_str(), O_WRONLY | O_CREAT | (errAppends.empty() ? O_TRUNC : O_APPEND), 0644);
    const int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  return p;
}

// Waits for the process at most `limit` seconds (a guard against a hang, not a
// measure); kills its process group if it is still running then.
Ended Wait(const Process& p, double limit = 120) {
  Ended e;
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(limit);
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(p.pid, &status, WNOHANG);
    if (done == p.pid) {
      e.finished = true;
      break;
    }
    if (std::chrono::steady_clock::now() > until) {
      kill(-p.pid, SIGKILL);
      waitpid(p.pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Whatever mpirun left behind in its group goes too.
  kill(-p.pid, SIGKILL);
  e.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  e.out = ReadFile(p.out);
  e.err = ReadFile(p.err);
  return e;
}

// The settings that let Open MPI start in a container: local launch, shared memory.
const std::vector<std::string> kMpiEnvironment = {
    "OMPI_MCA_plm=isolated",
    "OMPI_MCA_btl=self,vader",
    "OMPI_MCA_pml=ob1",
    "OMPI_MCA_btl_vader_single_copy_mechanism=none",
    "OMPI_MCA_rmaps_base_oversubscribe=1",
#ifdef QUORVANT_MPI_LEAKS_UNCHECKED
    // Open MPI's own plugins leave allocations behind and are unloaded before the leak
    // check could name them; AddressSanitizer's other checks stay on.
    "LSAN_OPTIONS=detect_leaks=0",
#endif
};

std::vector<std::string> MpiCommand(int ranks, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {kMpiexec, "--oversubscribe"};
  if (geteuid() == 0) argv.push_back("--allow-run-as-root");
  argv.insert(argv.end(), {"-n", std::to_string(ranks), kMpiProgram});
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

// The job's settings: the container's, then `extra`, which wins where both set one.
std::vector<std::string> MpiEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> env = kMpiEnvironment;
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

// The ranks talk over TCP on the loopback address instead of shared memory, as ranks on
// different machines do.
const std::vector<std::string> kOverTcp = {"OMPI_MCA_btl=tcp,self",
                                           "OMPI_MCA_btl_tcp_if_include=lo"};

Ended RunMpi(int ranks, const std::vector<std::string>& args,
             const std::vector<std::string>& env = {}) {
  return Wait(Start(MpiCommand(ranks, args), MpiEnvironment(env)));
}

Ended RunCli(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {kCliProgram};
  argv.insert(argv.end(), args.begin(), args.end());
  return Wait(Start(argv));
}

// Rank 0's messages, as quorvant-cli words them: mpirun's own notices (framed by lines
// of dashes) are left out, and the program's name is quorvant-cli's.
std::string Messages(const std::string& err) {
  std::istringstream in(err);
  std::string line, out;
  bool notice = false;
  while (std::getline(in, line)) {
    if (line.rfind("-----", 0) == 0) {
      notice = !notice;
      continue;
    }
    if (notice) continue;
    if (line.rfind("quorvant-mpi", 0) == 0) line.replace(0, 12, "quorvant-cli");
    const size_t usage = line.find("usage: quorvant-mpi");
    if (usage != std::string::npos) line.replace(usage + 7, 12, "quorvant-cli");
    const size_t eval = line.find("       quorvant-mpi --eval");
    if (eval != std::string::npos) line.replace(eval + 7, 12, "quorvant-cli");
    const size_t help = line.find("(try quorvant-mpi --help)");
    if (help != std::string::npos) line.replace(help + 5, 12, "quorvant-cli");
    out += line + "\n";
  }
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The job and quorvant-cli agree: output, status and messages.
void ExpectSameAsCli(const Ended& mpi, const Ended& cli) {
  ASSERT_TRUE(mpi.finished) << "quorvant-mpi did not end:\n" << mpi.err;
  ASSERT_TRUE(cli.finished);
  EXPECT_EQ(mpi.status, cli.status) << mpi.err;
  EXPECT_EQ(mpi.out, cli.out);
  EXPECT_EQ(Messages(mpi.err), cli.err);
}

TEST(MpiJob, Starts) {
  const Ended e = RunMpi(2, {"--eval", "1+1"});
  ASSERT_TRUE(e.finished && e.status == 0 && e.out == "2 (Integer)\n")
      << "MPI could not start quorvant-mpi on 2 ranks with " << kMpiexec << " (exit status "
      << e.status << "):\n"
      << e.out << e.err;
}

// Rank 0 looks at what mpirun's stderr is (a terminal, for the progress) without
// touching it: a file it goes to keeps what it held.
TEST(MpiJob, LeavesTheFileOfItsStderrAlone) {
  std::vector<std::string> env = kMpiEnvironment;
  const Ended e = Wait(Start(MpiCommand(2, {"--frobnicate"}), env, "written before\n"));
  ASSERT_TRUE(e.finished);
  EXPECT_EQ(e.status, 2);
  EXPECT_EQ(
      e.err.rfind(
          "written before\nquorvant-mpi: unknown option --frobnicate (try quorvant-mpi --help)\n",
          0),
      0u)
      << e.err;
}

#ifdef QUORVANT_HAVE_PLOT
// --plot, drawn by rank 0 with the module beside the runners.
TEST(MpiJob, DrawsThePlot) {
  const fs::path png = Scratch() / "plot.png";
  const Ended e = RunMpi(
      2, {"--random", "5", "--plot", png.string(), (kData / "files" / "himmelblau.zvx").string()});
  ASSERT_TRUE(e.finished);
  EXPECT_EQ(e.status, 0) << e.err;
  EXPECT_EQ(ReadFile(png).substr(0, 4), "\x89PNG");
}
#endif

// --- the golden problems ------------------------------------------------------------

struct GoldenCase {
  std::string problem;
  int ranks;
  int partSize;      // 0: the run chooses
  bool tcp = false;  // the listings over TCP instead of shared memory
};

void PrintTo(const GoldenCase& c, std::ostream* os) {
  *os << c.problem << " on " << c.ranks << " ranks, parts of " << c.partSize;
}

std::vector<GoldenCase> GoldenCases() {
  std::vector<GoldenCase> cases;
  for (const char* p : {"quad2_bowl", "quad2_cap1", "himmelblau", "saddle_start", "poly1_quartic",
                        "quad3_negdef"}) {
    cases.push_back({p, 2, 0});
    cases.push_back({p, 3, 5});
  }
  cases.push_back({"himmelblau", 3, 7, true});
  return cases;
}

class Golden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, ListsAndSavesWhatQuorvantCliDoes) {
  const GoldenCase& c = GetParam();
  const fs::path file = kData / "files" / (c.problem + ".zvx");
  std::vector<std::string> sizes;
  if (c.partSize > 0) sizes = {"--part-size", std::to_string(c.partSize)};
  for (const std::vector<std::string>& mode :
       {std::vector<std::string>{"--explore"}, std::vector<std::string>{"--explore", "--info"}}) {
    std::vector<std::string> args = mode;
    args.insert(args.end(), sizes.begin(), sizes.end());
    args.push_back(file.string());
    SCOPED_TRACE(mode.back());
    const Ended mpi = RunMpi(c.ranks, args, c.tcp ? kOverTcp : std::vector<std::string>{});
    ExpectSameAsCli(mpi, RunCli(args));
    // And both are the recorded golden output.
    EXPECT_EQ(mpi.out,
              ReadFile(kData / "golden" /
                       (c.problem + (mode.size() == 1 ? ".explore.out" : ".explore-info.out"))));
  }
  // The saved file, byte for byte.
  const fs::path mine = Scratch() / "p.zvx", theirs = Scratch() / "p.zvx";
  fs::copy_file(file, mine);
  fs::copy_file(file, theirs);
  std::vector<std::string> args = {"--explore", "--save"};
  args.insert(args.end(), sizes.begin(), sizes.end());
  ExpectSameAsCli(RunMpi(c.ranks,
                         [&] {
                           auto a = args;
                           a.push_back(mine.string());
                           return a;
                         }()),
                  RunCli([&] {
                    auto a = args;
                    a.push_back(theirs.string());
                    return a;
                  }()));
  EXPECT_EQ(ReadFile(mine), ReadFile(theirs));
  EXPECT_EQ(ReadFile(mine), ReadFile(kData / "files" / (c.problem + ".saved.zvx")));
}

INSTANTIATE_TEST_SUITE_P(Problems, Golden, ::testing::ValuesIn(GoldenCases()),
                         [](const ::testing::TestParamInfo<GoldenCase>& info) {
                           return info.param.problem + "_" + std::to_string(info.param.ranks) +
                                  "ranks" + (info.param.tcp ? "_tcp" : "");
                         });

// --- generated problems ---------------------------------------------------------------

struct GeneratedCase {
  std::string name;
  std::string file;  // the problem file's text
  std::vector<std::string> args;
  int ranks;
  bool random = false;  // random starts: compared by their trial headers
};

void PrintTo(const GeneratedCase& c, std::ostream* os) {
  *os << c.name << " on " << c.ranks << " ranks";
}

// A problem file of `n` variables named x1..xn, each over [lower, upper] in `sub`
// subintervals.
std::string ProblemText(int n, const std::string& formula, double lower, double upper, int sub,
                        double errorBound = 0.0001, int cycles = 20) {
  std::ostringstream s;
  s << "Zorvex\r\n" << n << ",0,0," << errorBound << "," << cycles << ",\"" << formula << "\"\r\n";
  for (int i = 1; i <= n; ++i)
    s << "\"x" << i << "\"," << lower << "," << upper << "," << sub << "\r\n";
  s << " 0 \r\n";
  return s.str();
}

// A double well along every axis, coupled so that no two axes are alike: 2^n minima.
std::string Wells(int n) {
  std::string f;
  for (int i = 1; i <= n; ++i) {
    const std::string x = "x" + std::to_string(i);
    f += (i > 1 ? "+" : "") + x + "*" + x + "*" + x + "*" + x + "/4-" + x + "*" + x + "/2";
    if (i > 1) f += "+0.0" + std::to_string(i) + "*x1*" + x;
  }
  return f;
}

std::vector<GeneratedCase> GeneratedCases() {
  std::vector<GeneratedCase> cases;
  // Subintervals per variable count, so that every grid stays small.
  const int subs[] = {0, 400, 40, 14, 8, 6, 4};
  for (int n = 1; n <= 6; ++n) {
    const std::string file = ProblemText(n, Wells(n), -2, 2, subs[n]);
    cases.push_back({"Wells" + std::to_string(n), file, {"--explore", "--info"}, 2 + n % 2});
    cases.push_back({"Wells" + std::to_string(n) + "SmallParts",
                     file,
                     {"--explore", "--part-size", "13", "--threads", "2"},
                     3 - n % 2});
  }
  // Log fails where x1 <= 0 (tolerated): parts depend on values the part before left.
  cases.push_back({"ToleratedFailures",
                   ProblemText(2, "Log(x1) + (x2-1)^2 + Sin(3*x1)", -2, 4, 60, 0.01, 8),
                   {"--explore", "--info", "--part-size", "17"},
                   3});
  // A type mismatch where x1 > 2 and x2 > 2 ends the run: the message and status 3.
  cases.push_back(
      {"FailureEndsTheRun",
       ProblemText(2, "(x1-1)^2+(x2+1)^2+0*CDbl(Hex(-10*(x1>2 And x2>2)))", -3, 3, 40, 0.01, 8),
       {"--explore", "--part-size", "11"},
       3});
  // A value that is a text (empty where x1 > 1.5) ends the run with the runner's own
  // message.
  cases.push_back(
      {"TextEndsTheRun",
       ProblemText(2, "Mid(CStr(x1*x1+x2*x2), 1, 30 + 30*(x1 > 1.5))", -3, 3, 30, 0.01, 8),
       {"--explore", "--info", "--part-size", "7"},
       2});
  // 120 minima in the box, room for 100: the store fills and the run ends.
  cases.push_back({"FullStore",
                   ProblemText(1, "Cos(x1)", 1, 240 * 3.14159265358979, 960, 0.01, 8),
                   {"--explore", "--info", "--part-size", "50"},
                   3});
  cases.push_back({"FullStoreSaved",
                   ProblemText(1, "Cos(x1)", 1, 240 * 3.14159265358979, 960, 0.01, 8),
                   {"--explore", "--save-partial"},
                   2});
  // Singular systems read steps an earlier start left.
  cases.push_back({"Singular",
                   ProblemText(2, "x1^2", -3, 3, 30, 0.01, 8),
                   {"--explore", "--info", "--part-size", "9"},
                   3});
  // Prove: rounds decided across the ranks list what one process lists, also when a
  // count budget ends the proof, and save the same file.
  const std::string rastrigin = ProblemText(
      2, "20+x1^2-10*Cos(6.28318530717959*x1)+x2^2-10*Cos(6.28318530717959*x2)", -5.12, 5.12, 4);
  cases.push_back({"Prove", rastrigin, {"--prove"}, 3});
  cases.push_back({"ProveSaved", ProblemText(3, Wells(3), -2, 2, 4), {"--prove", "--save"}, 2});
  cases.push_back(
      {"ProveBudget", rastrigin, {"--prove", "--prove-max-boxes", "1000", "--threads", "2"}, 2});
  cases.push_back(
      {"ProveFailsAlongALine", ProblemText(2, "x1*Log(x1)+x2^2", -1, 1, 4), {"--prove"}, 3});
  cases.push_back({"Random",
                   ProblemText(2, "(x1*x1+x2-11)^2+(x1+x2*x2-7)^2", -5, 5, 4),
                   {"--random", "60"},
                   3,
                   true});
  cases.push_back(
      {"RandomInfo", ProblemText(3, Wells(3), -2, 2, 4), {"--random", "25", "--info"}, 2, true});
  return cases;
}

class Generated : public ::testing::TestWithParam<GeneratedCase> {};

TEST_P(Generated, GiveWhatQuorvantCliGives) {
  const GeneratedCase& c = GetParam();
  const fs::path dir = Scratch();
  const fs::path mine = WriteFile(dir, "mine.zvx", c.file);
  const fs::path theirs = WriteFile(dir, "theirs.zvx", c.file);
  std::vector<std::string> mpiArgs = c.args, cliArgs = c.args;
  mpiArgs.push_back(mine.string());
  cliArgs.push_back(theirs.string());
  const Ended mpi = RunMpi(c.ranks, mpiArgs);
  const Ended cli = RunCli(cliArgs);
  if (!c.random) {
    ExpectSameAsCli(mpi, cli);
    EXPECT_EQ(ReadFile(mine), ReadFile(theirs));
    EXPECT_FALSE(cli.out.empty());
    return;
  }
  // Random starts differ from run to run: the same trials, in order, and a caption.
  ASSERT_TRUE(mpi.finished) << mpi.err;
  EXPECT_EQ(mpi.status, cli.status) << mpi.err;
  EXPECT_EQ(Messages(mpi.err), cli.err);
  auto headers = [](const std::string& out) {
    std::vector<std::string> h;
    for (const std::string& l : Lines(out))
      if (l.rfind("TRIAL", 0) == 0) h.push_back(l);
    return h;
  };
  EXPECT_EQ(headers(mpi.out), headers(cli.out));
  EXPECT_EQ(headers(mpi.out).size(), static_cast<size_t>(std::stoi(c.args[1])));
  EXPECT_NE(Lines(mpi.out).back().find(" max. "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Problems, Generated, ::testing::ValuesIn(GeneratedCases()),
                         [](const ::testing::TestParamInfo<GeneratedCase>& info) {
                           return info.param.name;
                         });

// --- refusals: rank 0 refuses before any work is sent, and the workers end ------------

struct RefusalCase {
  const char* name;
  std::string file;               // a problem file's text, or empty: none
  std::vector<std::string> args;  // "FILE" stands for the file
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
  *os << c.name;
}

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, AreQuorvantClisAndEndTheJob) {
  const RefusalCase& c = GetParam();
  const fs::path dir = Scratch();
  std::vector<std::string> args = c.args;
  for (std::string& a : args)
    if (a == "FILE") a = WriteFile(dir, "p.zvx", c.file).string();
  ExpectSameAsCli(RunMpi(3, args), RunCli(args));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, Refusals,
    ::testing::Values(
        RefusalCase{"UnknownOption", "", {"--frobnicate", "x.zvx"}},
        RefusalCase{"NoFile", "", {"--explore"}},
        RefusalCase{"MissingFile", "", {"--explore", "/nonexistent/p.zvx"}},
        RefusalCase{"NotAProblemFile", "zorvex\r\n", {"--explore", "FILE"}},
        RefusalCase{"GridThatCannotBeWalked",
                    "Zorvex\r\n1,0,0,0.01,8,\"x^2\"\r\n\"x\",1E+17,1.00000000000001E+17,1000\r\n "
                    "0 \r\n",
                    {"--explore", "FILE"}},
        RefusalCase{"ConstantThatFails",
                    "Zorvex\r\n1,0,0,0.01,8,\"x^2+a\"\r\n\"x\",-1,1,4\r\n 1 \r\na=Log(0)\r\n",
                    {"--explore", "FILE"}},
        RefusalCase{"ScriptError",
                    "Zorvex\r\n1,0,0,0.01,8,\"x+*2\"\r\n\"x\",-1,1,4\r\n 0 \r\n",
                    {"--explore", "FILE"}},
        RefusalCase{"ListingOnly", "", {(kData / "files" / "himmelblau.saved.zvx").string()}},
        RefusalCase{
            "Report", "", {"--report", (kData / "files" / "quad2_bowl.saved.zvx").string()}},
        RefusalCase{"Eval", "", {"--eval", "Asin(1)*2"}}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

// --- faults ---------------------------------------------------------------------------

// A run long enough to be cut short in any of its parts: 15^6 grid points.
std::string LongProblem() {
  return ProblemText(6, Wells(6), -2, 2, 14);
}

// The processes mpirun started, by rank, once every one of them has its handler of
// SIGTERM installed (it is in its run then, or about to be).
std::vector<pid_t> RanksOf(pid_t mpirun, int ranks) {
  for (int attempt = 0; attempt < 3000; ++attempt) {
    std::vector<pid_t> found(ranks, -1);
    int ready = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const std::string name = entry.path().filename();
      if (name.find_first_not_of("0123456789") != std::string::npos) continue;
      std::istringstream stat(ReadFile(entry.path() / "stat"));
      std::string pid, comm, state;
      pid_t parent = 0;
      stat >> pid >> comm >> state >> parent;
      if (parent != mpirun) continue;
      const std::string env = ReadFile(entry.path() / "environ");
      const std::string key = std::string("OMPI_COMM_WORLD_RANK=");
      const size_t at = env.find(key);
      if (at == std::string::npos) continue;
      const int rank = std::atoi(env.c_str() + at + key.size());
      if (rank < 0 || rank >= ranks) continue;
      // SigCgt: the signals with a handler; SIGTERM is bit 15 - 1.
      std::istringstream status(ReadFile(entry.path() / "status"));
      for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) != 0) continue;
        const unsigned long long caught = std::stoull(line.substr(7), nullptr, 16);
        if (caught & (1ull << (SIGTERM - 1))) {
          found[rank] = std::stoi(name);
          ++ready;
        }
      }
    }
    if (ready == ranks) return found;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return {};
}

// A job killed outright (every rank, by SIGKILL) once its checkpoint holds committed
// parts, resumed on another number of ranks: it lists and saves what the whole run does.
TEST(MpiJob, KilledAndResumedListsAndSavesWhatTheWholeRunDoes) {
  const fs::path dir = Scratch();
  const fs::path file = WriteFile(dir, "p.zvx", ProblemText(4, Wells(4), -2, 2, 26));
  const fs::path wholeFile = WriteFile(dir, "whole.zvx", ReadFile(file));
  const fs::path checkpoint = dir / "run.checkpoint";
  const std::vector<std::string> run = {"--explore", "--info",      "--threads",
                                        "1",         "--part-size", "2000"};
  std::vector<std::string> args = run;
  args.insert(args.end(),
              {"--checkpoint", checkpoint.string(), "--checkpoint-every", "0", file.string()});
  const Process job = Start(MpiCommand(3, args), MpiEnvironment({}));
  // Until the checkpoint holds a committed part (its file is replaced whole each time).
  const auto committed = [&] {
    const std::string text = ReadFile(checkpoint);
    return !text.empty() && text.find("\ncommitted 0 ") == std::string::npos;
  };
  for (int k = 0; k < 3000 && !committed(); ++k)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  kill(-job.pid, SIGKILL);
  const Ended killed = Wait(job, 10);
  ASSERT_TRUE(committed()) << killed.err;
  EXPECT_EQ(killed.status, 128 + SIGKILL) << "the job ended before it was killed";
  args = run;
  args.insert(args.end(), {"--save", "--resume", checkpoint.string(), file.string()});
  const Ended resumed = RunMpi(2, args);
  std::vector<std::string> wholeArgs = run;
  wholeArgs.insert(wholeArgs.end(), {"--save", wholeFile.string()});
  const Ended whole = RunCli(wholeArgs);
  ASSERT_EQ(whole.status, 0) << whole.err;
  EXPECT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_EQ(resumed.out, whole.out);
  EXPECT_EQ(ReadFile(file), ReadFile(wholeFile));
}

struct FaultCase {
  const char* name;
  int ranks;
  int target;  // the rank hit, or -1: mpirun
  int signal;
  std::vector<std::string> env;
  const char* says;     // what the messages hold, or empty
  int status = -1;      // the job's exit status, or -1: any but 0
  int delayMs = 300;    // from the moment every rank catches SIGTERM to the fault
  bool listing = true;  // rank 0 is there to list what it committed
};

void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << c.name;
}

class Faults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Faults, EndTheJobWithAnError) {
  const FaultCase& c = GetParam();
  const fs::path file = WriteFile(Scratch(), "long.zvx", LongProblem());
  const Process job = Start(MpiCommand(c.ranks, {"--explore", "--threads", "1", file.string()}),
                            MpiEnvironment(c.env));
  const std::vector<pid_t> ranks = RanksOf(job.pid, c.ranks);
  if (ranks.empty()) {
    Wait(job, 0);
    FAIL() << "the ranks of the job did not start";
  }
  // Well inside the run (which takes far longer than this), or at once.
  std::this_thread::sleep_for(std::chrono::milliseconds(c.delayMs));
  kill(c.target < 0 ? job.pid : ranks[c.target], c.signal);
  const Ended e = Wait(job, 60);
  if (c.signal == SIGSTOP) kill(ranks[c.target], SIGCONT);
  ASSERT_TRUE(e.finished) << "the job did not end after the fault:\n" << e.err;
  EXPECT_NE(e.status, 0) << e.err;
  if (c.status >= 0) {
    EXPECT_EQ(e.status, c.status) << e.err;
  }
  if (*c.says) {
    EXPECT_NE(e.err.find(c.says), std::string::npos) << e.err;
  }
  if (c.listing) {
    // Whole blocks (heading, 6 coordinates, value), and the caption that counts them.
    const std::vector<std::string> lines = Lines(e.out);
    ASSERT_FALSE(lines.empty()) << e.err;
    int maxima = 0, minima = 0;
    for (size_t k = 0; k + 1 < lines.size(); ++k) {
      const std::string& l = lines[k];
      if (k % 8 == 0) {
        EXPECT_TRUE(l == "MAXIMUM AT:" || l == "MINIMUM AT:") << "line " << k << ": " << l;
        maxima += l == "MAXIMUM AT:";
        minima += l == "MINIMUM AT:";
      }
      if (k % 8 == 7) {
        EXPECT_EQ(l.rfind("FUNCTION=", 0), 0u) << "line " << k << ": " << l;
      }
    }
    EXPECT_EQ((lines.size() - 1) % 8, 0u) << e.out;
    EXPECT_EQ(lines.back(), std::to_string(maxima) + " max. " + std::to_string(minima) + " min. ");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, Faults,
    ::testing::Values(
        FaultCase{"WorkerKilled", 3, 1, SIGKILL, {}, "a rank ended: rank 1 "},
        // Over TCP, rank 0's next message to a rank that is gone makes Open MPI end rank 0
        // inside its transport, before it can write; the job still ends, and mpirun
        // names the rank.
        FaultCase{"WorkerKilledOverTcp", 3, 2, SIGKILL, kOverTcp, "rank 2 with PID", -1, 300,
                  false},
        FaultCase{"LastWorkerKilled", 3, 2, SIGKILL, {}, "a rank ended: rank 2 "},
        // In the first moments of the job: rank 0 may not have heard from it yet.
        FaultCase{"WorkerKilledAtOnce", 3, 1, SIGKILL, {}, "a rank ended: rank 1 ", -1, 0},
        FaultCase{"RankZeroKilled", 2, 0, SIGKILL, {}, "", -1, 300, false},
        FaultCase{"WorkerTerminated", 2, 1, SIGTERM, {}, ") ended on SIGTERM; mpirun ends the job"},
        FaultCase{"WorkerSilent",
                  3,
                  1,
                  SIGSTOP,
                  {"QUORVANT_MPI_SILENCE_LIMIT=2"},
                  "rank 1 has not been heard from",
                  4},
        // The workers watch rank 0 as it watches them and end the job; mpirun wakes
        // rank 0 to list what it had, but kills it a second later, which a slow build
        // (ThreadSanitizer's) may not outlast: the workers' word is what is checked.
        FaultCase{"RankZeroSilent",
                  3,
                  0,
                  SIGSTOP,
                  {"QUORVANT_MPI_SILENCE_LIMIT=2"},
                  "rank 0 has not been heard from for 2 s: the job ends",
                  4,
                  300,
                  false},
        // mpirun turns both into SIGTERM to every rank.
        FaultCase{"InterruptToMpirun", 3, -1, SIGINT, {}, "stopped by SIGTERM from mpirun", 1},
        FaultCase{"TerminateToMpirun", 2, -1, SIGTERM, {}, "stopped by SIGTERM from mpirun", 1},
        // Rank 0 alone: it stops the run and tells the workers, and the job
        // ends with its status.
        FaultCase{"TerminateToRankZero", 3, 0, SIGTERM, {}, "the run was stopped by SIGTERM:", 1}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvant::testing
