// Interpolation through points: fits pass through every point at parameters
// computed here independently, honour end tangents, close periodic curves with
// continuity k-2, agree between the dense and banded periodic solves, the building
// blocks give hand-computed results, and every failure is reported.
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "ref_curves.hpp"
#include "support.hpp"

namespace {

using kwtest::ref_eval;

class Fit : public kwtest::GuardedTest {};

using Points = std::vector<double>;

// A result record with arrays sized as the fit documents.
struct Out {
  std::vector<double> poles, knots;
  BScurve cv{};
  Out(int32_t n, int k) : poles(3 * (n + k - 1) + 3), knots(n + 2 * k - 1) {
    cv.poles = poles.data();
    cv.knots = knots.data();
  }
};

BSrc fit(const Points &p, int k, Out &out, bool periodic = false, const double *t0 = nullptr,
         const double *t1 = nullptr) {
  BSrc rc;
  BSdirfitcv(static_cast<int32_t>(p.size() / 3), p.data(), static_cast<int16_t>(k), t0 ? 1 : 0,
             t1 ? 1 : 0, periodic, t0, t1, &out.cv, &rc);
  return rc;
}

// Chord-length parameters, or centripetal when every chord is at least 1.
std::vector<double> ref_params(const Points &p, bool chord_length = false) {
  const size_t n = p.size() / 3;
  std::vector<double> c(n - 1), t(n, 0.0);
  double smallest = HUGE_VAL;
  for (size_t i = 0; i + 1 < n; ++i) {
    c[i] = std::hypot(p[3 * i + 3] - p[3 * i], p[3 * i + 4] - p[3 * i + 1],
                      p[3 * i + 5] - p[3 * i + 2]);
    smallest = std::min(smallest, c[i]);
  }
  for (size_t i = 0; i + 1 < n; ++i)
    t[i + 1] = t[i] + (smallest < 1.0 || chord_length ? c[i] : std::sqrt(c[i]));
  for (double &v : t) v /= t[n - 1];
  return t;
}

Points random_points(std::mt19937_64 &rng, int n, double scale, bool closed = false) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Points p(3 * n);
  // A wandering walk keeps consecutive points apart.
  double x[3] = {0, 0, 0};
  for (int i = 0; i < n; ++i) {
    for (int c = 0; c < 3; ++c) {
      x[c] += scale * (0.3 + 0.7 * std::fabs(u(rng))) * (c == 0 ? 1.0 : u(rng));
      p[3 * i + c] = x[c];
    }
  }
  if (closed) std::copy(p.begin(), p.begin() + 3, p.end() - 3);
  return p;
}

// Largest distance from point j to the curve at its prescribed parameter.
double max_miss(const BScurve &cv, const Points &p, bool periodic) {
  const int k = cv.order;
  const std::vector<double> t = ref_params(p, k == 2);  // polylines: chord length
  const size_t n = t.size();
  // Odd periodic fits put the points at span middles: shifted by half the last span.
  const double shift = (periodic && k % 2 == 1) ? 0.5 * (1.0 - t[n - 2]) : 0.0;
  double worst = 0.0;
  for (size_t j = 0; j < (shift > 0 ? n - 1 : n); ++j) {
    const auto q = ref_eval(cv, t[j] + shift);
    worst = std::max(worst, std::hypot(q[0] - p[3 * j], q[1] - p[3 * j + 1], q[2] - p[3 * j + 2]));
  }
  return worst;
}

void derivs(const BScurve &cv, double u, int d, double *out) {
  BSrc rc;
  BScveval(&cv, u, d, out, &rc);
  ASSERT_EQ(rc, BSSUCC);
}

TEST_F(Fit, RandomPointsPassThroughAtTheirParameters) {
  std::mt19937_64 rng(19);
  for (int n : {3, 4, 5, 7, 12, 60, 400, 2000})
    for (int k : {2, 3, 4, 5, 6, 7, 8}) {
      for (double scale : {0.1, 3.0}) {  // chord length and centripetal
        const Points p = random_points(rng, n, scale);
        Out out(n, k);
        ASSERT_EQ(fit(p, k, out), BSSUCC) << n << " " << k;
        EXPECT_EQ(out.cv.num_poles, k == 2 ? n : n + k - (k % 2 == 0 ? 2 : 1));
        EXPECT_LT(max_miss(out.cv, p, false), 1e-9 * (1 + scale * n)) << n << " k " << k;
        EXPECT_EQ(out.cv.planar, n == 3 ? 1 : 0);
      }
    }
}

