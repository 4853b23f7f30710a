// Knot vectors: span searches against linear scans, knot tolerances, normalising,
// multiplicities, chord-length knots and node values.
#include "bspline/kernel.hpp"
#include "record_room.hpp"
#include "ref_curves.hpp"
#include "status_ok.hpp"
#include "support.hpp"

namespace {

using V = std::vector<double>;

// Random non-decreasing knot vector with knots of multiplicity 1 to 3.
V random_knots(std::mt19937_64 &rng, int k, int n) {
  V t;
  std::uniform_int_distribution<int> mult(1, 3), step(1, 4);
  for (double v = 0; static_cast<int>(t.size()) < n + k;) {
    v += step(rng) * 0.25;
    for (int m = mult(rng); m > 0 && static_cast<int>(t.size()) < n + k; --m) t.push_back(v);
  }
  return t;
}

class Knots : public kwtest::GuardedTest {};

}  // namespace

TEST_F(Knots, FindspnRandomKnotsAndHintsAgreeWithLinearScan) {
  std::mt19937_64 rng(1);
  for (int rep = 0; rep < 300; ++rep) {
    const int16_t k = static_cast<int16_t>(2 + rng() % 6);
    // every window length the binary search distinguishes, and long vectors
    const int32_t n = k + (rep % 50 == 0 ? 3000 : rep % 50 == 1 ? 200 : int32_t(rng() % 24));
    const V t = random_knots(rng, k, n), poles(3 * n);
    if (!(t[k] > t[k - 1]) || !(t[n] > t[n - 1])) continue;
    std::uniform_real_distribution<double> pick(t[0] - 0.5, t[n + k - 1] + 0.5);
    for (int q = 0; q < 30; ++q) {
      const double u = (q % 3 == 0) ? t[rng() % (n + k)] : pick(rng);
      int32_t s = static_cast<int32_t>(rng() % (n + 2)) - 1, r = -1, want = n - 1;
      BSrc rc;
      ASSERT_TRUE(BSfindspn(&rc, &k, &n, t.data(), &u, &s));
      if (u <= t[k - 1]) want = k - 1;
      for (int32_t j = k - 1; j < n && want == n - 1 && u <= t[n]; ++j)
        if (t[j] < u && u <= t[j + 1]) want = j;
      ASSERT_EQ(s, want) << "u " << u;
      ASSERT_EQ(knotwork::find_span_hinted(k, n, t.data(), u, -1, poles.data()), want);
      BSfindspnr(k, n, t.data(), u, &r, &rc);
      const double uc = std::clamp(u, t[k - 1], t[n]);
      ASSERT_TRUE(uc == t[n] ? r == n : r >= k && t[r - 1] <= uc && uc < t[r]) << u << " " << r;
    }
  }
  // A NaN parameter finds nothing and leaves the span alone.
  const int16_t k = 4;
  const int32_t n = 8;
  const double nan = std::nan(""), t[12] = {0, 0, 0, 0, 1, 2, 2, 3, 4, 4, 4, 4};
  BSrc rc = -99;
  int32_t s = 42;
  EXPECT_FALSE(BSfindspn(&rc, &k, &n, t, &nan, &s));
  EXPECT_TRUE(rc == BSSUCC && s == 42);
}

