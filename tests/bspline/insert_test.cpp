// Knot insertion on records and arrays: shape invariance on random curves, the
// exact cases, snapping, multiplicity limits, ownership of the output record and
// every failure status.
#include <gtest/gtest.h>

#include <random>

#include "bspline/insert.hpp"
#include "insert_support.hpp"
#include "support.hpp"

namespace {

using kwins::TestCurve;

class InsertTest : public kwtest::GuardedTest {};

double library_deviation(const BScurve &a, const BScurve &b) {
  return kwins::library_deviation(a, b, kwins::domain_start(a), kwins::domain_end(a));
}

TestCurve cubic_bezier() {
  return kwins::make_curve(4, {0, 0, 0, 0, 1, 1, 1, 1}, {0, 0, 0, 1, 2, 0, 3, 2, 1, 4, 0, 0});
}

// ---- BSadd_1kt_mul -------------------------------------------------------------------

TEST_F(InsertTest, Add1ktMulBezierAtHalfGivesMidpointPoles) {
  TestCurve bz = cubic_bezier();
  BScurve *out = nullptr;
  BSrc rc;
  BSadd_1kt_mul(&bz.cv, 0.5, 1, 0, &out, &rc);
  ASSERT_EQ(rc, BSSUCC);
  ASSERT_EQ(out->num_poles, 5);
  ASSERT_EQ(out->num_knots, 9);
  const double want_knots[9] = {0, 0, 0, 0, 0.5, 1, 1, 1, 1};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(out->knots[i], want_knots[i]);
  const double *P = bz.poles.data();
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(out->poles[c], P[c]);
    EXPECT_DOUBLE_EQ(out->poles[3 + c], (P[c] + P[3 + c]) / 2);
    EXPECT_DOUBLE_EQ(out->poles[6 + c], (P[3 + c] + P[6 + c]) / 2);
    EXPECT_DOUBLE_EQ(out->poles[9 + c], (P[6 + c] + P[9 + c]) / 2);
    EXPECT_EQ(out->poles[12 + c], P[9 + c]);
  }
  EXPECT_EQ(out->non_uniform, 1);
  EXPECT_EQ(out->weights, nullptr);
  EXPECT_LT(library_deviation(bz.cv, *out), 1e-14);
  BSfreeqelcv(out, &rc);
}

TEST_F(InsertTest, Add1ktMulKeepsShapeOnRandomCurves) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 240; ++trial) {
    const int k = 2 + trial % 15;
    const int n = k + static_cast<int>(rng() % 7);
    TestCurve cv = kwins::random_curve(rng, k, n, trial % 2, (trial / 2) % 2, k - 2);
    const double u = std::uniform_real_distribution<double>(0.01, 0.99)(rng);
    const int r = 1 + static_cast<int>(rng() % (k - 1));
    BScurve *out = nullptr;
    BSrc rc;
    BSadd_1kt_mul(&cv.cv, u, r, 0, &out, &rc);
    ASSERT_EQ(rc, BSSUCC) << "k=" << k;
    EXPECT_EQ(out->num_poles, n + r);
    EXPECT_EQ(out->rational, cv.cv.rational);
    EXPECT_LT(kwins::max_deviation(cv.cv, *out), 1e-11) << "k=" << k << " trial " << trial;
    EXPECT_LT(library_deviation(cv.cv, *out), 1e-11) << "k=" << k << " trial " << trial;
    BSfreeqelcv(out, &rc);
  }
}

