#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "ref_curves.hpp"
#include "support.hpp"

namespace {

// Random non-decreasing knot vector with repeated knots, n + k entries.
std::vector<double> random_knots(std::mt19937_64 &rng, int k, int n) {
  std::vector<double> t;
  std::uniform_int_distribution<int> mult(1, 3), step(1, 4);
  double v = 0;
  while (static_cast<int>(t.size()) < n + k) {
    v += step(rng) * 0.25;
    for (int m = mult(rng); m > 0 && static_cast<int>(t.size()) < n + k; --m) t.push_back(v);
  }
  return t;
}

int linear_span_right_closed(const std::vector<double> &t, int k, int n, double u) {
  if (u <= t[k - 1]) return k - 1;
  if (u > t[n]) return n - 1;
  for (int s = k - 1; s < n; ++s)
    if (t[s] < u && u <= t[s + 1]) return s;
  return -1;
}

}  // namespace

// ---- Span searches -------------------------------------------------------------

TEST(BSfindspn, RulesAtEndsOutsideAndOnInteriorKnots) {
  // Cubic, knot 2 of multiplicity 2 at indices 5 and 6.
  const std::vector<double> t = {0, 0, 0, 0, 1, 2, 2, 3, 4, 4, 4, 4};
  const int16_t k = 4;
  const int32_t n = 8;
  auto span = [&](double u, int32_t hint) {
    BSrc rc = -99;
    int32_t s = hint;
    EXPECT_TRUE(BSfindspn(&rc, &k, &n, t.data(), &u, &s));
    EXPECT_EQ(rc, BSSUCC);
    return s;
  };
  for (int32_t hint : {-5, 3, 4, 5, 6, 7, 100}) {
    EXPECT_EQ(span(0.0, hint), 3);
    EXPECT_EQ(span(-1e-21, hint), 3);
    EXPECT_EQ(span(4.0, hint), 7);
    EXPECT_EQ(span(5.0, hint), 7);
    EXPECT_EQ(span(2.0, hint), 4);  // on the double knot: the span on its left (j - 1)
    EXPECT_EQ(span(1.0, hint), 3);
    EXPECT_EQ(span(2.5, hint), 6);
  }
  // A single span answers k - 1 everywhere.
  const std::vector<double> b = {0, 0, 0, 1, 1, 1};
  const int16_t k3 = 3;
  const int32_t n3 = 3;
  for (double u : {-1.0, 0.0, 0.3, 1.0, 2.0}) {
    BSrc rc;
    int32_t s = 0;
    EXPECT_TRUE(BSfindspn(&rc, &k3, &n3, b.data(), &u, &s));
    EXPECT_EQ(s, 2);
  }
  // A NaN parameter finds nothing and leaves the span alone.
  BSrc rc = -99;
  int32_t s = 42;
  const double nan = std::nan("");
  EXPECT_FALSE(BSfindspn(&rc, &k, &n, t.data(), &nan, &s));
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(s, 42);
}

TEST(BSfindspn, RandomKnotsAndHintsAgreeWithLinearScan) {
  std::mt19937_64 rng(1);
  for (int rep = 0; rep < 300; ++rep) {
    const int16_t k = static_cast<int16_t>(2 + rng() % 6);
    const int32_t n = k + static_cast<int32_t>(rng() % 20);
    const auto t = random_knots(rng, k, n);
    if (!(t[k] > t[k - 1]) || !(t[n] > t[n - 1])) continue;
    std::uniform_real_distribution<double> pick(t[0] - 0.5, t[n + k - 1] + 0.5);
    for (int q = 0; q < 30; ++q) {
      double u = (q % 3 == 0) ? t[rng() % (n + k)] : pick(rng);
      int32_t s = static_cast<int32_t>(rng() % (n + 2)) - 1;
      BSrc rc;
      ASSERT_TRUE(BSfindspn(&rc, &k, &n, t.data(), &u, &s));
      ASSERT_EQ(s, linear_span_right_closed(t, k, n, u)) << "u " << u;
      int32_t r = -1;
      BSfindspnr(k, n, t.data(), u, &r, &rc);
      const double uc = std::clamp(u, t[k - 1], t[n]);
      if (uc == t[n]) {
        ASSERT_EQ(r, n);
      } else {
        ASSERT_TRUE(t[r - 1] <= uc && uc < t[r]) << "u " << u << " r " << r;
        ASSERT_GE(r, k);
      }
    }
  }
}