TEST_F(Knots, FndspnarrFirstLeftClosedThenForwardSweep) {
  // Random ascending sweeps agree with the rules parameter by parameter: the first
  // left-closed, the rest right-closed.
  std::mt19937_64 rng(2);
  for (int rep = 0; rep < 100; ++rep) {
    const int16_t k = static_cast<int16_t>(2 + rng() % 5);
    const int32_t n = k + static_cast<int32_t>(rng() % 30);
    const V kt = random_knots(rng, k, n);
    V p(50);
    std::uniform_real_distribution<double> pick(kt[0] - 0.3, kt[n + k - 1] + 0.3);
    for (double &v : p) v = (rng() % 4 == 0) ? kt[rng() % (n + k)] : pick(rng);
    std::sort(p.begin(), p.end());
    std::vector<int32_t> sp(50);
    KW_OK(BSfndspnarr(k, n, 50, p.data(), kt.data(), sp.data(), &rc));
    int32_t s = k - 1;
    while (s < n - 1 && !(p[0] < kt[s + 1])) ++s;
    ASSERT_EQ(sp[0], s);
    for (int i = 1; i < 50; ++i) {
      while (s < n - 1 && kt[s + 1] < p[i]) ++s;
      ASSERT_EQ(sp[i], s) << "i " << i;
    }
  }
}

TEST_F(Knots, Cvkttol2ScaledByPolygonAndLoweredBelowIntervals) {
  const double p4[12] = {0, 0, 0, 0.25, 0, 0, 0.5, 0, 0, 1, 0, 0};
  const double tiny[9] = {0, 0, 0, 1e-5, 0, 0, 2e-5, 0, 0}, wp[9] = {0, 0, 0, 1, 0, 0, 2, 0, 0};
  const double t[6] = {0, 0, 0.5, 1, 1, 1}, t8[6] = {0, 0, 0.5, 0.5 + 1e-8, 1, 1};
  const double t15[6] = {0, 0, 0.5, 0.5 + 1e-15, 1, 1}, t3[5] = {0, 0, 0.5, 1, 1};
  const double w[3] = {1, 2, 2}, w0[3] = {1, 0, 1};
  // knots, pole count, poles, weights, tolerance
  const std::tuple<const double *, int32_t, const double *, const double *, double> cases[] = {
      {t, 4, p4, nullptr, 1e-6},                    // length 1, range 1
      {t8, 4, p4, nullptr, 0.1 * (t8[3] - t8[2])},  // a tenth of the 1e-8 interval
      {t15, 4, p4, nullptr, 1e-6},                  // intervals below 1e-12 do not count
      {t3, 3, tiny, nullptr, 1e-3},                 // a polygon counts as at least 0.001 long
      {t3, 3, wp, w, 1e-6},                         // divided by the weights: 0, 0.5, 1
      {t3, 3, wp, w0, 1e-6},                        // a zero weight: basis_tol, status cleared
  };
  for (const auto &[knots, n, poles, weights, want] : cases) {
    double tol = 0;
    KW_EXPECT_OK(BScvkttol2(2, knots, n, poles, weights, &tol, &rc));
    EXPECT_DOUBLE_EQ(tol, want) << n << " " << want;
  }
  // The fixed method returns knot_tol unscaled.
  BSstolmthd(1);
  BSparameters.knot_tol = 3e-7;
  double tol = 0;
  KW_OK(BScvkttol2(2, t3, 3, tiny, nullptr, &tol, &rc));
  EXPECT_DOUBLE_EQ(tol, 3e-7);
}

TEST_F(Knots, NorktsMapsDomainToUnitInterval) {
  V t = {2, 2, 4, 4}, u = {-1, 1, 3, 6, 7, 9}, z = {5, 5, 5, 5};  // u: k = 3, domain [3, 6]
  const int16_t k = 2, k3 = 3;
  const int32_t n = 2, n3 = 3;
  BSrc rc = -99;
  EXPECT_TRUE(BSnorkts(&rc, &k, &n, t.data()) && t == (V{0, 0, 1, 1}));
  EXPECT_TRUE(BSnorkts(&rc, &k3, &n3, u.data()) && u[2] == 0.0 && u[3] == 1.0);
  EXPECT_DOUBLE_EQ(u[0], -4.0 / 3);
  EXPECT_FALSE(BSnorkts(&rc, &k, &n, z.data()));
  EXPECT_TRUE(rc == BSINARG && z == (V{0, 0, 0, 0}));
}