TEST_F(Fit, PeriodicFitsCloseWithContinuityUpToOrderMinusTwo) {
  std::mt19937_64 rng(7);
  for (int n : {4, 5, 9, 30, 500})  // dense (few poles) and banded periodic solves
    for (int k : {3, 4, 5, 6}) {
      if (n < 4) continue;
      const Points p = random_points(rng, n, 1.0, true);
      Out out(n, k);
      ASSERT_EQ(fit(p, k, out, true), BSSUCC) << n << " " << k;
      const BScurve &cv = out.cv;
      EXPECT_TRUE(cv.periodic && cv.phy_closed);
      EXPECT_LT(max_miss(cv, p, true), 1e-9 * n);
      const int32_t m = cv.num_poles, u = m - k + 1;
      for (int i = 0; i <= k - 2; ++i)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(cv.poles[3 * i + c], cv.poles[3 * (i + u) + c]);
      double a[3 * 16], b[3 * 16];
      derivs(cv, cv.knots[k - 1], k - 2, a);
      derivs(cv, cv.knots[m], k - 2, b);
      for (int q = 0; q < 3 * (k - 1); ++q) EXPECT_NEAR(a[q], b[q], 1e-7 * (1 + std::fabs(a[q])));
      for (int j = 0; j < k - 1; ++j)  // a periodic knot vector
        EXPECT_NEAR(cv.knots[j + 1] - cv.knots[j],
                    cv.knots[j + m - k + 2] - cv.knots[j + m - k + 1], 1e-12);
    }
}

TEST_F(Fit, GivenEndTangentsAreHonoured) {
  std::mt19937_64 rng(3);
  const double t0[3] = {0.0, 2.0, 1.0}, t1[3] = {-1.0, 0.5, 0.0};
  for (int k : {3, 4, 5, 6, 8})
    for (int n : {3, 6, 50}) {
      const Points p = random_points(rng, n, 0.5);
      Out out(n, k);
      ASSERT_EQ(fit(p, k, out, false, t0, t1), BSSUCC);
      EXPECT_LT(max_miss(out.cv, p, false), 1e-9);
      double a[6], b[6];
      derivs(out.cv, 0.0, 1, a);
      derivs(out.cv, 1.0, 1, b);
      for (auto [d, t] : {std::pair{a + 3, t0}, std::pair{b + 3, t1}}) {
        double x[3];
        BSrc rc;
        BScrossp(&rc, d, t, x);
        EXPECT_LT(std::hypot(x[0], x[1], x[2]), 1e-9 * std::hypot(d[0], d[1], d[2]));
        EXPECT_GT(BSdotp(&rc, d, t), 0.0);
      }
    }
}

TEST_F(Fit, SmallFitsStayOffTheHeap) {
  std::mt19937_64 rng(6);
  const Points open = random_points(rng, 20, 1.0), closed = random_points(rng, 20, 1.0, true);
  BSdbglev = 0;  // scratch by the plain rules: small requests on the stack
  for (int k : {3, 4, 6}) {
    Out a(20, k), b(20, k);
    const kwtest::NoHeapScope scope;
    EXPECT_TRUE(fit(open, k, a) == BSSUCC && fit(closed, k, b, true) == BSSUCC);
    EXPECT_EQ(scope.heap_requests(), 0) << k;
  }
  BSdbglev = knotwork::kDebugLevel;
}

TEST_F(Fit, TellingCasesOfTheContract) {
  // Three points, order 4: 5 poles, knots 0 0 0 0 t1 1 1 1 1.
  const Points three = {0, 0, 0, 1, 1, 0, 3, 0, 0};
  Out a(3, 4);
  ASSERT_EQ(fit(three, 4, a), BSSUCC);
  ASSERT_EQ(a.cv.num_poles, 5);
  const double t1 = ref_params(three)[1];
  const std::vector<double> want = {0, 0, 0, 0, t1, 1, 1, 1, 1};
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(a.knots[i], want[i], 1e-15);
  EXPECT_TRUE(a.cv.planar == 1 && a.cv.non_uniform == 1);
  // Order 3 with 6 points: 8 poles, knot 3 at (2 t1 + t0) / 3.
  std::mt19937_64 rng(1);
  const Points six = random_points(rng, 6, 0.2);
  Out b(6, 3);
  ASSERT_EQ(fit(six, 3, b), BSSUCC);
  EXPECT_EQ(b.cv.num_poles, 8);
  EXPECT_NEAR(b.knots[3], 2.0 * ref_params(six)[1] / 3.0, 1e-15);
  // Periodic, 5 points, order 4: 7 poles, the first 3 repeat the last 3.
  const Points loop = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 0};
  Out c(5, 4);
  ASSERT_EQ(fit(loop, 4, c, true), BSSUCC);
  ASSERT_EQ(c.cv.num_poles, 7);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(c.poles[i], c.poles[12 + i]);
  // Open fit with coincident ends: closed exactly.
  Out d(5, 4);
  ASSERT_EQ(fit(loop, 4, d), BSSUCC);
  EXPECT_EQ(d.cv.phy_closed, 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(d.poles[i], d.poles[3 * (d.cv.num_poles - 1) + i]);
  // All points equal: the point curve with k poles.
  const Points same = {2, 3, 4, 2, 3, 4, 2, 3, 4, 2, 3, 4};
  Out e(4, 5);
  ASSERT_EQ(fit(same, 5, e), BSSUCC);
  EXPECT_EQ(e.cv.num_poles, 5);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(e.poles[i], same[i % 3]);
  // Collinear points: a planar curve.
  const Points line = {0, 0, 0, 1, 1, 1, 3, 3, 3, 4, 4, 4};
  Out f(4, 4);
  ASSERT_EQ(fit(line, 4, f), BSSUCC);
  EXPECT_EQ(f.cv.planar, 1);
}

