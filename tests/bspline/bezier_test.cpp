// Degree elevation and Bezier decomposition against the reference evaluator, knot
// multiplicities, exact first poles, de Casteljau and halving identities, statuses.

#include "bspline/bezier.hpp"
#include "ref_curves.hpp"
#include "status_of.hpp"
#include "status_ok.hpp"
#include "support.hpp"

namespace {

using kwtest::CurveShape;
using kwtest::make_curve;
using kwtest::RefCurve;

class Bezier : public kwtest::GuardedTest {};

// Bezier rows (rows of d + 1 values; the last row the weights when rational) at t
// by the Bernstein sum.
std::vector<double> bernstein(int d, int rows, const double *c, double t, bool rational) {
  std::vector<double> out(rows, 0.0);
  for (int i = 0; i <= d; ++i) {
    const double b = (double)kwtest::ref_binom(d, i) * std::pow(t, i) * std::pow(1 - t, d - i);
    for (int r = 0; r < rows; ++r) out[r] += b * c[r * (d + 1) + i];
  }
  if (rational) {
    for (int r = 0; r < rows - 1; ++r) out[r] /= out[rows - 1];
    out.pop_back();
  }
  return out;
}

TEST_F(Bezier, ElevationKeepsShapeOnRandomCurves) {
  std::mt19937_64 rng(101);
  for (int trial = 0; trial < 400; ++trial) {
    const int k = 2 + trial % 10, raise = 1 + trial % 5;
    const CurveShape shape{k, k + (trial / 10) % 7, trial % 2 == 1, trial % 3 != 0, trial % 4 != 0};
    RefCurve cv = kwtest::random_curve(rng, shape);
    RefCurve original = cv;
    BScurve view = cv.view();
    BScurve *out = nullptr;
    BSrc rc;
    const int q = k - 1 + raise;
    KW_OK(BSupthedeg(&view, static_cast<int16_t>(q), FALSE, &out, &rc)) << trial;
    ASSERT_EQ(out->order, q + 1);
    // The input was clamped in place: its first pole is the start point, and the
    // result's first pole is that pole bit for bit (an unclamped input's first
    // pole is not on the curve and must not be copied).
    for (int c = 0; c < 3; ++c) EXPECT_EQ(out->poles[c], view.poles[c]) << trial;
    EXPECT_TRUE(!shape.rational || out->weights[0] == view.weights[0]);
    const auto start = kwtest::ref_eval(original, original.lo());
    const double w0 = shape.rational ? out->weights[0] : 1.0;
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(out->poles[c] / w0, start[c], 1e-12);
    // Every distinct knot of the clamped input gains `raise`, and no knot is new.
    int distinct = 0;
    for (int i = 0; i < view.num_knots; ++i) {
      distinct += i == 0 || view.knots[i] != view.knots[i - 1];
      EXPECT_EQ(kwtest::multiplicity(*out, view.knots[i]),
                kwtest::multiplicity(view, view.knots[i]) + raise);
    }
    EXPECT_EQ(out->num_knots, view.num_knots + raise * distinct) << trial;
    EXPECT_EQ(out->num_knots, out->num_poles + q + 1);
    EXPECT_LT(kwtest::max_deviation(original.view(), *out, original.lo(), original.hi(), 300),
              1e-11)
        << trial;
    BSfreeqelcv(out, &rc);
  }
}

TEST_F(Bezier, ElevationOutputRecordsAndStatuses) {
  RefCurve quad = make_curve(3, {0, 0, 0, 1, 1, 1}, {0, 0, 0, 1, 1, 0, 2, 0, 0});
  BScurve cv = quad.view();
  // Reuse: the caller's record with room for the result.
  RefCurve room = make_curve(5, std::vector<double>(10), std::vector<double>(15));
  BScurve target = room.view();
  BScurve *tp = &target;
  BSrc rc;
  KW_OK(BSupthedeg(&cv, 4, TRUE, &tp, &rc));
  EXPECT_TRUE(tp == &target && target.num_poles == 5);
  EXPECT_LT(kwtest::max_deviation(cv, target), 1e-14);
  // The same degree: nothing happens.
  BScurve *untouched = reinterpret_cast<BScurve *>(0x1);
  KW_EXPECT_OK(BSupthedeg(&cv, 2, FALSE, &untouched, &rc));
  EXPECT_EQ(untouched, reinterpret_cast<BScurve *>(0x1));
  // The output pointer may hold the input itself: a new record replaces it.
  std::mt19937_64 rng(5);
  RefCurve big = kwtest::random_curve(rng, CurveShape{4, 60, true});  // beyond stack scratch
  BScurve bv = big.view();
  BScurve *held = nullptr;
  BSallocqelcv(4, 60, 1, 0, &held, &rc);
  BScv_copy(&rc, &bv, held);
  BScurve *out = held;
  KW_OK(BSupthedeg(held, 5, FALSE, &out, &rc));
  EXPECT_TRUE(out != held && out->order == 6);
  BSfreeqelcv(out, &rc);
}

TEST_F(Bezier, NewKnotVectorRaisesMultiplicities) {
  const double init[] = {0, 0, 0, 0, 0.5, 1, 1, 1, 1};
  double *knots = static_cast<double *>(BSdbgalloc(9 * sizeof(double)));
  std::copy(init, init + 9, knots);
  int32_t last = -1;
  KW_OK(BSnewktr(3, 4, FALSE, 5, &knots, &last, &rc));  // reallocated to the exact size
  EXPECT_EQ(last, 15 - 5 - 2);
  EXPECT_EQ(std::vector<double>(knots, knots + 15),
            (std::vector<double>{0, 0, 0, 0, 0, 0, 0.5, 0.5, 0.5, 1, 1, 1, 1, 1, 1}));
  BSdbgfree(knots);
  // Keep flag: the caller's array; knots within knot_tol are one.
  double kept[40] = {0, 0, 0, 0.3, 0.3 + 1e-8, 1, 1, 1};
  double *kp = kept;
  KW_OK(BSnewktr(2, 4, TRUE, 3, &kp, &last, &rc));
  EXPECT_EQ(std::vector<double>(kept, kept + 11),
            (std::vector<double>{0, 0, 0, 0, 0.3, 0.3, 0.3, 1, 1, 1, 1}));
  EXPECT_EQ(last, 11 - 3 - 2);
  EXPECT_EQ(KW_STATUS(BSnewktr(3, 4, TRUE, 2, &kp, &last, &rc)), BSINARG);
  EXPECT_EQ(KW_STATUS(BSnewktr(2, 4, TRUE, 3, nullptr, &last, &rc)), BSNULLPTR);
}

TEST_F(Bezier, DecompositionsEvaluateAsTheSpline) {
  std::mt19937_64 rng(202);
  for (int trial = 0; trial < 300; ++trial) {
    const int k0 = 2 + trial % 9;
    RefCurve cv = kwtest::random_curve(
        rng, CurveShape{k0, k0 + (trial / 9) % 8, trial % 2 == 0, trial % 3 == 0, trial % 4 < 2});
    // one end clamped and the other not, on each side in turn
    if (trial % 4 == 2) std::fill(cv.knots.begin(), cv.knots.begin() + cv.k, cv.knots[cv.k - 1]);
    if (trial % 4 == 3) std::fill(cv.knots.end() - cv.k, cv.knots.end(), cv.knots[cv.n()]);
    // a double knot (below order k) gives a zero-length span inside
    if (trial % 5 == 0 && cv.k >= 3 && cv.n() > cv.k + 1) cv.knots[cv.k + 1] = cv.knots[cv.k];
    const int k = cv.k, p = k - 1, rows = cv.rational() ? 4 : 3;
    const int32_t n = cv.n();
    int expected = 0;
    for (int32_t s = p; s < n; ++s) expected += cv.knots[s + 1] > cv.knots[s];
    // BSbstobez on coordinate-major rows.
    const std::vector<double> polerows = cv.rows();
    std::vector<double> coefs(rows * k * n), breaks(n + 1);
    int32_t count = -1;
    BSrc rc;
    KW_OK(BSbstobez(p, n, rows, cv.knots.data(), polerows.data(), &count, coefs.data(),
                    breaks.data(), &rc))
        << trial;
    ASSERT_EQ(count, expected);
    EXPECT_TRUE(breaks[0] == cv.lo() && breaks[count] == cv.hi());
    // BScvtobz into records.
    std::vector<RefCurve> store(n);
    std::vector<BScurve> segs(n);
    for (int32_t j = 0; j < n; ++j) {
      store[j] = make_curve(k, std::vector<double>(2 * k), std::vector<double>(3 * k),
                            std::vector<double>(cv.rational() ? k : 0));
      segs[j] = store[j].view();
    }
    BScurve view = cv.view();
    int32_t nseg = -1;
    ASSERT_TRUE(BScvtobz(&rc, &view, &nseg, segs.data())) << rc;
    ASSERT_EQ(nseg, expected);
    for (int j = 0; j < count; ++j) {
      const double a = breaks[j], b = breaks[j + 1];
      ASSERT_LT(a, b);
      EXPECT_TRUE(segs[j].knots[0] == a && segs[j].knots[2 * k - 1] == b);
      EXPECT_LT(kwtest::max_deviation(view, segs[j], a, b, 21), 1e-11) << trial;
      for (int i = 0; i <= 20; ++i) {  // the Bernstein coefficients on [a, b]
        const auto want = kwtest::ref_eval(cv, a + i / 20.0 * (b - a));
        const auto got = bernstein(p, rows, coefs.data() + j * rows * k, i / 20.0, cv.rational());
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], 1e-11) << trial;
      }
    }
  }
}

