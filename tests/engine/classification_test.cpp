// Classification from the leading principal minors of the Hessian, the mended
// semidefinite verdicts, duplicates and the store.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/engine_test_util.h"

namespace quorvant::testing {
namespace {

struct HessianCase {
  const char* name;
  std::vector<std::vector<double>> h;
  PointKind kind;
};

void PrintTo(const HessianCase& c, std::ostream* os) { *os << c.name; }

class HessianKinds : public ::testing::TestWithParam<HessianCase> {};

TEST_P(HessianKinds, Decides) {
  const auto& rows = GetParam().h;
  const int n = static_cast<int>(rows.size());
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i) names.push_back("v" + std::to_string(i));
  Problem p(names, "0");
  p.dim.hessian = Matrix(n, n);
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) p.dim.hessian(r, c) = rows[r][c];
  SearchEngine engine(p.dim, p.evaluator, p.hooks);
  EXPECT_EQ(engine.ClassifyHessian(), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Matrices, HessianKinds,
    ::testing::Values(
        HessianCase{"positive_1", {{3}}, PointKind::Minimum},
        HessianCase{"negative_1", {{-3}}, PointKind::Maximum},
        HessianCase{"zero_1", {{0}}, PointKind::Semidefinite},
        HessianCase{"bowl", {{2, 0}, {0, 2}}, PointKind::Minimum},
        HessianCase{"saddle_xy", {{0, 1}, {1, 0}}, PointKind::Indefinite},
        HessianCase{"saddle_x2_minus_y2", {{2, 0}, {0, -2}}, PointKind::Indefinite},
        HessianCase{"zero_first_column", {{0, 0}, {0, 3}}, PointKind::Semidefinite},
        HessianCase{"negdef_3", {{-2, 1, 0}, {1, -2, 1}, {0, 1, -2}}, PointKind::Maximum},
        HessianCase{"negsemidef_3", {{-1, 0, 0}, {0, -1, 0}, {0, 0, 0}},
                    PointKind::NegativeSemidefinite},
        HessianCase{"possemidef_3", {{1, 0, 0}, {0, 0, 0}, {0, 0, 1}},
                    PointKind::PositiveSemidefinite},
        // Leading minors -1, 0, 0 look negative semidefinite; the principal minor
        // of the last row and column is 1, so the matrix is indefinite.
        HessianCase{"diag_minus1_0_1", {{-1, 0, 0}, {0, 0, 0}, {0, 0, 1}}, PointKind::Indefinite},
        HessianCase{"antidiagonal_3", {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}}, PointKind::Indefinite},
        HessianCase{"not_a_number", {{NAN, 0}, {0, 1}}, PointKind::Semidefinite}));

TEST(Classification, SaddleOfXyNumbers) {
  Problem p({"x", "y"}, "0");
  p.dim.hessian = Matrix(2, 2);
  p.dim.hessian(0, 1) = p.dim.hessian(1, 0) = 1;
  SearchEngine engine(p.dim, p.evaluator, p.hooks);
  EXPECT_EQ(engine.ClassifyHessian(), PointKind::Indefinite);
  EXPECT_EQ(engine.swapCount(), 1);
  EXPECT_EQ(p.dim.determinants, (std::vector<double>{0, -1}));
  EXPECT_EQ(p.dim.minPivots, (std::vector<double>{0, 1}));
  EXPECT_EQ(engine.smallestPivot(), 0);
}

TEST(Classification, PrincipalMinorsTellIndefiniteFromSemidefinite) {
  Matrix m(3, 3);
  m(0, 0) = -1;
  m(2, 2) = 1;
  EXPECT_TRUE(PrincipalMinorsShowIndefinite(m));
  m(2, 2) = 0;
  EXPECT_FALSE(PrincipalMinorsShowIndefinite(m));
  m(0, 0) = 1;
  m(1, 1) = 2;
  EXPECT_FALSE(PrincipalMinorsShowIndefinite(m));
}

TEST(Classification, PointAndStepsUnchanged) {
  Problem p({"x", "y"}, "(x-1)^2 + (y+2)^2");
  SearchEngine engine(p.dim, p.evaluator, p.hooks);
  p.dim.point = {1, -2};
  engine.ClassifyStationaryPoint();
  EXPECT_EQ(p.dim.point, (std::vector<double>{1, -2}));
  EXPECT_EQ(p.dim.fdStep, 0.004);
  EXPECT_EQ(p.dim.fdStep2, 0.008);
  EXPECT_EQ(engine.lastKind(), PointKind::Minimum);
  EXPECT_EQ(p.dim.minCount, 1);
}

TEST(Store, DuplicatesWithinTheBoundAreDropped) {
  Problem p({"x", "y"}, "0 - (x-1)^2 - (y+2)^2");
  SearchEngine engine(p.dim, p.evaluator, p.hooks);
  p.dim.point = {1, -2};
  engine.ClassifyStationaryPoint();
  ASSERT_EQ(p.dim.maxCount, 1);
  const size_t lines = p.hooks.lines.size();
  p.dim.errorBound = 0.25;
  p.dim.point = {1.25, -2.25};  // exactly the bound away in both: the same point
  engine.ClassifyStationaryPoint();
  EXPECT_EQ(p.dim.maxCount, 1);
  EXPECT_EQ(p.hooks.lines.size(), lines);
  p.dim.point = {1, -2.5};  // farther than the bound in one coordinate
  engine.ClassifyStationaryPoint();
  EXPECT_EQ(p.dim.maxCount, 2);
  EXPECT_EQ(p.dim.minCount, 0);  // a maximum never meets the minima
}

TEST(Store, FullStoreEndsTheRunWithOneLine) {
  // Cos has a minimum every 2 pi, the first at pi: 120 of them in the box, room for
  // 100, and the minima fill up first.
  Problem p({"x"}, "Cos(x)");
  const double pi = std::atan(1.0) * 4;
  p.Box(0, 1, 240 * pi, 960);
  const RunSummary summary = p.Explore();
  EXPECT_EQ(summary.end, RunEnd::StoreFull);
  EXPECT_EQ(p.dim.minCount, 100);
  EXPECT_EQ(p.hooks.lines.back(), "STORE FULL: 100 MINIMA ARE HELD, THE SEARCH ENDS HERE.");
  int headings = 0;
  for (const auto& line : p.hooks.lines) headings += line == "MINIMUM AT:";
  EXPECT_EQ(headings, 100);
}

}  // namespace
}  // namespace quorvant::testing