TEST_F(Fit, PlanePointsGivePolesExactlyInThePlane) {
  // Four points in the plane x + y + z = 1.
  const Points p = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0.5, 0.5, 0};
  const double tin[3] = {-1, 1, 0}, tout[3] = {0, 0, 1};
  for (int k : {3, 4, 6}) {
    Out a(4, k);
    ASSERT_EQ(fit(p, k, a), BSSUCC);
    EXPECT_EQ(a.cv.planar, 1);
    for (int i = 0; i < a.cv.num_poles; ++i)
      EXPECT_NEAR(a.poles[3 * i] + a.poles[3 * i + 1] + a.poles[3 * i + 2], 1.0, 8e-16);
    EXPECT_LT(max_miss(a.cv, p, false), 1e-14);
    Out b(4, k);
    ASSERT_EQ(fit(p, k, b, false, tin), BSSUCC);
    EXPECT_EQ(b.cv.planar, 1);
    Out c(4, k);
    ASSERT_EQ(fit(p, k, c, false, tout), BSSUCC);
    EXPECT_EQ(c.cv.planar, 0);
    EXPECT_LT(max_miss(c.cv, p, false), 1e-12);
  }
}

TEST_F(Fit, ParametrisationChoosesItsMeasure) {
  const Points half = {0, 0, 0, 0.5, 0, 0, 2.5, 0, 0};
  const Points wide = {0, 0, 0, 1, 0, 0, 5, 0, 0};
  double d[2];
  BSrc rc;
  int32_t mode = 2;
  BScumdstopt(3, half.data(), nullptr, 3, 3, &mode, d, &rc);
  EXPECT_TRUE(mode == 0 && d[1] == 2.5);
  mode = 2;
  BScumdstopt(3, wide.data(), nullptr, 3, 3, &mode, d, &rc);
  EXPECT_TRUE(mode == 1 && d[1] == 3.0);
  // Two sets: the second qualifies only for chord length, so both use it.
  Points sets = wide;
  sets.insert(sets.end(), half.begin(), half.end());
  double pars[3], avg;
  BSavgprsfft(2, 3, sets.data(), nullptr, 3, 3, 4, &avg, pars, &rc);
  ASSERT_EQ(rc, BSSUCC);
  EXPECT_DOUBLE_EQ(pars[1], 0.5 * (1.0 / 5.0 + 0.5 / 2.5));
  EXPECT_DOUBLE_EQ(avg, 0.5 * (5.0 + 2.5));
  // A single degenerate set: uniform parameters and a zero average, no NaN.
  const Points same = {1, 1, 1, 1, 1, 1, 1, 1, 1};
  BSavgprsfft(1, 3, same.data(), nullptr, 3, 3, 4, &avg, pars, &rc);
  EXPECT_TRUE(avg == 0.0 && pars[1] == 0.5);
}

// Random cyclic systems: the banded solve reproduces the dense one.
TEST_F(Fit, BandedPeriodicSolveMatchesDense) {
  std::mt19937_64 rng(11);
  for (int k : {3, 4, 5, 7})
    for (int n : {2 * k + 2, 40, 301}) {
      const Points p = random_points(rng, n, 1.0, true);
      const std::vector<double> t = ref_params(p);
      std::vector<double> knots(n + 2 * k);
      std::vector<int32_t> spans(n);
      int32_t nk;
      BSrc rc;
      BSkts_f_fit(static_cast<int16_t>(k), 1, 4, 1e-9, n - 1, n, t.data(), &nk, knots.data(),
                  spans.data(), &rc);
      ASSERT_EQ(rc, BSSUCC);
      const int32_t m = nk - k;
      std::vector<double> dense(3 * m), band(3 * m);
      BSperiodfit(n, p.data(), t.data(), spans.data(), k, m, knots.data(), 3, 3, nullptr,
                  dense.data(), &rc);
      ASSERT_EQ(rc, BSSUCC);
      BSprftwbsol(n, p.data(), t.data(), spans.data(), k, m, knots.data(), 3, 3, nullptr,
                  band.data(), &rc);
      ASSERT_EQ(rc, BSSUCC);
      for (int i = 0; i < 3 * m; ++i)
        EXPECT_NEAR(dense[i], band[i], 1e-9 * (1 + std::fabs(dense[i])));
    }
}