TEST_F(Bezier, DecasteljauTriangleGivesPointAndBothPieces) {
  std::mt19937_64 rng(303);
  for (int trial = 0; trial < 60; ++trial) {
    const int k = 2 + trial % 15;
    RefCurve cv = kwtest::random_curve(rng, CurveShape{k, k, trial % 2 == 1});
    for (double &t : cv.knots) t = 1 + 2 * t;  // domain [1, 3]
    BScurve view = cv.view();
    double pts[16][16][3], wts[16][16];
    const double u = 1.7;
    BSrc rc;
    ASSERT_TRUE(BSdcastelj(&rc, &view, &u, pts, wts));
    // left piece on [1, u]: the diagonal; right piece on [u, 3]: row k-1 reversed
    RefCurve left = make_curve(k, {}, {}), right = make_curve(k, {}, {});
    left.knots.assign(k, 1.0);
    left.knots.insert(left.knots.end(), k, u);
    right.knots.assign(k, u);
    right.knots.insert(right.knots.end(), k, 3.0);
    for (int r = 0; r < k; ++r) {
      for (int c = 0; c < 3; ++c) {
        left.poles.push_back(pts[r][r][c]);
        right.poles.push_back(pts[k - 1][k - 1 - r][c]);
      }
      if (cv.rational()) {
        left.weights.push_back(wts[r][r]);
        right.weights.push_back(wts[k - 1][k - 1 - r]);
      }
    }
    const auto p = kwtest::ref_eval(cv, u);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(pts[k - 1][k - 1][c] / wts[k - 1][k - 1], p[c], 1e-12);
    BScurve lv = left.view(), rv = right.view();
    EXPECT_LT(kwtest::max_deviation(view, lv, 1, u), 1e-11);
    EXPECT_LT(kwtest::max_deviation(view, rv, u, 3), 1e-11);
    // at the ends: the end poles exactly
    for (double e : {1.0, 3.0}) {
      ASSERT_TRUE(BSdcastelj(&rc, &view, &e, pts, wts));
      for (int c = 0; c < 3; ++c)
        EXPECT_EQ(pts[k - 1][k - 1][c], cv.poles[(e == 1.0 ? 0 : 3 * (k - 1)) + c]);
    }
  }
}

