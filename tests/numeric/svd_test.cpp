#include <cmath>
#include <random>
#include <vector>

#include "numeric/numeric.hpp"
#include "support.hpp"

namespace {

class SvdTest : public kwtest::GuardedTest {};

TEST_F(SvdTest, ReproducesTheMatrix) {
  std::mt19937 gen(21);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  for (auto [m, n] : {std::pair{1, 1}, {4, 1}, {1, 4}, {3, 3}, {6, 4}, {4, 6}, {10, 3}}) {
    const int p = std::min(m, n);
    std::vector<double> a(m * n), u(m * p), s(p), v(n * p);
    for (double &x : a) x = d(gen);
    BSrc rc;
    BSsingval(m, n, a.data(), u.data(), s.data(), v.data(), &rc);
    ASSERT_EQ(rc, BSSUCC);
    for (int j = 0; j + 1 < p; ++j) EXPECT_GE(s[j], s[j + 1]);
    for (int j = 0; j < p; ++j) EXPECT_GE(s[j], 0.0);
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < n; ++j) {
        double sum = 0.0;
        for (int l = 0; l < p; ++l) sum += u[l * m + i] * s[l] * v[l * n + j];
        EXPECT_NEAR(sum, a[j * m + i], 1e-12);
      }
    for (int a1 = 0; a1 < p; ++a1)
      for (int a2 = 0; a2 < p; ++a2) {
        double du = 0.0, dv = 0.0;
        for (int i = 0; i < m; ++i) du += u[a1 * m + i] * u[a2 * m + i];
        for (int i = 0; i < n; ++i) dv += v[a1 * n + i] * v[a2 * n + i];
        EXPECT_NEAR(du, a1 == a2 ? 1.0 : 0.0, 1e-12);
        EXPECT_NEAR(dv, a1 == a2 ? 1.0 : 0.0, 1e-12);
      }
  }
}