TEST_F(Fit, WeightedEngineFitPassesThroughThePoints) {
  std::mt19937_64 rng(5);
  for (int k : {3, 4, 6}) {
    const int n = 25;
    Points p = random_points(rng, n, 0.3);
    const std::vector<double> t = ref_params(p);
    std::vector<double> pw(n), knots(n + 2 * k), poles(3 * (n + k)), weights(n + k);
    for (int j = 0; j < n; ++j) {
      pw[j] = 1.0 + 0.4 * std::sin(4.0 * t[j]);  // smooth: the weight fit stays positive
      for (int c = 0; c < 3; ++c) p[3 * j + c] *= pw[j];
    }
    std::vector<int32_t> spans(n);
    int32_t nk;
    BSrc rc;
    BSkts_f_fit(static_cast<int16_t>(k), 0, 4, 1e-9, k % 2 ? n : n - 1, n, t.data(), &nk,
                knots.data(), spans.data(), &rc);
    ASSERT_EQ(rc, BSSUCC);
    const int32_t m = nk - k;
    BSfitratpts(n, p.data(), pw.data(), t.data(), spans.data(), k, m, knots.data(), 3, 3, 0, 2, 0,
                0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, poles.data(),
                weights.data(), &rc);
    ASSERT_EQ(rc, BSSUCC) << k;
    for (int j = 0; j < n; ++j) {
      const auto q = ref_eval(k, m, knots.data(), poles.data(), weights.data(), t[j]);
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(q[c], p[3 * j + c] / pw[j], 1e-9);
    }
  }
}

TEST_F(Fit, PolylineThroughThePoints) {
  const Points p = {0, 0, 0, 4, 0, 0, 4, 0, 1e-9, 4, 3, 0, 0, 0, 0};  // a short chord, closed
  std::vector<double> poles(15), knots(7), normal(3);
  BScurve cv{};
  cv.poles = poles.data();
  cv.knots = knots.data();
  BSrc rc;
  const int32_t n = 5;
  ASSERT_TRUE(BSlininter(&rc, &n, p.data(), &cv, normal.data()));
  const std::vector<double> want = {0, 0, 4, 5.5, 8.5, 13.5, 13.5};
  for (int i = 0; i < 7; ++i) EXPECT_NEAR(knots[i], want[i] / 13.5, 1e-15);
  EXPECT_TRUE(cv.phy_closed == 1 && cv.planar == 1);
  EXPECT_NEAR(std::fabs(normal[2]), 1.0, 1e-12);
  const double same[6] = {1, 1, 1, 1, 1, 1};  // coincident points: no polyline
  const int32_t two = 2;
  EXPECT_FALSE(BSlininter(&rc, &two, same, &cv, normal.data()) || rc != BSINARG);
}

