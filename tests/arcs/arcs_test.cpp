// Arc length: exact lengths (lines, turning lines, circles with scaled weights),
// random curves against an independent Gauss-Legendre integration of the
// evaluator's speed, arclen_tol honoured, closed curves across the joint, the
// inverse, reparametrisation by polygon length; circles and arcs against the
// reference evaluator; and the failure statuses.
#include "bases_ref.hpp"
#include "ref_circle.hpp"
#include "status_of.hpp"
#include "support.hpp"

namespace {

using V = std::vector<double>;
class ArcLength : public kwtest::GuardedTest {};

const double kOrigin[3] = {0, 0, 0};  // circles about it on [0, 1]

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
    auto c = kwtest::ref_circle(kOrigin, 2.0, 0, 1, scale);
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
  auto c = kwtest::ref_circle(kOrigin, 1.0, 0, 1);
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
  auto c = kwtest::ref_circle(kOrigin, 1.0, 0, 1);
  BScurve cv = c.view(), bad = cv;
  V zero_w = c.weights;
  zero_w[3] = 0.0;
  bad.weights = zero_w.data();
  double len = -7, u0 = 0, u1 = 1, out = -7, nan = NAN, big = 2;
  BSboolean ok = TRUE;
  int16_t st = 0;
  kwtest::expect_statuses(
      {
          {BSNULLPTR, [&](BSrc *rc) { BSarclength(rc, nullptr, &u0, &u1, &len); }},
          {BSINARG, [&](BSrc *rc) { BSarclength(rc, &cv, &u0, &big, &len); }},
          {BSINARG, [&](BSrc *rc) { BSarclength(rc, &cv, &nan, &u1, &len); }},
          {BSBADWEIGHT, [&](BSrc *rc) { BSarclength(rc, &bad, &u0, &u1, &len); }},
          {BSNULLPTR, [&](BSrc *rc) { BSarclen(rc, &ok, &cv, &u0, &u1, nullptr, &len); }},
          {BSINARG, [&](BSrc *rc) { BSarclg4ds(&cv, 0.0, &len, rc); }},
          {BSINARG, [&](BSrc *rc) { BSarclg3ds(&cv, 1e-6, &len, rc); }},
          {BSINARG, [&](BSrc *rc) { BSintegval(5, c.poles.data(), &len, rc); }},
          {BSINARG, [&](BSrc *rc) { BSiarcln(rc, &cv, &u0, &nan, &u1, &out); }},
          {BSNULLPTR, [&](BSrc *rc) { BSiarcln2(rc, &cv, &u1, &u0, &u1, nullptr, &out); }},
          {BSBADWEIGHT, [&](BSrc *rc) { BSarclnparc(rc, &bad); }},
          {BSINARG,
           [&](BSrc *rc) {
             BSnquad(rc, &ok, &cv, 0, 0.5, 2, 0, 0, 0, 0, &len, 0, &len, &st, &out);
           }},
      },
      [&](const char *) { EXPECT_TRUE(len == -7 && out == -7); });
  BSrc rc = -99;
  EXPECT_GT(BSarclen(&rc, &ok, &cv, &u0, &big, &u1, &len), 1e300);
  EXPECT_EQ(ok, FALSE);
}

// ---- Circles and arcs checked densely by the reference rational evaluator: on the
// circle and in its plane to 1e-12 relative, angles sweeping monotonically from the
// start to the sweep, weights positive.

using V3 = std::array<double, 3>;
constexpr double kTwoPi = 6.283185307179586;

