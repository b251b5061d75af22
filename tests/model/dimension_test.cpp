#include <gtest/gtest.h>

#include "model/dimension.h"

namespace quorvant {
namespace {

TEST(Dimension, StartValues) {
  Dimension d;
  EXPECT_EQ(d.varCount, 0);
  EXPECT_EQ(d.fdStep, 0.004);
  EXPECT_EQ(d.fdStep2, 0.008);
  EXPECT_EQ(d.fdStep2Sq, 0.008 * 0.008);
  EXPECT_EQ(d.shownVar, 1);
  EXPECT_EQ(d.constants.size(), 101u);
}

TEST(Dimension, ResizeCreatesEveryArrayZeroFilled) {
  Dimension d;
  for (int n = 1; n <= 10; ++n) {
    d.Resize(3);
    d.point[1] = 5;
    d.maxima(2, 50) = 7;
    d.varNames[0] = "q";
    d.subintervals[2] = 9;
    d.hessian(2, 3) = 1;
    d.Resize(n);
    EXPECT_EQ(d.varCount, n);
    EXPECT_EQ(d.lastVar, n - 1);
    EXPECT_EQ(d.hessian.rows(), n);
    EXPECT_EQ(d.hessian.cols(), n + 1);
    EXPECT_EQ(d.maxima.rows(), n + 1);
    EXPECT_EQ(d.maxima.cols(), 101);
    EXPECT_EQ(d.minima.rows(), n + 1);
    EXPECT_EQ(d.minima.cols(), 101);
    for (auto* v : {&d.point, &d.lowerLimit, &d.upperLimit, &d.minPivots, &d.determinants,
                    &d.newtonStep, &d.startPoint, &d.gridStep}) {
      ASSERT_EQ(v->size(), static_cast<size_t>(n));
      for (double x : *v) EXPECT_EQ(x, 0);
    }
    EXPECT_EQ(d.subintervals, std::vector<int32_t>(n, 0));
    EXPECT_EQ(d.varNames, std::vector<std::string>(n));
    for (int r = 0; r <= n; ++r)
      for (int c = 0; c <= 100; ++c) ASSERT_EQ(d.maxima(r, c), 0);
    EXPECT_EQ(d.constants.size(), 101u);
  }
}

}  // namespace
}  // namespace quorvant
