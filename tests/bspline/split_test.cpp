// Splitting, extracting, breaking, reversing and closing curves: each piece
// reproduces the original on its sub-range, is clamped at both ends, and the
// failure statuses leave the documented state.
#include <gtest/gtest.h>

#include <random>

#include "bspline/insert.hpp"
#include "insert_support.hpp"
#include "support.hpp"

namespace {

using kwins::TestCurve;

class SplitTest : public kwtest::GuardedTest {};

TestCurve cubic_bezier() {
  return kwins::make_curve(4, {0, 0, 0, 0, 1, 1, 1, 1}, {0, 0, 0, 1, 2, 0, 3, 2, 1, 4, 0, 0});
}

// Largest distance between original and piece at parameters of [lo, hi].
double deviation_on(const BScurve &orig, const BScurve &piece, double lo, double hi) {
  return kwins::max_deviation(orig, piece, lo, hi, 61);
}

bool clamped(const BScurve &cv) {
  return knotwork::is_clamped(cv);
}

void free_arrays(BScurve &cv) {
  BSdbgfree(cv.poles);
  BSdbgfree(cv.knots);
  if (cv.rational) BSdbgfree(cv.weights);
  cv.poles = cv.knots = cv.weights = nullptr;
}

// ---- BScvsplit ---------------------------------------------------------------------------

TEST_F(SplitTest, CvsplitBezierAtHalf) {
  TestCurve bz = cubic_bezier();
  BScurve left{}, right{};
  BSrc rc;
  const double u = 0.5;
  const BSboolean plane = 0;
  ASSERT_TRUE(BScvsplit(&rc, &bz.cv, &u, &left, &right, &plane));
  ASSERT_EQ(rc, BSSUCC);
  ASSERT_EQ(left.num_poles, 4);
  ASSERT_EQ(right.num_poles, 4);
  const double lk[8] = {0, 0, 0, 0, 0.5, 0.5, 0.5, 0.5}, rk[8] = {0.5, 0.5, 0.5, 0.5, 1, 1, 1, 1};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(left.knots[i], lk[i]);
    EXPECT_EQ(right.knots[i], rk[i]);
  }
  const auto mid = kwins::eval_point(bz.cv, 0.5);
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(left.poles[9 + c], mid[c], 1e-15);
    EXPECT_EQ(right.poles[c], left.poles[9 + c]);
    EXPECT_EQ(left.poles[c], bz.poles[c]);
    EXPECT_EQ(right.poles[9 + c], bz.poles[9 + c]);
  }
  EXPECT_EQ(left.periodic, 0);
  EXPECT_EQ(left.weights, nullptr);
  EXPECT_EQ(left.planar, 0);
  free_arrays(left);
  free_arrays(right);
}

TEST_F(SplitTest, CvsplitPiecesReproduceRandomCurves) {
  std::mt19937 rng(71);
  for (int trial = 0; trial < 240; ++trial) {
    const int k = 2 + trial % 15;
    const int n = k + static_cast<int>(rng() % 7);
    TestCurve cv = kwins::random_curve(rng, k, n, trial % 2, (trial / 2) % 2, k - 2);
    // sometimes exactly on an interior knot
    double u = 0.05 + 0.9 * (rng() % 1000) / 1000.0;
    if (trial % 5 == 0 && n > k) u = cv.knots[k + rng() % (n - k)];
    BScurve left{}, right{};
    BSrc rc;
    ASSERT_TRUE(BScvsplit(&rc, &cv.cv, &u, &left, &right, nullptr)) << rc;
    const double a = kwins::domain_start(cv.cv), b = kwins::domain_end(cv.cv);
    const double tol = 5e-13 * (1 << (k / 2));
    EXPECT_TRUE(clamped(left)) << "k=" << k;
    EXPECT_TRUE(clamped(right)) << "k=" << k;
    EXPECT_EQ(kwins::domain_start(left), a);
    EXPECT_EQ(kwins::domain_end(left), u);
    EXPECT_EQ(kwins::domain_end(right), b);
    EXPECT_LT(deviation_on(cv.cv, left, a, u), tol) << "k=" << k << " trial " << trial;
    EXPECT_LT(deviation_on(cv.cv, right, u, b), tol) << "k=" << k << " trial " << trial;
    EXPECT_LT(kwins::library_deviation(cv.cv, left, a, u), tol) << "k=" << k;
    EXPECT_LT(kwins::library_deviation(cv.cv, right, u + 1e-12, b), tol) << "k=" << k;
    // total poles: the input's plus the insertions, and the pieces meet
    EXPECT_EQ(left.num_poles + right.num_poles, n + k - kwins::multiplicity(cv.cv, u));
    for (int c = 0; c < 3; ++c) {
      const double wl = left.rational ? left.weights[left.num_poles - 1] : 1.0;
      const double wr = right.rational ? right.weights[0] : 1.0;
      EXPECT_NEAR(left.poles[3 * (left.num_poles - 1) + c] / wl, right.poles[c] / wr, tol);
    }
    free_arrays(left);
    free_arrays(right);
  }
}