TEST(BSfindspnr, RightKnotRules) {
  const std::vector<double> t = {0, 0, 0, 0, 1, 2, 2, 3, 4, 4, 4, 4};
  BSrc rc = -99;
  int32_t r = 0;
  BSfindspnr(4, 8, t.data(), 2.0, &r, &rc);
  EXPECT_EQ(r, 7);  // j + 2 for the double knot at j = 5
  EXPECT_EQ(rc, BSSUCC);
  BSfindspnr(4, 8, t.data(), 4.0, &r, &rc);
  EXPECT_EQ(r, 8);  // the domain end gives n
  BSfindspnr(4, 8, t.data(), -3.0, &r, &rc);
  EXPECT_EQ(r, 4);
  BSfindspnr(4, 8, t.data(), 0.5, &r, &rc);
  EXPECT_EQ(r, 4);
}

TEST(BSfndspnarr, FirstLeftClosedThenForwardSweep) {
  const std::vector<double> t = {0, 0, 0, 0, 1, 2, 2, 3, 4, 4, 4, 4};
  std::vector<int32_t> spans(8);
  BSrc rc = -99;
  const double first[1] = {2.0};
  BSfndspnarr(4, 8, 1, first, t.data(), spans.data(), &rc);
  EXPECT_EQ(spans[0], 6);  // j + 1 as the first parameter
  const double u[8] = {-1.0, 0.5, 1.0, 2.0, 1.5, 2.5, 4.0, 9.0};
  BSfndspnarr(4, 8, 8, u, t.data(), spans.data(), &rc);
  EXPECT_EQ(rc, BSSUCC);
  const int32_t want[8] = {3, 3, 3, 4, 4, 6, 7, 7};  // 2.0 after smaller ones: j - 1
  for (int i = 0; i < 8; ++i) EXPECT_EQ(spans[i], want[i]) << i;
  // Random ascending sweeps agree with the rules parameter by parameter.
  std::mt19937_64 rng(2);
  for (int rep = 0; rep < 100; ++rep) {
    const int16_t k = static_cast<int16_t>(2 + rng() % 5);
    const int32_t n = k + static_cast<int32_t>(rng() % 30);
    const auto kt = random_knots(rng, k, n);
    std::vector<double> p(50);
    std::uniform_real_distribution<double> pick(kt[0] - 0.3, kt[n + k - 1] + 0.3);
    for (double &v : p) v = (rng() % 4 == 0) ? kt[rng() % (n + k)] : pick(rng);
    std::sort(p.begin(), p.end());
    std::vector<int32_t> sp(50);
    BSfndspnarr(k, n, 50, p.data(), kt.data(), sp.data(), &rc);
    int32_t s = k - 1;
    while (s < n - 1 && !(p[0] < kt[s + 1])) ++s;
    ASSERT_EQ(sp[0], s);
    for (int i = 1; i < 50; ++i) {
      while (s < n - 1 && kt[s + 1] < p[i]) ++s;
      ASSERT_EQ(sp[i], s) << "i " << i;
    }
  }
}

// ---- Knot tolerance -----------------------------------------------------------

