#include <cmath>
#include <random>
#include <vector>

#include "support.hpp"

namespace {

class BandedTest : public kwtest::GuardedTest {};

// A banded least-squares problem: block b has rows[b] equations touching the
// unknowns jt[b] .. jt[b] + nb - 1. Also kept densely for reference.
struct Band {
  int32_t nb, nu, r;
  std::vector<int32_t> rows, jt;
  std::vector<double> g, b;   // band rows and right sides
  std::vector<double> dense;  // total x nu row-major
};

Band make_band(std::mt19937 &gen, int32_t nb, std::vector<int32_t> rows, std::vector<int32_t> jt,
               int32_t r) {
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  Band p{nb, jt.back() + nb, r, rows, jt, {}, {}, {}};
  int32_t total = 0;
  for (int32_t v : rows) total += v;
  p.g.resize(static_cast<size_t>(total) * nb);
  p.b.resize(static_cast<size_t>(total) * r);
  p.dense.assign(static_cast<size_t>(total) * p.nu, 0.0);
  int32_t row = 0;
  for (size_t blk = 0; blk < rows.size(); ++blk)
    for (int32_t i = 0; i < rows[blk]; ++i, ++row) {
      for (int32_t k = 0; k < nb; ++k) {
        double v = d(gen);
        if (k == row % nb) v += 2.0;
        p.g[row * nb + k] = v;
        p.dense[row * p.nu + jt[blk] + k] = v;
      }
      for (int32_t c = 0; c < r; ++c) p.b[row * r + c] = d(gen);
    }
  return p;
}

std::vector<double> dense_solution(const Band &p) {
  int32_t m = static_cast<int32_t>(p.b.size() / p.r), n = p.nu, r = p.r;
  auto a = p.dense;
  auto b = p.b;
  std::vector<double> x(static_cast<size_t>(n) * r);
  BSrc rc;
  EXPECT_TRUE(BShousehld(&rc, &m, &n, a.data(), &r, b.data(), x.data()));
  return x;
}

TEST_F(BandedTest, BandedAndDenseSolversAgree) {
  std::mt19937 gen(12);
  struct Case {
    int32_t nb;
    std::vector<int32_t> rows, jt;
  } cases[] = {
      {3, {5}, {0}},
      {3, {4, 3, 3, 4}, {0, 1, 3, 4}},
      {4, {6, 2, 5, 5}, {0, 2, 2, 5}},
      {2, {3, 3, 3, 3, 3}, {0, 1, 2, 3, 4}},
  };
  for (const auto &cs : cases) {
    for (int32_t r : {1, 3}) {
      auto p = make_band(gen, cs.nb, cs.rows, cs.jt, r);
      const auto want = dense_solution(p);
      auto g = p.g;
      auto b = p.b;
      BSrc rc;
      BSbndhshold(g.data(), static_cast<int32_t>(cs.rows.size()), cs.rows.data(), cs.nb,
                  cs.jt.data(), r, b.data(), &rc);
      ASSERT_EQ(rc, BSSUCC);
      for (int32_t i = 0; i < p.nu * r; ++i) EXPECT_NEAR(b[i], want[i], 1e-10);

      // The same through the separate accumulation and back substitution.
      g = p.g;
      b = p.b;
      BSbndhshdtr(g.data(), static_cast<int32_t>(cs.rows.size()), cs.rows.data(), cs.nb,
                  cs.jt.data(), r, b.data(), &rc);
      ASSERT_EQ(rc, BSSUCC);
      BSbndhsback(g.data(), static_cast<int32_t>(cs.rows.size()), cs.nb, cs.jt.data(), r, 0,
                  b.data(), &rc);
      ASSERT_EQ(rc, BSSUCC);
      for (int32_t i = 0; i < p.nu * r; ++i) EXPECT_NEAR(b[i], want[i], 1e-10);
    }
  }
}

TEST_F(BandedTest, BackSubstitutionFromAGivenColumn) {
  std::mt19937 gen(13);
  auto p = make_band(gen, 3, {4, 4}, {0, 2}, 2);
  const auto want = dense_solution(p);
  auto g = p.g;
  auto b = p.b;
  BSrc rc;
  BSbndhshdtr(g.data(), 2, p.rows.data(), 3, p.jt.data(), 2, b.data(), &rc);
  ASSERT_EQ(rc, BSSUCC);
  const auto before = b;
  BSbndhsback(g.data(), 2, 3, p.jt.data(), 2, 1, b.data(), &rc);
  ASSERT_EQ(rc, BSSUCC);
  for (int32_t i = 0; i < p.nu; ++i) {
    EXPECT_EQ(b[i * 2], before[i * 2]);  // column 0 untouched
    EXPECT_NEAR(b[i * 2 + 1], want[i * 2 + 1], 1e-10);
  }
}

TEST_F(BandedTest, TooFewRowsFailBeforeTouchingG) {
  std::vector<int32_t> rows = {2}, jt = {0};
  std::vector<double> g = {1, 2, 3, 4, 5, 6}, b = {1, 2};
  const auto g0 = g;
  BSrc rc;
  BSbndhshold(g.data(), 1, rows.data(), 3, jt.data(), 1, b.data(), &rc);
  EXPECT_EQ(rc, BSINARG);
  EXPECT_EQ(g, g0);
}

TEST_F(BandedTest, RankDeficientBandFails) {
  // Two identical equations for two unknowns plus a third row without the second.
  std::vector<int32_t> rows = {3}, jt = {0};
  std::vector<double> g = {1, 1, 1, 1, 2, 2}, b = {1, 1, 2};
  BSrc rc;
  BSbndhshold(g.data(), 1, rows.data(), 2, jt.data(), 1, b.data(), &rc);
  EXPECT_EQ(rc, BSFAIL);
  // A block that starts beyond every row read: the unknowns in the gap have no
  // equation left.
  std::vector<int32_t> rows2 = {1, 3}, jt2 = {0, 3};
  std::vector<double> g2(4 * 2, 1.0), b2(4, 1.0);
  BSbndhshold(g2.data(), 2, rows2.data(), 2, jt2.data(), 1, b2.data(), &rc);
  EXPECT_EQ(rc, BSINARG);  // 4 rows for 5 unknowns
  std::vector<int32_t> rows3 = {1, 6}, jt3 = {0, 3};
  std::vector<double> g3(7 * 2, 1.0), b3(7, 1.0);
  BSbndhshold(g3.data(), 2, rows3.data(), 2, jt3.data(), 1, b3.data(), &rc);
  EXPECT_EQ(rc, BSFAIL);
}

}  // namespace
