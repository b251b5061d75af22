// Classification from the leading principal minors of the Hessian, the mended
// semidefinite verdicts, duplicates and the store.
#include "engine/classifier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "engine/engine_test_util.h"

namespace quorvant::testing {
namespace {

Matrix FromRows(const std::vector<std::vector<double>>& rows) {
  const int n = static_cast<int>(rows.size());
  Matrix m(n, n);
  for (int r = 0; r < n; ++r)
    for (int c = 0; c < n; ++c) m(r, c) = rows[r][c];
  return m;
}

// Equal to within 4 units in the last place, NaN only where NaN is expected.
void ExpectValues(const std::vector<double>& actual, const std::vector<double>& expected,
                  const char* what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (size_t k = 0; k < expected.size(); ++k) {
    if (std::isnan(expected[k]))
      EXPECT_TRUE(std::isnan(actual[k])) << what << " " << k << ": " << actual[k];
    else
      EXPECT_DOUBLE_EQ(actual[k], expected[k]) << what << " " << k;
  }
}

struct HessianCase {
  const char* name;
  std::vector<std::vector<double>> h;
  // What the triangularisation gives.
  std::vector<double> determinants;
  std::vector<double> minPivots;
  int32_t swapCount;
  double smallestPivot;
  // What the signs decide.
  PointKind kind;
  int32_t problemBits;
};

void PrintTo(const HessianCase& c, std::ostream* os) {
  *os << c.name;
}

class HessianKinds : public ::testing::TestWithParam<HessianCase> {};

TEST_P(HessianKinds, TriangulariseThenDecide) {
  const HessianCase& c = GetParam();
  const Matrix h = FromRows(c.h);
  const LeadingMinors minors = TriangulariseLeadingMinors(h);
  ExpectValues(minors.determinants, c.determinants, "determinant");
  ExpectValues(minors.minPivots, c.minPivots, "smallest pivot");
  EXPECT_EQ(minors.swapCount, c.swapCount);
  ExpectValues({minors.smallestPivot}, {c.smallestPivot}, "smallest pivot overall");
  int32_t bits = 0;
  EXPECT_EQ(KindFromLeadingMinors(minors, h, bits), c.kind);
  EXPECT_EQ(bits, c.problemBits);
  // The bits are added to those the run already has.
  bits = 2;
  KindFromLeadingMinors(minors, h, bits);
  EXPECT_EQ(bits, 2 | c.problemBits);
}

const double kNaN = std::nan("");

INSTANTIATE_TEST_SUITE_P(
    Matrices, HessianKinds,
    ::testing::Values(
        HessianCase{"Positive1", {{3}}, {3}, {3}, 0, 3, PointKind::Minimum, 0},
        HessianCase{"Negative1", {{-3}}, {-3}, {3}, 0, 3, PointKind::Maximum, 0},
        HessianCase{"Zero1", {{0}}, {0}, {0}, 0, 0, PointKind::Semidefinite, 0},
        HessianCase{"Bowl", {{2, 0}, {0, 2}}, {2, 4}, {2, 2}, 0, 2, PointKind::Minimum, 0},
        // The first pivot is 0: the rows are exchanged.
        HessianCase{"SaddleXy", {{0, 1}, {1, 0}}, {0, -1}, {0, 1}, 1, 0, PointKind::Indefinite, 0},
        HessianCase{
            "SaddleX2MinusY2", {{2, 0}, {0, -2}}, {2, -4}, {2, 2}, 0, 2, PointKind::Indefinite, 0},
        // An exchange that a negative definite matrix needs: the sign of D(2) is put back.
        HessianCase{"NegdefWithExchange",
                    {{-1, 2}, {2, -5}},
                    {-1, 1},
                    {1, 0.5},
                    1,
                    0.5,
                    PointKind::Maximum,
                    0},
        HessianCase{"PosdefWithExchange",
                    {{1, 2, 0}, {2, 5, 0}, {0, 0, 3}},
                    {1, 1, 3},
                    {1, 0.5, 0.5},
                    1,
                    0.5,
                    PointKind::Minimum,
                    0},
        // Nothing to eliminate with: the elimination of the row stops, its minor is 0.
        HessianCase{
            "ZeroFirstColumn", {{0, 0}, {0, 3}}, {0, 0}, {0, 0}, 0, 0, PointKind::Semidefinite, 0},
        HessianCase{"Negdef3",
                    {{-2, 1, 0}, {1, -2, 1}, {0, 1, -2}},
                    {-2, 3, -4},
                    {2, 1.5, 4.0 / 3},
                    0,
                    4.0 / 3,
                    PointKind::Maximum,
                    0},
        HessianCase{"Diag1And1AndMinus1",
                    {{1, 0, 0}, {0, 1, 0}, {0, 0, -1}},
                    {1, 1, -1},
                    {1, 1, 1},
                    0,
                    1,
                    PointKind::Indefinite,
                    0},
        HessianCase{"Negsemidef3",
                    {{-1, 0, 0}, {0, -1, 0}, {0, 0, 0}},
                    {-1, 1, 0},
                    {1, 1, 0},
                    0,
                    0,
                    PointKind::NegativeSemidefinite,
                    0},
        HessianCase{"Possemidef3",
                    {{1, 0, 0}, {0, 0, 0}, {0, 0, 1}},
                    {1, 0, 0},
                    {1, 0, 0},
                    0,
                    0,
                    PointKind::PositiveSemidefinite,
                    0},
        // Leading minors -1, 0, 0 look negative semidefinite; the principal minor of the
        // last row and column is 1, so the matrix is indefinite.
        HessianCase{"DiagMinus1And0And1",
                    {{-1, 0, 0}, {0, 0, 0}, {0, 0, 1}},
                    {-1, 0, 0},
                    {1, 0, 0},
                    0,
                    0,
                    PointKind::Indefinite,
                    0},
        HessianCase{"Antidiagonal3",
                    {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}},
                    {0, 0, -1},
                    {0, 0, 1},
                    1,
                    0,
                    PointKind::Indefinite,
                    0},
        // A minor that is not a number counts as 0 and is an illegal quantity.
        HessianCase{"NotANumberFirst",
                    {{kNaN, 0}, {0, 1}},
                    {kNaN, kNaN},
                    {kNaN, kNaN},
                    0,
                    kNaN,
                    PointKind::Semidefinite,
                    1},
        HessianCase{"NotANumberLast",
                    {{1, 0}, {0, kNaN}},
                    {1, kNaN},
                    {1, 1},
                    0,
                    1,
                    PointKind::PositiveSemidefinite,
                    1}),
    [](const ::testing::TestParamInfo<HessianCase>& info) { return std::string(info.param.name); });

// The principal minors are those of the matrix given, not of the one the leading minors
// came from.
TEST(Classification, PrincipalMinorsAreOfTheGivenHessian) {
  const LeadingMinors minors =
      TriangulariseLeadingMinors(FromRows({{-1, 0, 0}, {0, 0, 0}, {0, 0, 0}}));
  int32_t bits = 0;
  EXPECT_EQ(KindFromLeadingMinors(minors, FromRows({{-1, 0, 0}, {0, 0, 0}, {0, 0, 0}}), bits),
            PointKind::NegativeSemidefinite);
  EXPECT_EQ(KindFromLeadingMinors(minors, FromRows({{-1, 0, 0}, {0, 0, 0}, {0, 0, 1}}), bits),
            PointKind::Indefinite);
  EXPECT_EQ(bits, 0);
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
  // Only a minor of order 2 is negative: [[0, 1], [1, 0]] inside a larger matrix.
  EXPECT_TRUE(PrincipalMinorsShowIndefinite(FromRows({{0, 0, 1}, {0, 0, 0}, {1, 0, 0}})));
  EXPECT_FALSE(PrincipalMinorsShowIndefinite(FromRows({{1, 1}, {1, 1}})));
  EXPECT_FALSE(PrincipalMinorsShowIndefinite(FromRows({{-1, -1}, {-1, -1}})));
}

TEST(Classification, PointKindsHaveNames) {
  std::set<std::string> names;
  for (PointKind kind :
       {PointKind::Minimum, PointKind::Maximum, PointKind::Indefinite, PointKind::Semidefinite,
        PointKind::PositiveSemidefinite, PointKind::NegativeSemidefinite})
    names.insert(ToString(kind));
  EXPECT_EQ(names.size(), 6u);
  EXPECT_EQ(names.count("?"), 0u);
}

TEST(Classifier, ClassifiesAndLeavesThePointAsItWas) {
  PreparedProblem p({"x", "y"}, "(x-1)^2 + (y+2)^2");
  RunContext run(p.evaluator, [&] { return p.hooks.StopRequested(); });
  Classifier classifier(run, 2);
  std::vector<double> x = {1, -2};
  const Classification c = classifier.Classify(x);
  EXPECT_EQ(x, (std::vector<double>{1, -2}));
  EXPECT_EQ(c.kind, PointKind::Minimum);
  EXPECT_NEAR(c.minors.determinants[0], 2, 1e-4);
  EXPECT_NEAR(c.minors.determinants[1], 4, 1e-4);
  EXPECT_EQ(run.problems.problemBits, 0);
  EXPECT_TRUE(p.hooks.lines.empty()) << "classifying lists nothing";
}

// The classification uses its own fixed steps, h = 0.00015 and 2h = 0.0003: five points
// per axis on the diagonal, sixteen per pair of axes.
TEST(Classifier, FixedStepsAndEvaluations) {
  RecordingHooks hooks;
  NativeFunction f([](std::span<const double> x) { return x[0] * x[0] - x[1] * x[2]; });
  RunContext run(f, [&] { return hooks.StopRequested(); });
  Classifier classifier(run, 3);
  std::vector<double> x = {0, 0, 0};
  EXPECT_EQ(classifier.Classify(x).kind, PointKind::Indefinite);
  EXPECT_EQ(f.points.size(), 3u * 5 + 3 * 16);
  for (int axis = 0; axis < 3; ++axis) {
    std::set<double> offsets;
    for (const auto& point : f.points) offsets.insert(point[axis]);
    EXPECT_EQ(offsets, (std::set<double>{-0.0003, -0.00015, 0, 0.00015, 0.0003})) << axis;
  }
}

// A Hessian whose differences overflow (of finite values) gives a minor that is not a
// number: the point is not taken for an extremum, and the run hears of an illegal
// quantity and of the overflow.
TEST(Classifier, DifferencesThatOverflowAreAnIllegalQuantity) {
  RecordingHooks hooks;
  NativeFunction f([](std::span<const double> x) {
    return x[0] < 0 ? 1e308 : x[0] > 0 ? -1e308 : 0.0;
  });
  RunContext run(f, [&] { return hooks.StopRequested(); });
  Classifier classifier(run, 1);
  std::vector<double> x = {0};
  const Classification c = classifier.Classify(x);
  EXPECT_NE(c.kind, PointKind::Minimum);
  EXPECT_NE(c.kind, PointKind::Maximum);
  EXPECT_EQ(run.problems.problemBits & 1, 1);
  EXPECT_EQ(run.ierr, 6);
}

// A function with a stationary point at every multiple of 0.25, a maximum at the even
// ones and a minimum at the odd ones: -(x - c)^2 or (x - c)^2 around each.
double Ridges(std::span<const double> x) {
  const double k = std::round(x[0] * 4);
  const double d = x[0] - k / 4;
  return std::fmod(k, 2) == 0 ? -(d * d) : d * d;
}

// Random starts at given places of the box 0 to 2 of Ridges: each start is its own
// stationary point.
struct RidgeRun {
  Problem problem = Problem::WithVariables(1);
  NativeFunction f{Ridges};
  RecordingHooks hooks;
  RidgeRun() {
    problem.varNames = {"x"};
    problem.formula = "x";
    problem.lowerLimit = {0};
    problem.upperLimit = {2};
  }
  RunEnd Run(std::vector<double> starts, double bound) {
    for (double& s : starts) s /= 2;  // the random number that gives this start
    ScriptedRandom random(starts);
    problem.errorBound = bound;
    hooks.lines.clear();
    hooks.met.clear();
    SearchEngine engine(f, hooks, &random);
    return ComputeInto(engine, problem, SearchOptions::Random(static_cast<int32_t>(starts.size())))
        .summary.end;
  }
};

// A point within the error bound of a stored point of its kind, in every coordinate,
// is that point again and leaves no trace; exactly the bound away is still within.
TEST(Store, DuplicatesWithinTheBoundAreDropped) {
  RidgeRun r;
  ASSERT_EQ(r.Run({1, 1.5}, 0.01), RunEnd::Completed);
  ASSERT_EQ(r.problem.maxCount(), 2);
  const double apart = std::fabs(r.problem.maxima[1][0] - r.problem.maxima[0][0]);
  EXPECT_NEAR(apart, 0.5, 1e-9);
  ASSERT_EQ(r.hooks.met.size(), 2u);
  EXPECT_TRUE(r.hooks.met[0].stored);
  EXPECT_TRUE(r.hooks.met[1].stored);

  // The same two points with the bound exactly their distance: the second is the first.
  ASSERT_EQ(r.Run({1, 1.5}, apart), RunEnd::Completed);
  EXPECT_EQ(r.problem.maxCount(), 1);
  ASSERT_EQ(r.hooks.met.size(), 2u);
  EXPECT_TRUE(r.hooks.met[0].stored);
  EXPECT_FALSE(r.hooks.met[1].stored);
  EXPECT_EQ(r.hooks.lines.back(), "TRIAL2:") << "the duplicate is not listed";

  ASSERT_EQ(r.Run({1, 1.5}, std::nextafter(apart, 0.0)), RunEnd::Completed);
  EXPECT_EQ(r.problem.maxCount(), 2);
}

TEST(Store, AMaximumNeverMeetsTheMinima) {
  RidgeRun r;
  ASSERT_EQ(r.Run({1, 1.25, 1.5, 1.75}, 1), RunEnd::Completed);
  EXPECT_EQ(r.problem.maxCount(), 1);
  EXPECT_EQ(r.problem.minCount(), 1);
  EXPECT_NEAR(r.problem.maxima[0][0], 1, 1e-9);
  EXPECT_NEAR(r.problem.minima[0][0], 1.25, 1e-9);
}

// A stored point holds its coordinates, then the smallest pivot of its classification.
TEST(Store, StoredPointHoldsCoordinatesThenTheSmallestPivot) {
  PreparedProblem p({"x", "y"}, "0 - (x-1)^2 - 3*(y+2)^2");
  ASSERT_EQ(p.Explore().end, RunEnd::Completed);
  ASSERT_EQ(p.problem.maxCount(), 1);
  ASSERT_EQ(p.hooks.met.size(), 1u);
  const StationaryPoint& met = p.hooks.met[0];
  EXPECT_EQ(p.problem.maxima[0],
            (std::vector<double>{met.point[0], met.point[1], met.smallestPivot}));
  EXPECT_NEAR(met.smallestPivot, 2, 1e-4);
  EXPECT_EQ(p.problem.minCount(), 0);
}

TEST(Store, FullStoreEndsTheRunWithOneLine) {
  // Cos has a minimum every 2 pi, the first at pi: 120 of them in the box, room for
  // 100, and the minima fill up first.
  PreparedProblem p({"x"}, "Cos(x)");
  const double pi = std::atan(1.0) * 4;
  p.Box(0, 1, 240 * pi, 960);
  const RunSummary summary = p.Explore();
  EXPECT_EQ(summary.end, RunEnd::StoreFull);
  EXPECT_EQ(p.problem.minCount(), 100);
  EXPECT_EQ(p.hooks.lines.back(), "STORE FULL: 100 MINIMA ARE HELD, THE SEARCH ENDS HERE.");
  int headings = 0;
  for (const auto& line : p.hooks.lines) headings += line == "MINIMUM AT:";
  EXPECT_EQ(headings, 100);
}

}  // namespace
}  // namespace quorvant::testing
