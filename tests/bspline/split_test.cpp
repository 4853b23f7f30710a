// Splitting, extracting, breaking, reversing and closing curves: clamped pieces that
// reproduce the original; failures leave nothing allocated and tolerances restored.

#include "bspline/insert.hpp"
#include "record_room.hpp"
#include "ref_curves.hpp"
#include "status_ok.hpp"
#include "support.hpp"

namespace {

using kwtest::cubic_bezier;
using kwtest::make_curve;
using kwtest::max_deviation;
using kwtest::RefCurve;

class Split : public kwtest::GuardedTest {};

double lo(const BScurve &c) {
  return c.knots[c.order - 1];
}
double hi(const BScurve &c) {
  return c.knots[c.num_poles];
}
void free_arrays(std::initializer_list<BScurve *> curves) {
  for (BScurve *cv : curves) {
    BSdbgfree(cv->poles);
    BSdbgfree(cv->knots);
    if (cv->rational) BSdbgfree(cv->weights);
    cv->poles = cv->knots = cv->weights = nullptr;
  }
}

TEST_F(Split, PiecesReproduceRandomCurves) {
  std::mt19937_64 rng(71);
  for (int trial = 0; trial < 240; ++trial) {
    const int k = 2 + trial % 15, n = k + static_cast<int>(rng() % 7);
    std::mt19937_64 twin = rng;  // the same curve again: the input stays untouched
    RefCurve c = kwtest::random_curve(rng, k, n, trial % 2, (trial / 2) % 2);
    BScurve cv = c.view();
    const double tol = 8 * k * kwtest::pole_ulp(cv), a = c.lo(), b = c.hi();  // as evaluation
    SCOPED_TRACE(testing::Message() << "trial " << trial << " k " << k);
    // BScvsplit, sometimes exactly on an interior knot (of multiplicity < k).
    double u = 0.05 + 0.9 * (rng() % 1000) / 1000.0;
    if (trial % 5 == 0 && n > k) u = c.knots[k + rng() % (n - k)];
    BScurve left{}, right{};
    BSrc rc;
    ASSERT_TRUE(BScvsplit(&rc, &cv, &u, &left, &right, nullptr)) << rc;
    EXPECT_TRUE(knotwork::is_clamped(left) && knotwork::is_clamped(right));
    EXPECT_TRUE(lo(left) == a && hi(left) == u && hi(right) == b);
    EXPECT_LT(max_deviation(cv, left, a, u, 61), tol);
    EXPECT_LT(max_deviation(cv, right, u, b, 61), tol);
    EXPECT_LT(kwtest::library_deviation(cv, left, a, u), tol);
    EXPECT_LT(kwtest::library_deviation(cv, right, u + 1e-12, b), tol);
    EXPECT_EQ(left.num_poles + right.num_poles, n + k - kwtest::multiplicity(cv, u));
    EXPECT_EQ(c.knots, kwtest::random_curve(twin, k, n, trial % 2, (trial / 2) % 2).knots);
    free_arrays({&left, &right});
    // BSactivsplt on a random range, in either order of the ends.
    double ua = 0.02 + 0.96 * (rng() % 1000) / 1000.0, ub = 0.02 + 0.96 * (rng() % 1000) / 1000.0;
    if (trial % 7 == 0) ua = 0.0;
    if (trial % 11 == 0) ub = 1.0;
    if (trial % 5 == 0 && n > k) ub = c.knots[k + rng() % (n - k)];
    if (std::fabs(ua - ub) >= 0.01) {
      kwtest::Room out(n + 2 * k, k), swapped(n + 2 * k, k);
      ASSERT_TRUE(BSactivsplt(&rc, &cv, &ua, &ub, &out.cv, nullptr)) << rc;
      ASSERT_TRUE(BSactivsplt(&rc, &cv, &ub, &ua, &swapped.cv, nullptr));
      const double l = std::min(ua, ub), h = std::max(ua, ub);
      EXPECT_TRUE(knotwork::is_clamped(out.cv) && out.cv.non_uniform == 1);
      EXPECT_TRUE(lo(out.cv) == l && hi(out.cv) == h);
      EXPECT_LT(max_deviation(cv, out.cv, l, h, 61), tol);
      EXPECT_LT(kwtest::library_deviation(cv, out.cv, l + 1e-12, h), tol);
      EXPECT_TRUE(out.poles == swapped.poles && out.knots == swapped.knots);
    }
    // BSrev_cv reverses direction and boundaries; twice restores the curve.
    RefCurve r = c;
    BScurve rv = r.view();
    double bdrys[4] = {0.1, 0.2, 0.5, 0.9};
    rv.num_boundaries = 2;
    rv.bdrys = bdrys;
    ASSERT_TRUE(BSrev_cv(&rc, &rv));
    EXPECT_DOUBLE_EQ(lo(rv), a);
    EXPECT_DOUBLE_EQ(hi(rv), b);
    EXPECT_DOUBLE_EQ(bdrys[0], a + b - 0.9);
    EXPECT_DOUBLE_EQ(bdrys[1], a + b - 0.5);
    for (double v : {0.1, 0.4, 0.77}) {
      const auto p = kwtest::ref_eval(c, v), q = kwtest::ref_eval(rv, a + b - v);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(p[i], q[i], 1e-12);
    }
    ASSERT_TRUE(BSrev_cv(&rc, &rv));
    EXPECT_TRUE(r.poles == c.poles && r.weights == c.weights);
    for (size_t i = 0; i < c.knots.size(); ++i) EXPECT_NEAR(r.knots[i], c.knots[i], 1e-15);
    EXPECT_NEAR(bdrys[3], 0.9, 1e-15);
  }
  EXPECT_EQ(BSparameters.knot_tol, 1e-6);
}

TEST_F(Split, CvsplitFlagsMultipleKnotsAndNearEnds) {
  BScurve left{}, right{};
  BSrc rc;
  const double u = 0.5, v = 0.25;
  // Uniform flags: a uniform input stays uniform when split at a knot; a
  // non-uniform input gives uniform pieces exactly when they have k poles.
  RefCurve q =
      make_curve(3, {0, 0, 0, 1, 2, 3, 3, 3}, {0, 0, 0, 1, 1, 0, 2, 0, 1, 3, 1, 0, 4, 0, 0});
  BScurve qv = q.view();
  const std::tuple<int16_t, double, int16_t, int16_t> flags[] = {// in, u, left, right
                                                                 {0, 1.0, 0, 0},
                                                                 {0, 1.5, 1, 1},
                                                                 {1, 1.0, 0, 1}};
  for (const auto &[flag, at, l, r] : flags) {
    qv.non_uniform = flag;
    ASSERT_TRUE(BScvsplit(&rc, &qv, &at, &left, &right, nullptr));
    EXPECT_TRUE(left.non_uniform == l && right.non_uniform == r) << at;
    free_arrays({&left, &right});
  }
  // The plane test: a planar quadratic loop split in two gives planar pieces.
  RefCurve loop = make_curve(3, {0, 0, 0, 0.5, 1, 1, 1}, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0});
  BScurve lv = loop.view();
  for (BSboolean test : {1, 0}) {
    left = right = BScurve{};
    ASSERT_TRUE(BScvsplit(&rc, &lv, &u, &left, &right, &test));
    EXPECT_EQ(left.planar, test);
    free_arrays({&left, &right});
  }
  // Multiplicity k: a gap, not split, nothing left allocated; elsewhere it splits.
  RefCurve gap = make_curve(3, {0, 0, 0, 0.5, 0.5, 0.5, 1, 1, 1},
                            {0, 0, 0, 1, 1, 0, 2, 0, 1, 3, 1, 0, 4, 0, 0, 5, 0, 0});
  BScurve gv = gap.view();
  EXPECT_FALSE(BScvsplit(&rc, &gv, &u, &left, &right, nullptr));
  EXPECT_TRUE(rc == BSINARG && left.poles == nullptr && right.poles == nullptr);
  ASSERT_TRUE(BScvsplit(&rc, &gv, &v, &left, &right, nullptr));
  EXPECT_LT(max_deviation(gv, right, 0.25, 0.5), 1e-14);
  EXPECT_LT(max_deviation(gv, right, 0.5 + 1e-9, 1.0), 1e-14);
  free_arrays({&left, &right});
  // Within the knot tolerance of an end: an empty piece and a copy.
  RefCurve bz = cubic_bezier();
  BScurve bv = bz.view();
  double tol = 0;
  BScvkttol2(4, bv.knots, 4, bv.poles, nullptr, &tol, &rc);
  const double near_start = tol / 2, near_end = 1.0 - tol / 2;
  ASSERT_TRUE(BScvsplit(&rc, &bv, &near_start, &left, &right, nullptr));
  EXPECT_TRUE(left.num_poles == 0 && left.poles == nullptr);
  EXPECT_EQ(std::vector<double>(right.poles, right.poles + 12), bz.poles);
  free_arrays({&right});
  ASSERT_TRUE(BScvsplit(&rc, &bv, &near_end, &left, &right, nullptr));
  EXPECT_TRUE(right.num_poles == 0 && left.num_poles == 4);
  free_arrays({&left});
}

