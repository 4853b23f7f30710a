#include "support.hpp"

namespace {

class BlockBidiagonalTest : public kwtest::GuardedTest {};

// k random blocks A_i and B_i (m x n, column-major) and the dense row-major
// matrix M ((k+1)m x kn) they stand for.
struct Problem {
  int32_t k, m, n;
  std::vector<double> a, b, dense;
};

Problem make_problem(std::mt19937 &gen, int32_t k, int32_t m, int32_t n) {
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  const int cols = k * n;
  Problem p{k, m, n, std::vector<double>(k * m * n), std::vector<double>(k * m * n), {}};
  p.dense.assign((k + 1) * m * cols, 0.0);
  for (int i = 0; i < k; ++i)
    for (int col = 0; col < n; ++col)
      for (int row = 0; row < m; ++row) {
        const int at = (i * n + col) * m + row;
        p.dense[(i * m + row) * cols + i * n + col] = p.a[at] = d(gen);
        p.dense[((i + 1) * m + row) * cols + i * n + col] = p.b[at] = d(gen);
      }
  return p;
}

TEST_F(BlockBidiagonalTest, FitMatchesDenseLeastSquares) {
  std::mt19937 gen(9);
  std::uniform_real_distribution<double> d(-2.0, 2.0);
  for (int32_t k : {1, 2, 3, 5}) {
    const int32_t m = 4, n = 3, r = 2, len = (k + 1) * m;
    auto p = make_problem(gen, k, m, n);
    std::vector<double> y(len * r), z(len * r, 0.0);
    for (double &v : y) v = d(gen);
    BSrc rc;
    BShouslgbsc(k, m, n, p.a.data(), p.b.data(), r, y.data(), z.data(), &rc);
    ASSERT_EQ(rc, BSSUCC);
    for (int c = 0; c < r; ++c) {  // reference: dense Householder, then M x
      int32_t rows = len, cols = k * n, one = 1;
      auto dm = p.dense;
      std::vector<double> yy(y.begin() + c * len, y.begin() + (c + 1) * len), x(cols);
      ASSERT_TRUE(BShousehld(&rc, &rows, &cols, dm.data(), &one, yy.data(), x.data()));
      for (int i = 0; i < len; ++i) {
        double fit = 0.0;
        for (int j = 0; j < cols; ++j) fit += p.dense[i * cols + j] * x[j];
        EXPECT_NEAR(z[c * len + i], fit, 1e-9) << "k " << k;
      }
    }
  }
}

TEST_F(BlockBidiagonalTest, FactorReproducesGramMatrixAndSubstitutionsInvertIt) {
  std::mt19937 gen(4);
  const int32_t k = 3, m = 3, n = 2, cols = k * n, rows = (k + 1) * m;
  auto p = make_problem(gen, k, m, n);
  std::vector<double> r(k * n * n), s(k * n * n), f(cols * cols, 0.0);
  BSrc rc;
  BShoushcstm(k, m, n, p.a.data(), p.b.data(), r.data(), s.data(), &rc);
  ASSERT_EQ(rc, BSSUCC);
  // Dense upper block-bidiagonal factor F; F^T F must equal M^T M.
  for (int i = 0; i < k; ++i)
    for (int col = 0; col < n; ++col)
      for (int row = 0; row < n; ++row) {
        f[(i * n + row) * cols + i * n + col] = r[i * n * n + col * n + row];
        if (i + 1 < k) f[(i * n + row) * cols + (i + 1) * n + col] = s[i * n * n + col * n + row];
      }
  std::vector<double> x(cols), z(cols, 0.0), w(cols), back(cols, 0.0);
  for (int i = 0; i < cols; ++i) x[i] = 0.3 * i - 1.0;
  for (int i = 0; i < cols; ++i)
    for (int j = 0; j < cols; ++j) {
      double want = 0.0, got = 0.0;
      for (int l = 0; l < rows; ++l) want += p.dense[l * cols + i] * p.dense[l * cols + j];
      for (int l = 0; l < cols; ++l) got += f[l * cols + i] * f[l * cols + j];
      EXPECT_NEAR(got, want, 1e-12);
      z[i] += got * x[j];
    }
  BShouslbtR(k, n, r.data(), s.data(), z.data(), w.data());
  BShouslbR(k, n, r.data(), s.data(), w.data(), back.data());
  for (int i = 0; i < cols; ++i) EXPECT_NEAR(back[i], x[i], 1e-10);
}

}  // namespace