TEST(BScvkttol2, ScaledByPolygonAndLoweredBelowIntervals) {
  kwtest::reset_library_state();
  const double poles[9] = {0, 0, 0, 0.5, 0, 0, 1, 0, 0};
  double tol = 0;
  BSrc rc = -99;
  const double t[6] = {0, 0, 0.5, 1, 1, 1};
  const double p4[12] = {0, 0, 0, 0.25, 0, 0, 0.5, 0, 0, 1, 0, 0};
  BScvkttol2(2, t, 4, p4, nullptr, &tol, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_DOUBLE_EQ(tol, 1e-6);  // length 1, range 1
  const double t8[6] = {0, 0, 0.5, 0.5 + 1e-8, 1, 1};
  BScvkttol2(2, t8, 4, p4, nullptr, &tol, &rc);
  EXPECT_DOUBLE_EQ(tol, 0.1 * (t8[3] - t8[2]));  // a tenth of the 1e-8 interval
  const double t15[6] = {0, 0, 0.5, 0.5 + 1e-15, 1, 1};
  BScvkttol2(2, t15, 4, p4, nullptr, &tol, &rc);
  EXPECT_DOUBLE_EQ(tol, 1e-6);
  // A polygon shorter than 0.001 counts as 0.001 long.
  const double tiny[9] = {0, 0, 0, 1e-5, 0, 0, 2e-5, 0, 0};
  const double t3[5] = {0, 0, 0.5, 1, 1};
  BScvkttol2(2, t3, 3, tiny, nullptr, &tol, &rc);
  EXPECT_DOUBLE_EQ(tol, 1e-3);
  // Rational poles are divided by their weights first.
  const double wp[9] = {0, 0, 0, 1, 0, 0, 2, 0, 0};
  const double w[3] = {1, 2, 2};
  BScvkttol2(2, t3, 3, wp, w, &tol, &rc);
  EXPECT_DOUBLE_EQ(tol, 1e-6);  // geometric polygon 0, 0.5, 1
  // A zero weight: the polygon has no length; basis_tol, status cleared.
  const double w0[3] = {1, 0, 1};
  BScvkttol2(2, t3, 3, poles, w0, &tol, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_DOUBLE_EQ(tol, 1e-6);
  // The fixed method returns knot_tol unscaled.
  BSstolmthd(1);
  BSparameters.knot_tol = 3e-7;
  BScvkttol2(2, t3, 3, tiny, nullptr, &tol, &rc);
  EXPECT_DOUBLE_EQ(tol, 3e-7);
  kwtest::reset_library_state();
}

// ---- Normalisation, multiplicities, C0 knots ---------------------------------------

TEST(BSnorkts, MapsDomainToUnitInterval) {
  std::vector<double> t = {2, 2, 4, 4};
  const int16_t k = 2;
  const int32_t n = 2;
  BSrc rc = -99;
  EXPECT_TRUE(BSnorkts(&rc, &k, &n, t.data()));
  EXPECT_EQ(t, (std::vector<double>{0, 0, 1, 1}));
  std::vector<double> u = {-1, 1, 3, 6, 7, 9};  // k = 3, n = 3: domain [3, 6]
  const int16_t k3 = 3;
  const int32_t n3 = 3;
  EXPECT_TRUE(BSnorkts(&rc, &k3, &n3, u.data()));
  EXPECT_DOUBLE_EQ(u[0], -4.0 / 3);
  EXPECT_EQ(u[2], 0.0);
  EXPECT_EQ(u[3], 1.0);
  std::vector<double> z = {5, 5, 5, 5};
  EXPECT_FALSE(BSnorkts(&rc, &k, &n, z.data()));
  EXPECT_EQ(rc, BSINARG);
  EXPECT_EQ(z, (std::vector<double>{0, 0, 0, 0}));
}

TEST(BSgetmult, GroupsKnotsWithinKnotTol) {
  kwtest::reset_library_state();
  const double t[8] = {0, 0, 0, 0.5, 0.5000005, 1, 1, 1};
  const int16_t k = 3;
  const int32_t L = 4;
  int32_t count = 0, mult[8];
  double vals[8];
  BSrc rc = -99;
  EXPECT_TRUE(BSgetmult(&rc, &k, &L, t, &count, vals, mult));
  ASSERT_EQ(count, 3);
  EXPECT_EQ(vals[0], 0.0);
  EXPECT_EQ(vals[1], 0.5);
  EXPECT_EQ(vals[2], 1.0);
  EXPECT_EQ(mult[0], 3);
  EXPECT_EQ(mult[1], 2);
  EXPECT_EQ(mult[2], 3);
  // Each knot is compared with its predecessor: a creeping chain stays one group.
  const double c[6] = {0, 0, 0.9e-6, 1.8e-6, 1, 1};
  const int16_t k2 = 2;
  const int32_t L2 = 3;
  EXPECT_TRUE(BSgetmult(&rc, &k2, &L2, c, &count, vals, mult));
  ASSERT_EQ(count, 2);
  EXPECT_EQ(mult[0], 4);
}

TEST(BSfindmkts, RecordsOnlyMultiplicityOrderMinusOne) {
  const int16_t k = 4;
  const double tol = 1e-9;
  int32_t count = -1, pc[16];
  double vals[16];
  BSrc rc = -99;
  // Triple knot at 1 (indices 4..6): the curve passes through pole 3.
  const double t3[11] = {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2};
  const int32_t n3 = 7;
  EXPECT_TRUE(BSfindmkts(&rc, &k, &n3, t3, &tol, &count, vals, pc));
  ASSERT_EQ(count, 1);
  EXPECT_EQ(vals[0], 1.0);
  EXPECT_EQ(pc[0], 4);
  const double t2[10] = {0, 0, 0, 0, 1, 1, 2, 2, 2, 2};
  const int32_t n2 = 6;
  EXPECT_TRUE(BSfindmkts(&rc, &k, &n2, t2, &tol, &count, vals, pc));
  EXPECT_EQ(count, 0);
  const double t4[12] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2};
  const int32_t n4 = 8;
  EXPECT_TRUE(BSfindmkts(&rc, &k, &n4, t4, &tol, &count, vals, pc));
  EXPECT_EQ(count, 0);
  // Two double knots in a row are two runs of 2, not one of 3 or 4.
  const double t22[12] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 3, 3};
  EXPECT_TRUE(BSfindmkts(&rc, &k, &n4, t22, &tol, &count, vals, pc));
  EXPECT_EQ(count, 0);
  const int32_t nb = 4;
  EXPECT_TRUE(BSfindmkts(&rc, &k, &nb, t3, &tol, &count, vals, pc));
  EXPECT_EQ(count, 0);
}

