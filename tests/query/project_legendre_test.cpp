// BSmdptbscv: nearest points with incoming bounds, checked against dense sampling
// with refinement (project_reference.hpp) on random curves, and in closed form on
// circles and arcs built by the arcs family.
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "knotwork.h"
#include "project_reference.hpp"
#include "support.hpp"

namespace {

using kwtest::RefCurve;
constexpr double kBig = std::numeric_limits<double>::max();

// Coordinate-major rows (dim of the three coordinates, then weights) of a curve.
struct Rows {
  int deg = 0, n = 0, dim = 3;
  bool rational = false;
  std::vector<double> poles, knots;
  Rows(const RefCurve &c, int dim_) : deg(c.k - 1), n(c.n()), dim(dim_), rational(c.rational()) {
    poles.resize(static_cast<size_t>(dim + rational) * n);
    for (int i = 0; i < n; ++i) {
      for (int d = 0; d < dim; ++d) poles[d * n + i] = c.poles[3 * i + d];
      if (rational) poles[dim * n + i] = c.weights[i];
    }
    knots = c.knots;
  }
};

struct Out {
  std::vector<double> dist, par, feet;
  BSrc rc = -99;
};

Out project(Rows &r, std::vector<double> pts, double tol, std::vector<double> din = {},
            std::vector<double> pin = {}) {
  const int m = static_cast<int>(pts.size()) / r.dim;
  if (din.empty()) din.assign(m, kBig), pin.assign(m, 0.0);
  Out o{std::vector<double>(m, -1), std::vector<double>(m, -1), std::vector<double>(m * r.dim, -1)};
  BSmdptbscv(static_cast<int16_t>(r.deg), r.n, r.dim, r.rational, r.poles.data(), r.knots.data(), m,
             pts.data(), tol, din.data(), pin.data(), o.dist.data(), o.par.data(), o.feet.data(),
             &o.rc);
  return o;
}

// Checks every result against the reference: the distance within tol / 2 of the
// brute-force minimum, the foot the curve point at the parameter.
void check_against_reference(RefCurve &c, Rows &r, const std::vector<double> &pts, double tol) {
  const Out o = project(r, pts, tol);
  ASSERT_EQ(o.rc, BSSUCC);
  const double size = projref::curve_size(c);
  for (size_t i = 0; i < o.dist.size(); ++i) {
    double p[3] = {0, 0, 0};
    for (int d = 0; d < r.dim; ++d) p[d] = pts[i * r.dim + d];
    const double ref = projref::brute_force_min(c, p);
    EXPECT_GE(o.dist[i], ref - 1e-10 * size) << i;
    EXPECT_LE(o.dist[i], ref + 0.5 * tol + 1e-10 * size) << i;
    const auto q = kwtest::ref_eval(c, o.par[i]);
    for (int d = 0; d < r.dim; ++d) EXPECT_NEAR(o.feet[i * r.dim + d], q[d], 1e-10 * size) << i;
    EXPECT_NEAR(projref::dist_at(c, o.par[i], p), o.dist[i], 1e-10 * size) << i;
    // One point by branch and bound alone (no break-pole pass).
    double d1 = -1, u1 = -1, f1[3];
    BSrc rc = -99;
    BSmdptbscv1(static_cast<int16_t>(r.deg), r.n, r.dim, r.rational, r.poles.data(), r.knots.data(),
                p, tol, kBig, &d1, &u1, f1, &rc);
    ASSERT_EQ(rc, BSSUCC) << i;
    EXPECT_GE(d1, ref - 1e-10 * size) << i;
    EXPECT_LE(d1, ref + 0.5 * tol + 1e-10 * size) << i;
    EXPECT_NEAR(projref::dist_at(c, u1, p), d1, 1e-10 * size) << i;
  }
}

TEST(BSmdptbscv, RandomCurvesMatchDenseSampling) {
  std::mt19937_64 rng(24);
  std::uniform_real_distribution<double> U(-1.3, 1.3);
  struct Case {
    int k, n;
    bool rational, planar, clamped;
  } cases[] = {{4, 4, false, false, true}, {4, 9, false, false, true}, {4, 12, true, false, true},
               {3, 7, true, true, true},   {5, 10, false, true, true}, {4, 8, false, false, false},
               {2, 6, false, false, true}, {6, 13, true, false, true}};
  for (const Case &cs : cases)
    for (int rep = 0; rep < 3; ++rep) {
      RefCurve c = projref::random_curve(rng, cs.k, cs.n, cs.rational, false, 1.0, cs.clamped);
      const int dim = cs.planar ? 2 : 3;
      if (cs.planar)
        for (int i = 0; i < c.n(); ++i) c.poles[3 * i + 2] = 0.0;
      Rows r(c, dim);
      std::vector<double> pts(20 * dim);
      for (double &x : pts) x = U(rng);
      SCOPED_TRACE(cs.k * 100 + cs.n);
      check_against_reference(c, r, pts, 1e-7);
    }
}

// Circles and arcs in the plane z = 0 as 2D rows.
Rows planar_rows(BScurve &cv) {
  RefCurve c;
  c.k = cv.order;
  c.poles.assign(cv.poles, cv.poles + 3 * cv.num_poles);
  c.weights.assign(cv.weights, cv.weights + cv.num_poles);
  c.knots.assign(cv.knots, cv.knots + cv.num_knots);
  return Rows(c, 2);
}

struct Circle {
  double poles[21], weights[7], knots[10];
  BScurve cv{};
  Circle() { cv.poles = poles, cv.weights = weights, cv.knots = knots; }
};

TEST(BSmdptbscv, CirclesAndArcsInClosedForm) {
  const double centre[3] = {0.5, -0.25, 0}, normal[3] = {0, 0, 1}, r = 1.5;
  Circle full, arc;
  BSrc rc;
  ASSERT_TRUE(BSprepcirc(&rc, centre, &r, normal, &full.cv, nullptr, nullptr));
  const double s[3] = {2.0, -0.25, 0}, e[3] = {0.5, 1.25, 0};  // quarter arc
  ASSERT_TRUE(BSprepcarc(&rc, s, centre, e, normal, &arc.cv, nullptr, nullptr));
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> U(-3, 3);
  for (Circle *c : {&full, &arc}) {
    Rows rows = planar_rows(c->cv);
    // The centre: the start point, the radius and the start parameter.
    Out o = project(rows, {centre[0], centre[1]}, 1e-9);
    ASSERT_EQ(o.rc, BSSUCC);
    EXPECT_DOUBLE_EQ(o.dist[0], r);
    EXPECT_EQ(o.par[0], c->knots[0]);
    EXPECT_DOUBLE_EQ(o.feet[0], c->poles[0]);
    EXPECT_DOUBLE_EQ(o.feet[1], c->poles[1]);
    std::vector<double> pts(60);
    for (double &x : pts) x = U(rng);
    RefCurve ref;
    ref.k = 3;
    ref.poles.assign(c->poles, c->poles + 3 * c->cv.num_poles);
    ref.weights.assign(c->weights, c->weights + c->cv.num_poles);
    ref.knots.assign(c->knots, c->knots + c->cv.num_knots);
    check_against_reference(ref, rows, pts, 1e-9);
  }
  // On the full circle every point is exactly |d - r| away.
  Rows rows = planar_rows(full.cv);
  const Out o = project(rows, {2.5, 1.0, -1.0, -2.0}, 0.0);
  EXPECT_NEAR(o.dist[0], std::hypot(2.0, 1.25) - r, 1e-14);
  EXPECT_NEAR(o.dist[1], std::hypot(1.5, 1.75) - r, 1e-14);
}

TEST(BSmdptbscv, BoundsPassedIn) {
  std::mt19937_64 rng(7);
  RefCurve c = projref::random_curve(rng, 4, 8, true, false);
  Rows r(c, 3);
  const std::vector<double> pts = {0.1, 0.2, 0.3, 2.0, -1.0, 0.5};
  const Out free = project(r, pts, 1e-9);
  ASSERT_EQ(free.rc, BSSUCC);
  // Bounds above the answer find it; a bound at or below it keeps the incoming
  // values (status -12) with the curve point at the incoming parameter as foot.
  Out o = project(r, pts, 1e-9, {free.dist[0] * 1.5, kBig}, {0, 0});
  EXPECT_EQ(o.rc, BSSUCC);
  EXPECT_NEAR(o.dist[0], free.dist[0], 1e-12);
  const double u = 0.5 * (c.lo() + c.hi());
  o = project(r, pts, 1e-9, {free.dist[0] * 0.5, kBig}, {u, 0});
  EXPECT_EQ(o.rc, BSNOSOLUTION);
  EXPECT_EQ(o.dist[0], free.dist[0] * 0.5);
  EXPECT_EQ(o.par[0], u);
  EXPECT_NEAR(o.feet[0], kwtest::ref_eval(c, u)[0], 1e-12);
  EXPECT_EQ(o.dist[1], free.dist[1]);
  // In place: the same arrays in and out.
  std::vector<double> d = {kBig, kBig}, p = {0, 0}, f(6), q = pts;
  BSrc rc;
  BSmdptbscv(3, r.n, 3, TRUE, r.poles.data(), r.knots.data(), 2, q.data(), 1e-9, d.data(), p.data(),
             d.data(), p.data(), f.data(), &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_EQ(d, free.dist);
  EXPECT_EQ(p, free.par);
}

TEST(BSmdptbscv, KinkGivesTheKnotExactly) {
  // Two cubic pieces meeting in a corner at pole 3 (knot 1 of multiplicity 3).
  RefCurve c;
  c.k = 4;
  c.poles = {0, 0, 0, 1, 0.2, 0, 2, 0.1, 0, 3, 0, 0, 3.1, 1, 0, 3, 2, 0, 3.2, 3, 0};
  c.knots = {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2};
  Rows r(c, 2);
  const Out o = project(r, {3.5, -0.5, 4.0, -1.0}, 1e-9);
  ASSERT_EQ(o.rc, BSSUCC);
  EXPECT_EQ(o.par[0], 1.0);
  EXPECT_EQ(o.par[1], 1.0);
  EXPECT_EQ(o.feet[0], 3.0);
  EXPECT_DOUBLE_EQ(o.dist[0], std::sqrt(0.5));
}

TEST(BSmdptbscv, FailureStatuses) {
  std::mt19937_64 rng(3);
  RefCurve c = projref::random_curve(rng, 3, 5, true, false);
  const double nan = std::nan("");
  struct Case {
    const char *what;
    BSrc rc;
    int deg = 2, n = 5, dim = 3, pts = 1;
    int poison = -1;  // 0 pole, 1 knot, 2 point, 3 weight <= 0, 4 tol, 5 dist_in, 6 knot order
    double value = 0.0;
    bool null_points = false;
  } cases[] = {
      {"degree 0", BSINARG, 0, 5},
      {"too few poles", BSINARG, 2, 2},
      {"dim 0", BSINARG, 2, 5, 0},
      {"too many values", BSINARG, 2, 5, 30},
      {"negative count", BSINARG, 2, 5, 3, -1},
      {"degree 16", BSDEGENINPUT, 16, 20},
      {"nan pole", BSINARG, 2, 5, 3, 1, 0, nan},
      {"inf knot", BSINARG, 2, 5, 3, 1, 1, INFINITY},
      {"huge point", BSINARG, 2, 5, 3, 1, 2, 1e200},
      {"huge pole", BSINARG, 2, 5, 3, 1, 0, 1e300},
      {"zero weight", BSINARG, 2, 5, 3, 1, 3, 0.0},
      {"nan tol", BSINARG, 2, 5, 3, 1, 4, nan},
      {"negative tol", BSINARG, 2, 5, 3, 1, 4, -1.0},
      {"nan bound", BSINARG, 2, 5, 3, 1, 5, nan},
      {"decreasing knots", BSINARG, 2, 5, 3, 1, 6, 0.0},
      {"null points", BSNULLPTR, 2, 5, 3, 1, -1, 0.0, true},
  };
  for (const Case &cs : cases) {
    Rows r(c, 3);
    std::vector<double> pts = {0.1, 0.2, 0.3}, din = {kBig}, pin = {7}, dout = {-5}, pout = {-5},
                        feet(3, -5);
    double tol = 1e-9;
    if (cs.poison == 0) r.poles[4] = cs.value;
    if (cs.poison == 1) r.knots[3] = cs.value;
    if (cs.poison == 2) pts[1] = cs.value;
    if (cs.poison == 3) r.poles[3 * 5 + 2] = cs.value;
    if (cs.poison == 4) tol = cs.value;
    if (cs.poison == 5) din[0] = cs.value;
    if (cs.poison == 6) r.knots[4] = r.knots[3] - 0.5;
    std::vector<double> big(20 * 70, 0.0);
    double *poles = cs.deg == 16 ? big.data() : r.poles.data();
    double *knots = cs.deg == 16 ? big.data() : r.knots.data();
    BSrc rc = -99;
    BSmdptbscv(static_cast<int16_t>(cs.deg), cs.n, cs.dim, TRUE, poles, knots, cs.pts,
               cs.null_points ? nullptr : pts.data(), tol, din.data(), pin.data(), dout.data(),
               pout.data(), feet.data(), &rc);
    EXPECT_EQ(rc, cs.rc) << cs.what;
    EXPECT_EQ(dout[0], -5) << cs.what;  // outputs untouched
    EXPECT_EQ(feet[0], -5) << cs.what;
  }
  BSrc rc = -99;
  BSmdptbscv(2, 5, 3, TRUE, nullptr, c.knots.data(), 0, nullptr, 0, nullptr, nullptr, nullptr,
             nullptr, nullptr, &rc);
  EXPECT_EQ(rc, BSNULLPTR);
}

// ---- The parts as entries of their own ---------------------------------------------

RefCurve ref_curve(int k, std::vector<double> knots, std::vector<double> poles,
                   std::vector<double> weights = {}) {
  RefCurve c;
  c.k = k, c.knots = knots, c.poles = poles, c.weights = weights;
  return c;
}

// Legendre series of coordinate-major Bezier rows.
std::vector<double> legendre_rows(const Rows &r) {
  std::vector<double> l(r.poles.size());
  const int k = r.deg + 1;
  for (size_t row = 0; row * k < l.size(); ++row) {
    BSrc rc = -99;
    BSbeztolgd(r.deg, 1, &r.poles[row * k], &l[row * k], &rc);
    EXPECT_EQ(rc, BSSUCC);
  }
  return l;
}

TEST(BSmdptpieces, OnePieceAgainstDenseSampling) {
  std::mt19937_64 rng(31);
  std::uniform_real_distribution<double> U(-1.3, 1.3);
  struct {
    int k;
    bool rational;
    int dim;
  } cases[] = {{4, false, 3}, {4, true, 3}, {3, true, 2}, {6, true, 3}, {2, false, 2}};
  const double tol = 1e-7;
  for (const auto &cs : cases) {
    RefCurve c = projref::random_curve(rng, cs.k, cs.k, cs.rational, false);
    if (cs.dim == 2)
      for (int i = 0; i < c.n(); ++i) c.poles[3 * i + 2] = 0.0;
    Rows r(c, cs.dim);
    std::vector<double> lgd = legendre_rows(r);
    const int m = 12, dim = cs.dim, deg = r.deg;
    std::vector<double> pts(m * dim), din(m, kBig), dz(m), tz(m), fz(m * dim), dl(m), xl(m),
        fl(m * dim);
    std::vector<BSrc> pz(m), pl(m);
    for (double &x : pts) x = U(rng);
    BSrc rz = -99, rl = -99;
    BSmdptbzcv(deg, dim, cs.rational, r.poles.data(), m, pts.data(), tol, din.data(), dz.data(),
               tz.data(), fz.data(), pz.data(), &rz);
    BSmdptlgcv(deg, dim, cs.rational, lgd.data(), m, pts.data(), tol, din.data(), dl.data(),
               xl.data(), fl.data(), pl.data(), &rl);
    ASSERT_EQ(rz, BSSUCC);
    ASSERT_EQ(rl, BSSUCC);
    const double size = projref::curve_size(c), eps = 1e-10 * size;
    auto at_x = [&](double x) { return c.lo() + 0.5 * (x + 1.0) * (c.hi() - c.lo()); };
    for (int i = 0; i < m; ++i) {
      const double p[3] = {pts[i * dim], pts[i * dim + 1], dim == 3 ? pts[i * dim + 2] : 0.0};
      const double ref = projref::brute_force_min(c, p);
      double d1 = -1, x1 = -1, f1[3];
      BSrc r1 = -99;
      BSmdptlgcv1(deg, dim, cs.rational, lgd.data(), pts.data() + i * dim, tol, kBig, &d1, &x1, f1,
                  &r1);
      ASSERT_EQ(r1, BSSUCC);
      EXPECT_NEAR(d1, ref, eps) << i;  // no end preference: the minimum itself
      EXPECT_NEAR(projref::dist_at(c, at_x(x1), p), d1, eps) << i;
      for (double d : {dz[i], dl[i]}) {
        EXPECT_GE(d, ref - eps) << i;
        EXPECT_LE(d, ref + 0.5 * tol + eps) << i;
      }
      EXPECT_EQ(pz[i], BSSUCC);
      EXPECT_NEAR(projref::dist_at(c, c.lo() + tz[i] * (c.hi() - c.lo()), p), dz[i], eps) << i;
      EXPECT_NEAR(projref::dist_at(c, at_x(xl[i]), p), dl[i], eps) << i;
      const auto q = kwtest::ref_eval(c, at_x(xl[i]));
      for (int d = 0; d < dim; ++d) EXPECT_NEAR(fl[i * dim + d], q[d], eps) << i;
      // A bound at the distance found leaves the point without result.
      BSmdptlgcv1(deg, dim, cs.rational, lgd.data(), pts.data() + i * dim, tol, d1 * (1 - 1e-9),
                  &d1, &x1, f1, &r1);
      EXPECT_EQ(r1, BSNOSOLUTION);
    }
  }
}

TEST(BSmdptpieces, StraightPiecesCirclesAndAngles) {
  // A straight cubic with uneven speed along y = x, and a curved one.
  Rows line(ref_curve(4, {0, 0, 0, 0, 1, 1, 1, 1}, {0, 0, 0, 1, 1, 0, 2, 2, 0, 3, 3, 0}), 2);
  std::vector<double> l = legendre_rows(line), bent = l;
  bent[2] += 0.5;
  double d = -1, x = -1, f[2];
  BSrc rc = -99;
  double p[2] = {1, 2};
  BSmdptlnlg(3, 2, FALSE, l.data(), p, 1e-9, &d, &x, f, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_NEAR(d, std::sqrt(0.5), 1e-13);
  EXPECT_NEAR(f[0], 1.5, 1e-13);
  p[0] = 5, p[1] = 4;  // beyond the end
  BSmdptlnlg(3, 2, FALSE, l.data(), p, 1e-9, &d, &x, f, &rc);
  EXPECT_EQ(x, 1.0);
  EXPECT_EQ(f[1], 3.0);
  BSmdptlnlg(3, 2, FALSE, bent.data(), p, 1e-9, &d, &x, f, &rc);
  EXPECT_EQ(rc, BSDEGENINPUT);
  EXPECT_EQ(x, 1.0);

  // Angles: tan(theta / 2) from the start direction.
  double c0[2] = {1, 1}, s0[2] = {3, 1}, t = 7;
  BSboolean def = -1;
  const struct {
    double px, py, t;
    BSboolean def;
    BSrc rc;
  } angles[] = {{1, 4, 1, TRUE, 0},
                {1, -2, -1, TRUE, 0},
                {1 + std::sqrt(3.0), 2, 2 - std::sqrt(3.0), TRUE, 0},
                {-5, 1, 7, FALSE, 0},
                {1, 1, 7, FALSE, BSDEGEN}};
  for (const auto &a : angles) {
    double q[2] = {a.px, a.py};
    t = 7, def = FALSE;
    BSinvcircle(c0, s0, q, &t, &def, &rc);
    EXPECT_EQ(rc, a.rc);
    EXPECT_EQ(def, a.def);
    EXPECT_NEAR(t, a.t, 1e-15);
  }

  // Circle and quarter arc about (0.5, -0.25), radius 1.5.
  const double centre[3] = {0.5, -0.25, 0}, normal[3] = {0, 0, 1}, r = 1.5;
  Circle full, arc;
  ASSERT_TRUE(BSprepcirc(&rc, centre, &r, normal, &full.cv, nullptr, nullptr));
  const double s[3] = {2.0, -0.25, 0}, e[3] = {0.5, 1.25, 0};
  ASSERT_TRUE(BSprepcarc(&rc, s, centre, e, normal, &arc.cv, nullptr, nullptr));
  Rows ra = planar_rows(arc.cv), rf = planar_rows(full.cv);
  auto crcv = [&](Rows &rw, double px, double py) {
    double q[2] = {px, py};
    Out o{{-1}, {-1}, {-1, -1}};
    BSmdptcrcv(2, rw.n, 2, TRUE, rw.poles.data(), rw.knots.data(), q, o.dist.data(), o.par.data(),
               o.feet.data(), &o.rc);
    return o;
  };
  Out o = crcv(ra, centre[0], centre[1]);
  EXPECT_EQ(o.rc, BSSUCC);
  EXPECT_DOUBLE_EQ(o.dist[0], r);
  EXPECT_EQ(o.par[0], ra.knots[2]);
  EXPECT_EQ(o.feet[0], 2.0);
  o = crcv(ra, -1.0, -1.0);  // behind the arc
  EXPECT_EQ(o.rc, BSDEGENINPUT);
  EXPECT_EQ(o.dist[0], -1);
  o = crcv(rf, -1.0, -1.0);
  EXPECT_EQ(o.rc, BSSUCC);
  EXPECT_NEAR(o.dist[0], std::hypot(1.5, 0.75) - r, 1e-14);
  double out[3];
  BScveval(&full.cv, o.par[0], 0, out, &rc);
  EXPECT_NEAR(out[0], o.feet[0], 1e-14);
  EXPECT_NEAR(out[1], o.feet[1], 1e-14);
  Rows curved(ref_curve(3, {0, 0, 0, 1, 1, 1}, {0, 0, 0, 1, 2, 0, 2, 0, 0}, {1, 1, 1}), 2);
  EXPECT_EQ(crcv(curved, 1, 0).rc, BSDEGENINPUT);
  // Parameters of angles on the quarter arc.
  const double k0 = ra.knots[2], k1 = ra.knots[ra.n];
  for (double ang : {0.0, 0.3, 0.7853981633974483, 1.5707963267948966}) {
    double u = -1;
    BSinvbspcrc(2, ra.n, 2, TRUE, ra.poles.data(), ra.knots.data(), ang, &u, &rc);
    ASSERT_EQ(rc, BSSUCC);
    EXPECT_TRUE(u >= k0 && u <= k1);
    BScveval(&arc.cv, u, 0, out, &rc);
    EXPECT_NEAR(out[0], centre[0] + r * std::cos(ang), 1e-14) << ang;
    EXPECT_NEAR(out[1], centre[1] + r * std::sin(ang), 1e-14) << ang;
  }
  double u = -1;
  BSinvbspcrc(2, ra.n, 2, TRUE, ra.poles.data(), ra.knots.data(), 1.6, &u, &rc);
  EXPECT_EQ(rc, BSINARG);
  BSinvbspcrc(2, curved.n, 2, TRUE, curved.poles.data(), curved.knots.data(), 0.1, &u, &rc);
  EXPECT_EQ(rc, BSDEGENINPUT);
  EXPECT_EQ(u, -1);

  // The centre of a circle in space: every point equally near, found at once.
  const double tilted[3] = {1, 2, 2};
  Circle c3;
  ASSERT_TRUE(BSprepcirc(&rc, centre, &r, tilted, &c3.cv, nullptr, nullptr));
  RefCurve rc3;
  rc3.k = 3;
  rc3.poles.assign(c3.poles, c3.poles + 3 * c3.cv.num_poles);
  rc3.weights.assign(c3.weights, c3.weights + c3.cv.num_poles);
  rc3.knots.assign(c3.knots, c3.knots + c3.cv.num_knots);
  Rows r3(rc3, 3);
  double d3 = -1, u3 = -1, f3[3];
  BSmdptbscv1(2, r3.n, 3, TRUE, r3.poles.data(), r3.knots.data(), const_cast<double *>(centre),
              1e-9, kBig, &d3, &u3, f3, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_NEAR(d3, r, 1e-14);
}

TEST(BSmdptpieces, FailureStatuses) {
  // One cubic piece in the plane, its rows used as Bezier and as Legendre rows.
  std::vector<double> rows = {0, 1, 2, 3, 0, 1, -1, 0, 1, 0.1, 0.05, 0.02};
  double pt[2] = {0.5, 0.5}, knots[8] = {0, 0, 0, 0, 1, 1, 1, 1};
  const double nan = std::nan("");
  enum { kNull = 1, kNanPoint, kBadWeight, kNanTol, kNegBound, kHugeRow };
  struct Case {
    int routine, deg, poison;
    BSrc rc;
  } cases[] = {
      {0, 3, kNull, BSNULLPTR},   {0, 0, 0, BSINARG},          {0, 16, 0, BSINARG},
      {0, 3, kNanPoint, BSINARG}, {0, 3, kBadWeight, BSINARG}, {0, 3, kNegBound, BSINARG},
      {1, 3, kNull, BSNULLPTR},   {1, 0, 0, BSINARG},          {1, 3, kBadWeight, BSINARG},
      {1, 3, kNanTol, BSINARG},   {1, 3, kNegBound, BSINARG},  {1, 3, kHugeRow, BSINARG},
      {2, 3, kNull, BSNULLPTR},   {2, 16, 0, BSINARG},         {2, 3, kNanPoint, BSINARG},
      {3, 3, kNull, BSNULLPTR},   {3, 3, kNegBound, BSINARG},  {3, 3, kBadWeight, BSINARG},
      {4, 3, kNull, BSNULLPTR},   {4, 3, kNanTol, BSINARG},    {4, 3, 0, BSDEGENINPUT},
      {5, 3, kNull, BSNULLPTR},   {5, 3, 0, BSDEGENINPUT},     {5, 2, kNanPoint, BSINARG},
      {6, 3, kNull, BSNULLPTR},   {6, 3, 0, BSDEGENINPUT},     {6, 3, kHugeRow, BSINARG},
      {7, 3, kNull, BSNULLPTR},   {7, 3, kNanPoint, BSINARG},
  };
  for (const Case &cs : cases) {
    std::vector<double> r = rows;
    double p[2] = {pt[0], pt[1]}, tol = 1e-9, bound = kBig, out[4] = {-5, -5, -5, -5};
    BSrc prc = -5, rc = -99;
    BSboolean flag = -5;
    if (cs.poison == kNanPoint) p[1] = nan;
    if (cs.poison == kBadWeight) r[9] = -5.0;
    if (cs.poison == kNanTol) tol = nan;
    if (cs.poison == kNegBound) bound = -1.0;
    if (cs.poison == kHugeRow) r[1] = 1e200;
    double *rp = cs.poison == kNull ? nullptr : r.data();
    const auto deg = static_cast<int16_t>(cs.deg);
    switch (cs.routine) {
      case 0:
        BSmdptbscv1(deg, 4, 2, TRUE, rp, knots, p, tol, bound, out, out + 1, out + 2, &rc);
        break;
      case 1:
        BSmdptbzcv(deg, 2, TRUE, rp, 1, p, tol, &bound, out, out + 1, out + 2, &prc, &rc);
        break;
      case 2:
        BSmdptlgcv(deg, 2, TRUE, rp, 1, p, tol, &bound, out, out + 1, out + 2, &prc, &rc);
        break;
      case 3:
        BSmdptlgcv1(deg, 2, TRUE, rp, p, tol, bound, out, out + 1, out + 2, &rc);
        break;
      case 4:
        BSmdptlnlg(deg, 2, TRUE, rp, p, tol, out, out + 1, out + 2, &rc);
        break;
      case 5:
        BSmdptcrcv(deg, 4, 2, TRUE, rp, knots, p, out, out + 1, out + 2, &rc);
        break;
      case 6:
        BSinvbspcrc(deg, 4, 2, TRUE, rp, knots, 0.0, out, &rc);
        break;
      default:
        BSinvcircle(rp, pt, p, out, &flag, &rc);
    }
    EXPECT_EQ(rc, cs.rc) << cs.routine << " " << cs.poison;
    for (double v : out) EXPECT_EQ(v, -5) << cs.routine << " " << cs.poison;
  }
}

class LegendreGuarded : public kwtest::GuardedTest {};

TEST_F(LegendreGuarded, CleanAtLevel20AndUnderAllocationFailures) {
  std::mt19937_64 rng(11);
  RefCurve c = projref::random_curve(rng, 4, 40, true, false);
  Rows r(c, 3);
  const std::vector<double> pts = {0.1, 0.2, 0.3, 0.5, -0.5, 0.0};
  EXPECT_EQ(project(r, pts, 1e-9).rc, BSSUCC);
  const auto sweep =
      kwtest::sweep_allocation_failures([&] { return project(r, pts, 1e-9).rc; }, {BSNOSTKMEMORY});
  EXPECT_GE(sweep.runs, 2);
  std::vector<double> din(2, kBig), dout(2), tout(2), feet(6);
  std::vector<BSrc> prc(2);
  std::vector<double> q = pts, piece(16);
  for (int i = 0; i < 16; ++i) piece[i] = r.poles[(i / 4) * r.n + i % 4];  // its first span's poles
  const auto piece_sweep = kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc = -99;
        BSmdptbzcv(3, 3, TRUE, piece.data(), 2, q.data(), 1e-9, din.data(), dout.data(),
                   tout.data(), feet.data(), prc.data(), &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
  EXPECT_GE(piece_sweep.runs, 2);
  const auto point_sweep = kwtest::sweep_allocation_failures(
      [&] {
        BSrc rc = -99;
        BSmdptbscv1(3, r.n, 3, TRUE, r.poles.data(), r.knots.data(), q.data(), 1e-9, kBig,
                    dout.data(), tout.data(), feet.data(), &rc);
        return rc;
      },
      {BSNOSTKMEMORY});
  EXPECT_GE(point_sweep.runs, 2);
}

}  // namespace