TEST_F(SplitTest, CvsplitAtKnotOfMultiplicityDegreeCopiesPoles) {
  TestCurve cv = kwins::make_curve(3, {0, 0, 0, 0.5, 0.5, 1, 1, 1},
                                   {0, 0, 0, 1, 1, 0, 2, 0, 1, 3, 1, 0, 4, 0, 0});
  BScurve left{}, right{};
  BSrc rc;
  const double u = 0.5;
  ASSERT_TRUE(BScvsplit(&rc, &cv.cv, &u, &left, &right, nullptr));
  ASSERT_EQ(left.num_poles, 3);
  ASSERT_EQ(right.num_poles, 3);
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(left.poles[i], cv.poles[i]);
    EXPECT_EQ(right.poles[i], cv.poles[6 + i]);
  }
  free_arrays(left);
  free_arrays(right);
  // multiplicity k: a gap, not split
  TestCurve gap = kwins::make_curve(3, {0, 0, 0, 0.5, 0.5, 0.5, 1, 1, 1},
                                    {0, 0, 0, 1, 1, 0, 2, 0, 1, 3, 1, 0, 4, 0, 0, 5, 0, 0});
  BScurve l2{}, r2{};
  EXPECT_FALSE(BScvsplit(&rc, &gap.cv, &u, &l2, &r2, nullptr));
  EXPECT_EQ(rc, BSINARG);
  EXPECT_EQ(l2.poles, nullptr);  // nothing left allocated
  EXPECT_EQ(r2.poles, nullptr);
  // but a split elsewhere on that curve works
  const double v = 0.25;
  ASSERT_TRUE(BScvsplit(&rc, &gap.cv, &v, &l2, &r2, nullptr));
  EXPECT_LT(deviation_on(gap.cv, r2, 0.25, 0.5), 1e-14);
  EXPECT_LT(deviation_on(gap.cv, r2, 0.5 + 1e-9, 1.0), 1e-14);
  free_arrays(l2);
  free_arrays(r2);
}

TEST_F(SplitTest, CvsplitNearDomainEndGivesEmptyAndCopy) {
  TestCurve cv = cubic_bezier();
  double tol = 0;
  BSrc rc;
  BScvkttol2(4, cv.cv.knots, 4, cv.cv.poles, nullptr, &tol, &rc);
  BScurve left{}, right{};
  const double u = tol / 2;
  ASSERT_TRUE(BScvsplit(&rc, &cv.cv, &u, &left, &right, nullptr));
  EXPECT_EQ(left.num_poles, 0);
  EXPECT_EQ(left.poles, nullptr);
  ASSERT_EQ(right.num_poles, 4);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(right.poles[i], cv.poles[i]);
  free_arrays(right);
  const double w = 1.0 - tol / 2;
  ASSERT_TRUE(BScvsplit(&rc, &cv.cv, &w, &left, &right, nullptr));
  EXPECT_EQ(right.num_poles, 0);
  EXPECT_EQ(left.num_poles, 4);
  free_arrays(left);
}