double dot(const V3 &a, const V3 &b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
V3 lin(const V3 &a, double s, const V3 &b, double t = 0, const V3 &c = {0, 0, 0}) {
  return {a[0] + s * b[0] + t * c[0], a[1] + s * b[1] + t * c[1], a[2] + s * b[2] + t * c[2]};
}
V3 cross(const V3 &a, const V3 &b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
V3 unit(const V3 &a) {
  return lin({0, 0, 0}, 1 / std::sqrt(dot(a, a)), a);
}

// Centre c, unit normal n, start direction u and v = n x u.
struct Frame {
  V3 c, n, u, v;
  V3 at(double r, double a) const { return lin(c, r * std::cos(a), u, r * std::sin(a), v); }
  double angle(const V3 &p) const {  // in [0, 2 pi)
    const V3 d = lin(p, -1, c);
    const double a = std::atan2(dot(d, v), dot(d, u));
    return a < 0 ? a + kTwoPi : a;
  }
};
Frame random_frame(std::mt19937_64 &rng, double scale) {
  std::uniform_real_distribution<double> d(-1, 1);
  Frame f;
  f.c = {scale * d(rng), scale * d(rng), scale * d(rng)};
  f.n = unit({d(rng), d(rng), d(rng)});
  const V3 t = {d(rng), d(rng), d(rng)};
  f.u = unit(lin(t, -dot(t, f.n), f.n));
  f.v = cross(f.n, f.u);
  return f;
}

// A caller's record with room for 7 poles, filled with -77.
struct Rec {
  double p[21], t[10], w[7];
  BScurve cv{};
  Rec() {
    std::fill_n(p, 21, -77.0), std::fill_n(t, 10, -77.0), std::fill_n(w, 7, -77.0);
    cv.poles = p, cv.knots = t, cv.weights = w, cv.order = -7;
  }
  V3 pole(int i) const { return {p[3 * i], p[3 * i + 1], p[3 * i + 2]}; }
};

void expect_arc(const BScurve &cv, const Frame &f, double r, double sweep) {
  const int pieces = sweep <= 2.0943951023932175 ? 1 : sweep <= 4.188790204786413 ? 2 : 3;
  ASSERT_EQ(cv.num_poles, 2 * pieces + 1);
  EXPECT_TRUE(cv.order == 3 && cv.rational && cv.planar && !cv.periodic && cv.non_uniform);
  for (int i = 0; i < cv.num_poles; ++i) EXPECT_GT(cv.weights[i], 0.0);
  const double tol = 1e-12 * (r + std::sqrt(dot(f.c, f.c)));
  double last = -1;
  for (int i = 0; i <= 200; ++i) {
    const V3 p = kwtest::ref_eval(cv, i / 200.0), d = lin(p, -1, f.c);
    ASSERT_NEAR(std::sqrt(dot(d, d)), r, tol) << i;
    ASSERT_NEAR(dot(d, f.n), 0, tol) << i;
    double a = f.angle(p);
    if (i == 0 && a > 3) a -= kTwoPi;
    if (i == 200 && a < 1e-6 && sweep > 3) a += kTwoPi;
    ASSERT_GE(a, last - 1e-12) << i;
    last = a;
  }
  EXPECT_NEAR(last, sweep, 10 * tol / r);
}

class Circles : public kwtest::GuardedTest {};

TEST_F(Circles, CirclesAreClosedExactCircles) {
  std::mt19937_64 rng(18);
  const double third[10] = {0, 0, 0, 1.0 / 3, 1.0 / 3, 2.0 / 3, 2.0 / 3, 1, 1, 1};
  for (int t = 0; t < 40; ++t) {
    Frame f = random_frame(rng, t % 2 ? 1e3 : 1.0);
    const double r = std::pow(10.0, -2 + 5 * std::uniform_real_distribution<double>()(rng));
    const V3 n7 = lin({0, 0, 0}, 7, f.n), s = f.at(r, 0);
    Rec a, b, c;
    BSrc rc;
    double n[3];
    int32_t type = 0;
    ASSERT_TRUE(BSprepcirc(&rc, f.c.data(), &r, n7.data(), &a.cv, n, &type));
    ASSERT_TRUE(BSprepcircp(&rc, f.c.data(), s.data(), n7.data(), &b.cv, nullptr, nullptr));
    ASSERT_TRUE(BScirrdcr(&rc, &r, f.c.data(), &c.cv));
    EXPECT_EQ(type, 9);
    EXPECT_NEAR(dot({n[0], n[1], n[2]}, f.n), 1.0, 1e-15);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(a.t[i], third[i]);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(a.w[i], i % 2 ? 0.5 : 1.0);
    EXPECT_TRUE(a.cv.phy_closed && b.cv.phy_closed && c.cv.phy_closed);
    expect_arc(b.cv, f, r, kTwoPi);
    EXPECT_NEAR(std::sqrt(dot(lin(b.pole(0), -1, s), lin(b.pole(0), -1, s))), 0, 1e-15 * (r + 1e3));
    for (Rec *x : {&a, &c}) {  // these choose their own start direction
      Frame g = f;
      if (x == &c) g.n = {0, 0, 1};
      g.u = unit(lin(x->pole(0), -1, f.c));
      g.v = cross(g.n, g.u);
      expect_arc(x->cv, g, r, kTwoPi);
    }
  }
}

TEST_F(Circles, ArcsHaveTheirSweepPiecesAndEnds) {
  std::mt19937_64 rng(9);
  std::uniform_real_distribution<double> d(0, 1);
  const double special[] = {2.0943951023932175, 2.0943951023932175 + 1e-9,
                            4.188790204786413,  4.188790204786413 + 1e-9,
                            kTwoPi / 4,         kTwoPi / 2,
                            kTwoPi - 1e-5,      1e-3};
  for (int t = 0; t < 100; ++t) {
    const Frame f = random_frame(rng, t % 3 ? 1.0 : 100.0);
    const double r = std::pow(10.0, -1 + 3 * d(rng)), re = r * (0.2 + 5 * d(rng));
    const double sweep = t < 8 ? special[t] : 1e-3 + (kTwoPi - 2e-3) * d(rng);
    const V3 s = f.at(r, 0), e = f.at(re, sweep), n3 = lin({0, 0, 0}, 3, f.n);
    Rec a;
    BSrc rc;
    int32_t type = 0;
    ASSERT_TRUE(BSprepcarc(&rc, s.data(), f.c.data(), e.data(), n3.data(), &a.cv, nullptr, &type));
    EXPECT_TRUE(type == 9 && !a.cv.phy_closed);
    expect_arc(a.cv, f, r, sweep);
    const int last = a.cv.num_poles - 1;
    EXPECT_EQ(a.pole(0), s);  // the end is moved radially onto the circle
    const V3 ec = lin(e, -1, f.c), sc = lin(s, -1, f.c);
    EXPECT_EQ(a.pole(last), lin(f.c, std::sqrt(dot(sc, sc)) / std::sqrt(dot(ec, ec)), ec));
    EXPECT_NEAR(a.w[1], std::cos(sweep / last), 1e-13);  // cos of half the piece angle
  }
  // A 270-degree arc on the axes: quarter joints exactly at C + rV and C - rU.
  const double c[3] = {1, 2, 3}, s[3] = {3, 2, 3}, e[3] = {1, 0, 3}, z[3] = {0, 0, 5};
  Rec a;
  BSrc rc;
  ASSERT_TRUE(BSprepcarc(&rc, s, c, e, z, &a.cv, nullptr, nullptr));
  EXPECT_TRUE(a.pole(2) == (V3{1, 4, 3}) && a.pole(4) == (V3{-1, 2, 3}));
}

TEST_F(Circles, ArcThroughThreePointsAndCircleProperties) {
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> d(0, 1);
  for (int t = 0; t < 60; ++t) {
    const Frame f = random_frame(rng, 10.0);
    const double r = 0.1 + 10 * d(rng), a3 = 0.05 + (kTwoPi - 0.1) * d(rng);
    const V3 p1 = f.at(r, 0), p2 = f.at(r, a3 * (0.05 + 0.9 * d(rng))), p3 = f.at(r, a3);
    Rec a;
    BSrc rc;
    ASSERT_TRUE(BSarc3pts(&rc, p1.data(), p2.data(), p3.data(), &a.cv));
    expect_arc(a.cv, f, r, a3);
    EXPECT_TRUE(a.pole(0) == p1 && a.pole(a.cv.num_poles - 1) == p3);
    V3 centre, normal;
    double radius;
    ASSERT_TRUE(
        BScircprop(&rc, p1.data(), p2.data(), p3.data(), centre.data(), &radius, normal.data()));
    EXPECT_NEAR(radius, r, 1e-12 * (r + 20));
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(centre[i], f.c[i], 1e-12 * (r + 20));
      EXPECT_NEAR(normal[i], f.n[i], 1e-12 * (1 + 20 / r));
    }
  }
}

TEST_F(Circles, AnglesParametersAndPointsOnArcs) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> d(0, 1);
  for (int t = 0; t < 40; ++t) {
    const Frame f = random_frame(rng, 1.0);
    const double sweep = t % 8 == 0   ? kTwoPi
                         : t % 8 == 1 ? 2.0943951023932175
                                      : 0.01 + 6.2 * d(rng);
    const V3 s = f.at(2, 0), e = f.at(2, sweep);
    Rec a;
    BSrc rc;
    ASSERT_TRUE(
        sweep == kTwoPi
            ? BSprepcircp(&rc, f.c.data(), s.data(), f.n.data(), &a.cv, nullptr, nullptr)
            : BSprepcarc(&rc, s.data(), f.c.data(), e.data(), f.n.data(), &a.cv, nullptr, nullptr));
    for (int i = 0; i < 30; ++i) {
      const double angle = kTwoPi * d(rng), len = 0.1 + d(rng);
      double u = -1, u_cw = -1, u_vec = -5, got = 0;
      int16_t on = -1, code = -1;
      BSangarctou(sweep, angle, &u, &rc);
      const double back = f.angle(kwtest::ref_eval(a.cv, u));
      EXPECT_NEAR(angle <= sweep ? back : sweep, std::min(angle, sweep), 1e-12) << sweep;
      BSangarctou(-sweep, -angle, &u_cw, &rc);  // clockwise sweep, clockwise angle
      EXPECT_NEAR(u_cw, u, 1e-14 * (1 + 1 / sweep));
      const V3 vec = lin(f.at(len, angle), -1, f.c), p = f.at(2, angle);
      BSarcangpar(f.n.data(), f.u.data(), sweep, vec.data(), &u_vec, &got, &on, &rc);
      EXPECT_NEAR(got, angle, 1e-12);
      EXPECT_EQ(on, angle <= sweep);
      EXPECT_NEAR(u_vec, angle <= sweep ? u : -5.0, 1e-12 / sweep);
      BSptonarc(f.c.data(), s.data(), e.data(), f.n.data(), 0, nullptr, nullptr, p.data(), &code,
                &rc);
      if (std::fabs(angle - sweep) > 1e-6 && angle > 1e-6 && kTwoPi - angle > 1e-6) {
        EXPECT_EQ(code, sweep == kTwoPi || angle < sweep ? 1 : 0) << sweep << " " << angle;
      }
    }
  }
  // Exact joints and ends of a full turn; angles beyond the arc give its end.
  const double cases[][3] = {{kTwoPi, kTwoPi / 3, 1.0 / 3},
                             {kTwoPi, 2 * kTwoPi / 3, 2.0 / 3},
                             {kTwoPi, 0, 0},
                             {8, kTwoPi, 1},
                             {1, 2, 1},
                             {3, -kTwoPi, 0}};
  for (const auto &c : cases) {
    double u = -1;
    BSrc rc;
    BSangarctou(c[0], c[1], &u, &rc);
    EXPECT_EQ(u, c[2]) << c[0] << " " << c[1];
  }
  // Ends, plane and radius tests of BSptonarc, the given directions as tangents.
  const double o[3] = {0, 0, 0}, z[3] = {0, 0, 1}, x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, h = 0.6;
  const double pts[][4] = {{1, 0, 0, 2}, {0, 1, 1e-7, 3}, {h, 0.8, 1e-3, 0}, {1.2, 1.6, 0, 0}};
  for (const auto &p : pts) {
    int16_t code = -1;
    BSrc rc;
    const double t0[3] = {3, 0, 0}, t1[3] = {0, 2, 0};
    BSptonarc(o, x, y, z, 1, t0, t1, p, &code, &rc);
    EXPECT_EQ(code, p[3]);
  }
  // A vector short of a full turn by less than dist_tol / |vec| is at angle 0.
  for (const auto &[a, on] : {std::pair{-5e-7, 1}, {-2e-6, 0}}) {
    const double vec[3] = {std::cos(a), std::sin(a), 0};
    double u = -1, got = -1;
    int16_t on_arc = -1;
    BSrc rc;
    BSarcangpar(z, x, 1.0, vec, &u, &got, &on_arc, &rc);
    EXPECT_EQ(std::tuple(on_arc, u), std::tuple(on, on ? 0.0 : -1.0)) << a;
    EXPECT_NEAR(got, on ? 0.0 : kTwoPi + a, 1e-12);
  }
}

