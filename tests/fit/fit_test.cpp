// Interpolation through points: fits pass through every point at parameters
// computed here independently, honour end tangents, close periodic curves with
// continuity k-2, agree between the dense and banded periodic solves, and report
// every failure.
#include <cmath>
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

}  // namespace