TEST_F(InsertTest, Add1ktMulSnapsToNearbyKnot) {
  TestCurve cv = kwins::make_curve(4, {0, 0, 0, 0, 0.4, 1, 1, 1, 1},
                                   {0, 0, 0, 1, 1, 0, 2, 0, 1, 3, 1, 0, 4, 0, 0});
  BScurve *out = nullptr;
  BSrc rc;
  BSadd_1kt_mul(&cv.cv, 0.4 + 0.5 * BSparameters.knot_tol, 1, 0, &out, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(out->knots[4], 0.4);
  EXPECT_EQ(out->knots[5], 0.4);
  EXPECT_LT(kwins::max_deviation(cv.cv, *out), 1e-13);
  BSfreeqelcv(out, &rc);
}

TEST_F(InsertTest, Add1ktMulMultiplicityLimit) {
  TestCurve cv = kwins::make_curve(4, {0, 0, 0, 0, 0.4, 1, 1, 1, 1},
                                   {0, 0, 0, 1, 1, 0, 2, 0, 1, 3, 1, 0, 4, 0, 0});
  BScurve *out = nullptr;
  BSrc rc;
  BSadd_1kt_mul(&cv.cv, 0.4, 3, 0, &out, &rc);
  EXPECT_EQ(rc, BSINARG);
  EXPECT_EQ(out, nullptr);
  BSadd_1kt_mul(&cv.cv, 0.4, 2, 0, &out, &rc);
  ASSERT_EQ(rc, BSSUCC);
  // multiplicity 3 = degree: the curve passes through pole 3 at 0.4
  const auto p = kwins::eval_point(cv.cv, 0.4);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(out->poles[9 + c], p[c], 1e-14);
  BSfreeqelcv(out, &rc);
}

TEST_F(InsertTest, Add1ktMulRejectsBadArgumentsLeavingOutput) {
  TestCurve cv = cubic_bezier();
  BScurve *held = nullptr;
  BSrc rc;
  BSallocqelcv(4, 4, 0, 0, &held, &rc);
  BScurve *out = held;
  for (double u : {0.0, 1.0, -0.5, 1.5}) {
    BSadd_1kt_mul(&cv.cv, u, 1, 0, &out, &rc);
    EXPECT_EQ(rc, BSINARG) << u;
    EXPECT_EQ(out, held);
  }
  for (int r : {0, -1, 4}) {
    BSadd_1kt_mul(&cv.cv, 0.5, r, 0, &out, &rc);
    EXPECT_EQ(rc, BSINARG) << r;
    EXPECT_EQ(out, held);
  }
  BSadd_1kt_mul(&cv.cv, 0.5, 1, 0, nullptr, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  BSadd_1kt_mul(nullptr, 0.5, 1, 0, &out, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  out = nullptr;
  BSadd_1kt_mul(&cv.cv, 0.5, 1, 1, &out, &rc);  // reuse without a record
  EXPECT_EQ(rc, BSNULLPTR);
  // the input stays as it was
  EXPECT_EQ(cv.cv.num_poles, 4);
  EXPECT_EQ(cv.knots[4], 1.0);
  BSfreeqelcv(held, &rc);
}

TEST_F(InsertTest, Add1ktMulReplacesInputThroughItsOwnPointer) {
  std::mt19937 rng(5);
  TestCurve src = kwins::random_curve(rng, 4, 7, true, true);
  BScurve *cv = nullptr;
  BSrc rc;
  BSallocqelcv(4, 7, 1, 0, &cv, &rc);
  ASSERT_EQ(rc, BSSUCC);
  BScv_copy(&rc, &src.cv, cv);
  BSadd_1kt_mul(cv, 0.3, 2, 0, &cv, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(cv->num_poles, 9);
  EXPECT_EQ(BSlist_al.count, live_at_start_ + 1);  // the old record is gone
  EXPECT_LT(kwins::max_deviation(src.cv, *cv), 1e-12);
  BSfreeqelcv(cv, &rc);
  EXPECT_EQ(BSmemclean(), 0);
}

TEST_F(InsertTest, Add1ktMulReuseWritesIntoCallersRecord) {
  TestCurve cv = cubic_bezier();
  cv.reserve(2);
  TestCurve orig = cubic_bezier();
  BScurve *out = &cv.cv;  // into the input itself
  BSrc rc;
  BSadd_1kt_mul(&cv.cv, 0.25, 2, 1, &out, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(out, &cv.cv);
  EXPECT_EQ(cv.cv.num_poles, 6);
  EXPECT_LT(kwins::max_deviation(orig.cv, cv.cv), 1e-14);
}

TEST_F(InsertTest, Add1ktMulAllocationFailures) {
  TestCurve cv = cubic_bezier();
  BScurve *keep = nullptr;
  auto sweep = kwtest::sweep_allocation_failures(
      [&] {
        BScurve *out = nullptr;
        BSrc rc;
        BSadd_1kt_mul(&cv.cv, 0.5, 2, 0, &out, &rc);
        if (rc == BSSUCC) BSfreeqelcv(out, &rc);
        keep = out;
        return rc;
      },
      {BSNOMEMORY}, [&] { EXPECT_EQ(keep, nullptr); });
  EXPECT_GE(sweep.allocations, 1);
}

// ---- BSadd_1kt_tot -------------------------------------------------------------------

TEST_F(InsertTest, Add1ktTotReachesTotalMultiplicity) {
  std::mt19937 rng(31);
  for (int trial = 0; trial < 120; ++trial) {
    const int k = 2 + trial % 15;
    const int n = k + 1 + static_cast<int>(rng() % 6);
    TestCurve cv = kwins::random_curve(rng, k, n, trial % 2, (trial / 2) % 2);
    // at an existing interior knot or at a fresh value
    const double u = trial % 3 == 0 ? cv.knots[k] : 0.05 + 0.9 * (rng() % 1000) / 1000.0;
    const int have = kwins::multiplicity(cv.cv, u);
    const int r = static_cast<int>(rng() % k);
    BScurve *out = nullptr;
    BSrc rc;
    BSadd_1kt_tot(&cv.cv, u, r, 0, &out, &rc);
    ASSERT_EQ(rc, BSSUCC) << "k=" << k << " u=" << u;
    EXPECT_EQ(out->num_poles, n + std::max(r - have, 0));
    EXPECT_EQ(kwins::multiplicity(*out, u), std::max(r, have));
    EXPECT_EQ(out->non_uniform, 1);
    EXPECT_LT(kwins::max_deviation(cv.cv, *out), 5e-13 * (1 << (k / 2))) << "k=" << k;
    BSfreeqelcv(out, &rc);
  }
}

TEST_F(InsertTest, Add1ktTotWithExistingMultiplicityCopies) {
  TestCurve cv = kwins::make_curve(4, {0, 0, 0, 0, 0.5, 0.5, 1, 1, 1, 1},
                                   {0, 0, 0, 1, 1, 0, 2, 0, 1, 3, 1, 0, 4, 0, 0, 5, 1, 1});
  cv.cv.non_uniform = 0;
  BScurve *out = nullptr;
  BSrc rc;
  BSadd_1kt_tot(&cv.cv, 0.5, 2, 0, &out, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(out->num_poles, 6);
  EXPECT_EQ(out->non_uniform, 1);
  for (int i = 0; i < 18; ++i) EXPECT_EQ(out->poles[i], cv.poles[i]);
  BSfreeqelcv(out, &rc);
}

TEST_F(InsertTest, Add1ktTotRejectsEndsAndBadCounts) {
  TestCurve cv = cubic_bezier();
  BScurve *out = nullptr;
  BSrc rc;
  double tau = 0.0;
  BSlocknttol(&cv.cv, 1e-12, BSparameters.dist_tol, &tau, &rc);
  BSadd_1kt_tot(&cv.cv, 0.5 * tau, 1, 0, &out, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSadd_1kt_tot(&cv.cv, 1.0 - 1e-12, 1, 0, &out, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSadd_1kt_tot(&cv.cv, 0.5, 4, 0, &out, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSadd_1kt_tot(&cv.cv, 0.5, -1, 0, &out, &rc);
  EXPECT_EQ(rc, BSINARG);
  EXPECT_EQ(out, nullptr);
  BSadd_1kt_tot(&cv.cv, 0.5, 0, 0, &out, &rc);  // r = 0: a copy
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(out->num_poles, 4);
  BSfreeqelcv(out, &rc);
}

// ---- BSadd_ekt, BScnvtmekt, BScnvtomkt ------------------------------------------------

TEST_F(InsertTest, AddEktClampsStartOfUnclampedCubic) {
  std::mt19937 rng(41);
  TestCurve cv = kwins::random_curve(rng, 4, 7, false, false);
  const TestCurve orig = cv;
  const double u = cv.knots[3];
  BSrc rc;
  for (int32_t i = 2; i >= 0; --i) {
    EXPECT_TRUE(BSadd_ekt(&rc, &cv.cv, &u, &i));
    EXPECT_EQ(rc, BSSUCC);
  }
  for (int i = 0; i < 4; ++i) EXPECT_EQ(cv.knots[i], u);
  EXPECT_EQ(cv.cv.num_poles, 7);
  EXPECT_LT(kwins::max_deviation(orig.cv, cv.cv), 1e-13);
  // indices outside the end regions change nothing
  const TestCurve before = cv;
  for (int32_t i : {-1, 3, 4, 5, 6, 10, 11, 100}) {
    EXPECT_TRUE(BSadd_ekt(&rc, &cv.cv, &u, &i));
    EXPECT_EQ(cv.knots, before.knots) << i;
    EXPECT_EQ(cv.poles, before.poles) << i;
  }
}

TEST_F(InsertTest, CnvtomktClampsRandomCurvesWithoutChangingShape) {
  std::mt19937 rng(42);
  for (int trial = 0; trial < 150; ++trial) {
    const int k = 2 + trial % 15;
    const int n = k + static_cast<int>(rng() % 6);
    TestCurve cv = kwins::random_curve(rng, k, n, trial % 2, false);
    const TestCurve orig = cv;
    BSrc rc;
    EXPECT_TRUE(BScnvtomkt(&rc, &cv.cv));
    ASSERT_EQ(rc, BSSUCC);
    EXPECT_TRUE(knotwork::is_clamped(cv.cv)) << "k=" << k;
    EXPECT_EQ(cv.cv.periodic, 0);
    EXPECT_LT(kwins::max_deviation(orig.cv, cv.cv), 5e-13 * (1 << (k / 2))) << "k=" << k;
    EXPECT_LT(library_deviation(orig.cv, cv.cv), 5e-13 * (1 << (k / 2))) << "k=" << k;
  }
}

TEST_F(InsertTest, CnvtmektTreatsOneEnd) {
  std::mt19937 rng(43);
  TestCurve cv = kwins::random_curve(rng, 3, 6, true, false);
  const TestCurve orig = cv;
  BSrc rc;
  BScnvtmekt(1, &cv.cv, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(cv.knots[6], cv.knots[8]);
  EXPECT_NE(cv.knots[0], cv.knots[2]);  // start still open
  BScnvtmekt(0, &cv.cv, &rc);
  EXPECT_EQ(cv.knots[0], cv.knots[2]);
  EXPECT_LT(kwins::max_deviation(orig.cv, cv.cv), 1e-12);
}

TEST_F(InsertTest, CnvtomktOnClampedCurveOnlyClearsPeriodic) {
  TestCurve cv = cubic_bezier();
  cv.cv.periodic = 1;
  cv.weights = {9.0};  // a polynomial record's stray weights pointer is dropped
  cv.cv.weights = cv.weights.data();
  const TestCurve orig = cubic_bezier();
  BSrc rc;
  EXPECT_TRUE(BScnvtomkt(&rc, &cv.cv));
  EXPECT_EQ(cv.cv.periodic, 0);
  EXPECT_EQ(cv.cv.weights, nullptr);
  EXPECT_EQ(cv.knots, orig.knots);
  EXPECT_EQ(cv.poles, orig.poles);
  EXPECT_FALSE(BScnvtomkt(&rc, nullptr));
  EXPECT_EQ(rc, BSNULLPTR);
}

// ---- BSadd_kts -------------------------------------------------------------------------

TEST_F(InsertTest, AddKtsRefinesRandomCurves) {
  std::mt19937 rng(51);
  for (int trial = 0; trial < 200; ++trial) {
    const int k = 2 + trial % 15;
    const int n = k + static_cast<int>(rng() % 7);
    TestCurve cv = kwins::random_curve(rng, k, n, trial % 2, (trial / 2) % 2);
    std::vector<double> tau(cv.knots.begin(), cv.knots.end());
    const int add = static_cast<int>(rng() % 10);
    for (int i = 0; i < add; ++i) tau.push_back(0.01 + 0.98 * (rng() % 997) / 997.0);
    std::sort(tau.begin(), tau.end());
    const int nn = static_cast<int>(tau.size()) - k;
    TestCurve out = cv;
    out.reserve(nn - n);
    BSrc rc;
    BSadd_kts(&cv.cv, nn, tau.data(), &out.cv, &rc);
    ASSERT_EQ(rc, BSSUCC);
    EXPECT_EQ(out.cv.num_poles, nn);
    EXPECT_EQ(out.cv.num_knots, nn + k);
    EXPECT_LT(kwins::max_deviation(cv.cv, out.cv), 5e-13 * (1 << (k / 2))) << "k=" << k;
  }
}

TEST_F(InsertTest, AddKtsAgreesWithRepeatedSingleInsertion) {
  std::mt19937 rng(52);
  TestCurve cv = kwins::random_curve(rng, 5, 9, true, true);
  std::vector<double> tau(cv.knots.begin(), cv.knots.end());
  for (double v : {0.1, 0.1, 0.45, 0.7}) tau.push_back(v);
  std::sort(tau.begin(), tau.end());
  TestCurve refined = cv;
  refined.reserve(4);
  BSrc rc;
  BSadd_kts(&cv.cv, 13, tau.data(), &refined.cv, &rc);
  ASSERT_EQ(rc, BSSUCC);
  BScurve *one = nullptr;
  BSadd_1kt_mul(&cv.cv, 0.1, 2, 0, &one, &rc);
  BSadd_1kt_mul(one, 0.45, 1, 0, &one, &rc);
  BSadd_1kt_mul(one, 0.7, 1, 0, &one, &rc);
  ASSERT_EQ(rc, BSSUCC);
  ASSERT_EQ(one->num_poles, 13);
  for (int i = 0; i < 13 * 3; ++i) EXPECT_NEAR(one->poles[i], refined.poles[i], 1e-13);
  for (int i = 0; i < 13; ++i) EXPECT_NEAR(one->weights[i], refined.weights[i], 1e-13);
  for (int i = 0; i < 18; ++i) EXPECT_EQ(one->knots[i], refined.knots[i]);
  BSfreeqelcv(one, &rc);
}

TEST_F(InsertTest, AddKtsIntoItsOwnInput) {
  TestCurve cv = cubic_bezier();
  cv.reserve(3);
  const TestCurve orig = cubic_bezier();
  const double tau[10] = {0, 0, 0, 0, 0.2, 0.5, 1, 1, 1, 1};
  BSrc rc;
  BSadd_kts(&cv.cv, 6, tau, &cv.cv, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(cv.cv.num_poles, 6);
  EXPECT_LT(kwins::max_deviation(orig.cv, cv.cv), 1e-14);
  BSadd_kts(&orig.cv, 3, tau, &cv.cv, &rc);
  EXPECT_EQ(rc, BSINARG);
}

// ---- BSinsertmkt, BSinsertkt -----------------------------------------------------------

// Coordinate-major rows of a random curve of any dimension.
struct RowCurve {
  int k, dim, n;
  std::vector<double> rows, knots;
};

double rows_value(const RowCurve &c, int coord, double u) {
  int s = c.k - 1;
  while (s < c.n - 1 && c.knots[s + 1] < u) ++s;
  std::vector<double> N(c.k);
  kwins::basis_functions(c.k, c.knots.data(), s, u, N.data());
  double v = 0;
  for (int i = 0; i < c.k; ++i) v += N[i] * c.rows[coord * c.n + s - c.k + 1 + i];
  return v;
}

TEST_F(InsertTest, InsertmktKeepsShapeInAnyDimension) {
  std::mt19937 rng(61);
  for (int trial = 0; trial < 150; ++trial) {
    const int k = 2 + trial % 15, dim = 1 + trial % 5;
    const int n = k + static_cast<int>(rng() % 6);
    TestCurve base = kwins::random_curve(rng, k, n, false, trial % 2);
    RowCurve in{k, dim, n, std::vector<double>(dim * n), base.knots};
    for (double &v : in.rows) v = (rng() % 2001) / 1000.0 - 1.0;
    std::vector<double> ins;
    const int m = static_cast<int>(rng() % 6);
    for (int i = 0; i < m; ++i) ins.push_back(0.01 + 0.98 * (rng() % 991) / 991.0);
    std::sort(ins.begin(), ins.end());
    RowCurve out{k, dim, n + m, std::vector<double>(dim * (n + m)), std::vector<double>(n + k + m)};
    BSrc rc;
    BSinsertmkt(k, dim, n, in.rows.data(), in.knots.data(), m, ins.data(), out.rows.data(),
                out.knots.data(), &rc);
    ASSERT_EQ(rc, BSSUCC);
    EXPECT_TRUE(std::is_sorted(out.knots.begin(), out.knots.end()));
    for (int q = 0; q <= 40; ++q) {
      const double u = q / 40.0;
      for (int c = 0; c < dim; ++c)
        EXPECT_NEAR(rows_value(in, c, u), rows_value(out, c, u), 5e-13 * (1 << (k / 2)))
            << "k=" << k;
    }
  }
}

TEST_F(InsertTest, InsertmktExistingKnotTwiceAndCopy) {
  const double knots[9] = {0, 0, 0, 0, 0.5, 1, 1, 1, 1};
  const double rows[10] = {0, 1, 2, 3, 4, 1, 0, 1, 0, 1};  // dim 2, n 5
  double out[14], kout[11];
  const double ins[2] = {0.5, 0.5};
  BSrc rc;
  BSinsertmkt(4, 2, 5, rows, knots, 2, ins, out, kout, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(kout[4], 0.5);
  EXPECT_EQ(kout[6], 0.5);
  RowCurve a{4, 2, 5, {rows, rows + 10}, {knots, knots + 9}};
  RowCurve b{4, 2, 7, {out, out + 14}, {kout, kout + 11}};
  for (double u : {0.1, 0.3, 0.5, 0.77, 1.0})
    for (int c = 0; c < 2; ++c) EXPECT_NEAR(rows_value(a, c, u), rows_value(b, c, u), 1e-14);
  // m = 0 copies
  BSinsertmkt(4, 2, 5, rows, knots, 0, ins, out, kout, &rc);
  ASSERT_EQ(rc, BSSUCC);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(out[i], rows[i]);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(kout[i], knots[i]);
}

TEST_F(InsertTest, InsertmktFailures) {
  const double knots[9] = {0, 0, 0, 0, 0.5, 1, 1, 1, 1};
  const double rows[5] = {0, 1, 2, 3, 4};
  double out[12], kout[16];
  std::fill(kout, kout + 16, -7.0);
  BSrc rc;
  const double outside[1] = {1.5};
  BSinsertmkt(4, 1, 5, rows, knots, 1, outside, out, kout, &rc);
  EXPECT_EQ(rc, BSINARG);
  const double descending[2] = {0.7, 0.2};
  BSinsertmkt(4, 1, 5, rows, knots, 2, descending, out, kout, &rc);
  EXPECT_EQ(rc, BSINARG);
  const double too_many[4] = {0.5, 0.5, 0.5, 0.5};  // 5 copies in a cubic
  BSinsertmkt(4, 1, 5, rows, knots, 4, too_many, out, kout, &rc);
  EXPECT_EQ(rc, BSINARG);
  EXPECT_EQ(kout[0], -7.0);       // rejected before anything is written
  const double start[1] = {0.0};  // a fifth copy at the clamped start
  BSinsertmkt(4, 1, 5, rows, knots, 1, start, out, kout, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSinsertmkt(4, 1, 5, nullptr, knots, 1, start, out, kout, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
  BSinsertmkt(4, 1, 3, rows, knots, 1, start, out, kout, &rc);
  EXPECT_EQ(rc, BSINARG);
}

TEST_F(InsertTest, InsertktMatchesInsertmkt) {
  std::mt19937 rng(62);
  for (int trial = 0; trial < 60; ++trial) {
    const int k = 2 + trial % 10, dim = 1 + trial % 4;
    const int n = k + static_cast<int>(rng() % 5);
    TestCurve base = kwins::random_curve(rng, k, n, false, trial % 2);
    std::vector<double> rows(dim * n);
    for (double &v : rows) v = (rng() % 2001) / 1000.0 - 1.0;
    const double u = 0.01 + 0.98 * (rng() % 991) / 991.0;
    int s = k - 1;
    while (base.knots[s + 1] < u) ++s;
    std::vector<double> a(dim * (n + 1)), b(dim * (n + 1)), kout(n + k + 1);
    BSinsertkt(k, dim, n, rows.data(), base.knots.data(), s, u, a.data());
    BSrc rc;
    BSinsertmkt(k, dim, n, rows.data(), base.knots.data(), 1, &u, b.data(), kout.data(), &rc);
    ASSERT_EQ(rc, BSSUCC);
    for (int i = 0; i < dim * (n + 1); ++i) EXPECT_NEAR(a[i], b[i], 1e-13) << i;
  }
}

// ---- BSinspararr -------------------------------------------------------------------------

TEST_F(InsertTest, InspararrSubdivides) {
  const double v[3] = {0, 1, 2};
  const int32_t adds[2] = {1, 0};
  double out[8];
  int32_t count = -1;
  BSrc rc;
  BSinspararr(3, v, adds, &count, out, &rc);
  ASSERT_EQ(rc, BSSUCC);
  ASSERT_EQ(count, 4);
  EXPECT_EQ(out[0], 0.0);
  EXPECT_EQ(out[1], 0.5);
  EXPECT_EQ(out[2], 1.0);
  EXPECT_EQ(out[3], 2.0);
  const int32_t bad[2] = {1, -1};
  BSinspararr(3, v, bad, &count, out, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSinspararr(1, v, nullptr, &count, out, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(count, 1);
}

}  // namespace

namespace {

// ---- BScollinmn3 ---------------------------------------------------------------------------

class CollinTest : public kwtest::GuardedTest {};

TestCurve weighted_line(double y_offset) {
  // a cubic along the x axis with one small weight: too uneven for the point test
  const std::vector<double> w = {1, 1, 0.1, 1, 1, 1, 1};
  std::vector<double> poles;
  for (int i = 0; i < 7; ++i) {
    poles.push_back(i * w[i]);
    poles.push_back((i == 3 ? y_offset : 0.0) * w[i]);
    poles.push_back(0.0);
  }
  return kwins::make_curve(4, {0, 0, 0, 0, 0.25, 0.5, 0.75, 1, 1, 1, 1}, poles, w);
}

TEST_F(CollinTest, Collinmn3PlainPoles) {
  TestCurve line = kwins::make_curve(3, {0, 0, 0, 1, 1, 1}, {0, 0, 0, 1, 1, 1, 3, 3, 3});
  BSboolean col = 0;
  BSrc rc;
  BScollinmn3(&line.cv, &col, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(col, 1);
  TestCurve bent = kwins::make_curve(3, {0, 0, 0, 1, 1, 1}, {0, 0, 0, 1, 1, 1, 3, 3, 2});
  BScollinmn3(&bent.cv, &col, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(col, 0);
}

TEST_F(CollinTest, Collinmn3RefinesWhenWeightsAreUneven) {
  TestCurve line = weighted_line(0.0);
  BSboolean col = 0;
  BSrc rc;
  BScollinmn2(7, line.cv.poles, line.cv.weights, &col, &rc);
  ASSERT_EQ(rc, BSBADWEIGHT);  // the plain test cannot decide
  BScollinmn3(&line.cv, &col, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(col, 1);
  TestCurve bent = weighted_line(0.5);
  BScollinmn3(&bent.cv, &col, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_EQ(col, 0);
  // the temporaries are released, also when allocations fail
  kwtest::sweep_allocation_failures(
      [&] {
        BSrc st;
        BSboolean c;
        BScollinmn3(&line.cv, &c, &st);
        return st;
      },
      {BSNOMEMORY, BSNOSTKMEMORY});
}

}  // namespace

// ---- Kernels on plain arrays -----------------------------------------------------------

namespace {

using kwins::TestCurve;

TEST(InsertKernel, BoehmKeepsShapeOnRandomCurves) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 300; ++trial) {
    const int k = 2 + trial % 15;
    const int n = k + static_cast<int>(rng() % 8);
    const bool rational = trial % 2, clamped = (trial / 2) % 2;
    TestCurve orig = kwins::random_curve(rng, k, n, rational, clamped);
    TestCurve cv = orig;
    const double u = std::uniform_real_distribution<double>(0.01, 0.99)(rng);
    int L = k - 1;
    while (cv.knots[L + 1] < u) ++L;
    const int r = 1 + static_cast<int>(rng() % (k - 1 > 0 ? k - 1 : 1));
    if (k == 1) continue;
    cv.reserve(r);
    knotwork::insert_knot_in_place(k, n, knotwork::PoleSet::record(cv.cv), cv.cv.knots, L, u, r, 0);
    cv.cv.num_poles += r;
    cv.cv.num_knots += r;
    EXPECT_TRUE(std::is_sorted(cv.knots.begin(), cv.knots.begin() + cv.cv.num_knots));
    EXPECT_EQ(kwins::multiplicity(cv.cv, u), r);
    EXPECT_LT(kwins::max_deviation(orig.cv, cv.cv), 1e-11) << "k=" << k << " trial " << trial;
  }
}

TEST(InsertKernel, RefinementKeepsShapeOnRandomCurves) {
  std::mt19937 rng(12);
  for (int trial = 0; trial < 300; ++trial) {
    const int k = 2 + trial % 15;
    const int n = k + static_cast<int>(rng() % 8);
    const bool rational = trial % 2, clamped = (trial / 2) % 2;
    TestCurve orig = kwins::random_curve(rng, k, n, rational, clamped);
    // New knots: random values, some repeated, some equal to existing knots.
    std::vector<double> extra;
    const int add = 1 + static_cast<int>(rng() % 12);
    for (int i = 0; i < add; ++i) {
      if (rng() % 3 == 0 && n > k)
        extra.push_back(orig.knots[k + rng() % (n - k)]);
      else
        extra.push_back(std::uniform_real_distribution<double>(0.0, 1.0)(rng));
    }
    std::vector<double> tau(orig.knots.begin(), orig.knots.begin() + n + k);
    for (double v : extra) {
      // keep every interior multiplicity at most k
      int m = 0;
      for (double w : tau) m += (w == v);
      if (m < k - 1 && v > 0.0 && v < 1.0) tau.push_back(v);
    }
    std::sort(tau.begin(), tau.end());
    const int nn = static_cast<int>(tau.size()) - k;
    TestCurve out = orig;
    out.reserve(nn - n);
    out.knots.assign(tau.begin(), tau.end());
    out.cv.num_poles = nn;
    out.cv.num_knots = nn + k;
    out.bind();
    std::vector<double> alpha(k);
    knotwork::refine_poles(k, n, orig.cv.knots, knotwork::PoleSet::record(orig.cv), nn, tau.data(),
                           knotwork::PoleSet::record(out.cv), alpha.data());
    EXPECT_LT(kwins::max_deviation(orig.cv, out.cv), 1e-11) << "k=" << k << " trial " << trial;
  }
}

TEST(InsertKernel, EndKnotInsertionClampsWithoutChangingShape) {
  std::mt19937 rng(13);
  for (int trial = 0; trial < 200; ++trial) {
    const int k = 2 + trial % 15;
    const int n = k + static_cast<int>(rng() % 6);
    TestCurve orig = kwins::random_curve(rng, k, n, trial % 2, false);
    TestCurve cv = orig;
    const auto set = knotwork::PoleSet::record(cv.cv);
    const double us = cv.knots[k - 1], ue = cv.knots[n];
    for (int i = k - 2; i >= 0; --i) knotwork::insert_end_knot(k, n, set, cv.cv.knots, i, us);
    for (int i = n; i <= n + k - 2; ++i) knotwork::insert_end_knot(k, n, set, cv.cv.knots, i, ue);
    for (int i = 0; i < k; ++i) {
      EXPECT_EQ(cv.knots[i], us);
      EXPECT_EQ(cv.knots[n + i], ue);
    }
    EXPECT_LT(kwins::max_deviation(orig.cv, cv.cv), 1e-11) << "k=" << k;
    // clamped: the curve starts at the first pole
    const auto p0 = kwins::eval_point(orig.cv, us);
    const double w0 = cv.cv.rational ? cv.weights[0] : 1.0;
    EXPECT_NEAR(p0[0], cv.poles[0] / w0, 1e-11);
  }
}

}  // namespace

namespace {

// ---- Heap use and allocation failures ------------------------------------------------------

class InsertMemoryTest : public kwtest::GuardedTest {};

TEST(InsertHotPaths, RefinementAndSplitTakeNoHeap) {
  std::mt19937 rng(111);
  TestCurve cv = kwins::random_curve(rng, 4, 200, true, true, 1);
  std::vector<double> tau(cv.knots);
  for (int i = 0; i < 100; ++i) tau.push_back((i + 0.5) / 100.0);
  std::sort(tau.begin(), tau.end());
  TestCurve out = cv;
  out.reserve(100);
  std::vector<double> rows(600), rows_out(900), kout(304), ins(100);
  for (int i = 0; i < 100; ++i) ins[i] = (i + 0.25) / 100.0;
  std::vector<double> lp(1000), lk(400), lw(400), rp(1000), rk(400), rw(400);
  BScurve left{}, right{};
  left.poles = lp.data();
  left.knots = lk.data();
  left.weights = lw.data();
  right.poles = rp.data();
  right.knots = rk.data();
  right.weights = rw.data();
  const double u = 0.123;
  BSrc rc;
  kwtest::NoHeapScope scope;
  BSadd_kts(&cv.cv, 300, tau.data(), &out.cv, &rc);
  EXPECT_EQ(rc, BSSUCC);
  BSinsertmkt(4, 3, 200, rows.data(), cv.knots.data(), 100, ins.data(), rows_out.data(),
              kout.data(), &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_TRUE(BScvsplit(&rc, &cv.cv, &u, &left, &right, nullptr));
  EXPECT_EQ(scope.heap_requests(), 0);
}

TEST_F(InsertMemoryTest, Add1ktTotAllocationFailures) {
  std::mt19937 rng(112);
  TestCurve cv = kwins::random_curve(rng, 17, 20, true, true);  // order 17: scratch in BSlocknttol
  BScurve *seen = nullptr;
  kwtest::sweep_allocation_failures(
      [&] {
        BScurve *out = nullptr;
        BSrc rc;
        BSadd_1kt_tot(&cv.cv, 0.4321, 3, 0, &out, &rc);
        seen = out;
        if (rc == BSSUCC) BSfreeqelcv(out, &rc);
        return rc;
      },
      {BSNOMEMORY, BSNOSTKMEMORY}, [&] { EXPECT_EQ(seen, nullptr); });
}

TEST_F(InsertMemoryTest, SharedArraysUseScratchAndFailCleanly) {
  TestCurve cv = cubic_bezier();
  cv.reserve(3);
  const double tau[10] = {0, 0, 0, 0, 0.2, 0.5, 1, 1, 1, 1};
  const TestCurve orig = cv;
  auto sweep = kwtest::sweep_allocation_failures(
      [&] {
        cv = orig;
        BSrc rc;
        BSadd_kts(&cv.cv, 6, tau, &cv.cv, &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
  EXPECT_GE(sweep.allocations, 1);
  std::vector<double> rows = {0, 1, 2, 3, 0, 0, 0, 0}, knots = {0, 0, 0, 0, 1, 1, 1, 1};
  rows.resize(12);
  const double ins[1] = {0.5};
  kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc;
        // poles written over their own input
        BSinsertmkt(4, 2, 4, rows.data(), knots.data(), 1, ins, rows.data(),
                    std::vector<double>(9).data(), &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
}

}  // namespace