TEST_F(Circles, FailureStatusesLeaveOutputsUntouched) {
  const double o[3] = {0, 0, 0}, x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, z[3] = {0, 0, 1};
  const double x2[3] = {2, 0, 0}, tilt[3] = {1, 0, 1}, zero[3] = {0, 0, 0}, nan3[3] = {NAN, 0, 0};
  const double fs[3] = {100, 0, 0}, fe[3] = {100 * std::cos(2e-8), 100 * std::sin(2e-8), 0};
  // BSprepcirc (centre, radius) and BScirrdcr, BSprepcircp (centre, start, normal),
  // BSprepcarc (start, centre, end, normal), BSarc3pts (three points).
  const double one = 1, tiny = 1e-6, neg = -1, nan1 = NAN;
  const struct {
    const double *c, *r, *n;
    BSrc want;
  } circ[] = {{nullptr, &one, z, BSNULLPTR}, {o, &tiny, z, BSINARG},   {o, &nan1, z, BSINARG},
              {nan3, &one, z, BSINARG},      {o, &one, zero, BSDEGEN}, {o, &neg, z, BSINARG}};
  const struct {
    const double *a, *b, *c, *n;
    BSrc want;
  } pts[] = {{o, o, z, nullptr, BSINARG},    {o, x, zero, nullptr, BSINARG},
             {o, x, tilt, nullptr, BSINARG}, {o, nullptr, z, nullptr, BSNULLPTR},
             {o, o, y, z, BSINARG},          {x, o, o, z, BSINARG},
             {x, o, x, z, BSINARG},          {x, o, x2, z, BSINARG},
             {x, o, y, zero, BSINARG},       {x, o, y, tilt, BSINARG},
             {fs, o, fe, z, BSDIVZERO},      {x, o, nan3, z, BSINARG},
             {o, x, x2, nullptr, BSCOLLIN},  {x, x, y, nullptr, BSCOLLIN},
             {x, nan3, y, nullptr, BSINARG}, {x, nullptr, y, nullptr, BSNULLPTR}};
  Rec a;
  BSrc rc;
  for (const auto &c : circ) {
    const bool ok = c.r == &neg ? BScirrdcr(&rc, c.r, c.c, &a.cv)
                                : BSprepcirc(&rc, c.c, c.r, c.n, &a.cv, nullptr, nullptr);
    EXPECT_TRUE(!ok && rc == c.want && a.cv.order == -7) << rc;
  }
  for (const auto &p : pts) {
    const bool ok = p.n == nullptr ? (p.c == z || p.c == zero || p.c == tilt)
                                         ? BSprepcircp(&rc, p.a, p.b, p.c, &a.cv, nullptr, nullptr)
                                         : BSarc3pts(&rc, p.a, p.b, p.c, &a.cv)
                                   : BSprepcarc(&rc, p.a, p.b, p.c, p.n, &a.cv, nullptr, nullptr);
    EXPECT_TRUE(!ok && rc == p.want && a.cv.order == -7 && a.p[0] == -77) << rc;
  }
  Rec bare;
  bare.cv.weights = nullptr;
  EXPECT_FALSE(BSprepcarc(&rc, x, o, y, z, &bare.cv, nullptr, nullptr) || rc != BSNULLPTR);
  EXPECT_FALSE(BSprepcirc(&rc, o, &one, z, &bare.cv, nullptr, nullptr) || rc != BSNULLPTR);
  EXPECT_FALSE(BSconicgen0(&rc, nullptr) || rc != BSNULLPTR);
  ASSERT_TRUE(BSconicgen0(&rc, &a.cv));
  EXPECT_TRUE(a.cv.order == 3 && a.cv.num_poles == 0 && a.cv.num_knots == 0 && a.cv.planar);
  double centre[3] = {5, 5, 5}, radius = 5, normal[3], u = 9, angle = 9;
  int16_t on = 9, code = 9;
  EXPECT_FALSE(BScircprop(&rc, o, x, x2, centre, &radius, normal) || rc != BSINARG);
  EXPECT_FALSE(BScircprop(&rc, o, x, nullptr, centre, &radius, normal) || rc != BSNULLPTR);
  const auto expect = [&](BSrc want) {
    EXPECT_TRUE(rc == want && u == 9 && angle == 9 && on == 9 && code == 9 && radius == 5) << rc;
  };
  BSangarctou(0.0, 1.0, &u, &rc), expect(BSINARG);
  BSangarctou(NAN, 1.0, &u, &rc), expect(BSINARG);
  BSangarctou(1.0, 0.5, nullptr, &rc), expect(BSNULLPTR);
  BSarcangpar(z, x, 1.0, zero, &u, &angle, &on, &rc), expect(BSINARG);
  BSarcangpar(z, x, 0.0, y, &u, &angle, &on, &rc), expect(BSINARG);
  BSarcangpar(z, x, 1.0, y, &u, nullptr, &on, &rc), expect(BSNULLPTR);
  BSptonarc(o, x, y, zero, 0, nullptr, nullptr, x, &code, &rc), expect(BSINARG);
  BSptonarc(o, x, y, z, 0, nullptr, nullptr, nan3, &code, &rc), expect(BSINARG);
  BSptonarc(o, x, y, z, 1, x, nullptr, y, &code, &rc), expect(BSNULLPTR);
}

}  // namespace