TEST_F(SplitTest, CvsplitUnclampedInputGivesClampedPieces) {
  std::mt19937 rng(72);
  TestCurve cv = kwins::random_curve(rng, 4, 8, true, false);
  BScurve left{}, right{};
  BSrc rc;
  const double u = 0.37;
  ASSERT_TRUE(BScvsplit(&rc, &cv.cv, &u, &left, &right, nullptr));
  EXPECT_TRUE(clamped(left));
  EXPECT_TRUE(clamped(right));
  EXPECT_LT(deviation_on(cv.cv, left, 0.0, u), 1e-12);
  EXPECT_LT(deviation_on(cv.cv, right, u, 1.0), 1e-12);
  free_arrays(left);
  free_arrays(right);
  // the input itself is untouched
  EXPECT_EQ(cv.cv.periodic, 1);
  EXPECT_NE(cv.knots[0], cv.knots[3]);
}

TEST_F(SplitTest, CvsplitUniformFlags) {
  TestCurve cv =
      kwins::make_curve(3, {0, 0, 0, 1, 2, 3, 3, 3}, {0, 0, 0, 1, 1, 0, 2, 0, 1, 3, 1, 0, 4, 0, 0});
  cv.cv.non_uniform = 0;
  BScurve left{}, right{};
  BSrc rc;
  double u = 1.0;
  ASSERT_TRUE(BScvsplit(&rc, &cv.cv, &u, &left, &right, nullptr));
  EXPECT_EQ(left.non_uniform, 0);
  EXPECT_EQ(right.non_uniform, 0);
  free_arrays(left);
  free_arrays(right);
  u = 1.5;
  ASSERT_TRUE(BScvsplit(&rc, &cv.cv, &u, &left, &right, nullptr));
  EXPECT_EQ(left.non_uniform, 1);
  EXPECT_EQ(right.non_uniform, 1);
  free_arrays(left);
  free_arrays(right);
  cv.cv.non_uniform = 1;  // non-uniform input: uniform exactly when k poles
  u = 1.0;
  ASSERT_TRUE(BScvsplit(&rc, &cv.cv, &u, &left, &right, nullptr));
  EXPECT_EQ(left.num_poles, 3);
  EXPECT_EQ(left.non_uniform, 0);
  EXPECT_EQ(right.non_uniform, 1);
  free_arrays(left);
  free_arrays(right);
}

TEST_F(SplitTest, CvsplitPlaneTestAndClosure) {
  // a quadratic loop in the plane z = 0 whose ends meet: split in two, each piece
  // (3 poles) is planar
  TestCurve cv =
      kwins::make_curve(3, {0, 0, 0, 0.5, 1, 1, 1}, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0});
  BScurve left{}, right{};
  BSrc rc;
  const double u = 0.5;
  const BSboolean plane = 1;
  ASSERT_TRUE(BScvsplit(&rc, &cv.cv, &u, &left, &right, &plane));
  EXPECT_EQ(left.planar, 1);
  EXPECT_EQ(right.planar, 1);
  const BSboolean no = 0;
  free_arrays(left);
  free_arrays(right);
  left = right = BScurve{};
  ASSERT_TRUE(BScvsplit(&rc, &cv.cv, &u, &left, &right, &no));
  EXPECT_EQ(left.planar, 0);
  free_arrays(left);
  free_arrays(right);
}

TEST_F(SplitTest, CvsplitWritesIntoProvidedArraysAndSurvivesAllocationFailures) {
  std::mt19937 rng(73);
  TestCurve cv = kwins::random_curve(rng, 4, 7, true, true);
  std::vector<double> lp(3 * 10), lk(14), lw(10), rp(3 * 10), rk(14), rw(10);
  BScurve left{}, right{};
  left.poles = lp.data();
  left.knots = lk.data();
  left.weights = lw.data();
  right.poles = rp.data();
  right.knots = rk.data();
  right.weights = rw.data();
  BSrc rc;
  const double u = 0.41;
  const int32_t live = BSlist_al.count;
  ASSERT_TRUE(BScvsplit(&rc, &cv.cv, &u, &left, &right, nullptr));
  EXPECT_EQ(BSlist_al.count, live);  // nothing allocated
  EXPECT_EQ(left.poles, lp.data());
  EXPECT_LT(deviation_on(cv.cv, right, u, 1.0), 1e-13);
  kwtest::sweep_allocation_failures(
      [&] {
        BScurve l{}, r{};
        BSrc st;
        BScvsplit(&st, &cv.cv, &u, &l, &r, nullptr);
        if (st == BSSUCC) {
          free_arrays(l);
          free_arrays(r);
        } else {
          EXPECT_EQ(l.poles, nullptr);
          EXPECT_EQ(r.poles, nullptr);
        }
        return st;
      },
      {BSNOMEMORY, BSNOSTKMEMORY});
}

