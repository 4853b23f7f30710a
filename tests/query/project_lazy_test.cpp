// Tests of the lazy piece search on long curves: pieces converted on demand must be
// exactly the pieces of the full decomposition, the box tree must bound them, and
// nearest points on long curves (200 to 2000 poles, orders 2 to 8, rational or not)
// must match an independent brute-force search.

#include "bspline/bezier.hpp"
#include "ref_query.hpp"
#include "query/boxes.hpp"
#include "query/project.hpp"

using kwtest::RefCurve;

namespace {

// A curve wandering through a unit cube by small random pole steps (the shape of
// long curves in practice: far pieces are pruned by their boxes), on the random
// knots and weights of kwtest::random_curve.
RefCurve wandering_curve(std::mt19937_64 &rng, int k, int n, bool rational, bool clamped) {
  std::uniform_real_distribution<double> U(-1.0, 1.0);
  RefCurve c = kwtest::random_curve(rng, kwtest::CurveShape{k, n, rational, true, clamped});
  kwtest::P3 p = {0.5, 0.5, 0.5};
  const double step = 3.0 / std::sqrt(static_cast<double>(n));
  for (int i = 0; i < n; ++i) {
    for (double &x : p) x = std::clamp(x + step * U(rng), 0.0, 1.0);
    kwtest::set_pole(c, i, p);
  }
  return c;
}

bool box_inside(int dim, const double *inner, const double *outer) {
  for (int d = 0; d < dim; ++d)
    if (inner[d] < outer[d] || inner[dim + d] > outer[dim + d]) return false;
  return true;
}

}  // namespace

TEST(SplinePieces, LazyPiecesAreTheFullDecompositionAndTheTreeBoundsThem) {
  std::mt19937_64 rng(501);
  for (int trial = 0; trial < 24; ++trial) {
    const int k = 2 + trial % 7;
    const bool rational = trial % 2 == 1;
    const int n = 40 + 37 * trial;
    RefCurve c = trial % 3 == 0
                     ? kwtest::query_curve(rng, k, n, rational, false, 1.0, trial % 4 != 1)
                     : wandering_curve(rng, k, n, rational, trial % 4 != 1);
    const std::vector<double> rows = c.rows();
    const int m = rational ? 4 : 3;
    knotwork::SplinePieces full, lazy;
    ASSERT_EQ(full.build(k - 1, n, 3, rational, rows.data(), c.knots.data(), false), BSSUCC);
    ASSERT_EQ(lazy.build(k - 1, n, 3, rational, rows.data(), c.knots.data(), true), BSSUCC);
    knotwork::PieceSet &ps = lazy.set;
    ASSERT_EQ(ps.count, full.set.count) << "trial " << trial;
    ASSERT_NE(ps.tree, nullptr);
    for (int32_t j = 0; j <= ps.count; ++j) EXPECT_EQ(ps.breaks[j], full.set.breaks[j]);
    // Convert in a scattered order; every leaf's and every ancestor's box must hold
    // the pole box of every piece below it, before and after its group is done.
    std::vector<int32_t> order(ps.count);
    for (int32_t j = 0; j < ps.count; ++j) order[j] = j;
    std::shuffle(order.begin(), order.end(), rng);
    for (int32_t j : order) {
      EXPECT_FALSE(ps.ready(j));
      ps.convert(j);
      ASSERT_TRUE(ps.ready(j));
      const double *a = ps.piece(j).rows, *b = full.set.piece(j).rows;
      for (int v = 0; v < m * k; ++v) ASSERT_EQ(a[v], b[v]) << "trial " << trial << " piece " << j;
      const double *box = full.set.boxes + 6 * static_cast<std::ptrdiff_t>(j);
      for (int32_t node = ps.leaf_base + j / knotwork::kPiecesPerLeaf; node >= 1; node /= 2)
        ASSERT_TRUE(box_inside(3, box, ps.tree + 6 * static_cast<std::ptrdiff_t>(node)))
            << "trial " << trial << " piece " << j << " node " << node;
    }
    // Fully converted, the tree is the tree of the pole boxes: the root is their union.
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (int32_t j = 0; j < ps.count; ++j)
      for (int d = 0; d < 3; ++d) {
        lo[d] = std::min(lo[d], full.set.boxes[6 * j + d]);
        hi[d] = std::max(hi[d], full.set.boxes[6 * j + 3 + d]);
      }
    for (int d = 0; d < 3; ++d) {
      EXPECT_EQ(ps.tree[6 + d], lo[d]) << "trial " << trial;
      EXPECT_EQ(ps.tree[9 + d], hi[d]) << "trial " << trial;
    }
  }
}