TEST_F(Knots, GetmultGroupsKnotsWithinKnotTolOfTheirPredecessor) {
  const double t[8] = {0, 0, 0, 0.5, 0.5000005, 1, 1, 1}, c[6] = {0, 0, 0.9e-6, 1.8e-6, 1, 1};
  const int16_t k = 3, k2 = 2;
  const int32_t L = 4, L2 = 3;
  int32_t count = 0, mult[8];
  double vals[8];
  BSrc rc = -99;
  EXPECT_TRUE(BSgetmult(&rc, &k, &L, t, &count, vals, mult));
  EXPECT_EQ(V(vals, vals + count), (V{0, 0.5, 1}));
  EXPECT_EQ(std::vector<int32_t>(mult, mult + count), (std::vector<int32_t>{3, 2, 3}));
  EXPECT_TRUE(BSgetmult(&rc, &k2, &L2, c, &count, vals, mult));  // a creeping chain: one group
  EXPECT_TRUE(count == 2 && mult[0] == 4);
}

TEST_F(Knots, FindmktsRecordsOnlyMultiplicityOrderMinusOne) {
  const int16_t k = 4;
  const double tol = 1e-9;
  int32_t count = -1, pc[16];
  double vals[16];
  BSrc rc = -99;
  // A triple knot at 1 (indices 4..6): the curve passes through pole 3.
  const double t3[11] = {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2}, t2[10] = {0, 0, 0, 0, 1, 1, 2, 2, 2, 2};
  const double t4[12] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2};
  const double t22[12] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 3, 3};  // two runs of 2, not one of 4
  const std::tuple<const double *, int32_t, int32_t> cases[] = {// knots, n, count
                                                                {t3, 7, 1},
                                                                {t2, 6, 0},
                                                                {t4, 8, 0},
                                                                {t22, 8, 0},
                                                                {t3, 4, 0}};
  for (const auto &[t, n, want] : cases) {
    EXPECT_TRUE(BSfindmkts(&rc, &k, &n, t, &tol, &count, vals, pc));
    EXPECT_EQ(count, want) << n;
  }
  const int32_t n7 = 7;
  BSfindmkts(&rc, &k, &n7, t3, &tol, &count, vals, pc);
  EXPECT_TRUE(vals[0] == 1.0 && pc[0] == 4);
}

