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
}

}  // namespace