TEST_F(Split, ActivspltFailuresAndKnotTolRestoredOnEveryPath) {
  RefCurve bz = cubic_bezier(), one = make_curve(4, {0, 0, 0, 0, 0.5, 1, 1, 1, 1},
                                                 {0, 0, 0, 1, 1, 0, 2, 0, 1, 3, 1, 0, 4, 0, 0});
  BScurve bv = bz.view(), ov = one.view();
  kwtest::Room out(60, 17);
  BSrc rc;
  double tau = 0;
  BSlocknttol(&ov, 0.5, BSparameters.dist_tol, &tau, &rc);
  const double saved = BSparameters.knot_tol;
  const std::tuple<BScurve *, double, double, BSrc> cases[] = {
      {&bv, 0.5, 0.5 + 1e-12, BSINARG},
      {&bv, -0.1, 0.5, BSFAIL},
      {&bv, 0.5, 1.2, BSFAIL},
      // closer than the tolerances only after snapping to the knot
      {&ov, 0.5 - 0.6 * tau, 0.5 + 0.6 * tau, BSINARG}};
  for (const auto &[cv, u0, u1, want] : cases) {
    EXPECT_FALSE(BSactivsplt(&rc, cv, &u0, &u1, &out.cv, nullptr));
    EXPECT_EQ(rc, want) << u0 << " " << u1;
    EXPECT_EQ(BSparameters.knot_tol, saved);
  }
  EXPECT_FALSE(BSactivsplt(&rc, &bv, nullptr, &std::get<2>(cases[0]), &out.cv, nullptr) ||
               rc != BSNULLPTR);
  // Order 17: every evaluation takes scratch, so allocation failures strike inside
  // the insertions while knot_tol is tightened.
  std::mt19937_64 rng(84);
  RefCurve c = kwtest::random_curve(rng, 17, 20, true, true);
  BScurve cv = c.view();
  const double u0 = 0.3, u1 = 0.7;
  const auto sweep = kwtest::sweep_allocation_failures(
      [&] { return KW_STATUS(BSactivsplt(&rc, &cv, &u0, &u1, &out.cv, nullptr)); },
      {BSNOSTKMEMORY, BSNOMEMORY}, [&] { EXPECT_EQ(BSparameters.knot_tol, saved); });
  EXPECT_GT(sweep.runs, 3);
}