TEST_F(Fit, FailureStatuses) {
  const double nan = std::nan(""), zero[3] = {0, 0, 0}, bad[3] = {1, nan, 0};
  const Points ok = {0, 0, 0, 1, 1, 0, 2, 0, 1, 3, 1, 0};
  const Points dup = {0, 0, 0, 1, 1, 0, 1, 1, 0, 3, 1, 0};
  const Points apart = {0, 0, 0, 1, 1, 0, 2, 0, 1, 3, 1, 0, 1, 0, 0};
  const Points flat = {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0};
  Points nanpt = ok;
  nanpt[4] = nan;
  struct Row {
    const Points *p;
    int32_t n;
    int k, c0, c1;
    bool periodic;
    const double *t0;
    BSrc want;
  } rows[] = {
      {nullptr, 4, 4, 0, 0, false, nullptr, BSNULLPTR},
      {&ok, 4, 4, 1, 0, false, nullptr, BSNULLPTR},
      {&ok, 4, 1, 0, 0, false, nullptr, BSINARG},
      {&ok, 4, 17, 0, 0, false, nullptr, BSINARG},
      {&ok, 2, 4, 0, 0, false, nullptr, BSINARG},
      {&ok, 1, 2, 0, 0, false, nullptr, BSINARG},
      {&ok, 4, 4, 2, 0, false, nullptr, BSINARG},
      {&ok, 4, 4, 0, 0, true, nullptr, BSINARG},
      {&apart, 5, 4, 0, 0, false, nullptr, BSSUCC},
      {&apart, 5, 4, 0, 0, true, nullptr, BSINARG},
      {&ok, 4, 4, 1, 0, false, zero, BSINARG},
      {&flat, 4, 4, 1, 0, false, zero, BSINARG},
      {&ok, 4, 4, 1, 0, false, bad, BSINARG},
      {&nanpt, 4, 4, 0, 0, false, nullptr, BSINARG},
      {&dup, 4, 4, 0, 0, false, nullptr, BSFAIL},
      {&dup, 4, 3, 0, 0, false, nullptr, BSFAIL},
      {&dup, 4, 2, 0, 0, false, nullptr, BSSUCC},
  };
  for (const Row &r : rows) {
    Out out(8, 17);
    BSrc rc;
    BSdirfitcv(r.n, r.p ? r.p->data() : nullptr, static_cast<int16_t>(r.k), r.c0, r.c1, r.periodic,
               r.t0, nullptr, &out.cv, &rc);
    EXPECT_EQ(rc, r.want) << "row " << (&r - rows);
  }
  // Polyline of coincident points; a three-point engine fit with coincident ends.
  const Points same = {1, 1, 1, 1, 1, 1, 1, 1, 1};
  Out out(3, 2);
  BSrc rc;
  BSdirfitcv(3, same.data(), 2, 0, 0, 0, nullptr, nullptr, &out.cv, &rc);
  EXPECT_EQ(rc, BSINARG);
  const Points vee = {0, 0, 0, 1, 1, 0, 0, 0, 1e-9};
  const double t[3] = {0, 0.5, 1}, knots[8] = {0, 0, 0, 0, 1, 1, 1, 1};
  const int32_t spans[3] = {3, 3, 3};
  double poles[12];
  int32_t nk, sp[3];
  double kn[8];
  for (int mode : {1, 5}) {  // a coincident-ends engine fit, an unknown mode
    BSfitratpts(3, vee.data(), nullptr, t, spans, 4, 4, knots, 3, 3, 0, mode, 0, 0, nullptr,
                nullptr, nullptr, nullptr, nullptr, nullptr, poles, nullptr, &rc);
    EXPECT_EQ(rc, BSINARG) << mode;
    const bool p = mode == 5;  // open and periodic knot requests the three parameters refuse
    BSkts_f_fit(4, p, p ? 4 : 3, 1e-9, p ? 1 : 2, 3, t, &nk, kn, sp, &rc);
    EXPECT_EQ(rc, BSINARG) << mode;
    BSnpftwcns2(3, vee.data(), t, spans, 4, 4, knots, 3, 3, mode == 5 ? 8 : 1, nullptr, nullptr,
                poles, &rc);
    EXPECT_EQ(rc, BSINARG) << mode;  // mode 1: two unknowns, one row
  }
}

// ---- The building blocks of a fit on hand-computed cases: tangent estimates, end
// poles, knot placement, natural ends, two-point fits, matrix sizes, and the failure
// statuses of every entry.

class FitPieces : public kwtest::GuardedTest {};

void expect_vec(const double *v, std::vector<double> want, double tol = 1e-15) {
  for (int c = 0; c < static_cast<int>(want.size()); ++c) EXPECT_NEAR(v[c], want[c], tol) << c;
}

TEST_F(FitPieces, TangentOfThreePointsFromTheirCircle) {
  const double a[3] = {1, 0, 0}, b[3] = {0, 1, 0}, c[3] = {-1, 0, 0};
  double t[3];
  BSrc rc;
  // Circle tangent (0, +-1, 0) averaged with the unit chord.
  const double s = std::sqrt(0.5), len = std::hypot(s, 1 + s);
  BStanffit(0, a, b, c, t, &rc);
  ASSERT_EQ(rc, BSSUCC);
  expect_vec(t, {-s / len, (1 + s) / len, 0});
  BStanffit(1, a, b, c, t, &rc);
  expect_vec(t, {-s / len, -(1 + s) / len, 0});
  const double d[3] = {2, 0, 0}, e[3] = {5, 0, 0};
  BStanffit(1, a, d, e, t, &rc);  // collinear: the chord
  expect_vec(t, {1, 0, 0});
  BStanffit(0, a, a, e, t, &rc);
  EXPECT_EQ(rc, BSINARG);
}

