// BSmdptbscv: nearest points with incoming bounds, checked against dense sampling
// with refinement (ref_query.hpp) on random curves, and in closed form on
// circles and arcs built by the arcs family.
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "knotwork.h"
#include "ref_query.hpp"
#include "support.hpp"

namespace {

using kwtest::RefCurve;
constexpr double kBig = std::numeric_limits<double>::max(), kPi = 3.141592653589793;

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
  const double size = kwtest::curve_size(c);
  for (size_t i = 0; i < o.dist.size(); ++i) {
    double p[3] = {0, 0, 0};
    for (int d = 0; d < r.dim; ++d) p[d] = pts[i * r.dim + d];
    const double ref = kwtest::brute_force_min(c, p);
    EXPECT_GE(o.dist[i], ref - 1e-10 * size) << i;
    EXPECT_LE(o.dist[i], ref + 0.5 * tol + 1e-10 * size) << i;
    const auto q = kwtest::ref_eval(c, o.par[i]);
    for (int d = 0; d < r.dim; ++d) EXPECT_NEAR(o.feet[i * r.dim + d], q[d], 1e-10 * size) << i;
    EXPECT_NEAR(kwtest::dist_at(c, o.par[i], p), o.dist[i], 1e-10 * size) << i;
    // One point by branch and bound alone (no break-pole pass).
    double d1 = -1, u1 = -1, f1[3];
    BSrc rc = -99;
    BSmdptbscv1(static_cast<int16_t>(r.deg), r.n, r.dim, r.rational, r.poles.data(), r.knots.data(),
                p, tol, kBig, &d1, &u1, f1, &rc);
    ASSERT_EQ(rc, BSSUCC) << i;
    EXPECT_GE(d1, ref - 1e-10 * size) << i;
    EXPECT_LE(d1, ref + 0.5 * tol + 1e-10 * size) << i;
    EXPECT_NEAR(kwtest::dist_at(c, u1, p), d1, 1e-10 * size) << i;
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
      RefCurve c = kwtest::query_curve(rng, cs.k, cs.n, cs.rational, false, 1.0, cs.clamped);
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

// A circle or arc record built by the arcs family, and its curve.
struct Circle {
  double poles[21], weights[7], knots[10];
  BScurve cv{};
  Circle() { cv.poles = poles, cv.weights = weights, cv.knots = knots; }
  RefCurve ref() const {
    const int32_t n = cv.num_poles;
    return kwtest::make_curve(3, {knots, knots + n + 3}, {poles, poles + 3 * n},
                              {weights, weights + n});
  }
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
    RefCurve ref = c->ref();
    Rows rows(ref, 2);  // in the plane z = 0
    // The centre: the start point, the radius and the start parameter.
    Out o = project(rows, {centre[0], centre[1]}, 1e-9);
    ASSERT_EQ(o.rc, BSSUCC);
    EXPECT_DOUBLE_EQ(o.dist[0], r);
    EXPECT_EQ(o.par[0], c->knots[0]);
    EXPECT_DOUBLE_EQ(o.feet[0], c->poles[0]);
    EXPECT_DOUBLE_EQ(o.feet[1], c->poles[1]);
    std::vector<double> pts(60);
    for (double &x : pts) x = U(rng);
    check_against_reference(ref, rows, pts, 1e-9);
    // The closed form alone agrees, or (50) the foot is an end of the arc; the
    // angle of the foot from the start gives its parameter back.
    const Out all = project(rows, pts, 1e-9);
    for (int i = 0; i < 30; ++i) {
      double d = -1, u = -1, f[2], t = 0, u2 = -1;
      BSboolean def = FALSE;
      BSmdptcrcv(2, rows.n, 2, TRUE, rows.poles.data(), rows.knots.data(), &pts[2 * i], &d, &u, f,
                 &rc);
      if (rc == BSDEGENINPUT) {
        EXPECT_TRUE(all.par[i] == c->knots[0] || all.par[i] == c->knots[c->cv.num_poles]) << i;
        continue;
      }
      EXPECT_NEAR(d, all.dist[i], 1e-14) << i;
      EXPECT_NEAR(u, all.par[i], 1e-12) << i;
      BSinvcircle(const_cast<double *>(centre), c->poles, f, &t, &def, &rc);
      const double ang = def ? 2 * std::atan(t) : kPi;
      BSinvbspcrc(2, rows.n, 2, TRUE, rows.poles.data(), rows.knots.data(),
                  ang < -1e-15 ? ang + 2 * kPi : std::fmax(ang, 0.0), &u2, &rc);
      EXPECT_NEAR(u2, u, 1e-12) << i;
    }
  }
  // On the full circle every point is exactly |d - r| away.
  Rows rows(full.ref(), 2);
  const Out o = project(rows, {2.5, 1.0, -1.0, -2.0}, 0.0);
  EXPECT_NEAR(o.dist[0], std::hypot(2.0, 1.25) - r, 1e-14);
  EXPECT_NEAR(o.dist[1], std::hypot(1.5, 1.75) - r, 1e-14);
}

TEST(BSmdptbscv, BoundsPassedIn) {
  std::mt19937_64 rng(7);
  RefCurve c = kwtest::query_curve(rng, 4, 8, true, false);
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
  EXPECT_TRUE(o.rc == BSNOSOLUTION && o.dist[0] == free.dist[0] * 0.5 && o.par[0] == u);
  EXPECT_NEAR(o.feet[0], kwtest::ref_eval(c, u)[0], 1e-12);
  EXPECT_EQ(o.dist[1], free.dist[1]);
  // In place: the same arrays in and out.
  std::vector<double> d = {kBig, kBig}, p = {0, 0}, f(6), q = pts;
  BSrc rc;
  BSmdptbscv(3, r.n, 3, TRUE, r.poles.data(), r.knots.data(), 2, q.data(), 1e-9, d.data(), p.data(),
             d.data(), p.data(), f.data(), &rc);
  EXPECT_TRUE(rc == BSSUCC && d == free.dist && p == free.par);
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
  EXPECT_TRUE(o.par[0] == 1.0 && o.par[1] == 1.0 && o.feet[0] == 3.0);
  EXPECT_DOUBLE_EQ(o.dist[0], std::sqrt(0.5));
}

// ---- The parts as entries of their own ---------------------------------------------

// Legendre series of coordinate-major Bezier rows.
std::vector<double> legendre_rows(const Rows &r) {
  std::vector<double> l(r.poles.size());
  BSrc rc = -99;
  for (size_t row = 0; row * (r.deg + 1) < l.size(); ++row)
    BSbeztolgd(r.deg, 1, &r.poles[row * (r.deg + 1)], &l[row * (r.deg + 1)], &rc);
  return l;
}

TEST(BSmdptpieces, OnePieceAgainstDenseSampling) {
  std::mt19937_64 rng(31);
  std::uniform_real_distribution<double> U(-1.3, 1.3);
  const int cases[][3] = {{4, 0, 3}, {4, 1, 3}, {3, 1, 2}, {6, 1, 3}, {2, 0, 2}};  // k, rat, dim
  const double tol = 1e-7;
  for (const auto &cs : cases) {
    RefCurve c = kwtest::query_curve(rng, cs[0], cs[0], cs[1], false);
    const int m = 12, dim = cs[2];
    if (dim == 2)
      for (int i = 0; i < c.n(); ++i) c.poles[3 * i + 2] = 0.0;
    Rows r(c, dim);
    const auto deg = static_cast<int16_t>(r.deg);
    std::vector<double> lgd = legendre_rows(r), pts(m * dim), din(m, kBig), dz(m), tz(m),
                        fz(m * dim), dl(m), xl(m), fl(m * dim);
    std::vector<BSrc> pz(m), pl(m);
    for (double &x : pts) x = U(rng);
    BSrc rz = -99, rl = -99, r1 = -99;
    BSmdptbzcv(deg, dim, r.rational, r.poles.data(), m, pts.data(), tol, din.data(), dz.data(),
               tz.data(), fz.data(), pz.data(), &rz);
    BSmdptlgcv(deg, dim, r.rational, lgd.data(), m, pts.data(), tol, din.data(), dl.data(),
               xl.data(), fl.data(), pl.data(), &rl);
    ASSERT_EQ(rz, BSSUCC);
    ASSERT_EQ(rl, BSSUCC);
    const double eps = 1e-10 * kwtest::curve_size(c);
    auto at = [&](double t) { return c.lo() + t * (c.hi() - c.lo()); };
    for (int i = 0; i < m; ++i) {
      const double p[3] = {pts[i * dim], pts[i * dim + 1], dim == 3 ? pts[i * dim + 2] : 0.0};
      const double ref = kwtest::brute_force_min(c, p);
      double d1 = -1, x1 = -1, f1[3];
      BSmdptlgcv1(deg, dim, r.rational, lgd.data(), &pts[i * dim], tol, kBig, &d1, &x1, f1, &r1);
      EXPECT_NEAR(d1, ref, eps) << i;  // no end preference: the minimum itself
      EXPECT_NEAR(kwtest::dist_at(c, at(0.5 * (x1 + 1)), p), d1, eps) << i;
      for (double d : {dz[i], dl[i]}) EXPECT_TRUE(d >= ref - eps && d <= ref + 0.5 * tol + eps);
      EXPECT_NEAR(kwtest::dist_at(c, at(tz[i]), p), dz[i], eps) << i;
      const auto q = kwtest::ref_eval(c, at(0.5 * (xl[i] + 1)));
      EXPECT_NEAR(std::hypot(fl[i * dim] - q[0], fl[i * dim + 1] - q[1]), 0, eps) << i;
      // A bound just below the distance leaves the point without result.
      BSmdptlgcv1(deg, dim, r.rational, lgd.data(), &pts[i * dim], tol, d1 * (1 - 1e-9), &d1, &x1,
                  f1, &r1);
      EXPECT_EQ(r1, BSNOSOLUTION);
    }
  }
}

TEST(BSmdptpieces, StraightPieceAndCircleCentreInSpace) {
  RefCurve c;  // y = x at even speed
  c.k = 4, c.knots = {0, 0, 0, 0, 1, 1, 1, 1}, c.poles = {0, 0, 0, 1, 1, 0, 2, 2, 0, 3, 3, 0};
  std::vector<double> l = legendre_rows(Rows(c, 2)), bent = l;
  bent[2] += 0.5;
  double d = -1, x = -1, f[3], p[4] = {1, 2, 5, 4};
  BSrc rc = -99;
  BSmdptlnlg(3, 2, FALSE, l.data(), p, 1e-9, &d, &x, f, &rc);
  EXPECT_NEAR(d, std::sqrt(0.5), 1e-14);
  EXPECT_NEAR(f[0], 1.5, 1e-14);
  BSmdptlnlg(3, 2, FALSE, l.data(), p + 2, 1e-9, &d, &x, f, &rc);  // beyond the end
  EXPECT_TRUE(x == 1.0 && f[1] == 3.0);
  BSmdptlnlg(3, 2, FALSE, bent.data(), p, 1e-9, &d, &x, f, &rc);
  EXPECT_EQ(rc, BSDEGENINPUT);
  // The centre of a tilted circle: every point equally near, found at once.
  const double centre[3] = {0.5, -0.25, 0}, tilted[3] = {1, 2, 2}, r = 1.5;
  Circle c3;
  ASSERT_TRUE(BSprepcirc(&rc, centre, &r, tilted, &c3.cv, nullptr, nullptr));
  Rows r3(c3.ref(), 3);
  BSmdptbscv1(2, 7, 3, TRUE, r3.poles.data(), r3.knots.data(), const_cast<double *>(centre), 1e-9,
              kBig, &d, &x, f, &rc);
  EXPECT_EQ(rc, BSSUCC);
  EXPECT_NEAR(d, r, 1e-14);
}

TEST(BSmdptpieces, FailureStatuses) {
  // A rational planar cubic, its rows used as Bezier and as Legendre rows.
  const std::vector<double> rows = {0, 1, 2, 3, 0, 1, -1, 0, 1, 0.1, 0.05, 0.02};
  double knots[8] = {0, 0, 0, 0, 1, 1, 1, 1}, start[2] = {1, 0};
  enum { kNull = 1, kNanPoint, kBadWeight, kNanTol, kNegBound, kHugeRow, kBadKnot, kNanBound };
  // routine (0 BSmdptbscv1, 1 bzcv, 2 lgcv, 3 lgcv1, 4 lnlg, 5 crcv, 6 invbspcrc,
  // 7 invcircle, 8 BSmdptbscv), degree, poison, status.
  const int cases[][4] = {
      {8, 3, kNull, BSNULLPTR},   {8, 0, 0, BSINARG},          {8, 4, 0, BSINARG},
      {8, 16, 0, BSDEGENINPUT},   {8, 3, kNanPoint, BSINARG},  {8, 3, kBadWeight, BSINARG},
      {8, 3, kNanTol, BSINARG},   {8, 3, kNegBound, BSINARG},  {8, 3, kHugeRow, BSINARG},
      {8, 3, kBadKnot, BSINARG},  {8, 3, kNanBound, BSINARG},  {0, 3, kBadKnot, BSINARG},
      {0, 3, kNull, BSNULLPTR},   {0, 0, 0, BSINARG},          {0, 16, 0, BSINARG},
      {0, 3, kNanPoint, BSINARG}, {0, 3, kBadWeight, BSINARG}, {0, 3, kNegBound, BSINARG},
      {1, 3, kNull, BSNULLPTR},   {1, 0, 0, BSINARG},          {1, 3, kBadWeight, BSINARG},
      {1, 3, kNanTol, BSINARG},   {1, 3, kNegBound, BSINARG},  {1, 3, kHugeRow, BSINARG},
      {2, 3, kNull, BSNULLPTR},   {2, 16, 0, BSINARG},         {2, 3, kNanPoint, BSINARG},
      {3, 3, kNull, BSNULLPTR},   {3, 3, kNegBound, BSINARG},  {3, 3, kBadWeight, BSINARG},
      {4, 3, kNull, BSNULLPTR},   {4, 3, kNanTol, BSINARG},    {4, 3, 0, BSDEGENINPUT},
      {5, 3, kNull, BSNULLPTR},   {5, 3, 0, BSDEGENINPUT},     {5, 2, kNanPoint, BSINARG},
      {6, 3, kNull, BSNULLPTR},   {6, 3, 0, BSDEGENINPUT},     {6, 3, kHugeRow, BSINARG},
      {7, 3, kNull, BSNULLPTR},   {7, 3, kNanPoint, BSINARG},  {7, 3, kNegBound, BSDEGEN},
  };
  for (const auto &cs : cases) {
    std::vector<double> r = rows;
    double p[2] = {0.5, 0.5}, tol = 1e-9, bound = kBig, out[4] = {-5, -5, -5, -5};
    BSrc prc = -5, rc = -99;
    BSboolean flag = -5;
    if (cs[2] == kNanPoint) p[1] = std::nan("");
    if (cs[2] == kBadWeight) r[9] = -5.0;
    if (cs[2] == kNanTol) tol = std::nan("");
    if (cs[2] == kNegBound) bound = -1.0, p[0] = 1, p[1] = 0;  // 7: the point at the centre
    if (cs[2] == kHugeRow) r[1] = 1e200;
    if (cs[2] == kNanBound) bound = std::nan("");
    double kn[8] = {0, 0, 0, 0, 1, 1, 1, 1};
    if (cs[2] == kBadKnot) kn[3] = 2;
    double *rp = cs[2] == kNull ? nullptr : r.data();
    const auto g = static_cast<int16_t>(cs[1]);
    const std::function<void()> call[] = {
        [&] { BSmdptbscv1(g, 4, 2, TRUE, rp, kn, p, tol, bound, out, out + 1, out + 2, &rc); },
        [&] { BSmdptbzcv(g, 2, TRUE, rp, 1, p, tol, &bound, out, out + 1, out + 2, &prc, &rc); },
        [&] { BSmdptlgcv(g, 2, TRUE, rp, 1, p, tol, &bound, out, out + 1, out + 2, &prc, &rc); },
        [&] { BSmdptlgcv1(g, 2, TRUE, rp, p, tol, bound, out, out + 1, out + 2, &rc); },
        [&] { BSmdptlnlg(g, 2, TRUE, rp, p, tol, out, out + 1, out + 2, &rc); },
        [&] { BSmdptcrcv(g, 4, 2, TRUE, rp, knots, p, out, out + 1, out + 2, &rc); },
        [&] { BSinvbspcrc(g, 4, 2, TRUE, rp, knots, 0.0, out, &rc); },
        [&] { BSinvcircle(rp == nullptr ? rp : p, start, p, out, &flag, &rc); },
        [&] {
          BSmdptbscv(g, 4, 2, TRUE, rp, kn, 1, p, tol, &bound, out, out, out + 1, out + 2, &rc);
        },
    };
    call[cs[0]]();
    EXPECT_EQ(rc, cs[3]) << cs[0] << " " << cs[2];
    EXPECT_TRUE(out[0] == -5 && out[1] == -5 && out[2] == -5 && prc == -5 && flag == -5);
  }
}

}  // namespace