TEST_F(Bezier, HalvingSplittingAndTheInverse) {
  std::mt19937_64 rng(404);
  std::uniform_real_distribution<double> un(-1, 1);
  for (int d = 0; d <= 15; ++d) {
    const int rows = 3;
    std::vector<double> c(rows * (d + 1)), l(c.size()), r(c.size()), sl(c.size()), sr(c.size());
    for (double &v : c) v = un(rng);
    BShlfbezcv(d, rows, c.data(), l.data(), r.data());
    knotwork::split_bezier_rows(d, rows, c.data(), 0.3, sl.data(), sr.data());
    const std::tuple<const std::vector<double> &, double, double> pieces[] = {
        {l, 0, 0.5}, {r, 0.5, 1}, {sl, 0, 0.3}, {sr, 0.3, 1}};
    for (const auto &[piece, pa, pb] : pieces)
      for (int i = 0; i <= 10; ++i) {
        const double t = i / 10.0;
        const auto a = bernstein(d, rows, c.data(), pa + (pb - pa) * t, false);
        const auto b = bernstein(d, rows, piece.data(), t, false);
        for (int q = 0; q < rows; ++q) EXPECT_NEAR(a[q], b[q], 1e-13) << d;
      }
    // BScastdbez is the right half of one row, BScastibez undoes it (also in place).
    std::vector<double> half(d + 1), back(d + 1), inplace(c.begin(), c.begin() + d + 1);
    BScastdbez(d, c.data(), half.data());
    for (int i = 0; i <= d; ++i) EXPECT_NEAR(half[i], r[i], 1e-15);
    BScastibez(d, half.data(), back.data());
    BScastdbez(d, inplace.data(), inplace.data());
    BScastibez(d, inplace.data(), inplace.data());
    for (int i = 0; i <= d; ++i) EXPECT_NEAR(back[i], c[i], 1e-9);
    for (int i = 0; i <= d; ++i) EXPECT_NEAR(inplace[i], c[i], 1e-9);
  }
}

