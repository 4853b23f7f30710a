#include <cmath>
#include <random>
#include <vector>

#include "support.hpp"

namespace {

class BlockBidiagonalTest : public kwtest::GuardedTest {};

struct Problem {
  int32_t k, m, n;
  std::vector<double> a, b;  // k blocks each, m x n column-major
  // Dense row-major M ((k+1)m x kn).
  std::vector<double> dense() const {
    const int rows = (k + 1) * m, cols = k * n;
    std::vector<double> d(static_cast<size_t>(rows) * cols, 0.0);
    for (int i = 0; i < k; ++i)
      for (int col = 0; col < n; ++col)
        for (int row = 0; row < m; ++row) {
          d[(i * m + row) * cols + i * n + col] = a[(i * n + col) * m + row];
          d[((i + 1) * m + row) * cols + i * n + col] = b[(i * n + col) * m + row];
        }
    return d;
  }
};

Problem make_problem(std::mt19937 &gen, int32_t k, int32_t m, int32_t n) {
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  Problem p{k, m, n, std::vector<double>(k * m * n), std::vector<double>(k * m * n)};
  for (double &v : p.a) v = d(gen);
  for (double &v : p.b) v = d(gen);
  return p;
}

// Least-squares fitted values M x by dense Householder, as reference.
std::vector<double> dense_fit(const Problem &p, const std::vector<double> &y) {
  int32_t rows = (p.k + 1) * p.m, cols = p.k * p.n, r = 1;
  auto d = p.dense();
  auto dm = d;
  auto yy = y;
  std::vector<double> x(cols);
  BSrc rc;
  EXPECT_TRUE(BShousehld(&rc, &rows, &cols, dm.data(), &r, yy.data(), x.data()));
  std::vector<double> fit(rows, 0.0);
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < cols; ++j) fit[i] += d[i * cols + j] * x[j];
  return fit;
}

TEST_F(BlockBidiagonalTest, FitMatchesDenseLeastSquares) {
  std::mt19937 gen(9);
  for (int32_t k : {1, 2, 3, 5}) {
    const int32_t m = 4, n = 3, r = 2;
    auto p = make_problem(gen, k, m, n);
    const int len = (k + 1) * m;
    std::uniform_real_distribution<double> d(-2.0, 2.0);
    std::vector<double> y(len * r), z(len * r, 0.0);
    for (double &v : y) v = d(gen);
    BSrc rc;
    BShouslgbsc(k, m, n, p.a.data(), p.b.data(), r, y.data(), z.data(), &rc);
    ASSERT_EQ(rc, BSSUCC);
    for (int c = 0; c < r; ++c) {
      auto want = dense_fit(p, std::vector<double>(y.begin() + c * len, y.begin() + (c + 1) * len));
      for (int i = 0; i < len; ++i) EXPECT_NEAR(z[c * len + i], want[i], 1e-9) << "k " << k;
    }
  }
}

TEST_F(BlockBidiagonalTest, FactorReproducesGramMatrix) {
  std::mt19937 gen(4);
  const int32_t k = 3, m = 3, n = 2;
  auto p = make_problem(gen, k, m, n);
  std::vector<double> r(k * n * n), s(k * n * n);
  BSrc rc;
  BShoushcstm(k, m, n, p.a.data(), p.b.data(), r.data(), s.data(), &rc);
  ASSERT_EQ(rc, BSSUCC);
  // Dense upper block-bidiagonal factor F; F^T F must equal M^T M.
  const int cols = k * n;
  std::vector<double> f(cols * cols, 0.0);
  for (int i = 0; i < k; ++i)
    for (int col = 0; col < n; ++col)
      for (int row = 0; row < n; ++row) {
        f[(i * n + row) * cols + i * n + col] = r[i * n * n + col * n + row];
        if (i + 1 < k) f[(i * n + row) * cols + (i + 1) * n + col] = s[i * n * n + col * n + row];
      }
  auto d = p.dense();
  const int rows = (k + 1) * m;
  for (int i = 0; i < cols; ++i)
    for (int j = 0; j < cols; ++j) {
      double want = 0.0, got = 0.0;
      for (int l = 0; l < rows; ++l) want += d[l * cols + i] * d[l * cols + j];
      for (int l = 0; l < cols; ++l) got += f[l * cols + i] * f[l * cols + j];
      EXPECT_NEAR(got, want, 1e-12);
    }
  // The block substitutions invert R^T R.
  std::vector<double> z(cols), w(cols), x(cols), back(cols, 0.0);
  for (int i = 0; i < cols; ++i) x[i] = 0.3 * i - 1.0;
  for (int i = 0; i < cols; ++i)
    for (int j = 0; j < cols; ++j) {
      double g = 0.0;
      for (int l = 0; l < cols; ++l) g += f[l * cols + i] * f[l * cols + j];
      z[i] += g * x[j];
    }
  BShouslbtR(k, n, r.data(), s.data(), z.data(), w.data());
  BShouslbR(k, n, r.data(), s.data(), w.data(), back.data());
  for (int i = 0; i < cols; ++i) EXPECT_NEAR(back[i], x[i], 1e-10);
}

TEST_F(BlockBidiagonalTest, StageFactorsAgreeWithStackedFactor) {
  std::mt19937 gen(1);
  const int32_t m = 3, n = 2;
  auto p = make_problem(gen, 1, m, n);
  double r1[4], r2[4], s[4], zp[6];
  double zero[6] = {};
  BSrc rc;
  BShoushcstf(m, n, p.a.data(), p.b.data(), r1, &rc);
  ASSERT_EQ(rc, BSSUCC);
  BShoushcstl(m, n, p.a.data(), p.b.data(), zero, zp, r2, s, &rc);
  ASSERT_EQ(rc, BSSUCC);
  // Both are factors of [A; B]: equal up to the signs of their rows.
  for (int row = 0; row < n; ++row) {
    const double sign = (r1[row * n + row] * r2[row * n + row] >= 0) ? 1.0 : -1.0;
    for (int col = row; col < n; ++col)
      EXPECT_NEAR(r1[col * n + row], sign * r2[col * n + row], 1e-12);
  }
  for (double v : s) EXPECT_EQ(v, 0.0);
}

TEST_F(BlockBidiagonalTest, ScratchFailuresLeaveNoBlockLive) {
  std::mt19937 gen(8);
  const int32_t k = 3, m = 3, n = 2, r = 1;
  auto p = make_problem(gen, k, m, n);
  std::vector<double> y((k + 1) * m, 1.0), z((k + 1) * m);
  const auto res = kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        BShouslgbsc(k, m, n, p.a.data(), p.b.data(), r, y.data(), z.data(), &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
  EXPECT_GT(res.allocations, 2);
}

TEST_F(BlockBidiagonalTest, TraceUsesHistoricalName) {
  std::mt19937 gen(8);
  const int32_t k = 1, m = 2, n = 1;
  auto p = make_problem(gen, k, m, n);
  std::vector<double> y(4, 1.0), z(4);
  BSrc rc;
  BSdbginit();
  knotwork::arm_allocation_failure(1, true);
  BShouslgbsc(k, m, n, p.a.data(), p.b.data(), 1, y.data(), z.data(), &rc);
  knotwork::disarm_allocation_failure();
  EXPECT_EQ(rc, BSNOSTKMEMORY);
  FILE *f = std::tmpfile();
  BSdbgprint(f);
  std::rewind(f);
  char line[200] = {};
  ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
  std::fclose(f);
  EXPECT_STREQ(line, "error in BShouslgbspc, rc = 33 \n");
}

}  // namespace