TEST_F(Knots, ChrdlktsChordLengthKnotsForAllOrdersAndPointSets) {
  // Chords 1, 2, 3, 4, 5 along x: t = 0, 1, 3, 6, 10, 15.
  const double pts[18] = {0, 0, 0, 1, 0, 0, 3, 0, 0, 6, 0, 0, 10, 0, 0, 15, 0, 0};
  const int32_t n = 6;
  const BSboolean no = 0, yes = 1;
  BSrc rc = -99;
  // k even, h = 2: interior knots t(2), t(3); k odd: midpoints t(1) + d2/2, ...
  const int16_t k4 = 4, k3 = 3;
  V t(10), q(9);
  ASSERT_TRUE(BSchrdlkts(&rc, &n, pts, &k4, &no, t.data()));
  for (int i = 0; i < 10; ++i) EXPECT_DOUBLE_EQ(t[i], (V{0, 0, 0, 0, 0.2, 0.4, 1, 1, 1, 1})[i]);
  ASSERT_TRUE(BSchrdlkts(&rc, &n, pts, &k3, &no, q.data()));
  for (int i = 0; i < 9; ++i)
    EXPECT_DOUBLE_EQ(q[i], (V{0, 0, 0, 2.0 / 15, 4.5 / 15, 8.0 / 15, 1, 1, 1})[i]);
  // Periodic: the outer knots wrap the inner intervals.
  for (int16_t k : {3, 4}) {
    V w(n + k);
    ASSERT_TRUE(BSchrdlkts(&rc, &n, pts, &k, &yes, w.data()));
    const int p = k - 1;
    EXPECT_EQ(w[p], 0.0);
    EXPECT_DOUBLE_EQ(w[n], 1.0);
    // the first inner knot: chord sums 2 of 9 (even order), mid-chords 1.5 of 12 (odd)
    EXPECT_DOUBLE_EQ(w[k], k == 4 ? 2.0 / 9 : 1.5 / 12);
    for (int j = 0; j < p; ++j) {
      EXPECT_NEAR(w[n + 1 + j] - w[n], w[p + 1 + j] - w[p], 1e-15);
      EXPECT_NEAR(w[p] - w[p - 1 - j], w[n] - w[n - 1 - j], 1e-15);
    }
    EXPECT_TRUE(std::adjacent_find(w.begin(), w.end(), std::greater_equal<double>()) == w.end());
  }
  // Four points, points 1 and 2 coinciding: too few for order 5, a Bezier for order 4.
  const double p4[12] = {0, 0, 0, 1, 0, 0, 1, 0, 0, 2, 0, 0};
  const int16_t k2 = 2, k5 = 5;
  const int32_t n4 = 4;
  double c[6], b[8], u[9] = {42};
  ASSERT_TRUE(BSchrdlkts(&rc, &n4, p4, &k2, &no, c));
  EXPECT_DOUBLE_EQ(c[2], 1.0 / (2 + 2e-6));
  EXPECT_DOUBLE_EQ(c[3], (1.0 + 2e-6) / (2 + 2e-6));
  EXPECT_FALSE(BSchrdlkts(&rc, &n4, p4, &k5, &no, u) || rc != BSINARG);
  EXPECT_EQ(u[0], 42.0);
  ASSERT_TRUE(BSchrdlkts(&rc, &n4, p4, &k4, &no, b));
  EXPECT_TRUE(b[3] == 0.0 && b[4] == 1.0);
  ASSERT_TRUE(BSchrdlkts(&rc, &n4, p4, &k4, &yes, b));
  for (int i = 0; i < 8; ++i) EXPECT_EQ(b[i], i - 3.0);
}

TEST_F(Knots, NodevalsGrevilleAbscissaeInsertedValuesAndTrimming) {
  const double t[9] = {0, 0, 0, 0, 1, 3, 3, 3, 3};  // k = 4, n = 5
  double v[64];
  int32_t count = 0;
  BSrc rc = -99;
  KW_OK(BSnodevals(4, 9, t, 0, &count, v, &rc));
  EXPECT_EQ(V(v, v + count), (V{0, 1.0 / 3, 4.0 / 3, 7.0 / 3, 3.0}));
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
  // An unclamped quadratic (domain [2, 6]): nodes outside are dropped and the
  // domain ends added; or clipped to a range.
  const double u[9] = {0, 1, 2, 3, 4, 5, 6, 7, 8}, range[2] = {3.0, 4.0};
  KW_OK(BSnodvalrg(3, 1, 9, u, 0, 0.0, 0, range, &count, v, &rc));
  EXPECT_EQ(V(v, v + count), (V{2, 2.5, 3.5, 4.5, 5.5, 6}));
  BSnodvalrg(3, 0, 9, u, 0, 0.1, 1, range, &count, v, &rc);
  EXPECT_EQ(V(v, v + count), (V{3, 3.5, 4}));
  EXPECT_EQ(KW_STATUS(BSnodevals(1, 9, t, 0, &count, v, &rc)), BSINARG);
  // Above 100 entries: scratch, and its failure.
  V big(4, 0.0), out(210);
  for (int i = 1; i < 200; ++i) big.push_back(i);
  big.insert(big.end(), 4, 200.0);
  const int32_t N = static_cast<int32_t>(big.size());
  kwtest::sweep_calls({[&](BSrc *r) { BSnodevals(4, N, big.data(), 0, &count, out.data(), r); }},
                      {BSNOSTKMEMORY});
  EXPECT_EQ(count, N - 4);
}
