#include <cmath>
#include <random>
#include <vector>

#include "numeric/numeric.hpp"
#include "support.hpp"

namespace {

class HouseholderTest : public kwtest::GuardedTest {};

std::vector<double> random_matrix(std::mt19937 &gen, int rows, int cols) {
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  std::vector<double> a(static_cast<size_t>(rows) * cols);
  for (double &x : a) x = d(gen);
  return a;
}

TEST_F(HouseholderTest, ResidualsSatisfyNormalEquations) {
  std::mt19937 gen(7);
  for (int trial = 0; trial < 20; ++trial) {
    int32_t m = 5 + trial % 7, n = 1 + trial % 5, r = 1 + trial % 3;
    auto a = random_matrix(gen, m, n);
    for (int i = 0; i < n; ++i) a[i * n + i] += 3.0;  // well conditioned
    auto b = random_matrix(gen, m, r);
    const auto a0 = a, b0 = b;
    std::vector<double> x(static_cast<size_t>(n) * r);
    BSrc rc = 99;
    ASSERT_EQ(BShousehld(&rc, &m, &n, a.data(), &r, b.data(), x.data()), TRUE);
    ASSERT_EQ(rc, BSSUCC);
    for (int c = 0; c < r; ++c) {
      for (int j = 0; j < n; ++j) {
        double g = 0.0;  // column j of A^T (A x - b)
        for (int i = 0; i < m; ++i) {
          double res = -b0[i * r + c];
          for (int l = 0; l < n; ++l) res += a0[i * n + l] * x[l * r + c];
          g += a0[i * n + j] * res;
        }
        EXPECT_NEAR(g, 0.0, 1e-12);
      }
    }
  }
}

TEST_F(HouseholderTest, SquareSystemIsSolvedExactly) {
  int32_t m = 3, n = 3, r = 1;
  double a[9] = {2, 1, 0, 1, 3, 1, 0, 1, 4};
  const double want[3] = {1.0, -2.0, 0.5};
  double b[3];
  for (int i = 0; i < 3; ++i)
    b[i] = a[i * 3] * want[0] + a[i * 3 + 1] * want[1] + a[i * 3 + 2] * want[2];
  double x[3];
  BSrc rc;
  ASSERT_TRUE(BShousehld(&rc, &m, &n, a, &r, b, x));
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(x[i], want[i], 1e-14);
}

TEST_F(HouseholderTest, ZeroColumnFailsAtThatColumn) {
  int32_t m = 3, n = 2, r = 1;
  double a[6] = {1, 0, 2, 0, 3, 0};
  double b[3] = {1, 2, 3}, x[2] = {-7, -7};
  BSrc rc;
  EXPECT_EQ(BShousehld(&rc, &m, &n, a, &r, b, x), FALSE);
  EXPECT_EQ(rc, BSFAIL);
  EXPECT_EQ(x[0], -7.0);  // no back substitution took place
}

TEST_F(HouseholderTest, FewerRowsThanColumnsIsRejected) {
  int32_t m = 1, n = 2, r = 1;
  double a[2] = {1, 2}, b[1] = {1}, x[2];
  BSrc rc;
  EXPECT_EQ(BShousehld(&rc, &m, &n, a, &r, b, x), FALSE);
  EXPECT_EQ(rc, BSINARG);
}

TEST_F(HouseholderTest, TriangularisationPreservesColumnNormsAndZeroesBelow) {
  std::mt19937 gen(3);
  const int32_t m = 6, n = 3, r = 2;
  auto a = random_matrix(gen, m, n);
  auto b = random_matrix(gen, m, r);
  const auto a0 = a, b0 = b;
  BSrc rc;
  BShshldtran(m, n, r, a.data(), b.data(), &rc);
  ASSERT_EQ(rc, BSSUCC);
  // Orthogonal transformations keep A^T A and A^T B: compare with the factor.
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double want = 0.0, got = 0.0;
      for (int k = 0; k < m; ++k) want += a0[k * n + i] * a0[k * n + j];
      for (int k = 0; k <= std::min(i, j); ++k) got += a[k * n + i] * a[k * n + j];
      EXPECT_NEAR(got, want, 1e-12);
    }
  double want_b = 0.0, got_b = 0.0;
  for (int k = 0; k < m; ++k) want_b += b0[k * r] * b0[k * r], got_b += b[k * r] * b[k * r];
  EXPECT_NEAR(got_b, want_b, 1e-12);
}

TEST_F(HouseholderTest, ColumnFactorReproducesGramMatrix) {
  std::mt19937 gen(11);
  for (int32_t m : {3, 5, 8}) {
    const int32_t n = 3;
    auto a = random_matrix(gen, m, n);  // column-major
    std::vector<double> r(9, -1.0);
    BSrc rc;
    BShoustrian(m, n, a.data(), r.data(), &rc);
    ASSERT_EQ(rc, BSSUCC);
    for (int j = 0; j < n; ++j)
      for (int i = j + 1; i < n; ++i) EXPECT_EQ(r[j * n + i], 0.0);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        double want = 0.0, got = 0.0;
        for (int k = 0; k < m; ++k) want += a[i * m + k] * a[j * m + k];
        for (int k = 0; k < n; ++k) got += r[i * n + k] * r[j * n + k];
        EXPECT_NEAR(got, want, 1e-12);
      }
  }
}

TEST_F(HouseholderTest, ColumnFactorIsAccurateForNearlyTriangularInput) {
  // A column that is already almost reduced: the reflector must not lose the
  // small entries to cancellation.
  const int32_t m = 2, n = 2;
  double a[4] = {1.0, 1e-9, 1.0, 2.0};
  double r[4];
  BSrc rc;
  BShoustrian(m, n, a, r, &rc);
  // R^T R = A^T A exactly in the (1,1) entry: 1 + 4 = 5 (+1e-18 ignored).
  const double g11 = r[2] * r[2] + r[3] * r[3];
  EXPECT_NEAR(g11, 5.0, 1e-14);
  const double g01 = r[0] * r[2];
  EXPECT_NEAR(g01, 1.0 + 2e-9, 1e-15);
}

TEST_F(HouseholderTest, ExtraColumnsAreTransformedAlike) {
  const int32_t m = 4, n = 2, e = 1;
  double a[12] = {1, 2, 3, 4, 0, 1, 0, 1, 5, 6, 7, 8};
  EXPECT_EQ(BShoustrial(m, n, e, a), 2);
  // The norm of the extra column is kept.
  EXPECT_NEAR(a[8] * a[8] + a[9] * a[9] + a[10] * a[10] + a[11] * a[11], 25 + 36 + 49 + 64, 1e-10);
}

TEST_F(HouseholderTest, ScratchFailureReportsNoStackMemory) {
  const int32_t m = 4, n = 2;
  double a[8] = {1, 2, 3, 4, 0, 1, 0, 1}, r[4];
  kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        BShoustrian(m, n, a, r, &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
}

}  // namespace