// ---- BSactivsplt ---------------------------------------------------------------------------

struct Holder {
  std::vector<double> poles, knots, weights;
  BScurve cv{};
  Holder(int n, int k) : poles(3 * n), knots(n + k), weights(n) {
    cv.poles = poles.data();
    cv.knots = knots.data();
    cv.weights = weights.data();
  }
};

TEST_F(SplitTest, ActivspltMatchesOriginalOnRandomRanges) {
  std::mt19937 rng(81);
  for (int trial = 0; trial < 200; ++trial) {
    const int k = 2 + trial % 15;
    const int n = k + static_cast<int>(rng() % 7);
    TestCurve cv = kwins::random_curve(rng, k, n, trial % 2, (trial / 2) % 2, k - 2);
    double ua = 0.02 + 0.96 * (rng() % 1000) / 1000.0, ub = 0.02 + 0.96 * (rng() % 1000) / 1000.0;
    if (trial % 7 == 0) ua = 0.0;
    if (trial % 11 == 0) ub = 1.0;
    if (trial % 5 == 0 && n > k) ub = cv.knots[k + rng() % (n - k)];
    if (std::fabs(ua - ub) < 0.01) continue;
    Holder out(n + 2 * k, k);
    BSrc rc;
    ASSERT_TRUE(BSactivsplt(&rc, &cv.cv, &ua, &ub, &out.cv, nullptr)) << rc << " k=" << k;
    const double lo = std::min(ua, ub), hi = std::max(ua, ub);
    EXPECT_TRUE(clamped(out.cv)) << "k=" << k;
    EXPECT_EQ(kwins::domain_start(out.cv), lo);
    EXPECT_EQ(kwins::domain_end(out.cv), hi);
    EXPECT_EQ(out.cv.non_uniform, 1);
    EXPECT_LT(deviation_on(cv.cv, out.cv, lo, hi), 5e-13 * (1 << (k / 2)))
        << "k=" << k << " trial " << trial;
    EXPECT_LT(kwins::library_deviation(cv.cv, out.cv, lo + 1e-12, hi), 5e-13 * (1 << (k / 2)))
        << "k=" << k << " trial " << trial;
  }
  EXPECT_EQ(BSparameters.knot_tol, 1e-6);
}

TEST_F(SplitTest, ActivspltOrderOfParametersDoesNotMatter) {
  std::mt19937 rng(82);
  TestCurve cv = kwins::random_curve(rng, 5, 9, true, true);
  Holder a(20, 5), b(20, 5);
  BSrc rc;
  double u0 = 0.3, u1 = 0.8;
  ASSERT_TRUE(BSactivsplt(&rc, &cv.cv, &u0, &u1, &a.cv, nullptr));
  ASSERT_TRUE(BSactivsplt(&rc, &cv.cv, &u1, &u0, &b.cv, nullptr));
  ASSERT_EQ(a.cv.num_poles, b.cv.num_poles);
  EXPECT_EQ(a.poles, b.poles);
  EXPECT_EQ(a.knots, b.knots);
  EXPECT_EQ(a.weights, b.weights);
}

TEST_F(SplitTest, ActivspltWholeDomainIsClampedCopy) {
  std::mt19937 rng(83);
  TestCurve cv = kwins::random_curve(rng, 4, 8, false, false);
  Holder out(8, 4);
  BSrc rc;
  double u0 = 0.0, u1 = 1.0 + 1e-12;
  ASSERT_TRUE(BSactivsplt(&rc, &cv.cv, &u0, &u1, &out.cv, nullptr));
  EXPECT_EQ(out.cv.num_poles, 8);
  EXPECT_TRUE(clamped(out.cv));
  EXPECT_EQ(out.cv.weights, nullptr);
  EXPECT_LT(deviation_on(cv.cv, out.cv, 0, 1), 1e-13);
}

