#include <cmath>
#include <random>
#include <vector>

#include "support.hpp"

namespace {

class LuTest : public kwtest::GuardedTest {};

TEST_F(LuTest, SolvesRandomSystems) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  for (int32_t n = 1; n <= 8; ++n) {
    std::vector<double> a(n * n), x(n), b(n);
    for (double &v : a) v = d(gen);
    for (double &v : x) v = d(gen);
    for (int i = 0; i < n; ++i) {
      b[i] = 0.0;
      for (int j = 0; j < n; ++j) b[i] += a[i * n + j] * x[j];
    }
    BSboolean flag = 1;
    BSrc rc;
    ASSERT_TRUE(BSdecomp(&rc, &n, a.data(), &flag, b.data()));
    ASSERT_EQ(rc, BSSUCC);
    ASSERT_TRUE(BSsolve(&rc, &n, a.data(), b.data()));
    for (int i = 0; i < n; ++i) EXPECT_NEAR(b[i], x[i], 1e-10);
  }
}

TEST_F(LuTest, TiedPivotsGoToTheUpperRow) {
  int32_t n = 3;
  // Column 0 has candidates 1, -2, 2: the tie between rows 1 and 2 goes to row 1.
  double a[9] = {1, 0, 0, -2, 1, 0, 2, 0, 1};
  double b[3] = {10, 20, 30};
  BSboolean flag = 1;
  BSrc rc;
  ASSERT_TRUE(BSdecomp(&rc, &n, a, &flag, b));
  EXPECT_EQ(a[0], -2.0);
  EXPECT_EQ(b[0], 20.0);
}

TEST_F(LuTest, SingularMatrixFails) {
  int32_t n = 2;
  double a[4] = {1, 2, 2, 4};
  BSboolean flag = 0;
  BSrc rc;
  EXPECT_EQ(BSdecomp(&rc, &n, a, &flag, nullptr), FALSE);
  EXPECT_EQ(rc, BSFAIL);
}

TEST_F(LuTest, WithoutFlagTheRightSideIsUntouched) {
  int32_t n = 2;
  double a[4] = {0, 1, 1, 0}, b[2] = {3, 4};
  BSboolean flag = 0;
  BSrc rc;
  ASSERT_TRUE(BSdecomp(&rc, &n, a, &flag, b));
  EXPECT_EQ(b[0], 3.0);
  EXPECT_EQ(b[1], 4.0);
}

// Equations: lower[i] x(i-1) + diag[i] x(i) = rhs(i) in unknowns x(0..n-2).
void build_bidiagonal(const std::vector<double> &x, int32_t r, std::vector<double> &lower,
                      std::vector<double> &diag, std::vector<double> &alpha,
                      std::vector<double> &rhs) {
  const int32_t n = static_cast<int32_t>(lower.size());
  rhs.assign(static_cast<size_t>(n) * r, 0.0);
  for (int32_t i = 0; i < n; ++i)
    for (int32_t c = 0; c < r; ++c) {
      double v = 0.0;
      if (i > 0) v += lower[i] * x[(i - 1) * r + c];
      if (i < n - 1) v += diag[i] * x[i * r + c];
      rhs[i * r + c] = v;
    }
  (void)alpha;
}

TEST_F(LuTest, TwoSidedEliminationSolvesConsistentSystem) {
  std::mt19937 gen(2);
  std::uniform_real_distribution<double> d(0.05, 0.95);
  for (int32_t n : {1, 2, 3, 5, 8}) {
    const int32_t r = 3;
    std::vector<double> alpha(n), lower(n), diag(n), x(static_cast<size_t>(n) * r), rhs;
    for (int i = 0; i < n; ++i) {
      alpha[i] = i < n / 2 ? 0.5 + d(gen) / 2 : d(gen) / 2;
      diag[i] = alpha[i];
      lower[i] = 1.0 - alpha[i];
    }
    for (double &v : x) v = d(gen) * 10;
    build_bidiagonal(x, r, lower, diag, alpha, rhs);
    BSrc rc;
    BSmod_gauss(alpha.data(), lower.data(), diag.data(), TRUE, rhs.data(), n, r, &rc);
    ASSERT_EQ(rc, BSSUCC);
    for (int i = 0; i < n - 1; ++i)
      for (int c = 0; c < r; ++c) EXPECT_NEAR(rhs[i * r + c], x[i * r + c], 1e-10);
    for (int c = 0; c < r; ++c) EXPECT_NEAR(rhs[(n - 1) * r + c], 0.0, 1e-10);
  }
}