TEST_F(Bezier, HalvingASplineAtAKnot) {
  std::mt19937_64 rng(505);
  for (int trial = 0; trial < 100; ++trial) {
    const int k0 = 2 + trial % 6;
    RefCurve cv = kwtest::random_curve(
        rng, CurveShape{k0, k0 + 2 + trial % 5, trial % 2 == 0, trial % 3 == 0, trial % 5 != 0});
    const int p = cv.k - 1, rows = cv.rational() ? 4 : 3;
    const std::vector<double> polerows = cv.rows();
    const int32_t index = p + 1 + static_cast<int32_t>(trial % (cv.n() - p - 1)), cap = cv.n() + p;
    const double v = cv.knots[index];
    std::vector<double> lk(cap + cv.k), lp(rows * cap), rk(cap + cv.k), rp(rows * cap);
    int32_t nl = -1, nr = -1;
    BSrc rc;
    BShlfbspcv(rows, p, cv.n(), cv.knots.data(), polerows.data(), index, &nl, lk.data(), lp.data(),
               &nr, rk.data(), rp.data(), &rc);
    if (std::count(cv.knots.begin(), cv.knots.end(), v) > p) {
      EXPECT_EQ(rc, BSINARG);
      continue;
    }
    ASSERT_EQ(rc, 0) << trial;
    auto as_curve = [&](int32_t n, const std::vector<double> &k, const std::vector<double> &pr) {
      RefCurve h = make_curve(cv.k, {k.begin(), k.begin() + n + cv.k}, {});
      for (int32_t i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c) h.poles.push_back(pr[c * n + i]);
        if (cv.rational()) h.weights.push_back(pr[3 * n + i]);
      }
      return h;
    };
    RefCurve left = as_curve(nl, lk, lp), right = as_curve(nr, rk, rp);
    EXPECT_TRUE(left.lo() == cv.lo() && left.hi() == v && right.lo() == v && right.hi() == cv.hi());
    for (RefCurve *h : {&left, &right})
      EXPECT_LT(kwtest::max_deviation(cv.view(), h->view(), h->lo(), h->hi(), 21), 1e-11) << trial;
  }
}

