#include "status_of.hpp"
#include "support.hpp"

namespace {

class LuTest : public kwtest::GuardedTest {};

TEST_F(LuTest, SolvesRandomSystems) {
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  for (int32_t n = 1; n <= 8; ++n) {
    std::vector<double> a(n * n), x(n), b(n, 0.0);
    for (double &v : a) v = d(gen);
    for (double &v : x) v = d(gen);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) b[i] += a[i * n + j] * x[j];
    BSboolean flag = 1;
    BSrc rc;
    ASSERT_TRUE(BSdecomp(&rc, &n, a.data(), &flag, b.data()));
    ASSERT_TRUE(BSsolve(&rc, &n, a.data(), b.data()));
    for (int i = 0; i < n; ++i) EXPECT_NEAR(b[i], x[i], 1e-10);
  }
}

TEST_F(LuTest, TiedPivotsGoToTheUpperRowAndOnlyFlagOneExchangesTheRightSide) {
  int32_t n = 3;
  for (BSboolean flag : {1, 0}) {
    // Column 0 has candidates 1, -2, 2: the tie between rows 1 and 2 goes to row 1.
    double a[9] = {1, 0, 0, -2, 1, 0, 2, 0, 1}, b[3] = {10, 20, 30};
    BSrc rc;
    ASSERT_TRUE(BSdecomp(&rc, &n, a, &flag, b));
    EXPECT_EQ(a[0], -2.0);
    EXPECT_EQ(b[0], flag ? 20.0 : 10.0);
  }
}

// Equations lower[i] x(i-1) + diag[i] x(i) = rhs(i) for the unknowns x(0..n-2);
// a consistent system leaves a zero residual in the last row.
TEST_F(LuTest, TwoSidedEliminationSolvesConsistentSystems) {
  std::mt19937 gen(2);
  std::uniform_real_distribution<double> d(0.05, 0.95);
  for (int32_t n : {1, 2, 3, 5, 8}) {
    const int32_t r = 3;
    std::vector<double> alpha(n), lower(n), diag(n), x(n * r), rhs(n * r, 0.0);
    for (int i = 0; i < n; ++i) {
      alpha[i] = diag[i] = i < n / 2 ? 0.5 + d(gen) / 2 : d(gen) / 2;
      lower[i] = 1.0 - alpha[i];
    }
    for (double &v : x) v = d(gen) * 10;
    for (int i = 0; i < n; ++i)
      for (int c = 0; c < r; ++c)
        rhs[i * r + c] = (i > 0 ? lower[i] * x[(i - 1) * r + c] : 0.0) +
                         (i < n - 1 ? diag[i] * x[i * r + c] : 0.0);
    BSrc rc;
    BSmod_gauss(alpha.data(), lower.data(), diag.data(), TRUE, rhs.data(), n, r, &rc);
    ASSERT_EQ(rc, BSSUCC);
    for (int i = 0; i < n * r; ++i) EXPECT_NEAR(rhs[i], i < (n - 1) * r ? x[i] : 0.0, 1e-10);
  }
  // x0 = 1, x1 = 2 from equations 0 and 2; equation 1 says x0 + x1 = 3.5.
  double alpha[3] = {0.9, 0.2, 0.1}, lower[3] = {0, 1, 1}, diag[3] = {1, 1, 0},
         rhs[3] = {1, 3.5, 2};
  BSrc rc;
  BSmod_gauss(alpha, lower, diag, TRUE, rhs, 3, 1, &rc);
  ASSERT_EQ(rc, BSSUCC);
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(rhs[i], (i == 2 ? 0.5 : i + 1.0)) << i;
  // A single equation and no unknown: the residual is the right side itself.
  double one[1] = {-3};
  BSmod_gauss(alpha, lower, diag, TRUE, one, 1, 1, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(one[0], 3.0);
}

TEST_F(LuTest, FailureStatuses) {
  int32_t two = 2, zero = 0;
  double singular[4] = {1, 2, 2, 4}, a[4] = {1, 0, 0, 1}, b[2] = {1, 1};
  double alpha[2] = {0.9, 0.9}, lower[2] = {0, 1}, diag0[2] = {0, 1};
  BSboolean flag = 0;
  kwtest::expect_statuses({
      {BSFAIL, [&](BSrc *rc) { EXPECT_FALSE(BSdecomp(rc, &two, singular, &flag, nullptr)); }},
      {BSINARG, [&](BSrc *rc) { EXPECT_FALSE(BSdecomp(rc, &zero, a, &flag, b)); }},
      {BSDIVZERO, [&](BSrc *rc) { BSmod_gauss(alpha, lower, diag0, TRUE, b, 2, 1, rc); }},
      {BSINARG, [&](BSrc *rc) { BSmod_gauss(alpha, lower, a, TRUE, b, 0, 1, rc); }},
  });
}

}  // namespace