TEST_F(Split, ExtrcvspnAndClosureOfLoops) {
  std::mt19937_64 rng(91);
  RefCurve c = kwtest::random_curve(rng, kwtest::CurveShape{4, 8, true, false, true});
  BScurve cv = c.view();
  kwtest::Room out(4, 4);
  BSrc rc;
  const BSboolean yes = 1;
  for (int32_t s = 3; s <= 7; ++s) {
    ASSERT_TRUE(BSextrcvspn(&rc, &s, &cv, &out.cv, &yes, nullptr));
    EXPECT_TRUE(out.cv.num_poles == 4 &&
                out.knots == std::vector<double>(&c.knots[s - 3], &c.knots[s + 5]));
    EXPECT_LT(max_deviation(cv, out.cv, c.knots[s], c.knots[s + 1]), 1e-13);
  }
  for (int32_t bad : {2, 8})
    EXPECT_TRUE(!BSextrcvspn(&rc, &bad, &cv, &out.cv, nullptr, nullptr) && rc == BSINARG);
  // A quadratic Bezier loop whose ends nearly meet: flagged and made exactly closed.
  RefCurve loop = make_curve(3, {0, 0, 0, 1, 1, 1}, {0, 0, 0, 1, 1, 0, 1e-9, 0, 0});
  BScurve lv = loop.view();
  kwtest::Room lo3(3, 3);
  const int32_t s = 2;
  ASSERT_TRUE(BSextrcvspn(&rc, &s, &lv, &lo3.cv, nullptr, &yes));
  EXPECT_TRUE(lo3.cv.phy_closed == 1 && lo3.poles[0] == lo3.poles[6]);
  // The closure test and its enforcement on a rational quadratic whose ends nearly meet.
  RefCurve q =
      make_curve(3, {0, 0, 0, 0.5, 1, 1, 1}, {0, 0, 0, 4, 0, 0, 4, 4, 0, 0, 4e-9, 0}, {1, 2, 2, 4});
  BScurve qv = q.view();
  KW_OK(BScvtstclsd(&qv, &rc));
  EXPECT_EQ(qv.phy_closed, 1);
  KW_OK(BScvsetclsd(&qv, &rc));
  for (int i = 0; i < 3; ++i)
    EXPECT_DOUBLE_EQ(q.poles[i] / q.weights[0], q.poles[9 + i] / q.weights[3]);
  EXPECT_NEAR(q.poles[10] / 4, 0.5e-9, 1e-20);
  // An open curve: flag cleared, enforcement does nothing.
  RefCurve open = cubic_bezier();
  BScurve ov = open.view();
  ov.phy_closed = 1;
  BScvtstclsd(&ov, &rc);
  EXPECT_EQ(ov.phy_closed, 0);
  BScvsetclsd(&ov, &rc);
  EXPECT_EQ(open.poles, cubic_bezier().poles);
}