// ---- Chord-length knots ---------------------------------------------------------------

TEST(BSchrdlkts, CubicThroughPointsUsesDataParameters) {
  kwtest::reset_library_state();
  // Chords 1, 2, 3, 4, 5 along x: t = 0, 1, 3, 6, 10, 15.
  const double pts[18] = {0, 0, 0, 1, 0, 0, 3, 0, 0, 6, 0, 0, 10, 0, 0, 15, 0, 0};
  const int32_t n = 6;
  const int16_t k = 4;
  const BSboolean per = 0;
  double t[10];
  BSrc rc = -99;
  ASSERT_TRUE(BSchrdlkts(&rc, &n, pts, &k, &per, t));
  // k even, h = 2: interior knots t(2), t(3).
  const double want[10] = {0, 0, 0, 0, 3.0 / 15, 6.0 / 15, 1, 1, 1, 1};
  for (int i = 0; i < 10; ++i) EXPECT_DOUBLE_EQ(t[i], want[i]) << i;
  // k odd (quadratic), h = 1: midpoints t(1) + d2/2, then + (d2 + d3)/2 ...
  const int16_t k3 = 3;
  double q[9];
  ASSERT_TRUE(BSchrdlkts(&rc, &n, pts, &k3, &per, q));
  const double wq[9] = {0, 0, 0, 2.0 / 15, 4.5 / 15, 8.0 / 15, 1, 1, 1};
  for (int i = 0; i < 9; ++i) EXPECT_DOUBLE_EQ(q[i], wq[i]) << i;
}

TEST(BSchrdlkts, PeriodicWrapsTheOuterKnots) {
  kwtest::reset_library_state();
  const double pts[18] = {0, 0, 0, 1, 0, 0, 3, 0, 0, 6, 0, 0, 10, 0, 0, 15, 0, 0};
  const int32_t n = 6;
  const BSboolean per = 1;
  for (int16_t k : {3, 4}) {
    std::vector<double> t(n + k);
    BSrc rc = -99;
    ASSERT_TRUE(BSchrdlkts(&rc, &n, pts, &k, &per, t.data()));
    const int p = k - 1;
    EXPECT_EQ(t[p], 0.0);
    EXPECT_DOUBLE_EQ(t[n], 1.0);
    for (int j = 0; j < p; ++j) {
      EXPECT_NEAR(t[n + 1 + j] - t[n], t[p + 1 + j] - t[p], 1e-15);
      EXPECT_NEAR(t[p] - t[p - 1 - j], t[n] - t[n - 1 - j], 1e-15);
    }
    for (int i = 1; i < n + k; ++i) EXPECT_LT(t[i - 1], t[i]);
  }
}

TEST(BSchrdlkts, EdgeCasesAndFailures) {
  kwtest::reset_library_state();
  const double pts[12] = {0, 0, 0, 1, 0, 0, 1, 0, 0, 2, 0, 0};  // points 1, 2 coincide
  const int16_t k = 2;
  const int32_t n = 4;
  const BSboolean per = 0;
  double t[6];
  BSrc rc = -99;
  ASSERT_TRUE(BSchrdlkts(&rc, &n, pts, &k, &per, t));
  const double total = 2 + 2e-6;
  EXPECT_DOUBLE_EQ(t[2], 1.0 / total);
  EXPECT_DOUBLE_EQ(t[3], (1.0 + 2e-6) / total);
  const int16_t k5 = 5;
  double u[9] = {42, 42, 42, 42, 42, 42, 42, 42, 42};
  EXPECT_FALSE(BSchrdlkts(&rc, &n, pts, &k5, &per, u));
  EXPECT_EQ(rc, BSINARG);
  EXPECT_EQ(u[0], 42.0);
  const int16_t k4 = 4;
  double b[8];
  ASSERT_TRUE(BSchrdlkts(&rc, &n, pts, &k4, &per, b));
  EXPECT_EQ(b[3], 0.0);
  EXPECT_EQ(b[4], 1.0);
  const BSboolean yes = 1;
  ASSERT_TRUE(BSchrdlkts(&rc, &n, pts, &k4, &yes, b));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(b[i], i - 3.0);
}

