#include "status_of.hpp"
#include "support.hpp"

namespace {

class BandedTest : public kwtest::GuardedTest {};

// A random banded least-squares problem (block b: rows[b] equations in the
// unknowns jt[b] .. jt[b] + nb - 1) in band storage, and its dense solution.
struct Band {
  std::vector<double> g, b, want;
  int32_t nu;
};

Band make_band(std::mt19937 &gen, int32_t nb, const std::vector<int32_t> &rows,
               const std::vector<int32_t> &jt, int32_t r) {
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  int32_t m = 0, nu = jt.back() + nb;
  for (int32_t v : rows) m += v;
  Band p{std::vector<double>(m * nb), std::vector<double>(m * r), std::vector<double>(nu * r), nu};
  std::vector<double> dense(m * nu, 0.0);
  for (int32_t blk = 0, row = 0; blk < static_cast<int32_t>(rows.size()); ++blk)
    for (int32_t i = 0; i < rows[blk]; ++i, ++row) {
      for (int32_t k = 0; k < nb; ++k)
        dense[row * nu + jt[blk] + k] = p.g[row * nb + k] = d(gen) + (k == row % nb ? 2.0 : 0.0);
      for (int32_t c = 0; c < r; ++c) p.b[row * r + c] = d(gen);
    }
  auto b = p.b;
  BSrc rc;
  EXPECT_TRUE(BShousehld(&rc, &m, &nu, dense.data(), &r, b.data(), p.want.data()));
  return p;
}

TEST_F(BandedTest, BandedAndDenseSolversAgree) {
  std::mt19937 gen(12);
  const struct {
    int32_t nb;
    std::vector<int32_t> rows, jt;
  } cases[] = {{3, {5}, {0}},
               {3, {4, 3, 3, 4}, {0, 1, 3, 4}},
               {4, {6, 2, 5, 5}, {0, 2, 2, 5}},
               {2, {3, 3, 3, 3, 3}, {0, 1, 2, 3, 4}}};
  for (const auto &cs : cases)
    for (int32_t r : {1, 3}) {
      const int32_t nblk = static_cast<int32_t>(cs.rows.size());
      const auto p = make_band(gen, cs.nb, cs.rows, cs.jt, r);
      auto g = p.g, b = p.b;
      BSrc rc;
      BSbndhshold(g.data(), nblk, cs.rows.data(), cs.nb, cs.jt.data(), r, b.data(), &rc);
      ASSERT_EQ(rc, BSSUCC);
      for (int32_t i = 0; i < p.nu * r; ++i) EXPECT_NEAR(b[i], p.want[i], 1e-10);
      // The same in two steps; the back substitution from column `first` on
      // leaves the earlier columns alone.
      g = p.g, b = p.b;
      BSbndhshdtr(g.data(), nblk, cs.rows.data(), cs.nb, cs.jt.data(), r, b.data(), &rc);
      ASSERT_EQ(rc, BSSUCC);
      const auto before = b;
      const int32_t first = r > 1 ? 1 : 0;
      BSbndhsback(g.data(), nblk, cs.nb, cs.jt.data(), r, first, b.data(), &rc);
      ASSERT_EQ(rc, BSSUCC);
      for (int32_t i = 0; i < p.nu * r; ++i)
        EXPECT_NEAR(b[i], i % r < first ? before[i] : p.want[i], 1e-10);
    }
}

TEST_F(BandedTest, FailureStatuses) {
  int32_t rows1[1] = {2}, rows2[1] = {3}, gap_few[2] = {1, 3}, gap[2] = {1, 6},
          rows3[3] = {2, 2, 2};
  int32_t jt0[1] = {0}, jt_gap[2] = {0, 3}, jt_left[3] = {0, 1, 0};
  std::vector<double> few = {1, 2, 3, 4, 5, 6}, dup = {1, 1, 1, 1, 2, 2}, ones(14, 1.0);
  std::vector<double> zeros(4, 0.0), b(12, 1.0);
  const auto few0 = few;
  const std::pair<BSrc, std::function<BSrc()>> cases[] = {
      // two rows for three unknowns: rejected before G is touched
      {BSINARG, STATUS_OF(BSbndhshold(few.data(), 1, rows1, 3, jt0, 1, b.data(), &rc))},
      // two identical equations for two unknowns and a third without the second
      {BSFAIL, STATUS_OF(BSbndhshold(dup.data(), 1, rows2, 2, jt0, 1, b.data(), &rc))},
      // a block starting beyond every row read: 4 rows for 5 unknowns, or the
      // unknowns in the gap have no equation left
      {BSINARG, STATUS_OF(BSbndhshold(ones.data(), 2, gap_few, 2, jt_gap, 1, b.data(), &rc))},
      {BSFAIL, STATUS_OF(BSbndhshold(ones.data(), 2, gap, 2, jt_gap, 1, b.data(), &rc))},
      // band blocks must not move left
      {BSINARG, STATUS_OF(BSbndhshdtr(ones.data(), 3, rows3, 2, jt_left, 1, b.data(), &rc))},
      {BSINARG, STATUS_OF(BSbndhshold(ones.data(), 0, rows3, 2, jt0, 1, b.data(), &rc))},
      {BSINARG, STATUS_OF(BSbndhsback(ones.data(), 0, 2, jt0, 1, 0, b.data(), &rc))},
      {BSINARG, STATUS_OF(BSbndhsback(ones.data(), 1, 2, jt0, 1, 2, b.data(), &rc))},
      {BSFAIL, STATUS_OF(BSbndhsback(zeros.data(), 1, 2, jt0, 1, 0, b.data(), &rc))},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].second(), cases[i].first) << i;
  EXPECT_EQ(few, few0);
}

}  // namespace