TEST_F(SvdTest, KnownValuesAndRankDeficiency) {
  // Rank 1: outer product of (1,2,2) and (3,4): singular value 3 * 5 = 15.
  const int m = 3, n = 2;
  double a[6] = {3, 6, 6, 4, 8, 8}, u[6], s[2], v[4];
  BSrc rc;
  BSsingval(m, n, a, u, s, v, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_NEAR(s[0], 15.0, 1e-13);
  EXPECT_NEAR(s[1], 0.0, 1e-13);
  EXPECT_NEAR(std::fabs(v[0]), 0.6, 1e-14);
  EXPECT_NEAR(std::fabs(v[1]), 0.8, 1e-14);
}

TEST_F(SvdTest, ZeroMatrixGivesOrthonormalFactors) {
  const int m = 4, n = 3;
  double a[12] = {}, u[12], s[3], v[9];
  a[5] = 2.0;  // rank 1 with exactly zero columns left over
  BSrc rc;
  BSsingval(m, n, a, u, s, v, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(s[0], 2.0);
  for (int a1 = 0; a1 < n; ++a1)
    for (int a2 = 0; a2 < n; ++a2) {
      double du = 0.0;
      for (int i = 0; i < m; ++i) du += u[a1 * m + i] * u[a2 * m + i];
      EXPECT_NEAR(du, a1 == a2 ? 1.0 : 0.0, 1e-15);
    }
}

TEST_F(SvdTest, ScratchFailureAndBadArguments) {
  double a[6] = {1, 2, 3, 4, 5, 7}, u[6], s[2], v[4];
  kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        BSsingval(3, 2, a, u, s, v, &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
  BSrc rc;
  BSsingval(0, 2, a, u, s, v, &rc);
  EXPECT_EQ(rc, BSINARG);
}

TEST_F(SvdTest, NByTwoByJacobiRotation) {
  // Points on the line y = 2x: one non-zero value along (1, 2)/sqrt 5.
  double x[8] = {1, 2, -1, 0.5, 2, 4, -2, 1};
  double s[2], v[4];
  BSrc rc;
  BSsngvald2v(4, x, s, v, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_NEAR(s[0], std::sqrt(5.0 * (1 + 4 + 1 + 0.25)), 1e-12);
  EXPECT_NEAR(s[1], 0.0, 1e-12);
  EXPECT_NEAR(std::fabs(v[0]), 1 / std::sqrt(5.0), 1e-14);
  EXPECT_NEAR(std::fabs(v[1]), 2 / std::sqrt(5.0), 1e-14);
  EXPECT_NEAR(v[0] * v[2] + v[1] * v[3], 0.0, 1e-15);
  // a = c and b = 0: identity and equal values.
  double y[4] = {1, 0, 0, 1};
  BSsngvald2v(2, y, s, v, &rc);
  EXPECT_EQ(s[0], 1.0);
  EXPECT_EQ(s[1], 1.0);
  EXPECT_EQ(v[0], 1.0);
  EXPECT_EQ(v[3], 1.0);
  // A smaller first value swaps the order: y dominant.
  double w[4] = {0.1, 0, 0, 3};
  BSsngvald2v(2, w, s, v, &rc);
  EXPECT_NEAR(s[0], 3.0, 1e-15);
  EXPECT_NEAR(s[1], 0.1, 1e-15);
  EXPECT_NEAR(std::fabs(v[1]), 1.0, 1e-15);
  BSsngvald2v(0, w, s, v, &rc);
  EXPECT_EQ(s[0], 0.0);
  EXPECT_EQ(v[0], 1.0);
  BSsngvald2v(2, nullptr, s, v, &rc);
  EXPECT_EQ(rc, BSINARG);
}

TEST_F(SvdTest, NByThreeAgreesWithGeneralDecomposition) {
  std::mt19937 gen(33);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  for (int trial = 0; trial < 10; ++trial) {
    const int n = 4 + trial;
    std::vector<double> x(n * 3), u(n * 3), s(3), v(9), s3(3), v3(9);
    for (double &e : x) e = d(gen);
    BSrc rc;
    BSsingval(n, 3, x.data(), u.data(), s.data(), v.data(), &rc);
    ASSERT_EQ(rc, BSSUCC);
    BSsngvald3v(n, x.data(), s3.data(), v3.data(), &rc);
    ASSERT_EQ(rc, BSSUCC);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(s3[i], s[i], 1e-10);
      double dotv = 0.0;
      for (int c = 0; c < 3; ++c) dotv += v3[i * 3 + c] * v[i * 3 + c];
      EXPECT_NEAR(std::fabs(dotv), 1.0, 1e-8);
    }
  }
}

TEST_F(SvdTest, NByThreeRankOneCompletesTheBasis) {
  // All rows multiples of (1, 2, 2).
  const int n = 3;
  double x[9] = {1, -2, 3, 2, -4, 6, 2, -4, 6};
  double s[3], v[9];
  BSrc rc;
  BSsngvald3v(n, x, s, v, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_NEAR(s[0], 3.0 * std::sqrt(14.0), 1e-12);
  EXPECT_EQ(s[1], 0.0);
  EXPECT_EQ(s[2], 0.0);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double dij = 0.0;
      for (int c = 0; c < 3; ++c) dij += v[i * 3 + c] * v[j * 3 + c];
      EXPECT_NEAR(dij, i == j ? 1.0 : 0.0, 1e-14);
    }
  BSsngvald3v(n, nullptr, s, v, &rc);
  EXPECT_EQ(rc, BSINARG);
}

TEST_F(SvdTest, GramEigenvaluesDescending) {
  double x[6] = {1, 0, 0, 2, 0, 0};  // two rows: (1,0,0) and (0,2,0)
  double ev[3], evec[9];
  BSrc rc;
  BSsngvaljc3(2, x, ev, evec, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_NEAR(ev[0], 4.0, 1e-15);
  EXPECT_NEAR(ev[1], 1.0, 1e-15);
  EXPECT_NEAR(ev[2], 0.0, 1e-15);
  EXPECT_NEAR(std::fabs(evec[1]), 1.0, 1e-15);
}

TEST_F(SvdTest, NByThreeScratchFailure) {
  double x[9] = {1, -2, 3, 2, -4, 7, 2, -4, 6}, s[3], v[9];
  kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        BSsngvald3v(3, x, s, v, &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
}

}  // namespace
