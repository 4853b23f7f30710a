#include "status_of.hpp"
#include "support.hpp"

namespace {

class SvdTest : public kwtest::GuardedTest {};

// Checks that the p columns of q (rows each, column-major) are orthonormal.
void expect_orthonormal(const double *q, int rows, int p, double tol) {
  for (int a = 0; a < p; ++a)
    for (int b = 0; b < p; ++b) {
      double dot = 0.0;
      for (int i = 0; i < rows; ++i) dot += q[a * rows + i] * q[b * rows + i];
      EXPECT_NEAR(dot, a == b ? 1.0 : 0.0, tol) << a << "," << b;
    }
}

TEST_F(SvdTest, ReproducesTheMatrixWithOrthonormalFactors) {
  std::mt19937 gen(21);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  // Random shapes, then a rank-1 outer product (1,2,2)(3,4)^T with the value
  // 3 * 5 = 15, and a single entry 2 that leaves whole zero columns to complete.
  const int shapes[][2] = {{1, 1}, {4, 1}, {1, 4}, {3, 3}, {6, 4}, {4, 6}, {10, 3}, {3, 2}, {4, 3}};
  for (int c = 0; c < 9; ++c) {
    const int m = shapes[c][0], n = shapes[c][1], p = std::min(m, n);
    std::vector<double> a(m * n, 0.0), u(m * p), s(p), v(n * p);
    if (c < 7) {
      for (double &x : a) x = d(gen);
    } else if (c == 7) {
      a = {3, 6, 6, 4, 8, 8};
    } else {
      a[5] = 2.0;
    }
    BSrc rc;
    BSsingval(m, n, a.data(), u.data(), s.data(), v.data(), &rc);
    ASSERT_EQ(rc, BSSUCC);
    for (int j = 0; j < p; ++j) EXPECT_GE(s[j], j + 1 < p ? s[j + 1] : 0.0);
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < n; ++j) {
        double sum = 0.0;
        for (int l = 0; l < p; ++l) sum += u[l * m + i] * s[l] * v[l * n + j];
        EXPECT_NEAR(sum, a[j * m + i], 1e-12);
      }
    expect_orthonormal(u.data(), m, p, 1e-12);
    expect_orthonormal(v.data(), n, p, 1e-12);
    if (c >= 7) {
      EXPECT_NEAR(s[0], c == 7 ? 15.0 : 2.0, 1e-13);
      EXPECT_NEAR(s[1], 0.0, 1e-13);
    }
  }
}

TEST_F(SvdTest, NByTwoByJacobiRotation) {
  // Points on the line y = 2x: one value along (1, 2)/sqrt 5; a = c and b = 0:
  // equal values and the identity; a dominant y swaps the order; no rows: zero
  // values and the identity. Expected: values, then |V| row by row.
  double line[8] = {1, 2, -1, 0.5, 2, 4, -2, 1}, eq[4] = {1, 0, 0, 1}, ydom[4] = {0.1, 0, 0, 3};
  const double r5 = 1 / std::sqrt(5.0), want[4][6] = {{std::sqrt(31.25), 0, r5, 2 * r5, 2 * r5, r5},
                                                      {1, 1, 1, 0, 0, 1},
                                                      {3, 0.1, 0, 1, 1, 0},
                                                      {0, 0, 1, 0, 0, 1}};
  const double *in[4] = {line, eq, ydom, ydom};
  const int32_t rows[4] = {4, 2, 2, 0};
  for (int c = 0; c < 4; ++c) {
    double s[2], v[4];
    BSrc rc;
    BSsngvald2v(rows[c], in[c], s, v, &rc);
    ASSERT_EQ(rc, BSSUCC);
    for (int k = 0; k < 2; ++k) EXPECT_NEAR(s[k], want[c][k], 1e-12) << "case " << c;
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(std::fabs(v[k]), want[c][2 + k], 1e-14) << "case " << c;
  }
}

TEST_F(SvdTest, NByThreeAgreesWithGeneralDecomposition) {
  std::mt19937 gen(33);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  for (int n = 4; n < 14; ++n) {
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
  // Rank 1 (rows multiples of (1, -2, 3)): the other vectors complete the basis.
  double x[9] = {1, -2, 3, 2, -4, 6, 2, -4, 6}, s[3], v[9];
  BSrc rc;
  BSsngvald3v(3, x, s, v, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_NEAR(s[0], 3.0 * std::sqrt(14.0), 1e-12);
  EXPECT_TRUE(s[1] == 0.0 && s[2] == 0.0);
  expect_orthonormal(v, 3, 3, 1e-14);
  // Gram eigenvalues come in descending order: rows (1,0,0) and (0,2,0).
  double two[6] = {1, 0, 0, 2, 0, 0}, ev[3], evec[9];
  BSsngvaljc3(2, two, ev, evec, &rc);
  ASSERT_EQ(rc, BSSUCC);
  const double want[4] = {4.0, 1.0, 0.0, 1.0};  // the values, |first vector's y|
  const double got[4] = {ev[0], ev[1], ev[2], std::fabs(evec[1])};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(got[i], want[i], 1e-15) << i;
}

TEST_F(SvdTest, FailureStatusesAndScratchFailures) {
  double a[9] = {1, -2, 3, 2, -4, 7, 2, -4, 6}, u[9], s[3], v[9];
  kwtest::expect_statuses({
      {BSINARG, [&](BSrc *rc) { BSsingval(0, 2, a, u, s, v, rc); }},
      {BSINARG, [&](BSrc *rc) { BSsngvald2v(2, nullptr, s, v, rc); }},
      {BSINARG, [&](BSrc *rc) { BSsngvald3v(3, nullptr, s, v, rc); }},
      {BSINARG, [&](BSrc *rc) { BSsngvaljc3(3, nullptr, s, v, rc); }},
  });
}

}  // namespace
