// Problem file in, listing out: the runner reproduces, byte for byte, the outputs
// recorded for six problems with known extrema (a bowl, the same with one cycle, a
// saddle start, Himmelblau's function, a quartic in one variable and a maximum in
// three variables).
#include <gtest/gtest.h>
#include <unistd.h>

#include "cli_test_util.h"

namespace quorvant::testing {
namespace {

const std::filesystem::path kData = QUORVANT_TEST_DATA;

class Golden : public ::testing::TestWithParam<const char*> {
 protected:
  std::filesystem::path Problem() const {
    return kData / "files" / (std::string(GetParam()) + ".zvx");
  }
  std::filesystem::path Saved() const {
    return kData / "files" / (std::string(GetParam()) + ".saved.zvx");
  }
  std::string Expected(const std::string& what) const {
    return ReadFile(kData / "golden" / (std::string(GetParam()) + "." + what + ".out"));
  }
};

TEST_P(Golden, Explore) {
  const CliResult r = RunCaptured({"--explore", Problem().string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Expected("explore"));
}

TEST_P(Golden, ExploreWithAdditionalInfo) {
  const CliResult r = RunCaptured({"--explore", "--info", Problem().string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Expected("explore-info"));
}

TEST_P(Golden, SaveWritesTheResults) {
  const auto copy = CopyToTemp(Problem());
  const CliResult r = RunCaptured({"--explore", "--save", copy.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(copy), ReadFile(Saved()));
}

TEST_P(Golden, OpenListsTheStoredExtrema) {
  const CliResult r = RunCaptured({Saved().string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Expected("open"));
}

TEST_P(Golden, Report) {
  const CliResult r = RunCaptured({"--report", Saved().string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Expected("report"));
}

TEST_P(Golden, OpenSaveOpenKeepsEveryDigit) {
  const auto copy = CopyToTemp(Saved());
  ASSERT_EQ(RunCaptured({"--save", copy.string()}).status, 0);
  EXPECT_EQ(ReadFile(copy), ReadFile(Saved()));
  EXPECT_EQ(RunCaptured({copy.string()}).out, Expected("open"));
}

// The same listings and saved file at any thread count, with parts small enough that
// every problem is cut into many (and parts run ahead of the ones before them).
TEST_P(Golden, EveryThreadCountGivesTheSameResults) {
  for (const char* threads : {"1", "2", "3", "8"}) {
    SCOPED_TRACE(std::string(threads) + " threads");
    const std::vector<std::string> parts = {"--threads", threads, "--part-size", "7"};
    auto args = [&](std::vector<std::string> more) {
      more.insert(more.begin(), parts.begin(), parts.end());
      return more;
    };
    const CliResult plain = RunCaptured(args({"--explore", Problem().string()}));
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out, Expected("explore"));
    const CliResult info = RunCaptured(args({"--explore", "--info", Problem().string()}));
    EXPECT_EQ(info.out, Expected("explore-info"));
    const auto copy = CopyToTemp(Problem());
    EXPECT_EQ(RunCaptured(args({"--explore", "--save", copy.string()})).status, 0);
    EXPECT_EQ(ReadFile(copy), ReadFile(Saved()));
    EXPECT_EQ(RunCaptured({"--report", copy.string()}).out, Expected("report"));
  }
}

INSTANTIATE_TEST_SUITE_P(Problems, Golden,
                         ::testing::Values("quad2_bowl", "quad2_cap1", "himmelblau", "saddle_start",
                                           "poly1_quartic", "quad3_negdef"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

}  // namespace
}  // namespace quorvant::testing