TEST(BSchrdlkts, ScratchFailureReports33) {
  std::vector<double> pts(3 * 1000);
  for (int i = 0; i < 1000; ++i) pts[3 * i] = i * i * 0.001;
  const int32_t n = 1000;
  const int16_t k = 4;
  const BSboolean per = 0;
  std::vector<double> t(n + k);
  kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc = -99;
        BSchrdlkts(&rc, &n, pts.data(), &k, &per, t.data());
        return rc;
      },
      {BSNOSTKMEMORY});
  kwtest::reset_library_state();
}

// ---- Node values ---------------------------------------------------------------------

TEST(BSnodevals, GrevilleAbscissaeAndInsertedValues) {
  kwtest::reset_library_state();
  const double t[9] = {0, 0, 0, 0, 1, 3, 3, 3, 3};  // k = 4, n = 5
  double v[64];
  int32_t count = 0;
  BSrc rc = -99;
  BSnodevals(4, 9, t, 0, &count, v, &rc);
  ASSERT_EQ(rc, BSSUCC);
  ASSERT_EQ(count, 5);
  const double g[5] = {0, 1.0 / 3, 4.0 / 3, 7.0 / 3, 3.0};
  for (int i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(v[i], g[i]);
  BSnodevals(4, 9, t, 2, &count, v, &rc);
  ASSERT_EQ(count, 1 + 4 * 3);
  EXPECT_DOUBLE_EQ(v[1], 1.0 / 9);
  EXPECT_DOUBLE_EQ(v[3], 1.0 / 3);
  EXPECT_DOUBLE_EQ(v[12], 3.0);
  // A C0 knot: the node of the pole the curve passes through snaps onto it.
  const double c0[11] = {0, 0, 0, 0, 1, 1, 1 + 1e-7, 2, 2, 2, 2};
  BSnodevals(4, 11, c0, 0, &count, v, &rc);
  ASSERT_EQ(count, 7);
  EXPECT_EQ(v[3], 1.0);
}

TEST(BSnodvalrg, TrimAndClip) {
  kwtest::reset_library_state();
  // Unclamped quadratic (k = 3, odd): nodes outside the domain [2, 5] are dropped
  // and the domain ends added.
  const double t[9] = {0, 1, 2, 3, 4, 5, 6, 7, 8};  // n = 6
  double v[64];
  int32_t count = 0;
  BSrc rc = -99;
  const double range[2] = {3.0, 4.0};
  BSnodvalrg(3, 1, 9, t, 0, 0.0, 0, range, &count, v, &rc);
  ASSERT_EQ(rc, BSSUCC);
  // Nodes 1.5, 2.5, ..., 6.5; the domain is [knots[2], knots[6]] = [2, 6].
  const std::vector<double> want = {2, 2.5, 3.5, 4.5, 5.5, 6};
  ASSERT_EQ(count, static_cast<int32_t>(want.size()));
  for (int i = 0; i < count; ++i) EXPECT_DOUBLE_EQ(v[i], want[i]);
  BSnodvalrg(3, 0, 9, t, 0, 0.1, 1, range, &count, v, &rc);
  const std::vector<double> clip = {3, 3.5, 4};
  ASSERT_EQ(count, static_cast<int32_t>(clip.size()));
  for (int i = 0; i < count; ++i) EXPECT_DOUBLE_EQ(v[i], clip[i]);
}

TEST(BSnodevals, ScratchBeyondHundredEntriesAndItsFailure) {
  std::vector<double> t;
  for (int i = 0; i < 4; ++i) t.push_back(0);
  for (int i = 1; i < 200; ++i) t.push_back(i);
  for (int i = 0; i < 4; ++i) t.push_back(200);
  const int32_t N = static_cast<int32_t>(t.size());
  std::vector<double> v(N);
  int32_t count = 0;
  const auto res = kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc = -99;
        BSnodevals(4, N, t.data(), 0, &count, v.data(), &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
  EXPECT_GT(res.allocations, 0);
  EXPECT_EQ(count, N - 4);
  BSrc rc = -99;
  BSnodevals(1, N, t.data(), 0, &count, v.data(), &rc);
  EXPECT_EQ(rc, BSINARG);
  kwtest::reset_library_state();
}
