// Interval solvers: Legendre series, Bezier and B-spline functions built from known
// roots (the expected set is exact), random functions against the sign changes of
// dense sampling, and every failure status.
#include <numeric>

#include "ref_curves.hpp"
#include "sign_changes.hpp"
#include "status_of.hpp"
#include "support.hpp"

namespace {

class RootsInterval : public kwtest::GuardedTest {};

// Blossom of prod_j (t - r_j) at u (one u per factor): the mean over the pairings of
// the u's with the factors. B-spline poles of that polynomial are blossoms at
// consecutive knots, Bezier coefficients on [a, b] blossoms at a's and b's.
double blossom(const std::vector<double> &r, std::vector<double> u) {
  std::sort(u.begin(), u.end());
  double sum = 0.0;
  int count = 0;
  do {
    double p = 1.0;
    for (size_t j = 0; j < r.size(); ++j) p *= u[j] - r[j];
    sum += p;
    ++count;
  } while (std::next_permutation(u.begin(), u.end()));
  return sum / count;
}

std::vector<double> spline_poles(const std::vector<double> &r, int k,
                                 const std::vector<double> &t) {
  const int n = static_cast<int>(t.size()) - k;
  std::vector<double> p(n);
  for (int i = 0; i < n; ++i)
    p[i] = blossom(r, std::vector<double>(t.begin() + i + 1, t.begin() + i + k));
  return p;
}

// Legendre coefficients of prod (x - r_j) on [-1, 1] by x P_j = ((j+1) P_(j+1) + j P_(j-1))/(2j+1).
std::vector<double> legendre_from_roots(const std::vector<double> &r) {
  std::vector<long double> c{1.0L};
  for (double root : r) {
    std::vector<long double> n(c.size() + 1, 0.0L);
    for (size_t j = 0; j < c.size(); ++j) {
      n[j + 1] += c[j] * (j + 1.0L) / (2.0L * j + 1.0L);
      if (j > 0) n[j - 1] += c[j] * j / (2.0L * j + 1.0L);
      n[j] -= root * c[j];
    }
    c = n;
  }
  return std::vector<double>(c.begin(), c.end());
}

std::vector<double> sorted_in(std::vector<double> r, double lo, double hi) {
  r.erase(std::remove_if(r.begin(), r.end(), [&](double x) { return x < lo || x > hi; }), r.end());
  std::sort(r.begin(), r.end());
  return r;
}

void expect_roots(const std::vector<double> &want, int32_t count, const double *got, double tol,
                  const char *what) {
  ASSERT_EQ(count, static_cast<int32_t>(want.size())) << what;
  for (int32_t i = 0; i < count; ++i) EXPECT_NEAR(got[i], want[i], tol) << what << " root " << i;
}

TEST_F(RootsInterval, LegendreSeriesFromKnownRoots) {
  BSrc rc;
  int32_t count;
  double roots[12];
  const double zero[4] = {0, 0, 0, 0};  // the zero series: -1
  BSfndrtlgd1(3, zero, 0.0, &count, roots, &rc);
  EXPECT_EQ(count, -1);
  const std::vector<std::vector<double>> cases = {
      {-1.0, 0.0, 1.0},           // exactly at the ends and the centre
      {0.0, 0.0},                 // x^2: the root 0 twice, the same value
      {0.3, 0.3, -0.6},           // double root
      {0.25, 0.25, 0.25, -0.9},   // triple root
      {0.5, 0.501, 0.502, -0.2},  // cluster
      {-0.7, 0.1, 2.0, -3.0},     // roots outside are not reported
      {0.5, -0.5, 0.9, 0.9, -0.999, 0.2, 0.3, 1.5},
      {-1.0, -1.0, 0.4, 1.0, 1.0},  // double roots at the ends
  };
  for (const auto &r : cases) {
    const std::vector<double> l = legendre_from_roots(r);
    BSfndrtlgd1(static_cast<int32_t>(r.size()), l.data(), 1e-12, &count, roots, &rc);
    ASSERT_EQ(rc, 0);
    const std::vector<double> want = sorted_in(r, -1.0, 1.0);
    expect_roots(want, count, roots, 1e-5, "legendre");
    for (int32_t i = 0; i < count; ++i)
      if (want[i] == 1.0 || want[i] == -1.0 || want[i] == 0.0) {
        EXPECT_EQ(roots[i], want[i]);
      }
  }
  // A complex pair has no real roots; the same pair times (x - 0.1) has one.
  const double pair[3] = {0.5 + 1.0 / 3, 0.0, 2.0 / 3};  // x^2 + 0.5
  BSfndrtlgd1(2, pair, 1e-12, &count, roots, &rc);
  EXPECT_EQ(count, 0);
}

TEST_F(RootsInterval, SeriesHelpersOnTheirTellingValues) {
  // Degree 2: a root far outside [-1, 1] is never reported; a near-double root
  // whose zone covers the interval is ambiguous.
  const std::vector<double> out5 = legendre_from_roots({0.5, 5.0});
  int32_t count = -7;
  double roots[2];
  BSboolean amb = TRUE;
  BSrtlgd2(out5.data(), 1e-9, &count, roots, &amb);
  ASSERT_EQ(count, 1);
  EXPECT_NEAR(roots[0], 0.5, 1e-15);
  EXPECT_EQ(amb, FALSE);
  const double flat[3] = {1e-7, 0.0, 1e-8};
  BSrtlgd2(flat, 1e-6, &count, roots, &amb);
  EXPECT_TRUE(amb == TRUE && count == 0);
  BSboolean f[4];
  const double l[3] = {1.0, 0.25, -0.25};
  BSboxlgd1(2, l, 0.0, &f[0]);  // |1| > 0.5
  BSboxlgd1(2, l, 0.5, &f[1]);
  BSchkzolgd(2, l, 1.5, &f[2]);  // the magnitudes sum to 1.5
  BSchkzolgd(2, l, 1.4999, &f[3]);
  EXPECT_EQ(std::vector<int>(f, f + 4), (std::vector<int>{FALSE, TRUE, TRUE, FALSE}));
}

TEST_F(RootsInterval, SubIntervalOfASeries) {
  // p(x) = (x - 0.5)(x + 0.5)(x - 0.9) on [u0, u1] = [2, 6]: roots at 3, 5, 5.8.
  const std::vector<double> l = legendre_from_roots({0.5, -0.5, 0.9});
  BSrc rc;
  int32_t count;
  double roots[3];
  BSfndrtlgd1ab(3, l.data(), 2.0, 6.0, 2.5, 5.9, 1e-12, &count, roots, &rc);
  expect_roots({3.0, 5.0, 5.8}, count, roots, 1e-9, "overlap");
  BSfndrtlgd1ab(3, l.data(), 2.0, 6.0, 3.0, 5.0, 1e-12, &count, roots, &rc);
  ASSERT_EQ(count, 2);
  EXPECT_TRUE(roots[0] == 3.0 && roots[1] == 5.0);  // exact ends of the search interval
  BSfndrtlgd1ab(3, l.data(), 2.0, 6.0, 0.0, 10.0, 1e-12, &count, roots, &rc);
  expect_roots({3.0, 5.0, 5.8}, count, roots, 1e-9, "cover");
  BSfndrtlgd1ab(3, l.data(), 2.0, 6.0, 7.0, 9.0, 1e-12, &count, roots, &rc);
  EXPECT_EQ(count, 0);
}

// Bezier coefficients on [2, 3] by blossoming, then degree-elevated twice: the
// same polynomial with zero leading power coefficients.
TEST_F(RootsInterval, BezierFromKnownRootsWithDegreeDrop) {
  BSrc rc;
  int32_t count;
  double roots[8];
  for (const std::vector<double> &r : std::vector<std::vector<double>>{{2.0, 2.5, 3.0},
                                                                       {2.2, 2.2},
                                                                       {2.0, 2.0, 2.7},
                                                                       {2.1, 2.1, 2.1},
                                                                       {2.4, 5.0},
                                                                       {2.999, 3.0}}) {
    std::vector<double> knots(r.size() + 1, 2.0);
    knots.resize(2 * knots.size(), 3.0);
    std::vector<double> c = spline_poles(r, static_cast<int>(r.size()) + 1, knots);
    for (int raise = 0; raise < 3; ++raise) {
      const int k = static_cast<int>(c.size());
      BSfndrtbez1(k, c.data(), 2.0, 3.0, 1e-12, &count, roots, &rc);
      ASSERT_EQ(rc, 0);
      expect_roots(sorted_in(r, 2.0, 3.0), count, roots, 1e-5, "bezier");
      std::vector<double> e(k + 1);
      for (int i = 0; i <= k; ++i)
        e[i] = (i > 0 ? c[i - 1] * i / k : 0.0) + (i < k ? c[i] * (1.0 - double(i) / k) : 0.0);
      c = e;
    }
  }
  const double flat[3] = {1e-13, -1e-13, 0.0};
  BSfndrtbez1(3, flat, 0.0, 1.0, 1e-12, &count, roots, &rc);
  EXPECT_EQ(count, -1);
}

// Scalar functions as the x coordinate of reference curves: a Bezier piece on
// [-1, 2] and random splines (interior knots repeated up to order - 1).
TEST_F(RootsInterval, RandomBezierAndSplineFunctionsAgainstSampling) {
  std::mt19937_64 rng(7);
  for (int trial = 0; trial < 200; ++trial) {
    const int k = 2 + trial % 6;
    kwtest::RefCurve sp = kwtest::random_curve(rng, k, k + 3 + trial % 9, false, true);
    std::vector<double> knots(k, -1.0);
    knots.resize(2 * k, 2.0);
    kwtest::RefCurve bz =
        kwtest::make_curve(k, knots, {sp.poles.begin(), sp.poles.begin() + 3 * k});
    for (kwtest::RefCurve *c : {&bz, &sp}) {
      const int32_t n = c->n();
      std::vector<double> p(n), roots(k * n), zp(2 * n);
      for (int32_t i = 0; i < n; ++i) p[i] = c->poles[3 * i];
      int32_t count, nz = 0;
      BSrc rc;
      if (c == &bz)
        BSfndrtbez1(k, p.data(), -1.0, 2.0, 1e-12, &count, roots.data(), &rc);
      else
        BSfndrtbsp1(k, n, p.data(), c->knots.data(), 1e-12, &count, roots.data(), &nz, zp.data(),
                    &rc);
      ASSERT_EQ(rc, 0);
      roots.resize(std::max(count, 0));
      zp.resize(2 * nz);
      kwtest::expect_roots_cover_sign_changes([&](double x) { return kwtest::ref_eval(*c, x)[0]; },
                                              c->lo(), c->hi(), roots, zp, 1e-9, 0.0);
    }
  }
}

TEST_F(RootsInterval, SplineRootsAtKnotsAndEndsOnceWithTheirMultiplicity) {
  // Blossoms give the exact poles of prod (t - r_j); each row: order, knots, roots.
  struct Case {
    int k;
    std::vector<double> knots, roots, want;
  };
  const std::vector<Case> cases = {
      {4, {0, 0, 0, 0, 0.2, 0.9, 1, 1, 1, 1}, {0.9, 7.0, -3.0}, {0.9}},      // crossing at a knot
      {4, {0, 0, 0, 0, 0.2, 0.9, 1, 1, 1, 1}, {0.2, 0.2, 5.0}, {0.2, 0.2}},  // touch at a knot
      {4,
       {0, 0, 0, 0, 0.5, 0.5, 1, 1, 1, 1},
       {0.5, 0.5, 0.5},
       {0.5, 0.5, 0.5}},                                                     // triple at C1 knot
      {4, {0, 0, 0, 0, 0.3, 0.6, 1, 1, 1, 1}, {1.0, 0.0, 3.0}, {0.0, 1.0}},  // both domain ends
      {3, {2, 2, 2, 2.25, 2.5, 3, 3, 3}, {3.0, 3.0}, {3.0, 3.0}},            // double at the end
      {2, {0, 0, 0.2, 0.9, 1, 1}, {0.2}, {0.2}},                             // polyline corner
  };
  for (const Case &c : cases) {
    const std::vector<double> p = spline_poles(c.roots, c.k, c.knots);
    const int32_t n = static_cast<int32_t>(p.size());
    std::vector<double> roots(c.k * (n - c.k + 1)), zp(2 * n);
    int32_t count, nz;
    BSrc rc;
    BSfndrtbsp1(c.k, n, p.data(), c.knots.data(), 1e-12, &count, roots.data(), &nz, zp.data(), &rc);
    ASSERT_EQ(rc, 0);
    expect_roots(c.want, count, roots.data(), 1e-6, "spline");
    EXPECT_EQ(nz, 0);
  }
}

TEST_F(RootsInterval, ZeroSpansBecomeIntervalsWithoutEndRoots) {
  // (1 - t)^2 touches zero at 1, then zero on [1, 3], then rises: one interval.
  const double t[9] = {0, 0, 0, 1, 2, 3, 4, 4, 4};
  const double p[6] = {1, 0, 0, 0, 0, 1};
  double roots[18], zp[8], zs[4], ze[4];
  int32_t count, nz;
  BSrc rc;
  BSfndrtbsp1(3, 6, p, t, 1e-12, &count, roots, &nz, zp, &rc);
  EXPECT_TRUE(count == 0 && nz == 1 && zp[0] == 1.0 && zp[1] == 3.0);
  const int16_t degree = 2;
  const int32_t last = 5;
  EXPECT_TRUE(BSbzeroes(&rc, &degree, nullptr, p, &last, t, &count, roots, &nz, zs, ze));
  // both copies of the touching root at 1 are withdrawn
  EXPECT_TRUE(count == 0 && nz == 1 && zs[0] == 1.0 && ze[0] == 3.0);
  // A constant within the tolerance everywhere: one interval over the domain.
  const double small[6] = {1e-7, -1e-7, 0, 0, 5e-7, 1e-8};
  EXPECT_TRUE(BSbzeroes(&rc, &degree, nullptr, small, &last, t, &count, roots, &nz, zs, ze));
  EXPECT_TRUE(count == 0 && nz == 1 && zs[0] == 0.0 && ze[0] == 4.0);
  // Triple crossing at an interior knot: multiplicity 3 in BSbzeroes too.
  const std::vector<double> kt = {0, 0, 0, 0, 0.5, 1, 1, 1, 1};
  const std::vector<double> cp = spline_poles({0.5, 0.5, 0.5}, 4, kt);
  const int16_t d3 = 3;
  const int32_t last3 = 4;
  EXPECT_TRUE(
      BSbzeroes(&rc, &d3, nullptr, cp.data(), &last3, kt.data(), &count, roots, &nz, zs, ze));
  expect_roots({0.5, 0.5, 0.5}, count, roots, 1e-2, "bzeroes triple");
  // Poles near the largest double: the crossings of the same function at unit size.
  const double huge[4] = {1e308, -1e308, 1e308, -1e308}, unit[4] = {1, -1, 1, -1};
  const double bt[8] = {0, 0, 0, 0, 1, 1, 1, 1};
  double ru[3];
  BSfndrtbsp1(4, 4, unit, bt, 1e-10, &count, ru, &nz, zp, &rc);
  BSfndrtbsp1(4, 4, huge, bt, 1e-10, &count, roots, &nz, zp, &rc);
  ASSERT_EQ(rc, 0);
  expect_roots({ru[0], ru[1], ru[2]}, count, roots, 1e-9, "huge poles");
}

TEST_F(RootsInterval, FailureStatuses) {
  const double nan = std::nan(""), l[4] = {0.1, 1, 0.2, 0.3}, badl[4] = {0.1, nan, 0, 0};
  const double t[6] = {0, 0, 0.5, 1, 1, 1}, badt[6] = {0, 0, 0.7, 0.5, 1, 1};
  const double p[3] = {-1, 0.5, 2};
  double roots[16] = {}, zp[8];
  int32_t count = 99, nz;
  const int16_t dg = 2, dneg = -1;
  const int32_t last = 2;
  kwtest::expect_statuses({
      {BSNULLPTR, [&](BSrc *rc) { BSfndrtlgd1(3, nullptr, 0.0, &count, roots, rc); }},
      {BSINARG, [&](BSrc *rc) { BSfndrtlgd1(-1, l, 0.0, &count, roots, rc); }},
      {BSINARG, [&](BSrc *rc) { BSfndrtlgd1(321, l, 0.0, &count, roots, rc); }},
      {BSINARG, [&](BSrc *rc) { BSfndrtlgd1(3, badl, 0.0, &count, roots, rc); }},
      {BSINARG, [&](BSrc *rc) { BSfndrtlgd1(3, l, -1.0, &count, roots, rc); }},
      {BSINARG, [&](BSrc *rc) { BSfndrtlgd1ab(3, l, 1, 1, 0, 1, 0, &count, roots, rc); }},
      {BSINARG, [&](BSrc *rc) { BSfndrtlgd1ab(3, l, 0, 1, nan, 1, 0, &count, roots, rc); }},
      {BSNULLPTR, [&](BSrc *rc) { BSfndrtbez1(3, l, 0, 1, 0, nullptr, roots, rc); }},
      {BSINARG, [&](BSrc *rc) { BSfndrtbez1(3, badl, 0, 1, 0, &count, roots, rc); }},
      {BSINARG, [&](BSrc *rc) { BSfndrtbez1(3, l, 0, 1, nan, &count, roots, rc); }},
      {BSNULLPTR, [&](BSrc *rc) { BSfndrtbsp1(3, 3, p, nullptr, 0, &count, roots, &nz, zp, rc); }},
      {BSINARG, [&](BSrc *rc) { BSfndrtbsp1(0, 3, p, t, 0, &count, roots, &nz, zp, rc); }},
      {BSINARG, [&](BSrc *rc) { BSfndrtbsp1(3, 2, p, t, 0, &count, roots, &nz, zp, rc); }},
      {BSINARG, [&](BSrc *rc) { BSfndrtbsp1(3, 3, p, badt, 0, &count, roots, &nz, zp, rc); }},
      {BSINARG, [&](BSrc *rc) { BSfndrtbsp1(3, 3, badl, t, 0, &count, roots, &nz, zp, rc); }},
      {BSNULLPTR,
       [&](BSrc *rc) {
         BSbzeroes(rc, &dg, nullptr, p, &last, t, &count, roots, &nz, zp, nullptr);
       }},
      {BSINARG,
       [&](BSrc *rc) {
         BSbzeroes(rc, &dneg, nullptr, p, &last, t, &count, roots, &nz, zp, zp + 4);
       }},
  });
  EXPECT_EQ(count, 99);  // outputs untouched
}

}  // namespace