TEST_F(FitPieces, PoleNextToAnEnd) {
  const double pts[12] = {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0}, pars[4] = {0, 1. / 3, 2. / 3, 1};
  const double knots[10] = {0, 0, 0, 0, 1. / 3, 2. / 3, 1, 1, 1, 1};
  const double up[3] = {0, 2, 0}, zero[3] = {0, 0, 0}, w[4] = {1, 2, 4, 3};
  double pole[3];
  BSrc rc;
  BSfndtnpol2(4, pts, nullptr, pars, 4, 6, knots, 3, 0, 0, 1.0, nullptr, pole, &rc);
  expect_vec(pole, {1.1 / 3, 0, 0});
  BSfndtnpol2(4, pts, nullptr, pars, 4, 6, knots, 3, 0, 1, 1.0, nullptr, pole, &rc);
  expect_vec(pole, {3 - 1.1 / 3, 0, 0});
  BSfndtnpol2(4, pts, nullptr, pars, 4, 6, knots, 3, 1, 0, 1.0, up, pole, &rc);
  expect_vec(pole, {0, 1.1 / 3, 0});
  BSfndtnpol2(4, pts, w, pars, 4, 6, knots, 3, 1, 0, 2.0, up, pole, &rc);  // weighted points
  expect_vec(pole, {0, 2 * (1.1 / 3) * 0.5, 0});
  BSfndtnpol2(4, pts, nullptr, pars, 4, 6, knots, 3, -1, 1, 1.0, up, pole, &rc);
  expect_vec(pole, {0, 2, 0});
  BSfndtnpol2(4, w, nullptr, pars, 4, 6, knots, 1, 0, 0, 1.0, nullptr, pole, &rc);
  EXPECT_DOUBLE_EQ(pole[0], 1 + 1.1 / 3);
  BSfndtnpol2(4, w, nullptr, pars, 4, 6, knots, 1, 0, 1, 1.0, nullptr, pole, &rc);
  EXPECT_DOUBLE_EQ(pole[0], 3 + 1.1 / 3);
  BSfndtnpol2(4, pts, nullptr, pars, 4, 6, knots, 3, 1, 0, 1.0, zero, pole, &rc);
  EXPECT_EQ(rc, BSINARG);
  // Coincident parameters: -1, and the caller's knots stay as they were.
  const double twice[4] = {0, 0.5, 0.5, 1};
  double out[10] = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
  int32_t nk, spans[4];
  BSkts_f_fit(4, 0, 4, 1e-9, 3, 4, twice, &nk, out, spans, &rc);
  EXPECT_EQ(rc, BSFAIL);
  for (double v : out) EXPECT_EQ(v, 7.0);
}

TEST_F(FitPieces, OddPeriodicKnotsWrapAroundTheirDomain) {
  const double pars[5] = {0, 0.25, 0.5, 0.75, 1};
  double knots[9];
  int32_t nk, spans[5];
  BSrc rc;
  BSkts_f_fit(3, 1, 4, 1e-9, 4, 5, pars, &nk, knots, spans, &rc);
  ASSERT_EQ(rc, BSSUCC);
  ASSERT_EQ(nk, 9);
  const double want[9] = {-0.625, -0.375, -0.125, 0.125, 0.375, 0.625, 0.875, 1.125, 1.375};
  for (int i = 0; i < 9; ++i) EXPECT_DOUBLE_EQ(knots[i], want[i]);
  const int32_t want_spans[5] = {2, 3, 4, 5, 5};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(spans[i], want_spans[i]);
  // BSktsprsfft = BSavgprsfft + BSkts_f_fit; with skipped knots only the spans.
  const double pts[15] = {0, 0, 0, 1, 0, 0, 1, 2, 0, 0, 2, 0, 0, 0, 1};
  double p1[5], p2[5], avg, k1[11], k2[11];
  int32_t s1[5], s2[5], n1, n2;
  BSktsprsfft(5, pts, nullptr, 4, 0, 4, 0, 0, 0, p1, &n1, k1, s1, &rc);
  ASSERT_EQ(rc, BSSUCC);
  BSavgprsfft(1, 5, pts, nullptr, 3, 3, 4, &avg, p2, &rc);
  BSkts_f_fit(4, 0, 4, BSparameters.knot_tol / avg, 4, 5, p2, &n2, k2, s2, &rc);
  ASSERT_EQ(n1, n2);
  for (int i = 0; i < n1; ++i) EXPECT_EQ(k1[i], k2[i]);
  for (int i = 0; i < 5; ++i) s2[i] = -1;
  BSktsprsfft(5, pts, nullptr, 4, 0, 4, 1, 1, 0, p1, &n1, k1, s2, &rc);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s2[i], s1[i]);
}