TEST_F(SplitTest, ActivspltFailures) {
  TestCurve cv = cubic_bezier();
  Holder out(12, 4);
  BSrc rc;
  double u0 = 0.5, u1 = 0.5 + 1e-12;
  EXPECT_FALSE(BSactivsplt(&rc, &cv.cv, &u0, &u1, &out.cv, nullptr));
  EXPECT_EQ(rc, BSINARG);
  u0 = -0.1;
  u1 = 0.5;
  EXPECT_FALSE(BSactivsplt(&rc, &cv.cv, &u0, &u1, &out.cv, nullptr));
  EXPECT_EQ(rc, BSFAIL);
  u0 = 0.5;
  u1 = 1.2;
  EXPECT_FALSE(BSactivsplt(&rc, &cv.cv, &u0, &u1, &out.cv, nullptr));
  EXPECT_EQ(rc, BSFAIL);
  EXPECT_FALSE(BSactivsplt(&rc, &cv.cv, nullptr, &u1, &out.cv, nullptr));
  EXPECT_EQ(rc, BSNULLPTR);
  // closer than the tolerances only after snapping to a knot
  TestCurve two = kwins::make_curve(4, {0, 0, 0, 0, 0.5, 1, 1, 1, 1},
                                    {0, 0, 0, 1, 1, 0, 2, 0, 1, 3, 1, 0, 4, 0, 0});
  double tau = 0;
  BSlocknttol(&two.cv, 0.5, BSparameters.dist_tol, &tau, &rc);
  u0 = 0.5 - 0.6 * tau;
  u1 = 0.5 + 0.6 * tau;
  EXPECT_FALSE(BSactivsplt(&rc, &two.cv, &u0, &u1, &out.cv, nullptr));
  EXPECT_EQ(rc, BSINARG);
  EXPECT_EQ(BSparameters.knot_tol, 1e-6);
}

TEST_F(SplitTest, ActivspltRestoresKnotTolOnEveryPath) {
  std::mt19937 rng(84);
  // order 17: every evaluation takes scratch memory, so allocation failures strike
  // inside the insertions, while knot_tol is tightened
  TestCurve cv = kwins::random_curve(rng, 17, 20, true, true);
  const double saved = BSparameters.knot_tol;
  Holder out(60, 17);
  double u0 = 0.3, u1 = 0.7;
  auto sweep = kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        BSactivsplt(&rc, &cv.cv, &u0, &u1, &out.cv, nullptr);
        return rc;
      },
      {BSNOSTKMEMORY, BSNOMEMORY}, [&] { EXPECT_EQ(BSparameters.knot_tol, saved); });
  EXPECT_GT(sweep.runs, 3);
  EXPECT_EQ(BSparameters.knot_tol, saved);
  // injected status failures of the inner operations
  int failures = 0;
  for (int period = 2; period <= 9; ++period) {
    for (int i = 0; i < period; ++i) {
      BSinitfail("x", 0, 1.0 / period);
      BSrc rc;
      BSactivsplt(&rc, &cv.cv, &u0, &u1, &out.cv, nullptr);
      BSdeinifail();
      failures += rc != BSSUCC;
      EXPECT_EQ(BSparameters.knot_tol, saved);
    }
  }
  EXPECT_GT(failures, 0);
}

// ---- BSextrcvspn -------------------------------------------------------------------------

