#include "status_of.hpp"
#include "support.hpp"

namespace {

class HouseholderTest : public kwtest::GuardedTest {};

std::vector<double> random_matrix(std::mt19937 &gen, int rows, int cols) {
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  std::vector<double> a(static_cast<size_t>(rows) * cols);
  for (double &x : a) x = d(gen);
  return a;
}

// Entry (i, j) of the Gram matrix, sum over k < rows of a(k, i) a(k, j), where
// element (k, i) of a is at k * ks + i * is.
double gram(const double *a, int ks, int is, int i, int j, int rows) {
  double s = 0.0;
  for (int k = 0; k < rows; ++k) s += a[k * ks + i * is] * a[k * ks + j * is];
  return s;
}

TEST_F(HouseholderTest, ResidualsSatisfyNormalEquations) {
  std::mt19937 gen(7);
  for (int trial = 0; trial < 20; ++trial) {
    int32_t m = 5 + trial % 7, n = 1 + trial % 5, r = 1 + trial % 3;
    if (trial == 19) m = n;  // square: an exact solution
    auto a = random_matrix(gen, m, n), b = random_matrix(gen, m, r);
    for (int i = 0; i < n; ++i) a[i * n + i] += 3.0;  // well conditioned
    const auto a0 = a, b0 = b;
    std::vector<double> x(n * r);
    BSrc rc = 99;
    ASSERT_EQ(BShousehld(&rc, &m, &n, a.data(), &r, b.data(), x.data()), TRUE);
    ASSERT_EQ(rc, BSSUCC);
    for (int c = 0; c < r; ++c)
      for (int j = 0; j < n; ++j) {
        double g = 0.0;  // column j of A^T (A x - b), or A x - b when square
        for (int i = 0; i < m; ++i) {
          double res = -b0[i * r + c];
          for (int l = 0; l < n; ++l) res += a0[i * n + l] * x[l * r + c];
          g += (m == n ? (i == j ? 1.0 : 0.0) : a0[i * n + j]) * res;
        }
        EXPECT_NEAR(g, 0.0, 1e-12);
      }
  }
}

TEST_F(HouseholderTest, ColumnFactorReproducesTheGramMatrix) {
  std::mt19937 gen(3);
  const int32_t n = 3;
  BSrc rc;
  for (int32_t rows : {3, 5, 8}) {  // column-major factor R: R^T R = A^T A
    auto c = random_matrix(gen, rows, n);
    std::vector<double> f(9, -1.0);
    BShoustrian(rows, n, c.data(), f.data(), &rc);
    ASSERT_EQ(rc, BSSUCC);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        if (j > i) {
          EXPECT_EQ(f[i * n + j], 0.0);  // below the diagonal
        }
        EXPECT_NEAR(gram(f.data(), 1, n, i, j, n), gram(c.data(), 1, rows, i, j, rows), 1e-12);
      }
  }
  // A column that is already almost reduced: the reflector must not lose the small
  // entry to cancellation. (R^T R)(0, 1) = 1 + 2e-9, (1, 1) = 5.
  double almost[4] = {1.0, 1e-9, 1.0, 2.0}, f[4];
  BShoustrian(2, 2, almost, f, &rc);
  EXPECT_NEAR(f[2] * f[2] + f[3] * f[3], 5.0, 1e-14);
  EXPECT_NEAR(f[0] * f[2], 1.0 + 2e-9, 1e-15);
  // Extra columns are reflected alike: their norm is kept.
  double ext[12] = {1, 2, 3, 4, 0, 1, 0, 1, 5, 6, 7, 8};
  EXPECT_EQ(BShoustrial(4, 2, 1, ext), 2);
  EXPECT_NEAR(gram(ext + 8, 1, 0, 0, 0, 4), 25 + 36 + 49 + 64, 1e-10);
}

TEST_F(HouseholderTest, FailureStatuses) {
  int32_t m3 = 3, m1 = 1, n2 = 2, r1 = 1;
  double zero_col[6] = {1, 0, 2, 0, 3, 0}, wide[2] = {1, 2}, b[3] = {1, 2, 3}, x[2] = {-7, -7};
  kwtest::expect_statuses({
      {BSFAIL, [&](BSrc *rc) { EXPECT_FALSE(BShousehld(rc, &m3, &n2, zero_col, &r1, b, x)); }},
      {BSINARG, [&](BSrc *rc) { EXPECT_FALSE(BShousehld(rc, &m1, &n2, wide, &r1, b, x)); }},
  });
  EXPECT_EQ(x[0], -7.0);  // no back substitution took place
}

}  // namespace