TEST_F(FitPieces, NaturalEndsHaveNoCurvature) {
  std::mt19937_64 rng(4);
  std::uniform_real_distribution<double> u(-1, 1);
  const int n = 9, k = 4, m = n + 2;
  std::vector<double> pts(3 * n), pars(n), knots(m + k), poles(3 * m);
  std::vector<int32_t> spans(n);
  for (int j = 0; j < n; ++j) {
    pars[j] = j / (n - 1.0);
    pts[3 * j] = j;
    pts[3 * j + 1] = u(rng);
    pts[3 * j + 2] = u(rng);
  }
  int32_t nk;
  BSrc rc;
  BSkts_f_fit(k, 0, 4, 1e-9, n - 1, n, pars.data(), &nk, knots.data(), spans.data(), &rc);
  std::copy(pts.begin(), pts.begin() + 3, poles.begin());
  std::copy(pts.end() - 3, pts.end(), poles.end() - 3);
  BSnpftwcns2(n, pts.data(), pars.data(), spans.data(), k, m, knots.data(), 3, 3, 7, nullptr,
              nullptr, poles.data(), &rc);
  ASSERT_EQ(rc, BSSUCC);
  const auto cv = kwtest::make_curve(k, knots, poles);
  for (int j = 0; j < n; ++j) {
    const auto q = kwtest::ref_eval(cv, pars[j]);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(q[c], pts[3 * j + c], 1e-12);
  }
  auto rc_cv = cv;
  BScurve view = rc_cv.view();
  double d[9];
  for (double t : {0.0, 1.0}) {
    BScveval(&view, t, 2, d, &rc);
    for (int c = 6; c < 9; ++c) EXPECT_NEAR(d[c], 0.0, 1e-10);
  }
}

TEST_F(FitPieces, TwoPointFitsAreBezierSegments) {
  const double pts[6] = {0, 0, 0, 3, 0, 0}, pars[2] = {0, 1}, t0[3] = {0, 1, 0}, t1[3] = {0, -1, 0};
  const int32_t spans[2] = {3, 3};
  const double k4[8] = {0, 0, 0, 0, 1, 1, 1, 1}, k6[12] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1};
  double poles[18];
  BSrc rc;
  BSfitratpts(2, pts, nullptr, pars, spans, 4, 4, k4, 3, 3, 0, 2, 1, 1, t0, t1, nullptr, nullptr,
              nullptr, nullptr, poles, nullptr, &rc);
  ASSERT_EQ(rc, BSSUCC);
  expect_vec(poles, {0, 0, 0, 0, 1, 0, 3, 1, 0, 3, 0, 0});
  // Raised to order 6: the same cubic.
  const int32_t spans6[2] = {5, 5};
  BSfitratpts(2, pts, nullptr, pars, spans6, 6, 6, k6, 3, 3, 0, 2, 1, 1, t0, t1, nullptr, nullptr,
              nullptr, nullptr, poles, nullptr, &rc);
  ASSERT_EQ(rc, BSSUCC);
  const auto cubic = kwtest::make_curve(4, {k4, k4 + 8}, {0, 0, 0, 0, 1, 0, 3, 1, 0, 3, 0, 0});
  const auto sextic = kwtest::make_curve(6, {k6, k6 + 12}, {poles, poles + 18});
  for (double u : {0.1, 0.5, 0.77}) {
    const auto a = kwtest::ref_eval(cubic, u), b = kwtest::ref_eval(sextic, u);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 1e-15);
  }
  BSfitratpts(2, pts, nullptr, pars, spans, 4, 4, k4, 3, 3, 0, 2, 3, 3, nullptr, nullptr, nullptr,
              nullptr, nullptr, nullptr, poles, nullptr, &rc);
  expect_vec(poles, {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0});
  BSfitratpts(2, pts, nullptr, pars, spans6, 6, 6, k6, 3, 3, 0, 2, -1, 0, t0, nullptr, nullptr,
              nullptr, nullptr, nullptr, poles, nullptr, &rc);
  EXPECT_EQ(rc, BSINARG);
}

// Points sampled from a curve: the least-squares modes give back its poles.
TEST_F(FitPieces, LeastSquaresRecoversTheSampledCurve) {
  std::mt19937_64 rng(12);
  for (int k : {2, 3, 4, 6}) {
    kwtest::RefCurve cv = kwtest::random_curve(rng, kwtest::CurveShape{k, 9, false, false, true});
    const int n = 60, m = cv.n();
    std::vector<double> pts(3 * n), pars(n), poles(3 * m);
    std::vector<int32_t> spans(n);
    for (int j = 0; j < n; ++j) {
      pars[j] = j / (n - 1.0);
      const auto q = kwtest::ref_eval(cv, pars[j]);
      std::copy(q.begin(), q.end(), pts.begin() + 3 * j);
    }
    BSrc rc;
    int32_t nk = m + k;
    BSktsprsfft(n, nullptr, nullptr, k, 0, m - k + 1, 1, 1, 0, pars.data(), &nk, cv.knots.data(),
                spans.data(), &rc);
    for (int mode : {0, 1}) {
      BSfitratpts(n, pts.data(), nullptr, pars.data(), spans.data(), k, m, cv.knots.data(), 3, 3, 0,
                  mode, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, poles.data(),
                  nullptr, &rc);
      ASSERT_EQ(rc, BSSUCC);
      for (int i = 0; i < 3 * m; ++i) EXPECT_NEAR(poles[i], cv.poles[i], 1e-10) << k << mode;
    }
  }
}