TEST_F(Split, BreakcvPiecesCoverTheCurveInOrder) {
  // A cubic with a C0 knot at 0.3 and a gap at 0.6; a polyline breaks at every
  // knot; a smooth unclamped curve gives one clamped copy.
  std::vector<double> poles(3 * 14);
  for (int i = 0; i < 42; ++i) poles[i] = std::sin(1.7 * i);
  RefCurve c = make_curve(
      4, {0, 0, 0, 0, 0.15, 0.3, 0.3, 0.3, 0.45, 0.6, 0.6, 0.6, 0.6, 0.8, 1, 1, 1, 1}, poles);
  RefCurve poly = make_curve(2, {0, 0, 0.25, 0.5, 1, 1}, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0});
  std::mt19937_64 rng(92);
  RefCurve smooth = kwtest::random_curve(rng, kwtest::CurveShape{4, 9, true, false, false});
  const std::pair<RefCurve *, std::vector<double>> cases[] = {
      {&c, {0, 0.3, 0.6, 1}}, {&poly, {0, 0.25, 0.5, 1}}, {&smooth, {0, 1}}};
  for (const auto &[curve, ends] : cases) {
    BScurve cv = curve->view();
    int32_t count = 0;
    BScurve **pieces = nullptr;
    BSrc rc;
    ASSERT_TRUE(BSbreakcv(&rc, &cv, &count, &pieces, nullptr));
    ASSERT_EQ(count + 1, static_cast<int32_t>(ends.size()));
    for (int i = 0; i < count; ++i) {
      EXPECT_TRUE(knotwork::is_clamped(*pieces[i]));
      EXPECT_TRUE(lo(*pieces[i]) == ends[i] && hi(*pieces[i]) == ends[i + 1]);
      // right of the gap the piece starts with the right-hand limit: compare inside
      EXPECT_LT(max_deviation(cv, *pieces[i], ends[i] + 1e-9, ends[i + 1]), 1e-12) << i;
    }
    for (int i = 0; i < count; ++i) BSfreeqelcv(pieces[i], &rc);
    BSdbgfree(pieces);
  }
}

}  // namespace