TEST_F(LuTest, TwoSidedEliminationReportsResidualOfInconsistency) {
  const int32_t n = 3, r = 1;
  double alpha[3] = {0.9, 0.2, 0.1}, lower[3] = {0, 1, 1}, diag[3] = {1, 1, 0};
  // x0 = 1, x1 = 2 from equations 0 and 2; equation 1 says x0 + x1 = 3.5.
  double rhs[3] = {1, 3.5, 2};
  BSrc rc;
  BSmod_gauss(alpha, lower, diag, TRUE, rhs, n, r, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_DOUBLE_EQ(rhs[0], 1.0);
  EXPECT_DOUBLE_EQ(rhs[1], 2.0);
  EXPECT_DOUBLE_EQ(rhs[2], 0.5);
}

TEST_F(LuTest, TwoSidedEliminationZeroDivisorAndWideRightSides) {
  const int32_t n = 2;
  double alpha[2] = {0.9, 0.9}, lower[2] = {0, 1}, diag[2] = {0, 1};
  double rhs[2] = {1, 1};
  BSrc rc;
  BSmod_gauss(alpha, lower, diag, TRUE, rhs, n, 1, &rc);
  EXPECT_EQ(rc, BSDIVZERO);
  // More than ten right sides take scratch memory.
  const int32_t r = 12;
  std::vector<double> wide(2 * r, 1.0);
  double d2[2] = {1, 1};
  kwtest::sweep_allocation_failures(
      [&] {
        std::vector<double> w = wide;
        BSrc rc2;
        BSmod_gauss(alpha, lower, d2, TRUE, w.data(), n, r, &rc2);
        return rc2;
      },
      {BSNOSTKMEMORY});
}

}  // namespace

namespace {

TEST(LinearAlgebraArguments, EmptyOrInconsistentSizesAreRejected) {
  kwtest::reset_library_state();
  BSrc rc;
  int32_t zero = 0;
  double a[4] = {1, 0, 0, 1}, b[2] = {1, 1};
  BSboolean flag = 0;
  EXPECT_EQ(BSdecomp(&rc, &zero, a, &flag, b), FALSE);
  EXPECT_EQ(rc, BSINARG);
  double alpha[1] = {1}, lower[1] = {0}, diag[1] = {1};
  BSmod_gauss(alpha, lower, diag, TRUE, b, 0, 1, &rc);
  EXPECT_EQ(rc, BSINARG);
  // A single equation and no unknown: the residual is the right side itself.
  double one[1] = {-3};
  BSmod_gauss(alpha, lower, diag, TRUE, one, 1, 1, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(one[0], 3.0);
  // Band blocks must not move left.
  int32_t rows[3] = {2, 2, 2}, jt[3] = {0, 1, 0};
  double g[12] = {1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1}, rhs[6] = {1, 1, 1, 1, 1, 1};
  BSbndhshdtr(g, 3, rows, 2, jt, 1, rhs, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSbndhsback(g, 0, 2, jt, 1, 0, rhs, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSbndhsback(g, 1, 2, jt, 1, 2, rhs, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSbndhshold(g, 0, rows, 2, jt, 1, rhs, &rc);
  EXPECT_EQ(rc, BSINARG);
}

}  // namespace