TEST_F(SplitTest, ExtrcvspnCopiesOneSpan) {
  std::mt19937 rng(91);
  TestCurve cv = kwins::random_curve(rng, 4, 8, true, true, 1);
  Holder out(4, 4);
  BSrc rc;
  for (int32_t s = 3; s <= 7; ++s) {
    const BSboolean yes = 1;
    ASSERT_TRUE(BSextrcvspn(&rc, &s, &cv.cv, &out.cv, &yes, nullptr));
    EXPECT_EQ(out.cv.num_poles, 4);
    EXPECT_EQ(out.cv.num_knots, 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(out.knots[i], cv.knots[s - 3 + i]);
    EXPECT_LT(deviation_on(cv.cv, out.cv, cv.knots[s], cv.knots[s + 1]), 1e-13);
  }
  int32_t bad = 2;
  EXPECT_FALSE(BSextrcvspn(&rc, &bad, &cv.cv, &out.cv, nullptr, nullptr));
  EXPECT_EQ(rc, BSINARG);
  bad = 8;
  EXPECT_FALSE(BSextrcvspn(&rc, &bad, &cv.cv, &out.cv, nullptr, nullptr));
  EXPECT_EQ(rc, BSINARG);
}

TEST_F(SplitTest, ExtrcvspnClosureTest) {
  // a closed quadratic Bezier loop: start and end coincide
  TestCurve cv = kwins::make_curve(3, {0, 0, 0, 1, 1, 1}, {0, 0, 0, 1, 1, 0, 1e-9, 0, 0});
  Holder out(3, 3);
  BSrc rc;
  const int32_t s = 2;
  const BSboolean yes = 1;
  ASSERT_TRUE(BSextrcvspn(&rc, &s, &cv.cv, &out.cv, nullptr, &yes));
  EXPECT_EQ(out.cv.phy_closed, 1);
  EXPECT_EQ(out.poles[0], out.poles[6]);  // made exactly equal
}

// ---- BSbreakcv ----------------------------------------------------------------------------

TEST_F(SplitTest, BreakcvPiecesCoverTheCurveInOrder) {
  // cubic with a C0 knot (multiplicity 3) at 0.3 and a gap (multiplicity 4) at 0.6
  std::vector<double> knots = {0,   0,   0,   0,   0.15, 0.3, 0.3, 0.3, 0.45,
                               0.6, 0.6, 0.6, 0.6, 0.8,  1,   1,   1,   1};
  const int n = static_cast<int>(knots.size()) - 4;
  std::vector<double> poles(3 * n);
  for (int i = 0; i < 3 * n; ++i) poles[i] = std::sin(1.7 * i);
  TestCurve cv = kwins::make_curve(4, knots, poles);
  int32_t count = 0;
  BScurve **pieces = nullptr;
  BSrc rc;
  ASSERT_TRUE(BSbreakcv(&rc, &cv.cv, &count, &pieces, nullptr));
  ASSERT_EQ(count, 3);
  const double ends[4] = {0, 0.3, 0.6, 1};
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(clamped(*pieces[i]));
    EXPECT_EQ(kwins::domain_start(*pieces[i]), ends[i]);
    EXPECT_EQ(kwins::domain_end(*pieces[i]), ends[i + 1]);
    // the piece right of the gap starts with the right-hand limit: compare inside
    EXPECT_LT(deviation_on(cv.cv, *pieces[i], ends[i] + 1e-9, ends[i + 1]), 1e-13) << i;
  }
  // C0 at 0.3: the pieces meet
  for (int c = 0; c < 3; ++c)
    EXPECT_NEAR(pieces[0]->poles[3 * (pieces[0]->num_poles - 1) + c], pieces[1]->poles[c], 1e-15);
  for (int i = 0; i < count; ++i) BSfreeqelcv(pieces[i], &rc);
  BSdbgfree(pieces);
}

TEST_F(SplitTest, BreakcvWithoutBreaksGivesOneClampedCopy) {
  std::mt19937 rng(92);
  TestCurve cv = kwins::random_curve(rng, 4, 9, true, false, 1);
  int32_t count = 0;
  BScurve **pieces = nullptr;
  BSrc rc;
  ASSERT_TRUE(BSbreakcv(&rc, &cv.cv, &count, &pieces, nullptr));
  ASSERT_EQ(count, 1);
  EXPECT_TRUE(clamped(*pieces[0]));
  EXPECT_LT(deviation_on(cv.cv, *pieces[0], 0, 1), 1e-12);
  BSfreeqelcv(pieces[0], &rc);
  BSdbgfree(pieces);
}

TEST_F(SplitTest, BreakcvPolylineBreaksAtEveryKnot) {
  TestCurve cv =
      kwins::make_curve(2, {0, 0, 0.25, 0.5, 1, 1}, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0});
  int32_t count = 0;
  BScurve **pieces = nullptr;
  BSrc rc;
  ASSERT_TRUE(BSbreakcv(&rc, &cv.cv, &count, &pieces, nullptr));
  EXPECT_EQ(count, 3);
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(pieces[i]->num_poles, 2);
    BSfreeqelcv(pieces[i], &rc);
  }
  BSdbgfree(pieces);
}