TEST_F(FitPieces, MatrixSizes) {
  int32_t rows, cols;
  BSrc rc;
  BSftmatsz(0, 10, 12, 4, 1, 2, &rows, &cols, &rc);
  EXPECT_EQ(rows * 100 + cols, 9 * 100 + 9);
  BSftmatsz(0, 10, 12, 4, 0, 2, &rows, &cols, &rc);
  EXPECT_EQ(rows * 100 + cols, 8 * 100 + 4);
  BSftmatsz(1, 10, 12, 4, 0, 2, &rows, &cols, &rc);
  EXPECT_EQ(rows, 10);
  BSftmatsz(0, 10, 12, 4, 0, 5, &rows, &cols, &rc);
  EXPECT_EQ(rc, BSINARG);
}

TEST_F(FitPieces, EntriesRefuseBadInput) {
  std::mt19937_64 rng(8);
  std::uniform_real_distribution<double> u(0.2, 1.0);
  const int n = 30, k = 4;
  std::vector<double> pts(3 * n), pars(n), w(n), knots(n + 2 * k), poles(3 * (n + k)),
      weights(n + k);
  double x[3] = {0, 0, 0};
  for (int j = 0; j < n; ++j) {
    for (int c = 0; c < 3; ++c) pts[3 * j + c] = x[c] += u(rng);
    w[j] = j % 2 ? 0.05 : 1.0;  // alternating weights: the fitted weights overshoot below 0
  }
  std::copy(pts.begin(), pts.begin() + 3, pts.end() - 3);
  std::vector<int32_t> spans(n);
  int32_t nk, mode = 2;
  BSrc rc;
  double avg, tan[3];
  BSavgprsfft(1, n, pts.data(), nullptr, 3, 3, k, &avg, pars.data(), &rc);
  BSkts_f_fit(k, 1, 4, 1e-9, n - 1, n, pars.data(), &nk, knots.data(), spans.data(), &rc);
  const int32_t m = nk - k;
  BSfitratpts(n, pts.data(), w.data(), pars.data(), spans.data(), k, m, knots.data(), 3, 3, 1, 2, 0,
              0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, poles.data(), weights.data(),
              &rc);
  EXPECT_EQ(rc, BSBADWEIGHT);
  std::vector<double> bad = pts;
  bad[7] = std::nan("");
  const double *p = pts.data(), *b = bad.data();
  // Each entry called on the points q.
#define ENTRY(...) [&](const double *q) { return __VA_ARGS__, rc; }
  const std::vector<std::function<BSrc(const double *)>> entries = {
      ENTRY(BScumdstopt(n, q, nullptr, 3, 3, &(mode = 2), pars.data(), &rc)),
      ENTRY(BSavgprsfft(1, n, q, nullptr, 3, 3, k, &avg, pars.data(), &rc)),
      ENTRY(BStanffit(0, q, q + 3, q + 6, tan, &rc)),
      ENTRY(BSfitratpts(n, q, nullptr, pars.data(), spans.data(), k, m, knots.data(), 3, 3, 1, 2, 0,
                        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, poles.data(),
                        nullptr, &rc)),
      ENTRY(BSperiodfit(n, q, pars.data(), spans.data(), k, m, knots.data(), 3, 3, nullptr,
                        poles.data(), &rc)),
      ENTRY(BSprftwbsol(n, q, pars.data(), spans.data(), k, m, knots.data(), 3, 3, nullptr,
                        poles.data(), &rc)),
      [&](const double *q) {
        std::vector<double> t2(n), k2(n + 2 * k);
        std::vector<int32_t> s2(n);
        int32_t n2;
        BSktsprsfft(n, q, nullptr, k, 1, n - 1, 0, 0, 0, t2.data(), &n2, k2.data(), s2.data(), &rc);
        return rc;
      },
      ENTRY(BSfndtnpol2(n, q, nullptr, pars.data(), k, m, knots.data(), 3, 0, 0, 1, nullptr, tan,
                        &rc)),
  };
#undef ENTRY

  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i](b), BSINARG) << "entry " << i;
    EXPECT_EQ(entries[i](nullptr), BSNULLPTR) << "entry " << i;
    EXPECT_EQ(entries[i](p), BSSUCC) << "entry " << i;
  }
}

}  // namespace