TEST_F(Bezier, FailureStatuses) {
  RefCurve two = make_curve(2, {0, 0, 0.5, 1, 1}, {0, 0, 0, 1, 0, 0, 1, 1, 0});
  // the weight of level 1 at u = 0.5 is 0
  RefCurve neg = make_curve(3, {0, 0, 0, 1, 1, 1}, {0, 0, 0, -1, 1, 0, 2, 0, 0}, {1, -1, 1});
  BScurve tv = two.view(), nv = neg.view();
  RefCurve quad = make_curve(3, {0, 0, 0, 1, 1, 1}, {0, 0, 0, 1, 1, 0, 2, 0, 0});
  BScurve qv = quad.view(), *none = nullptr, *any = nullptr;
  double pts[16][16][3], wts[16][16], lk[8], lp[8], rk[8], rp[8], coefs[6], breaks[2];
  const double u = 0.5, knots[] = {0, 0, 0, 1, 1, 1}, flat[] = {1, 1, 1, 1, 1, 1};
  const double rows[] = {0, 1, 2, 3, 4, 5};
  int32_t nl, nr, count;
  kwtest::expect_statuses({
      {"two spans", STATUS_OF(EXPECT_FALSE(BSdcastelj(&rc, &tv, &u, pts, wts))), BSINARG},
      {"zero weight", STATUS_OF(EXPECT_FALSE(BSdcastelj(&rc, &nv, &u, pts, wts))), BSFAIL},
      // a domain end is no halving knot
      {"end", STATUS_OF(BShlfbspcv(1, 2, 3, knots, rows, 3, &nl, lk, lp, &nr, rk, rp, &rc)),
       BSINARG},
      {"9", STATUS_OF(BShlfbspcv(1, 2, 3, knots, rows, 9, &nl, lk, lp, &nr, rk, rp, &rc)), BSINARG},
      {"null", STATUS_OF(BShlfbspcv(1, 2, 3, nullptr, rows, 3, &nl, lk, lp, &nr, rk, rp, &rc)),
       BSNULLPTR},
      {"no span", STATUS_OF(BSbstobez(2, 3, 2, flat, rows, &count, coefs, breaks, &rc)), BSINARG},
      {"n < k", STATUS_OF(BSbstobez(3, 3, 2, knots, rows, &count, coefs, breaks, &rc)), BSINARG},
      {"below the degree", STATUS_OF(BSupthedeg(&qv, 1, FALSE, &any, &rc)), BSINARG},
      {"no record to reuse", STATUS_OF(BSupthedeg(&qv, 3, TRUE, &none, &rc)), BSNULLPTR},
  });
}

TEST_F(Bezier, ElementarySymmetricFunctionsAgainstSubsets) {
  std::mt19937_64 rng(606);
  std::uniform_real_distribution<double> un(-2, 2);
  for (int m = 0; m <= 10; ++m) {
    std::vector<double> x(m), e(m + 1), brute(m + 1, 0.0);
    for (double &v : x) v = un(rng);
    BSgensym(m, x.data(), e.data());
    for (unsigned mask = 0; mask < (1u << m); ++mask) {
      double prod = 1;
      int bits = 0;
      for (int i = 0; i < m; ++i)
        if (mask & (1u << i)) prod *= x[i], ++bits;
      brute[bits] += prod;
    }
    for (int r = 0; r <= m; ++r) EXPECT_NEAR(e[r], brute[r], 1e-12 * (1 + std::fabs(brute[r])));
  }
}

}  // namespace