TEST_F(SplitTest, BreakcvAllocationFailuresLeaveNoLeak) {
  std::vector<double> knots = {0, 0, 0, 0.5, 0.5, 1, 1, 1};
  TestCurve cv = kwins::make_curve(3, knots, {0, 0, 0, 1, 0, 0, 1, 1, 0, 2, 1, 0, 2, 2, 0});
  kwtest::sweep_allocation_failures(
      [&] {
        int32_t count = -1;
        BScurve **pieces = nullptr;
        BSrc rc;
        BSbreakcv(&rc, &cv.cv, &count, &pieces, nullptr);
        if (pieces != nullptr) {
          for (int i = 0; i < count; ++i) {
            BSrc ignored;
            BSfreeqelcv(pieces[i], &ignored);
          }
          BSdbgfree(pieces);
        }
        return rc;
      },
      {BSNOMEMORY, BSNOSTKMEMORY});
}

// ---- BSrev_cv, BScvtstclsd, BScvsetclsd -----------------------------------------------------

TEST_F(SplitTest, RevCvTwiceRestoresAndReversesDirection) {
  std::mt19937 rng(101);
  for (int trial = 0; trial < 40; ++trial) {
    const int k = 2 + trial % 12;
    TestCurve cv = kwins::random_curve(rng, k, k + 4, trial % 2, trial % 3 == 0);
    cv.bdrys = {0.1, 0.2, 0.5, 0.9};
    cv.cv.num_boundaries = 2;
    cv.bind();
    const TestCurve orig = cv;
    BSrc rc;
    ASSERT_TRUE(BSrev_cv(&rc, &cv.cv));
    const double a = kwins::domain_start(orig.cv), b = kwins::domain_end(orig.cv);
    EXPECT_DOUBLE_EQ(kwins::domain_start(cv.cv), a);
    EXPECT_DOUBLE_EQ(kwins::domain_end(cv.cv), b);
    EXPECT_DOUBLE_EQ(cv.bdrys[0], a + b - 0.9);
    EXPECT_DOUBLE_EQ(cv.bdrys[1], a + b - 0.5);
    for (double u : {0.1, 0.4, 0.77}) {
      const auto p = kwins::eval_point(orig.cv, u), q = kwins::eval_point(cv.cv, a + b - u);
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(p[c], q[c], 1e-12);
    }
    ASSERT_TRUE(BSrev_cv(&rc, &cv.cv));
    EXPECT_EQ(cv.poles, orig.poles);
    EXPECT_EQ(cv.weights, orig.weights);
    for (size_t i = 0; i < cv.knots.size(); ++i) EXPECT_NEAR(cv.knots[i], orig.knots[i], 1e-15);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(cv.bdrys[i], orig.bdrys[i], 1e-15);
  }
}

TEST_F(SplitTest, ClosureTestAndEnforcement) {
  TestCurve cv = kwins::make_curve(3, {0, 0, 0, 0.5, 1, 1, 1},
                                   {0, 0, 0, 2, 0, 0, 2, 2, 0, 0, 1e-9, 0}, {1, 2, 2, 4});
  for (int i = 0; i < 4; ++i)
    for (int c = 0; c < 3; ++c) cv.poles[3 * i + c] *= cv.weights[i];
  BSrc rc;
  BScvtstclsd(&cv.cv, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(cv.cv.phy_closed, 1);
  BScvsetclsd(&cv.cv, &rc);
  ASSERT_EQ(rc, BSSUCC);
  for (int c = 0; c < 3; ++c)
    EXPECT_DOUBLE_EQ(cv.poles[c] / cv.weights[0], cv.poles[9 + c] / cv.weights[3]);
  EXPECT_NEAR(cv.poles[10] / 4, 0.5e-9, 1e-20);
  // an open curve: flag cleared, enforcement does nothing
  TestCurve open = cubic_bezier();
  open.cv.phy_closed = 1;
  BScvtstclsd(&open.cv, &rc);
  EXPECT_EQ(open.cv.phy_closed, 0);
  const TestCurve before = open;
  BScvsetclsd(&open.cv, &rc);
  EXPECT_EQ(open.poles, before.poles);
}

}  // namespace
