// Arc length: exact lengths (lines, turning lines, circles with scaled weights),
// random curves against an independent Gauss-Legendre integration of the
// evaluator's speed, arclen_tol honoured, closed curves across the joint, the
// inverse, reparametrisation by polygon length, and the failure statuses.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <tuple>
#include <vector>

#include "bases_ref.hpp"
#include "ref_circle.hpp"
#include "support.hpp"

namespace {

using V = std::vector<double>;
class ArcLength : public kwtest::GuardedTest {};

// A circle of radius r about the origin on [0, 1], weights scaled.
kwtest::RefCurve circle(double r, double weight_scale) {
  const double o[3] = {0, 0, 0};
  return kwtest::ref_circle(o, r, 0, 1, weight_scale);
}

// Length by 64-point Gauss-Legendre on 20 pieces of every knot span, speed from
// BScveval (independent of the span Taylor forms the library integrates).
double reference_length(const BScurve &cv, double u0, double u1) {
  static const bref::Rule rule = bref::gauss_rule(64);
  const auto &x = rule.x, &w = rule.w;
  long double total = 0;
  const int pieces = 20;  // per knot span: the speed is smooth only inside spans
  for (int32_t s = cv.order - 1; s < cv.num_poles; ++s) {
    const double lo = std::max(u0, cv.knots[s]), hi = std::min(u1, cv.knots[s + 1]);
    for (int j = 0; hi > lo && j < pieces; ++j) {
      const double a = lo + (hi - lo) * j / pieces, b = lo + (hi - lo) * (j + 1) / pieces;
      for (size_t i = 0; i < x.size(); ++i) {
        double out[6];
        BSrc rc = 0;
        BScveval(&cv, double((a + b) / 2 + (b - a) / 2 * x[i]), 1, out, &rc);
        total +=
            w[i] * (b - a) / 2 * std::sqrt(out[3] * out[3] + out[4] * out[4] + out[5] * out[5]);
      }
    }
  }
  return double(total);
}

double arclength(const BScurve &cv, double u0, double u1, BSrc *rc) {
  double len = -1;
  const BSboolean ok = BSarclength(rc, &cv, &u0, &u1, &len);
  EXPECT_EQ(ok, *rc == 0 ? TRUE : FALSE);
  return len;
}

TEST_F(ArcLength, ExactLengths) {
  BSrc rc = -99;
  // Poles in order on a line: the chord, exactly.
  auto line =
      kwtest::make_curve(4, {0, 0, 0, 0, 1, 1, 1, 1}, {0, 0, 0, 1, 2, 2, 1.5, 3, 3, 3, 6, 6});
  BScurve lv = line.view();
  EXPECT_EQ(arclength(lv, 0, 1, &rc), 9.0);
  // Collinear poles 0, 3, 1 turn back: the curve goes out to 1.8 and back to 1.
  auto turn = kwtest::make_curve(3, {0, 0, 0, 1, 1, 1}, {0, 0, 0, 3, 0, 0, 1, 0, 0});
  BScurve tv = turn.view();
  BSparameters.arclen_tol = 1e-12;
  EXPECT_NEAR(arclength(tv, 0, 1, &rc), 2.6, 1e-12);
  for (double scale : {1.0, 3.0}) {
    auto c = circle(2.0, scale);
    BScurve cv = c.view();
    EXPECT_NEAR(arclength(cv, 0, 1, &rc), 4 * M_PI, 1e-12);
    EXPECT_NEAR(arclength(cv, 0, 0.25, &rc), M_PI, 1e-12);
    double len = -1;
    BSarclg4ds(&cv, 1e-12, &len, &rc);
    EXPECT_NEAR(len, 4 * M_PI, 1e-12);
  }
  EXPECT_EQ(arclength(lv, 0.3, 0.3, &rc), 0.0);
  // A cusp off the middle, (t^2, t^3) for t in [a, b]: the rules converge slowly, the
  // length still meets arclen_tol. Length F(-a) + F(b), F(s) = ((4 + 9s^2)^1.5 - 8) / 27.
  const double a = -0.7, b = 1, h = (b - a) / 3;
  auto cusp =
      kwtest::make_curve(4, {0, 0, 0, 0, 1, 1, 1, 1},
                         {a * a, a * a * a, 0, a * a + 2 * h * a, a * a * a + 3 * h * a * a, 0,
                          b * b - 2 * h * b, b * b * b - 3 * h * b * b, 0, b * b, b * b * b, 0});
  const auto F = [](double x) { return (std::pow(4 + 9 * x * x, 1.5) - 8) / 27; };
  BScurve kv = cusp.view();
  for (double tol : {1e-4, 1e-6, 1e-8}) {
    BSparameters.arclen_tol = tol;
    EXPECT_NEAR(arclength(kv, 0, 1, &rc), F(-a) + F(b), tol) << tol;
  }
  double integral = 0, sixth[4];
  const double *nodes = nullptr;
  BSextrtlgd(4, &nodes, &rc);
  for (int i = 0; i < 4; ++i) sixth[i] = std::pow(nodes[i], 6);
  BSintegval(4, sixth, &integral, &rc);
  EXPECT_NEAR(integral, 2.0 / 7, 1e-15);
}

TEST_F(ArcLength, RandomCurvesHonourTheTolerance) {
  std::mt19937_64 rng(20);
  for (int trial = 0; trial < 6; ++trial) {
    auto c = kwtest::random_curve(rng, 2 + trial % 4, 7 + trial, trial % 2 == 1, true);
    BScurve cv = c.view();
    const double ref = reference_length(cv, cv.knots[cv.order - 1], cv.knots[cv.num_poles]);
    const double part = reference_length(cv, 0.2, 0.7);
    for (double tol : {1e-3, 1e-7, 1e-12}) {
      BSparameters.arclen_tol = tol;
      BSrc rc = -99;
      EXPECT_NEAR(arclength(cv, cv.knots[cv.order - 1], cv.knots[cv.num_poles], &rc), ref,
                  tol + 1e-13 * ref)
          << trial;
      EXPECT_NEAR(arclength(cv, 0.7, 0.2, &rc), part, tol + 1e-13 * part) << trial;
      EXPECT_EQ(rc, 0);
    }
  }
}

TEST_F(ArcLength, ClosedCurvesAndTheInverse) {
  BSparameters.arclen_tol = 1e-12;
  auto c = circle(1.0, 1.0);
  BScurve cv = c.view();
  cv.phy_closed = TRUE;
  BSrc rc = -99;
  BSboolean ok = FALSE;
  double p1 = 0.9, p2 = 0.1, mid = 0.0, len = 0;
  BSarclen(&rc, &ok, &cv, &p1, &p2, &mid, &len);
  double zero = 0.0, tenth = 0.1, part = 0;  // by symmetry twice the arc 0 .. 0.1
  BSarclength(&rc, &cv, &zero, &tenth, &part);
  EXPECT_NEAR(len, 2 * part, 1e-12);
  const double short_way = len;
  mid = 0.5;
  BSarclen(&rc, &ok, &cv, &p1, &p2, &mid, &len);
  EXPECT_NEAR(len + short_way, 2 * M_PI, 1e-12);
  EXPECT_EQ(cv.phy_closed, TRUE);
  // Inverse round trips, forward and backward.
  std::mt19937_64 rng(21);
  auto r = kwtest::random_curve(rng, 4, 9, true, true);
  BScurve rv = r.view();
  for (double s : {0.0, 0.1, 0.7, 1.3}) {
    for (double dir : {1.0, 0.0}) {
      double start = 0.55, u = -1;
      BSiarcln(&rc, &rv, &start, &s, &dir, &u);
      if (rc == 9) continue;  // not that much curve in this direction
      ASSERT_EQ(rc, 0);
      EXPECT_EQ((u - start) * (dir - start) >= 0, true);
      EXPECT_NEAR(arclength(rv, start, u, &rc), s, BSparameters.dist_tol);
    }
  }
  // The whole available length gives exactly the end; more fails with 9.
  double start = 0.25, dir = 1.0, u = -1, avail = arclength(rv, 0.25, 1.0, &rc);
  BSiarcln(&rc, &rv, &start, &avail, &dir, &u);
  EXPECT_EQ(u, 1.0);
  double more = avail + 1e-3;
  u = -1;
  EXPECT_TRUE(BSiarcln(&rc, &rv, &start, &more, &dir, &u) == FALSE && rc == 9 && u == -1);
  // A closed curve is walked on past the seam: a full turn plus a quarter from 0.
  double from = 0.0, turn = 2 * M_PI + M_PI / 2;
  BSiarcln(&rc, &cv, &from, &turn, &dir, &u);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(u, 0.25, 1e-9);
}

TEST_F(ArcLength, PolygonReparametrisationAndQuadrature) {
  // Two cubic segments joined at a knot of multiplicity 3 (C0), polygon lengths 3 and 1.
  auto c = kwtest::make_curve(4, {0, 0, 0, 0, 5, 5, 5, 7, 7, 7, 7},
                              {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 3, 0.5, 0, 3, 1, 0, 3, 1, 0});
  auto copy = c;
  BScurve cv = c.view(), orig = copy.view();
  BSrc rc = -99;
  BSarclnparc(&rc, &cv);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(c.knots, (V{0, 0, 0, 0, 0.75, 0.75, 0.75, 1, 1, 1, 1}));
  for (int i = 0; i <= 10; ++i) {  // the same point set
    const double t = i / 10.0, u = t <= 0.75 ? t / 0.75 * 5 : 5 + (t - 0.75) / 0.25 * 2;
    const auto a = kwtest::ref_eval(cv, t), b = kwtest::ref_eval(orig, u);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(a[k], b[k], 1e-14);
  }
  std::mt19937_64 rng(22);
  auto open = kwtest::random_curve(rng, 4, 8, false, false);  // unclamped: [0, 1] is the domain
  BScurve ov = open.view();
  BSarclnparc(&rc, &ov);
  EXPECT_EQ(std::tuple(rc, open.knots[3], open.knots[8]), std::tuple(0, 0.0, 1.0));
  auto r = kwtest::random_curve(rng, 4, 8, true, true);
  BScurve rv = r.view();
  BSboolean ok = FALSE;
  double err = 0, tol = 1, result = 0;
  int16_t state = 5;
  BSparameters.arclen_tol = 1e-10;
  const double q =
      BSnquad(&rc, &ok, &rv, 0.1, 0.4, 0.9, 0, 0, 0, 0, &err, 0, &tol, &state, &result);
  EXPECT_TRUE(ok == TRUE && q == result);
  EXPECT_NEAR(q, reference_length(rv, 0.1, 0.9), 1e-10 * q);
}

TEST_F(ArcLength, FailureStatuses) {
  auto c = circle(1.0, 1.0);
  BScurve cv = c.view(), bad = cv;
  V zero_w = c.weights;
  zero_w[3] = 0.0;
  bad.weights = zero_w.data();
  double len = -7, u0 = 0, u1 = 1, out = -7, nan = NAN, big = 2;
  BSboolean ok = TRUE;
  int16_t st = 0;
  const struct {
    std::function<void(BSrc *)> op;
    BSrc expected;
  } rows[] = {
      {[&](BSrc *rc) { BSarclength(rc, nullptr, &u0, &u1, &len); }, BSNULLPTR},
      {[&](BSrc *rc) { BSarclength(rc, &cv, &u0, &big, &len); }, BSINARG},
      {[&](BSrc *rc) { BSarclength(rc, &cv, &nan, &u1, &len); }, BSINARG},
      {[&](BSrc *rc) { BSarclength(rc, &bad, &u0, &u1, &len); }, BSBADWEIGHT},
      {[&](BSrc *rc) { BSarclen(rc, &ok, &cv, &u0, &u1, nullptr, &len); }, BSNULLPTR},
      {[&](BSrc *rc) { BSarclg4ds(&cv, 0.0, &len, rc); }, BSINARG},
      {[&](BSrc *rc) { BSarclg3ds(&cv, 1e-6, &len, rc); }, BSINARG},
      {[&](BSrc *rc) { BSintegval(5, c.poles.data(), &len, rc); }, BSINARG},
      {[&](BSrc *rc) { BSiarcln(rc, &cv, &u0, &nan, &u1, &out); }, BSINARG},
      {[&](BSrc *rc) { BSiarcln2(rc, &cv, &u1, &u0, &u1, nullptr, &out); }, BSNULLPTR},
      {[&](BSrc *rc) { BSarclnparc(rc, &bad); }, BSBADWEIGHT},
      {[&](BSrc *rc) { BSnquad(rc, &ok, &cv, 0, 0.5, 2, 0, 0, 0, 0, &len, 0, &len, &st, &out); },
       BSINARG},
  };
  for (const auto &r : rows) {
    BSrc rc = -99;
    r.op(&rc);
    EXPECT_TRUE(rc == r.expected && len == -7 && out == -7);
  }
  BSrc rc = -99;
  EXPECT_GT(BSarclen(&rc, &ok, &cv, &u0, &big, &u1, &len), 1e300);
  EXPECT_EQ(ok, FALSE);
}

}  // namespace