TEST(BSmdstptcv, LongCurvesMatchBruteForce) {
  std::mt19937_64 rng(2027);
  std::uniform_real_distribution<double> U(-1.0, 1.0), V(0.0, 1.0);
  for (int trial = 0; trial < 14; ++trial) {
    const int k = 2 + trial % 7;
    const bool rational = trial >= 7;
    const int n = 200 + static_cast<int>(V(rng) * (trial % 3 == 0 ? 1800 : 600));
    const bool clamped = trial % 5 != 3;
    const bool scattered = trial % 4 == 2;
    const bool closed = clamped && trial % 3 == 0;
    RefCurve c = scattered ? kwtest::query_curve(rng, k, n, rational, closed, 1.0, clamped)
                           : wandering_curve(rng, k, n, rational, clamped);
    c.closed = closed;
    if (closed) kwtest::set_pole(c, n - 1, kwtest::pole_of(c, 0));
    for (int j = 0; j < 5; ++j) {
      // Near the curve (a curve point moved a little) or anywhere around it.
      double p[3];
      const auto q = kwtest::ref_eval(c, c.lo() + (c.hi() - c.lo()) * V(rng));
      const double off = j == 0 ? 0.0 : (j == 1 ? 1e-3 : 0.05), reach = j == 3 ? 0.7 : 20.0;
      for (int d = 0; d < 3; ++d) p[d] = j < 3 ? q[d] + off * U(rng) : 0.5 + reach * U(rng);
      const kwtest::Foot f = kwtest::nearest(c, p);
      ASSERT_EQ(f.rc, BSSUCC) << "trial " << trial;
      kwtest::expect_nearest(c, p, f, trial, 16);
    }
  }
}

TEST(BSmdptsbscv, LongCurveSweepAgreesWithSingleCalls) {
  std::mt19937_64 rng(77);
  std::uniform_real_distribution<double> U(-1.0, 1.0), V(0.0, 1.0);
  for (int trial = 0; trial < 8; ++trial) {
    const int k = 2 + trial % 7;
    const bool rational = trial % 2 == 0;
    const int n = 300 + 100 * trial;
    RefCurve c = wandering_curve(rng, k, n, rational, true);
    const std::vector<double> rows = c.rows();
    // Points along the curve, with repeats and jumps far away.
    std::vector<double> pts;
    for (int i = 0; i < 120; ++i) {
      auto q = kwtest::ref_eval(c, c.lo() + (c.hi() - c.lo()) * V(rng));
      const double off = i % 13 == 4 ? 2.0 : 0.02;
      for (int d = 0; d < 3; ++d) q[d] += off * U(rng);
      for (int r = 0; r < 1 + i % 2; ++r) pts.insert(pts.end(), q.begin(), q.end());
    }
    const int np = static_cast<int>(pts.size() / 3);
    std::vector<double> d(np), f(3 * np), u(np), want(np);
    for (int i = 0; i < np; ++i) want[i] = kwtest::nearest(c, &pts[3 * i]).dist;
    // The previous foot bounds the next search: a zero or negative tolerance (no end
    // snap) must still give the answers.
    for (const double tol : {1e-6, 0.0, -0.5}) {
      BSrc rc = 99;
      BSmdptsbscv(k - 1, n, 3, rational, rows.data(), c.knots.data(), np, pts.data(), tol, d.data(),
                  f.data(), u.data(), &rc);
      ASSERT_EQ(rc, BSSUCC);
      for (int i = 0; i < np; ++i)
        EXPECT_NEAR(d[i], want[i], tol > 0 ? 1e-12 : 5e-7 + 1e-12)
            << "trial " << trial << " tol " << tol << " point " << i;
    }
  }
}
